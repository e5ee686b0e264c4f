#include "cli/cli.h"
#include "encode/move_files.h"
#include "encode/replace_tags.h"
#include "util/numbers.h"

#include <QDir>

#include <future>

namespace vn::cli {

namespace {

// Reads "--name N" into value; false (with error set) when it is there but not a whole number.
bool takeNumber(QStringList& args, const QString& name, int& value, QString& error)
{
    QString text;
    if (!takeOption(args, name, text, error))
        return error.isEmpty();
    const std::optional<int> n = wholeNumber(text);
    if (!n) {
        error = QStringLiteral("%1 takes a whole number").arg(name);
        return false;
    }
    value = *n;
    return true;
}

int runReplaceTags(Context& context, const QStringList& given)
{
    QStringList args = given;
    Settings& s = context.settings;
    QString output, temp, error;
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
    ComparisonState state;
    state.folderA = QDir(args[0]).absolutePath();
    state.folderB = QDir(args[1]).absolutePath();
    state.trackOffsetB = offset;
    // The two sides are read side by side.
    auto sideA = std::async(std::launch::async, [&] { return loadSideTags(state.folderA, s.ExtPriorityList, state.a); });
    const int codeB = loadSideTags(state.folderB, s.ExtPriorityList, state.b);
    const int codeA = sideA.get();
    const int code = codeA ? codeA : codeB ? codeB + 2 : 0; // B's codes follow A's
    if (code != 0) {
        printErr(compareErrorText(code) + QLatin1Char('\n'));
        return ExitFailure;
    }

    PairList pairs;
    ReplaceOutcome outcome;
    replaceOrEncode(state, s, ReplaceOptions{!outputMode, false, false}, context.feedback, pairs, outcome);
    if (outcome.precheck != 0)
        return ExitFailure; // the warning went to stderr through the feedback
    QString out;
    for (const QString& path : outcome.written)
        out += path + QLatin1Char('\n');
    printOut(out);
    if (outcome.writeCode != WriteOk) {
        printErr(QStringLiteral("%1: %2\n").arg(QLatin1String(ReplaceTagsCaption),
                                                writeReplacedErrorText(outcome.writeCode, outcome.failedPath)));
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("replace-tags", "A B [--offset N] [--output DIR] [--temp DIR] [--block N] [--pad N]",
               "Replace Tags: writes A's tags over B's audio into the TempFile folder (or a level folder under --output)",
               runReplaceTags);

} // namespace vn::cli
