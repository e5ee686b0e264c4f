#include "app/features/compare_controller.h"

#include "app/dialogs/text_box.h"
#include "app/features/encoding_controller.h"
#include "app/widgets/comparison_model.h"
#include "app/widgets/icons.h"
#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "app/window/menu_state.h"
#include "app/window/menus.h"
#include "app/window/window_controls.h"
#include "config/settings.h"
#include "containers/cd_image_properties.h"
#include "containers/properties.h"
#include "encode/encoder_availability.h"
#include "session/session.h"
#include "util/file_name.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

namespace vn {

namespace {

struct ModeTexts {
    QString caption;
    QString editTip;
    int browseBitmap;
    QString browseTip;
    QString exploreTip;
    QString replaceCaption;
    QString replaceItem;
};

const ModeTexts& modeTexts(bool folderBMode)
{
    static const ModeTexts folderB{
        QStringLiteral("Folder B"),
        QStringLiteral("このフォルダのMP3ファイルのオーディオデータが継承されます"),
        BmpBrowseFolderB,
        QStringLiteral("[Folder B] のパスを変更します"),
        QStringLiteral("[Folder B] を File Explorer で閲覧します"),
        QStringLiteral("Replace Tags"),
        QStringLiteral("Replace Tags（タグ置換）"),
    };
    static const ModeTexts cdImage{
        QStringLiteral("CD image"),
        QStringLiteral("この Cue Sheet ファイルに記載された情報に基づき PCM形式のイメージファイルからエンコードされ "
                       "MP3/AAC/FLAC等の形式のオーディオファイルが生成されます"),
        BmpBrowseCue,
        QStringLiteral("[CD image] の Cue Sheet ファイルを変更します"),
        QStringLiteral("[CD image] のあるフォルダを File Explorer で閲覧します"),
        QStringLiteral("Encoding B"),
        QStringLiteral("Encoding B（エンコード）"),
    };
    return folderBMode ? folderB : cdImage;
}

} // namespace

CompareController::CompareController(FeatureContext& context) : c_(context)
{
    CommandRouter& r = c_.router;
    r.add({CmdCompare, BtnCompare}, [this](int) { compare(); });
    r.add({CmdReplace, BtnReplace}, [this](int) { replace(); });
    r.add({CmdMoveFiles, BtnMoveFiles}, [this](int) { moveFiles(); });
    r.add({BtnProp}, [this](int) {
        const QItemSelectionModel* selection = c_.listView.selectionModel();
        const QModelIndex current = selection ? selection->currentIndex() : QModelIndex();
        if (current.isValid())
            showProperties(current.row());
        else if (c_.session.state().a.count() > 0)
            showProperties(0);
    });
    r.add({BtnModeB}, [this](int) { toggleFolderBMode(); });
    // Sent by the CD image window: only ever towards CD image mode.
    r.add({BtnCdImageMode}, [this](int) {
        if (c_.modes.folderBMode)
            toggleFolderBMode();
    });
    r.add({BtnModeBackup}, [this](int) { toggleBackupMode(); });
}

void CompareController::message(const QString& text, const QString& title, MessageIcon icon)
{
    showMessage(c_.window, text, title, MessageButtons::Ok, icon);
}

void CompareController::resetToEmptyState()
{
    for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnProp, CmdReplace, CmdMoveFiles})
        c_.router.setEnabled(id, false);
    c_.list.clear();
    c_.session.clear();
    FeatureHooks::fire(c_.hooks.comparisonCleared);
}

void CompareController::compare()
{
    FeatureHooks::fire(c_.hooks.beforeCompare);
    const int offset = numberInBox(c_.controls.editOffset);
    resetToEmptyState();
    takeEditedPaths(c_);
    const Sides sides{c_.settings.Path_A, c_.modes.folderBMode ? c_.settings.Path_B : c_.settings.Path_Cue,
                      c_.modes.folderBMode, offset};
    int code;
    {
        const JobScope job(c_.router);
        code = c_.session.compare(sides, c_.settings, c_.feedback);
    }
    if (code == CompareAborted)
        return;
    if (code != CompareOk) {
        message(compareErrorText(code), QString::fromLatin1(CompareErrorCaption), MessageIcon::Error);
        return;
    }
    std::vector<ComparisonRow> rows;
    rows.reserve(c_.session.state().rows.size());
    for (const ListRow& cells : c_.session.state().rows)
        rows.push_back(ComparisonRow{cells, 0});
    c_.list.setRows(std::move(rows));

    // "Encoding B" needs an encoder; Replace Tags needs none.
    const bool replaceUsable = c_.modes.folderBMode || c_.encoders.any();
    c_.router.setEnabled(BtnReplace, replaceUsable);
    c_.router.setEnabled(CmdReplace, replaceUsable);
    c_.router.setEnabled(BtnMoveFiles, false);
    c_.router.setEnabled(CmdMoveFiles, false);
    c_.router.setEnabled(BtnPlay, true);
    c_.router.setEnabled(BtnProp, true);
    FeatureHooks::fire(c_.hooks.afterCompare);
}

