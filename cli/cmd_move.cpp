#include "cli/cli.h"
#include "session/session.h"
#include "util/numbers.h"

#include <QDir>

namespace vn::cli {

namespace {

// The window hands Move Files the pairs of its last Replace Tags run. Here every A file is a
// candidate: the TempFile folder file of its name is moved in only when it carries exactly A's
// tags, which is what replace-tags wrote for it, whatever B and offset it was run with.
int runMove(Context& context, const QStringList& given)
{
    QStringList args = given;
    Settings& s = context.settings;
    QString backup, temp, levels, error;
    if (takeOption(args, QStringLiteral("--backup"), backup, error))
        s.Path_Bkup = QDir(backup).absolutePath();
    if (error.isEmpty() && takeOption(args, QStringLiteral("--temp"), temp, error))
        s.Path_Temp = QDir(temp).absolutePath();
    if (error.isEmpty() && takeOption(args, QStringLiteral("--levels"), levels, error)) {
        if (const std::optional<int> n = wholeNumber(levels))
            s.BkupFldr_Level = *n;
        else
            error = QStringLiteral("--levels takes a whole number");
    }
    if (!error.isEmpty() || args.size() != 1)
        return usageError("move", error.isEmpty() ? QStringLiteral("move takes Folder A") : error);

    ComparisonSession session;
    if (const int code = session.loadTags(Sides{QDir(args[0]).absolutePath(), QString(), true, 0}, s)) {
        printErr(withProblem(compareErrorText(code), compareProblemText(code, args[0], QString(), s.CP_Cue_Sheet)));
        return ExitFailure;
    }
    std::vector<MoveStep> steps;
    const QString folderA = session.state().folderA;
    const int code = session.move(s, true, context.feedback, &steps);
    if (code == LevelTooFewLevels) {
        printErr(writeReplacedErrorText(WriteNoLevelFolder, folderA) + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (code != 0 && code != MoveJournalFailed)
        return ExitFailure; // the folder error went to stderr through the feedback
    QString out;
    bool failed = code != 0; // the journal's error went to stderr; the moves made before it are listed
    for (const MoveStep& step : steps) {
        if (step.done) {
            out += QStringLiteral("%1 -> %2\n").arg(QDir::toNativeSeparators(step.from), QDir::toNativeSeparators(step.to));
        } else if (!step.nothingProduced) {
            printErr(QStringLiteral("skipped %1: %2\n").arg(QDir::toNativeSeparators(step.from), step.reason));
            failed = true;
        }
    }
    printOut(out);
    return failed ? ExitFailure : ExitOk;
}

} // namespace

VN_CLI_COMMAND("move", "A [--backup DIR] [--temp DIR] [--levels N]",
               "Move Files: A's files into the backup level folder, the files replace-tags wrote into Folder A",
               runMove);

} // namespace vn::cli
