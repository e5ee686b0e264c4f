#include "app/features/folder_paths_controller.h"

#include "app/dialogs/browse_folder.h"
#include "app/dialogs/input_box.h"
#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/menu_state.h"
#include "app/window/window_controls.h"
#include "config/settings.h"

#include <QFileInfo>
#include <QLineEdit>

namespace vn {

namespace {

// Every path setting holds at most this many characters, terminator included.
constexpr int PathCapacity = 260;

} // namespace

FolderPathsController::FolderPathsController(FeatureContext& context) : c_(context)
{
    CommandRouter& r = c_.router;
    Settings& s = c_.settings;
    WindowControls& w = c_.controls;
    r.add({CmdFolderA, BtnBrowseA}, [this](int) { browseFolderA(); });
    r.add({CmdFolderB, BtnBrowseB}, [this](int) { browseSideB(); });
    r.add({CmdBackupFolder, BtnBrowseBkup}, [this](int) { browseBackupOutput(); });
    r.add({CmdTempFolder, BtnBrowseTemp}, [this](int) { browseTemp(); });
    r.add({BtnExploreA}, [&s, &w](int) {
        s.Path_A = w.editA->text();
        exploreFolder(s.Path_A);
    });
    r.add({BtnExploreB}, [this](int) { exploreSideB(); });
    r.add({BtnExploreBkup}, [this](int) {
        (c_.modes.backupMode ? c_.settings.Path_Bkup : c_.settings.Path_Otpt) = c_.controls.editBackup->text();
        exploreFolder(c_.controls.editBackup->text());
    });
    r.add({BtnExploreTemp}, [&s, &w](int) {
        s.Path_Temp = w.editTemp->text();
        exploreFolder(s.Path_Temp);
    });
    r.add({CmdExtPriority}, [this](int) { editExtPriority(); });
    r.add({CmdCharsetAnsi, CmdCharsetUtf8}, [this](int id) {
        c_.settings.CP_Cue_Sheet = id == CmdCharsetAnsi ? 0 : 65001;
        refreshCharsetChecks(c_.menus, c_.settings.CP_Cue_Sheet);
    });
    r.add({CmdSaveExisting}, [this](int) {
        c_.settings.BkupFldr_Exist = c_.settings.BkupFldr_Exist ? 0 : 1;
        refreshSaveExistingCheck(c_.menus, c_.settings.BkupFldr_Exist);
    });
    r.add({CmdLevel0, CmdLevel0 + 1, CmdLevel0 + 2, CmdLevel0 + 3, CmdLevel0 + 4, CmdLevel5}, [this](int id) {
        c_.settings.BkupFldr_Level = id - CmdLevel0;
        refreshLevelChecks(c_.menus, c_.settings.BkupFldr_Level);
    });
    // The two ID3 items only name the boxes beside the list; they do nothing themselves.
    r.add({CmdId3BlockSize, CmdId3MinPadding}, [](int) {});

    refreshCharsetChecks(c_.menus, s.CP_Cue_Sheet);
    refreshLevelChecks(c_.menus, s.BkupFldr_Level);
    refreshSaveExistingCheck(c_.menus, s.BkupFldr_Exist);
}

void FolderPathsController::browseFolderA()
{
    BrowseFolder(c_.window, QStringLiteral("Select Folder A"), c_.settings.Path_A, c_.settings.Path_A, PathCapacity);
    c_.controls.editA->setText(c_.settings.Path_A);
}

void FolderPathsController::browseSideB()
{
    Settings& s = c_.settings;
    if (c_.modes.folderBMode) {
        BrowseFolder(c_.window, QStringLiteral("Select Folder B"), s.Path_B, s.Path_B, PathCapacity);
        c_.controls.editB->setText(s.Path_B);
        return;
    }
    OpenFileDialog(c_.window, QStringLiteral("Select CUE sheet file"),
                   {QStringLiteral("Cue files {*.cue} (*.cue)"), QStringLiteral("All files {*.*} (*)")}, s.Path_Cue,
                   PathCapacity);
    c_.controls.editB->setText(s.Path_Cue);
}

void FolderPathsController::browseBackupOutput()
{
    Settings& s = c_.settings;
    QString& path = c_.modes.backupMode ? s.Path_Bkup : s.Path_Otpt;
    BrowseFolder(c_.window,
                 c_.modes.backupMode ? QStringLiteral("Select Bkup Folder") : QStringLiteral("Select Output Folder"),
                 path, path, PathCapacity, BrowseNewStyle);
    c_.controls.editBackup->setText(path);
}

void FolderPathsController::browseTemp()
{
    Settings& s = c_.settings;
    BrowseFolder(c_.window, QStringLiteral("Select Temporary Folder"), s.Path_Temp, s.Path_Temp, PathCapacity,
                 BrowseNewStyle);
    c_.controls.editTemp->setText(s.Path_Temp);
}

void FolderPathsController::exploreSideB()
{
    QString path = c_.controls.editB->text();
    if (c_.modes.folderBMode) {
        c_.settings.Path_B = path;
    } else {
        c_.settings.Path_Cue = path;
        path = QFileInfo(path).path(); // the folder that holds the cue sheet
    }
    exploreFolder(path);
}

void FolderPathsController::editExtPriority()
{
    Settings& s = c_.settings;
    s.FileExtPriority = joinExtPriority(s.ExtPriorityList);
    InputBox(c_.window, QStringLiteral("Audio File Extension Search Priority"),
             QStringLiteral("Define audio file extension search priority. Use a single space as the delimiter."),
             s.FileExtPriority, 256, QStringLiteral("Ok"), QStringLiteral("Cancel"));
    s.ExtPriorityList = splitExtPriority(s.FileExtPriority);
}

} // namespace vn
