#include "cd/cd_image.h"

#include "cd/paranoia_reader.h"
#include "config/settings.h"
#include "media/cue_sheet.h"
#include "util/feedback.h"
#include "util/file_name.h"
#include "util/safe_file.h"
#include "util/text_codec.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <memory>

namespace vn {

namespace {

constexpr const char* FormatExtensions[] = {".wav", ".bin", ".img"};

uint32_t knownFormat(uint32_t format)
{
    return format <= RipImg ? format : RipWav;
}

void putLe32(QByteArray& bytes, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((v >> (8 * i)) & 0xff);
}

QByteArray msf(uint32_t lba)
{
    return QString::asprintf("%02u:%02u:%02u", lba / 4500, lba / 75 % 60, lba % 75).toLatin1();
}

// The read loop's one source of sectors: paranoia's verified reads or plain ones.
class SectorSource {
public:
    SectorSource(const CdDrive& drive, bool verified) : drive_(drive)
    {
        if (verified)
            paranoia_ = std::make_unique<ParanoiaReader>(drive);
    }
    bool usable() const { return !paranoia_ || paranoia_->isOpen(); }
    int read(uint32_t lba, uint32_t count, char* out)
    {
        return paranoia_ ? paranoia_->read(lba, count, out) : drive_.readAudio(lba, count, out);
    }

private:
    const CdDrive& drive_;
    std::unique_ptr<ParanoiaReader> paranoia_;
};

} // namespace

RipSettings ripSettingsFrom(const Settings& settings)
{
    RipSettings rip;
    rip.device = settings.RipCD_Device;
    rip.cuePath = settings.RipCD_Cue;
    rip.format = knownFormat(settings.RipCD_Extension);
    rip.blockSize = settings.RipCD_SectCount;
    rip.codePage = settings.CP_Cue_Sheet;
    rip.autoEject = settings.RipCD_Eject != 0;
    rip.verifiedReads = settings.RipCD_Paranoia != 0;
    return rip;
}

void storeRipSettings(const RipSettings& rip, Settings& settings)
{
    settings.RipCD_Device = rip.device;
    settings.RipCD_Cue = rip.cuePath;
    settings.RipCD_Extension = knownFormat(rip.format);
    settings.RipCD_SectCount = rip.blockSize;
    settings.RipCD_Eject = rip.autoEject ? 1 : 0;
    settings.RipCD_Paranoia = rip.verifiedReads ? 1 : 0;
}

QString ripImagePath(const QString& cuePath, uint32_t format)
{
    const qsizetype slash = std::max(cuePath.lastIndexOf(QLatin1Char('/')), cuePath.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = cuePath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? cuePath.first(dot) : cuePath;
    return stem + QLatin1String(FormatExtensions[knownFormat(format)]);
}

uint32_t ripBlockSize(uint32_t requested, uint32_t driveLimit)
{
    const uint32_t limit = driveLimit ? driveLimit : DefaultBlockSectors;
    if (requested >= 1 && requested <= limit)
        return requested;
    return std::min(DefaultBlockSectors, limit);
}

QByteArray ripWavHeader(uint32_t sectors)
{
    QByteArray header = canonicalWavHeader(2, 44100, 16);
    const uint32_t dataSize = sectors * SectorBytes;
    putLe32(header, 4, dataSize + 36);
    putLe32(header, 40, dataSize);
    return header;
}

QByteArray ripCueSheetText(const QString& imageFileName, uint32_t format, const CdToc& toc, int codePage)
{
    QByteArray text = "FILE \"" + encodeText(imageFileName, codePage) + "\" " +
                      (knownFormat(format) == RipWav ? "WAVE" : "BINARY") + "\r\n";
    for (int k = 1; k <= toc.trackCount(); ++k) {
        const uint32_t start = toc.starts[size_t(k - 1)];
        text += QString::asprintf("  TRACK %02d AUDIO\r\n", k).toLatin1();
        if (k == 1 && start > 0)
            text += "    INDEX 00 00:00:00\r\n";
        text += "    INDEX 01 " + msf(start) + "\r\n";
    }
    return text;
}

bool confirmCueOverwrite(const QString& cuePath, Feedback& feedback)
{
    if (!QFileInfo::exists(cuePath))
        return true;
    return feedback.message(QStringLiteral("Cue file exsists. OK to Overwrite or Cancel to exit"),
                            QStringLiteral("Create image file"), MessageButtons::OkCancel,
                            MessageIcon::Question) == AnswerOk;
}

int ripCdImage(RipSettings& rip, Feedback& feedback)
{
    rip.format = knownFormat(rip.format);
    const QString imagePath = ripImagePath(rip.cuePath, rip.format);
    if (QFileInfo(imagePath).absoluteFilePath() == QFileInfo(rip.cuePath).absoluteFilePath())
        return RipImageIsCueSheet;

    CdDrive drive(rip.device);
    if (!drive.isOpen())
        return drive.openError();
    CdToc toc;
    if (const int code = drive.readToc(toc))
        return code;
    const uint32_t length = toc.leadOut;
    if (length == 0 || toc.starts.empty())
        return RipCanceled;
    const int trackCount = toc.trackCount();

    rip.blockSize = ripBlockSize(rip.blockSize, drive.blockLimit());
    const uint32_t block = rip.blockSize;

    SectorSource source(drive, rip.verifiedReads);
    if (!source.usable())
        return RipVerifiedReadUnavailable;

    // Built beside the old image and renamed over it only when complete.
    QSaveFile image(imagePath);
    rip.writeProblem.clear();
    // Right after the failed call, errno still holds the system's reason (QSaveFile's own text
    // does not always).
    auto imageFailed = [&] {
        rip.writeProblem = systemErrorText(errno);
        return RipImageFileError;
    };
    if (!image.open(QIODevice::WriteOnly))
        return imageFailed();
    if (rip.format == RipWav) {
        const QByteArray header = ripWavHeader(length);
        if (image.write(header) != header.size())
            return imageFailed();
    }

    QByteArray buffer(qsizetype(block) * SectorBytes, '\0');
    int current = 0;
    uint32_t position = 0;
    uint32_t remaining = length;
    QString shown;
    int result = RipOk;
    while (!feedback.abortRequested()) {
        if (current < trackCount && position >= toc.starts[size_t(current)])
            ++current;
        const QString progress =
            QString::asprintf("%5.1f%% (track %d/%d)", position * 100.0 / length, current, trackCount);
        if (progress != shown) {
            shown = progress;
            feedback.setStatus(RipStatusPart, progress);
            feedback.pumpMessages();
            if (feedback.abortRequested())
                break;
        }
        const uint32_t count = std::min(remaining, block);
        if (const int code = source.read(position, count, buffer.data())) {
            feedback.setStatus(RipStatusPart, QString::asprintf("Read Error %X in LBA %d - %d (track %d/%d)", unsigned(code),
                                                                int(position), int(position + block - 1), current,
                                                                trackCount));
            result = code;
            break;
        }
        if (image.write(buffer.constData(), qint64(count) * SectorBytes) != qint64(count) * SectorBytes) {
            result = imageFailed();
            break;
        }
        if (remaining <= block)
            break;
        position += block;
        remaining -= block;
    }
    if (result == RipOk && feedback.abortRequested()) {
        feedback.setStatus(RipStatusPart, QStringLiteral("Process canceled"));
        result = RipCanceled;
    }
    if (result != RipOk) {
        image.cancelWriting();
        return result;
    }
    if (!image.commit())
        return imageFailed();

    const QByteArray cue = ripCueSheetText(QFileInfo(imagePath).fileName(), rip.format, toc, rip.codePage);
    if (!replaceFileAtomically(rip.cuePath, cue)) {
        rip.writeProblem = systemErrorText(errno);
        return RipCueFileError;
    }
    feedback.setStatus(RipStatusPart, QStringLiteral("Image file is created succesfully"));
    if (rip.autoEject)
        drive.eject();
    return RipOk;
}

QString ripErrorText(int code)
{
    switch (code) {
    case RipOk:
        return QString();
    case RipCanceled:
        return QStringLiteral("Process canceled");
    case RipImageFileError:
        return QStringLiteral("The image file could not be written");
    case RipCueFileError:
        return QStringLiteral("The image file is complete, but its cue sheet could not be written");
    case RipImageIsCueSheet:
        return QStringLiteral("The cue sheet cannot have the image file's extension");
    case RipVerifiedReadUnavailable:
        return QStringLiteral("The drive cannot be read with verified reads; turn RipCD_Paranoia off to read it plainly");
    default:
        return QStringLiteral("CD drive error %1: %2").arg(code).arg(systemErrorText(code));
    }
}

} // namespace vn
