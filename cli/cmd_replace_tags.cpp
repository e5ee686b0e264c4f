#include "cli/cli.h"
#include "cli/verify_option.h"
#include "session/session.h"

#include <QDir>

namespace vn::cli {

namespace {

int runReplaceTags(Context& context, const QStringList& given)
{
    QStringList args = given;
    Settings& s = context.settings;
    QString output, temp, error;
    const bool verify = takeFlag(args, QStringLiteral("--verify"));
    const bool force = takeFlag(args, QStringLiteral("--force"));
    int offset = 0;
    bool ok = takeNumber(args, QStringLiteral("--offset"), offset, error);
    ok = ok && takeNumber(args, QStringLiteral("--block"), s.ID3_Blk, error);
    ok = ok && takeNumber(args, QStringLiteral("--pad"), s.ID3_Pad, error);
    const bool outputMode = ok && takeOption(args, QStringLiteral("--output"), output, error);
    if (ok && error.isEmpty() && takeOption(args, QStringLiteral("--temp"), temp, error))
        s.Path_Temp = QDir(temp).absolutePath();
    if (!ok || !error.isEmpty() || args.size() != 2)
        return usageError("replace-tags", error.isEmpty() ? QStringLiteral("replace-tags takes Folder A and Folder B") : error);
    if (outputMode)
        s.Path_Otpt = QDir(output).absolutePath();

    // Replace Tags needs each file's tag and where its audio starts, not the stream analysis the
    // compare list shows.
    ComparisonSession session;
    const Sides sides{QDir(args[0]).absolutePath(), QDir(args[1]).absolutePath(), true, offset};
    if (const int code = session.loadTags(sides, s)) {
        printErr(withProblem(compareErrorText(code), compareProblemText(code, sides.folderA, sides.folderB, s.CP_Cue_Sheet)));
        return ExitFailure;
    }
    if (verify) {
        const ComparisonState& state = session.state();
        const PairList list = folderPairs(state.a.count(), state.b.count(), state.trackOffsetB);
        if (const int code = refuseMismatches(context, state, list, force); code != ExitOk)
            return code;
    }
    ReplaceOutcome outcome;
    const int pairs = session.replace(s, ReplaceOptions{!outputMode, false, false}, context.feedback, outcome);
    if (outcome.precheck != 0)
        return ExitFailure; // the warning went to stderr through the feedback
    if (pairs == 0) {
        printErr(QStringLiteral("%1: no A file has a B partner with track offset %2; nothing was written\n")
                     .arg(QLatin1String(ReplaceTagsCaption))
                     .arg(offset));
        return ExitFailure;
    }
    QString out;
    for (const QString& path : outcome.written)
        out += path + QLatin1Char('\n');
    printOut(out);
    if (outcome.writeCode != WriteOk) {
        printErr(withProblem(QStringLiteral("%1: %2").arg(QLatin1String(ReplaceTagsCaption),
                                                          writeReplacedErrorText(outcome.writeCode, outcome.failedPath)),
                             outcome.failedCause));
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("replace-tags",
               "A B [--offset N] [--output DIR] [--temp DIR] [--block N] [--pad N] [--verify [--force]]",
               "Replace Tags: writes A's tags over B's audio into the TempFile folder (or a level folder under --output); "
               "--verify first checks each pair is the same recording",
               runReplaceTags);

} // namespace vn::cli