void CompareController::replace()
{
    if (!FeatureHooks::allow(c_.hooks.beforeWriting))
        return;
    takeEditedPaths(c_);
    if (!c_.modes.folderBMode) {
        runEncodingB(c_, false);
        return;
    }
    ReplaceOutcome outcome;
    {
        const JobScope job(c_.router);
        c_.session.replace(c_.settings, ReplaceOptions{c_.modes.backupMode, false, false}, c_.feedback, outcome);
    }
    if (outcome.precheck != 0)
        return;
    // A run that stopped early says so: the files after the failing one were not written.
    if (outcome.writeCode != WriteOk)
        message(writeReplacedErrorText(outcome.writeCode, outcome.failedPath), QString::fromLatin1(ReplaceTagsCaption),
                MessageIcon::Warning);
    if (c_.modes.backupMode) {
        c_.router.setEnabled(BtnMoveFiles, true);
        c_.router.setEnabled(CmdMoveFiles, true);
    }
}

void CompareController::moveFiles()
{
    if (!FeatureHooks::allow(c_.hooks.beforeWriting))
        return;
    takeEditedPaths(c_);
    const QString folderA = c_.session.state().folderA;
    int code;
    {
        const JobScope job(c_.router);
        code = c_.session.move(c_.settings, c_.modes.backupMode, c_.feedback);
    }
    if (code == LevelTooFewLevels)
        message(writeReplacedErrorText(WriteNoLevelFolder, folderA), QStringLiteral("Move Files"),
                MessageIcon::Warning);
    if (code != 0 && code != MoveJournalFailed)
        return;
    if (!c_.modes.folderBMode)
        c_.feedback.setStatus(2, QString());
    resetToEmptyState();
}

void CompareController::showProperties(int row)
{
    if (row < 0)
        return;
    const ComparisonState& s = c_.session.state();
    QString text, kind, heading;
    if (row % 2 == 0) {
        const int i = row / 2;
        if (i >= s.a.count())
            return;
        heading = s.a.names[size_t(i)];
        dumpFile(QDir(s.folderA).filePath(heading), text, kind);
    } else {
        const int j = row / 2 - s.trackOffsetB;
        if (j < 0 || j >= s.countB())
            return;
        if (s.cue) {
            text = dumpCdImage(*s.cue, c_.settings.CP_Cue_Sheet);
            kind = QStringLiteral("Image");
            heading = QFileInfo(s.cue->imagePath).fileName();
        } else {
            heading = s.b.names[size_t(j)];
            dumpFile(QDir(s.folderB).filePath(heading), text, kind);
        }
    }
    if (kind.isEmpty())
        kind = QStringLiteral("Unknown");
    if (text.isEmpty())
        text = QStringLiteral("No description of this file is available.");
    TextBox(c_.window, QStringLiteral("%1 File Properties").arg(kind), displayPath(heading), displayPath(text),
            QStringLiteral("Ok"));
}

void CompareController::toggleFolderBMode()
{
    takeEditedPaths(c_);
    c_.modes.folderBMode = !c_.modes.folderBMode;
    showFolderBMode();
    resetToEmptyState();
}

void CompareController::showFolderBMode()
{
    const bool folderB = c_.modes.folderBMode;
    const ModeTexts& texts = modeTexts(folderB);
    WindowControls& w = c_.controls;
    w.modeB->setText(texts.caption);
    c_.menus.setText(CmdFolderB, texts.caption);
    w.editB->setText(folderB ? c_.settings.Path_B : c_.settings.Path_Cue);
    AddToolTip(w.editB, texts.editTip);
    setBitmap(w.browseB, texts.browseBitmap);
    AddToolTip(w.browseB, texts.browseTip);
    AddToolTip(w.exploreB, texts.exploreTip);
    c_.router.setText(BtnReplace, texts.replaceCaption);
    c_.menus.setText(CmdReplace, texts.replaceItem);
    refreshCdImageItems(c_.menus, folderB, c_.settings.Cddb_Server1);
}

void CompareController::toggleBackupMode()
{
    (c_.modes.backupMode ? c_.settings.Path_Bkup : c_.settings.Path_Otpt) = c_.controls.editBackup->text();
    c_.modes.backupMode = !c_.modes.backupMode;
    showBackupMode();
}

void CompareController::showBackupMode()
{
    const bool backup = c_.modes.backupMode;
    const QString caption = backup ? QStringLiteral("Backup Folder") : QStringLiteral("Output Folder");
    WindowControls& w = c_.controls;
    w.modeBackup->setText(caption);
    c_.menus.setText(CmdBackupFolder, caption);
    w.editBackup->setText(backup ? c_.settings.Path_Bkup : c_.settings.Path_Otpt);
    setBitmap(w.browseBackup, backup ? BmpBackup : BmpOutput);
    AddToolTip(w.editBackup, QStringLiteral("%1 のパスです").arg(caption));
    AddToolTip(w.browseBackup, QStringLiteral("%1 を変更します").arg(caption));
    AddToolTip(w.exploreBackup, QStringLiteral("%1 を File Explorer で閲覧します").arg(caption));
}

} // namespace vn
