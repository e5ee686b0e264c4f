#include "cli/cli.h"
#include "session/session.h"

#include <QDir>

namespace vn::cli {

namespace {

int runUndoMove(Context& context, const QStringList& given)
{
    QStringList args = given;
    QString backup, error;
    if (takeOption(args, QStringLiteral("--backup"), backup, error))
        context.settings.Path_Bkup = backup;
    if (!error.isEmpty() || args.size() > 1)
        return usageError("undo-move", error.isEmpty() ? QStringLiteral("undo-move takes at most one journal") : error);
    const QString journal = args.isEmpty() ? lastMoveJournal(context.settings.Path_Bkup) : args[0];

    ComparisonSession session;
    std::vector<UndoStep> steps;
    bool cutShort = false;
    const int code = session.undoMove(journal, steps, &cutShort);
    if (code == UndoAlreadyDone) {
        printErr(undoErrorText(code, journal) + QLatin1Char('\n'));
        return ExitOk; // nothing left to do is what was asked for
    }
    if (code != UndoOk && code != UndoIncomplete) {
        printErr(undoErrorText(code, journal) + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (cutShort)
        printErr(QStringLiteral("%1 records a Move Files that was cut short.\n").arg(QDir::toNativeSeparators(journal)));
    QString out;
    for (const UndoStep& step : steps) {
        const QString line = QStringLiteral("%1 -> %2").arg(QDir::toNativeSeparators(step.from), QDir::toNativeSeparators(step.to));
        if (step.result == UndoResult::MovedBack)
            out += line + QLatin1Char('\n');
        else if (step.result != UndoResult::NothingToDo)
            printErr(QStringLiteral("%1: %2\n").arg(line, undoResultText(step.result)));
    }
    printOut(out);
    if (code != UndoOk) {
        printErr(undoErrorText(code, journal) + QLatin1Char('\n'));
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("undo-move", "[JOURNAL] [--backup DIR]",
               "Undo of Move Files: every file of the journal (the last one in the Backup folder) moved back, newest first",
               runUndoMove);

} // namespace vn::cli
