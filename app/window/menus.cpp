#include "app/window/menus.h"

#include "app/window/command_ids.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace vn {

void MenuSet::setChecked(int id, bool checked) const
{
    if (QAction* a = action(id))
        a->setChecked(checked);
}

void MenuSet::setEnabled(int id, bool enabled) const
{
    if (QAction* a = action(id))
        a->setEnabled(enabled);
}

void MenuSet::setText(int id, const QString& text) const
{
    if (QAction* a = action(id))
        a->setText(text);
}

namespace {

struct Builder {
    MenuSet& set;

    QMenu* submenu(QMenu* parent, const QString& title, const char* name)
    {
        QMenu* menu = parent->addMenu(title);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    }

    // Items that carry a setting get a check mark area; the menu state decides the mark.
    QAction* item(QMenu* menu, int id, const QString& text, bool checkable = false)
    {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::number(id));
        action->setCheckable(checkable);
        // Qt's menu roles would move "About" and "Exit" elsewhere on some desktops.
        action->setMenuRole(QAction::NoRole);
        set.actions.insert(id, action);
        return action;
    }
};

} // namespace

MenuSet buildMenus(QMenuBar* bar)
{
    MenuSet set;
    Builder b{set};
    auto menu = [bar](const QString& title, const char* name) {
        QMenu* m = bar->addMenu(title);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };

    set.file = menu(QStringLiteral("File"), "menuFile");
    b.item(set.file, CmdCompare, QStringLiteral("Compare A/B（フォルダ比較）"));
    b.item(set.file, CmdReplace, QStringLiteral("Replace Tags（タグ置換）"));
    b.item(set.file, CmdMoveFiles, QStringLiteral("Move Files（ファイル移動）"));
    b.item(set.file, CmdUndoMoveFiles, QStringLiteral("Undo last Move Files"));
    set.file->addSeparator();
    set.cdImageOptions = b.submenu(set.file, QStringLiteral("CD image Options"), "menuCdImageOptions");
    b.item(set.cdImageOptions, CmdCreateImage, QStringLiteral("Create image file from CD"));
    b.item(set.cdImageOptions, CmdEncodeImage, QStringLiteral("Encode the CD image with [B] tags"));
    b.item(set.cdImageOptions, CmdEncodeImages, QStringLiteral("Encode Multiple CD images with [B] tags"));
    b.item(set.cdImageOptions, CmdCddbQuery, QStringLiteral("Acquire CD data from CDDB"));
    set.cddbServer = b.submenu(set.cdImageOptions, QStringLiteral("Select CDDB Server"), "menuCddbServer");
    // Their texts are the servers' host names, set by the menu state.
    b.item(set.cddbServer, CmdCddbServer1, QString(), true);
    b.item(set.cddbServer, CmdCddbServer2, QString(), true);
    b.item(set.cdImageOptions, CmdAutoCddb, QStringLiteral("Auto CDDB"), true);
    set.file->addSeparator();
    b.item(set.file, CmdBatchReencode, QStringLiteral("Batch Re-encode（一括再変換）"));
    set.file->addSeparator();
    b.item(set.file, CmdExit, QStringLiteral("Exit（終了）"));

    set.setting = menu(QStringLiteral("Setting"), "menuSetting");
    b.item(set.setting, CmdFolderA, QStringLiteral("Folder A"));
    b.item(set.setting, CmdFolderB, QStringLiteral("Folder B"));
    b.item(set.setting, CmdBackupFolder, QStringLiteral("Backup Folder"));
    b.item(set.setting, CmdTempFolder, QStringLiteral("Temporary Folder"));
    set.setting->addSeparator();
    b.item(set.setting, CmdId3BlockSize, QStringLiteral("ID3 block size"));
    b.item(set.setting, CmdId3MinPadding, QStringLiteral("ID3 Min. padding"));
    set.setting->addSeparator();
    const QString encoderNames[6] = {QStringLiteral("Lame"),   QStringLiteral("Flac"),    QStringLiteral("qaac"),
                                     QStringLiteral("fdkaac"), QStringLiteral("OpusEnc"), QStringLiteral("FFmpeg")};
    set.selectEncoder = b.submenu(set.setting, QStringLiteral("Select Encoder"), "menuSelectEncoder");
    for (int i = 0; i < 6; ++i)
        b.item(set.selectEncoder, CmdSelectLame + i, encoderNames[i], true);
    set.encoderOption = b.submenu(set.setting, QStringLiteral("Encoder option"), "menuEncoderOption");
    for (int i = 0; i < 6; ++i)
        b.item(set.encoderOption, CmdOptionLame + i, encoderNames[i]);
    set.cueCharset = b.submenu(set.setting, QStringLiteral("Cue Sheet Charset"), "menuCueCharset");
    b.item(set.cueCharset, CmdCharsetAnsi, QStringLiteral("ANSI"), true);
    b.item(set.cueCharset, CmdCharsetUtf8, QStringLiteral("UTF-8"), true);
    b.item(set.setting, CmdExtPriority, QStringLiteral("Audio File Extension Search Priority"));
    b.item(set.setting, CmdFFmpegContainers, QStringLiteral("(FFmpeg) encoder.container"));
    set.backupLevel = b.submenu(set.setting, QStringLiteral("Bkup Folder n-Level"), "menuBackupLevel");
    for (int i = 0; i <= 5; ++i)
        b.item(set.backupLevel, CmdLevel0 + i, QString::number(i), true);
    b.item(set.setting, CmdSaveExisting, QStringLiteral("Save Existing Bkup Folder"), true);
    b.item(set.setting, CmdVerifyRecordings, QStringLiteral("Verify recordings"), true);
    set.playApi = b.submenu(set.setting, QStringLiteral("Audio Play API"), "menuPlayApi");
    b.item(set.playApi, CmdPlayMci, QStringLiteral("MCI (Media Control Interface)"), true);
    b.item(set.playApi, CmdPlayMf, QStringLiteral("MF (Media Foundation)"), true);

    set.utility = menu(QStringLiteral("Utility"), "menuUtility");
    b.item(set.utility, CmdMiscCopy, QStringLiteral("Misc File Copy Utility"));
    b.item(set.utility, CmdPlaylistExt, QStringLiteral("Playlist Extension Replacement Utility"));

    set.help = menu(QStringLiteral("Help"), "menuHelp");
    b.item(set.help, CmdManual, QStringLiteral("User's Manual"));
    b.item(set.help, CmdAbout, QStringLiteral("About Vornelic"));
    return set;
}

} // namespace vn
