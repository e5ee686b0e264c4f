#include "app/features/undo_move_controller.h"

#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "config/settings.h"
#include "encode/move_journal.h"
#include "session/session.h"

#include <QDir>

namespace vn {

namespace {

const QString Caption = QStringLiteral("Undo last Move Files");
constexpr int NamedInMessage = 20;

} // namespace

UndoMoveController::UndoMoveController(FeatureContext& context) : c_(context)
{
    c_.router.add({CmdUndoMoveFiles}, [this](int) { undo(); });
}

void UndoMoveController::undo()
{
    takeEditedPaths(c_);
    const QString journal = lastMoveJournal(c_.settings.Path_Bkup);
    std::vector<UndoStep> steps;
    bool cutShort = false;
    int code;
    {
        const JobScope job(c_.router);
        code = c_.session.undoMove(journal, steps, &cutShort);
    }
    if (code == SessionBusy)
        return;
    int movedBack = 0;
    QString problems;
    int named = 0;
    for (const UndoStep& step : steps) {
        if (step.result == UndoResult::MovedBack || step.result == UndoResult::LeftoverRemoved) {
            ++movedBack;
        } else if (step.result != UndoResult::NothingToDo && named++ < NamedInMessage) {
            problems += QStringLiteral("\n\"%1\": %2").arg(QDir::toNativeSeparators(step.from),
                                                          undoResultText(step.result));
        }
    }
    // The files the list showed are no longer where it says.
    if (movedBack > 0 && c_.list.rowCount() > 0) {
        for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnProp, CmdReplace, CmdMoveFiles})
            c_.router.setEnabled(id, false);
        c_.list.clear();
        c_.session.clear();
        FeatureHooks::fire(c_.hooks.comparisonCleared);
    }
    if (code == UndoOk) {
        QString text = QStringLiteral("%1 files were moved back.").arg(movedBack);
        if (cutShort)
            text += QStringLiteral("\nThe Move Files had been cut short.");
        showMessage(c_.window, text, Caption, MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    showMessage(c_.window, undoErrorText(code, journal) + problems, Caption, MessageButtons::Ok,
                code == UndoAlreadyDone ? MessageIcon::Information : MessageIcon::Warning);
}

} // namespace vn
