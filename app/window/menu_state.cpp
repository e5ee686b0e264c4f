#include "app/window/menu_state.h"

#include "app/window/command_ids.h"
#include "encode/encoder_availability.h"
#include "app/window/menus.h"
#include "config/settings.h"

namespace vn {

namespace {

constexpr int MaxEncoderLine = 1024;

} // namespace

QString encoderLine(const EncoderAvailability& available, int encoderIndex)
{
    auto mark = [encoderIndex](int index) {
        return QChar(index == encoderIndex ? SelectedEncoderMark : OtherEncoderMark);
    };
    QString line;
    if (available.lame) {
        line += QStringLiteral("%1LAME%2.%3 (%4.%5) ")
                    .arg(mark(1))
                    .arg(available.lameEngineMajor)
                    .arg(available.lameEngineMinor)
                    .arg(available.lameLibraryMajor)
                    .arg(available.lameLibraryMinor);
    }
    if (available.flac)
        line += QStringLiteral("%1FLAC %2 ").arg(mark(2), QString::fromLatin1(available.flacVersion));
    const QByteArray* tools[4] = {&available.qaacVersion, &available.fdkaacVersion, &available.opusEncVersion,
                                  &available.ffmpegVersion};
    for (int i = 0; i < 4; ++i) {
        if (!tools[i]->isEmpty())
            line += mark(3 + i) + QString::fromLatin1(*tools[i]);
    }
    return line.left(MaxEncoderLine);
}

std::optional<QString> cddbServerHost(const QByteArray& server)
{
    const qsizetype slashes = server.indexOf("//");
    if (slashes < 0)
        return std::nullopt;
    const qsizetype hostStart = slashes + 2;
    const qsizetype hostEnd = server.indexOf('/', hostStart);
    if (hostEnd < 0)
        return std::nullopt;
    return QString::fromLatin1(server.mid(hostStart, hostEnd - hostStart));
}

void refreshEncoderChecks(const MenuSet& menus, int encoderIndex)
{
    for (int index = 1; index <= 6; ++index)
        menus.setChecked(CmdSelectLame - 1 + index, index == encoderIndex);
}

void refreshCharsetChecks(const MenuSet& menus, int cueCodePage)
{
    if (cueCodePage != 0 && cueCodePage != 65001)
        return;
    menus.setChecked(CmdCharsetAnsi, cueCodePage == 0);
    menus.setChecked(CmdCharsetUtf8, cueCodePage == 65001);
}

void refreshLevelChecks(const MenuSet& menus, int level)
{
    for (int i = 0; i <= 5; ++i)
        menus.setChecked(CmdLevel0 + i, i == level);
}

void refreshSaveExistingCheck(const MenuSet& menus, int saveExisting)
{
    menus.setChecked(CmdSaveExisting, saveExisting != 0);
}

void refreshPlayApiChecks(const MenuSet& menus, int playApi)
{
    if (playApi != 1 && playApi != 2)
        return;
    menus.setChecked(CmdPlayMci, playApi == 1);
    menus.setChecked(CmdPlayMf, playApi == 2);
}

void refreshCddbServerItem(const MenuSet& menus, const QByteArray& server, int itemId)
{
    if (server.isEmpty()) {
        menus.setEnabled(itemId, false);
    } else if (std::optional<QString> host = cddbServerHost(server)) {
        menus.setText(itemId, *host);
        menus.setEnabled(itemId, true);
    }
    // The first server is the one in use.
    menus.setChecked(CmdCddbServer1, true);
}

void refreshAutoCddbCheck(const MenuSet& menus, int autoCddb)
{
    menus.setChecked(CmdAutoCddb, autoCddb != 0);
}

void refreshCdImageItems(const MenuSet& menus, bool folderBMode, const QByteArray& server1)
{
    menus.setEnabled(CmdEncodeImage, !folderBMode);
    menus.setEnabled(CmdEncodeImages, !folderBMode);
    menus.setEnabled(CmdCddbQuery, !folderBMode && !server1.isEmpty());
}

void applyInitialMenuStates(const MenuSet& menus, const EncoderAvailability& available, const Settings& settings,
                            bool folderBMode)
{
    menus.setEnabled(CmdReplace, false);
    menus.setEnabled(CmdMoveFiles, false);
    // Edited in the boxes of the window's third row.
    menus.setEnabled(CmdId3BlockSize, false);
    menus.setEnabled(CmdId3MinPadding, false);
    refreshCdImageItems(menus, folderBMode, settings.Cddb_Server1);
    const bool usable[6] = {available.lame,
                            available.flac,
                            !available.qaacVersion.isEmpty(),
                            !available.fdkaacVersion.isEmpty(),
                            !available.opusEncVersion.isEmpty(),
                            !available.ffmpegVersion.isEmpty()};
    for (int i = 0; i < 6; ++i) {
        menus.setEnabled(CmdSelectLame + i, usable[i]);
        menus.setEnabled(CmdOptionLame + i, usable[i]);
    }
}

} // namespace vn
