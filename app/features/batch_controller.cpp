#include "app/features/batch_controller.h"

#include "app/dialogs/batch_match_dialog.h"
#include "app/dialogs/batch_run_dialog.h"
#include "app/dialogs/text_box.h"
#include "app/widgets/comparison_model.h"
#include "app/widgets/shell.h"
#include "app/widgets/status_parts.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "app/window/menu_state.h"
#include "app/window/window_controls.h"
#include "batch/batch_runner.h"
#include "batch/match_list.h"
#include "batch/matcher.h"
#include "config/settings.h"
#include "encode/encoder_availability.h"
#include "encode/encoding_b_tools.h"
#include "session/session.h"

#include <QLineEdit>
#include <QProcess>
#include <QTableView>

namespace vn {

BatchController::BatchController(FeatureContext& context) : c_(context)
{
    c_.router.add({CmdBatchReencode}, [this](int) { run(); });
}

void BatchController::openListForEditing() const
{
    const QString& list = c_.settings.CueMatch_FileLst;
    if (!c_.settings.TextEditor.isEmpty())
        QProcess::startDetached(c_.settings.TextEditor, {list});
    else
        openWithShell(list);
}

bool BatchController::precheck(BatchList& list)
{
    QString errors;
    while (validateBatchList(c_.settings.CueMatch_Extension, c_.settings.CueMatch_FileLst, list, errors) != 0) {
        // The user edits the list meanwhile; Retry reads it again.
        openListForEditing();
        if (TextBox(c_.window, QStringLiteral("Batch Re-encode Setting STEP-2 : Pre-check Error"),
                    QStringLiteral("Pre-check Error Result"), errors, QStringLiteral("Retry"),
                    QStringLiteral("Cancel")) != TextBoxFirst)
            return false;
    }
    return TextBox(c_.window, QStringLiteral("Batch Re-encode Setting STEP-2 : Pre-check Ok"),
                   QStringLiteral("Pre-check Result"), precheckReport(list), QStringLiteral("Next"),
                   QStringLiteral("Cancel")) == TextBoxFirst;
}

void BatchController::showStep3Result(bool backupModeBefore)
{
    Settings& s = c_.settings;
    refreshEncoderChecks(c_.menus, s.EncoderIndex);
    c_.status.setText(6, encoderLine(c_.encoders, s.EncoderIndex));
    refreshLevelChecks(c_.menus, s.BkupFldr_Level);
    refreshSaveExistingCheck(c_.menus, s.BkupFldr_Exist);
    // The path row shows the mode the step chose; the switch takes the box's text as the folder of
    // the mode it leaves, so the box first holds what the step stored there.
    c_.controls.editBackup->setText(backupModeBefore ? s.Path_Bkup : s.Path_Otpt);
    if (c_.modes.backupMode != backupModeBefore) {
        c_.modes.backupMode = backupModeBefore;
        c_.router.run(BtnModeBackup);
    }
}

void BatchController::runPairs(const BatchList& list)
{
    Settings& s = c_.settings;
    // The window as the run shows it: CD image mode, the cue sheet on side B, offset 0, an empty list.
    if (c_.modes.folderBMode)
        c_.router.run(BtnCdImageMode);
    c_.controls.editB->setText(s.Path_Cue);
    c_.controls.editOffset->setText(QStringLiteral("0"));
    for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnProp, CmdReplace, CmdMoveFiles})
        c_.router.setEnabled(id, false);
    c_.list.clear();
    c_.session.clear();
    FeatureHooks::fire(c_.hooks.comparisonCleared);

    const OutsideTools tools = outsideTools(c_.encoders);
    BatchRunOptions options;
    options.tools = &tools;
    options.extension = s.CueMatch_Extension;
    options.backupMode = c_.modes.backupMode;
    options.beforePair = [this](const MatchPair& pair) {
        FeatureHooks::fire(c_.hooks.beforeCompare);
        c_.controls.editA->setText(pair.folderA);
        c_.controls.editB->setText(pair.cuePath);
        c_.controls.editA->repaint();
        c_.controls.editB->repaint();
    };
    options.compared = [this](const ComparisonState& state) {
        std::vector<ComparisonRow> rows;
        rows.reserve(state.rows.size());
        for (const ListRow& cells : state.rows)
            rows.push_back(ComparisonRow{cells, 0});
        c_.list.setRows(std::move(rows));
        c_.listView.repaint();
        FeatureHooks::fire(c_.hooks.afterCompare);
    };
    options.cleared = [this] {
        c_.list.clear();
        FeatureHooks::fire(c_.hooks.comparisonCleared);
    };
    BatchOutcome outcome;
    {
        const JobScope job(c_.router);
        runBatchReencode(list, s, c_.session, options, c_.feedback, outcome);
    }
    // The paths of the window are the user's again; the last pair's comparison goes with them.
    c_.list.clear();
    c_.session.clear();
    FeatureHooks::fire(c_.hooks.comparisonCleared);
    c_.controls.editA->setText(s.Path_A);
    c_.controls.editB->setText(s.Path_Cue);
}

void BatchController::run()
{
    if (!c_.encoders.any()) {
        showMessage(c_.window, QStringLiteral("No encoder installed."), QStringLiteral("Batch Error"), MessageButtons::Ok,
                    MessageIcon::Error);
        return;
    }
    takeEditedPaths(c_);
    Settings& s = c_.settings;
    const int step1 = BatchMatchDialog(c_.window, s);
    if (step1 == BatchMatchCancel)
        return;
    if (step1 == BatchMatchGenerate) {
        // Whatever it gives, the pre-check tells what the list holds.
        const JobScope job(c_.router);
        generateMatchList(s, c_.feedback);
    }

    BatchList list;
    if (!precheck(list))
        return;

    BatchRunRequest request;
    request.backupMode = c_.modes.backupMode;
    request.lameOptions = [this] { c_.router.run(CmdOptionLame); };
    const bool backupBefore = c_.modes.backupMode;
    const int step3 = BatchRunDialog(c_.window, s, c_.encoders, request);
    c_.modes.backupMode = request.backupMode;
    showStep3Result(backupBefore);
    if (step3 != 1)
        return;
    runPairs(list);
}

} // namespace vn
