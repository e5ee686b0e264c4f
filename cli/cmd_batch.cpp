#include "batch/batch_runner.h"
#include "batch/match_list.h"
#include "cli/cli.h"
#include "cli/encoder_choice.h"
#include "encode/encoder_availability.h"
#include "encode/encoding_b_tools.h"
#include "encode/flac_encoder.h"
#include "encode/lame_encoder.h"
#include "encode/tool_probe.h"
#include "session/session.h"
#include "util/file_name.h"
#include "util/numbers.h"

#include <QDir>
#include <cstdio>

namespace vn::cli {

bool batchExtension(const QString& ext);

namespace {

// "K/N" with 0 <= K < N.
bool parseShard(const QString& text, int& index, int& count)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    const std::optional<int> k = wholeNumber(QStringView(text).left(slash));
    const std::optional<int> n = wholeNumber(QStringView(text).sliced(slash + 1));
    if (!k || !n || *n < 1 || *k < 0 || *k >= *n)
        return false;
    index = *k;
    count = *n;
    return true;
}

int runBatch(Context& context, const QStringList& given)
{
    QStringList args = given;
    Settings& s = context.settings;
    QString list, ext = s.CueMatch_Extension, encoder, output, backup, temp, shard, error;
    int jobs = 0;
    const bool haveList = takeOption(args, QStringLiteral("--list"), list, error);
    if (error.isEmpty())
        takeOption(args, QStringLiteral("--ext"), ext, error);
    const bool named = error.isEmpty() && takeOption(args, QStringLiteral("--encoder"), encoder, error);
    const bool outputMode = error.isEmpty() && takeOption(args, QStringLiteral("--output"), output, error);
    const bool backupGiven = error.isEmpty() && takeOption(args, QStringLiteral("--backup"), backup, error);
    const bool tempGiven = error.isEmpty() && takeOption(args, QStringLiteral("--temp"), temp, error);
    const bool sharded = error.isEmpty() && takeOption(args, QStringLiteral("--shard"), shard, error);
    const bool jobsGiven = error.isEmpty() && args.contains(QStringLiteral("--jobs"));
    if (error.isEmpty())
        takeNumber(args, QStringLiteral("--jobs"), jobs, error);
    if (!error.isEmpty())
        return usageError("batch", error);
    if (!args.isEmpty())
        return usageError("batch", QStringLiteral("unexpected \"%1\"").arg(args.first()));
    if (!haveList)
        return usageError("batch", QStringLiteral("batch needs --list"));
    if (outputMode && (backupGiven || tempGiven))
        return usageError("batch", QStringLiteral("--output excludes --backup and --temp"));
    if (!batchExtension(ext))
        return usageError("batch", QStringLiteral("--ext takes .mp3, .m4a, .mp4, .flac, .mka or .webm"));
    if (jobsGiven && jobs < 1)
        return usageError("batch", QStringLiteral("--jobs takes a number of at least 1"));
    BatchRunOptions options;
    if (sharded && !parseShard(shard, options.shardIndex, options.shardCount))
        return usageError("batch", QStringLiteral("--shard takes K/N with 0 <= K < N"));
    if (named) {
        s.EncoderIndex = encoderIndexNamed(encoder);
        if (s.EncoderIndex < 0)
            return usageError("batch", QStringLiteral("unknown encoder \"%1\"").arg(encoder));
    }
    EncoderAvailability available;
    if (const QString why = encoderUnavailable(s.EncoderIndex, s, available, context.feedback); !why.isEmpty()) {
        printErr(why + QLatin1Char('\n'));
        return ExitFailure;
    }

    BatchList pairs;
    QString errors;
    const int count = validateBatchList(ext.toLower(), list, pairs, errors);
    if (count == ValidateCannotOpen) {
        printErr(QStringLiteral("cannot read the list file \"%1\"\n").arg(list));
        return ExitFailure;
    }
    if (count != 0) {
        printErr(errors.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        return ExitFailure;
    }

    if (outputMode)
        s.Path_Otpt = QDir(output).absolutePath();
    if (backupGiven)
        s.Path_Bkup = QDir(backup).absolutePath();
    if (tempGiven)
        s.Path_Temp = QDir(temp).absolutePath();
    options.extension = ext.toLower();
    options.backupMode = !outputMode;
    options.jobs = jobs;
    const OutsideTools tools = outsideTools(available);
    options.tools = &tools;
    // Each pair's files are printed as it finishes, so a run that is stopped has said what it made.
    options.pairDone = [&s](const BatchPairReport& p) {
        QString out;
        for (const QString& file : p.written)
            out += file + QLatin1Char('\n');
        printOut(out);
        std::fflush(stdout);
        for (const QString& file : p.notCreated)
            printErr(QStringLiteral("\"%1\" Not Created by %2\n").arg(file, encoderToolName(s.EncoderIndex)));
        if (p.compareCode != 0)
            printErr(QStringLiteral("pair %1 skipped (\"%2\", \"%3\"): %4\n")
                         .arg(p.index + 1)
                         .arg(p.pair.folderA, p.pair.cuePath, compareErrorText(p.compareCode)));
        else if (p.levelCode != 0)
            printErr(QStringLiteral("pair %1: cannot make the output folder for \"%2\"\n").arg(p.index + 1).arg(p.pair.folderA));
        else if (p.encodeCode != 0 && p.failedError != 0)
            printErr(QStringLiteral("pair %1 (\"%2\"): Encode Error %3: \"%4\" was not written: %5\n")
                         .arg(p.index + 1)
                         .arg(p.pair.folderA)
                         .arg(p.encodeCode)
                         .arg(p.failedPath, systemErrorText(p.failedError)));
        else if (p.encodeCode != 0)
            printErr(QStringLiteral("pair %1 (\"%2\"): Encode Error %3\n").arg(p.index + 1).arg(p.pair.folderA).arg(p.encodeCode));
        for (const MoveStep& step : p.moves) {
            if (!step.done && !step.nothingProduced)
                printErr(QStringLiteral("\"%1\" not moved: %2\n").arg(step.from, step.reason));
        }
    };

    ComparisonSession session;
    BatchOutcome outcome;
    runBatchReencode(pairs, s, session, options, context.feedback, outcome);
    return outcome.failed() ? ExitFailure : ExitOk;
}

} // namespace

VN_CLI_COMMAND("batch",
               "--list FILE [--ext .mp3] [--encoder lame|flac|qaac|fdkaac|opusenc|ffmpeg] [--output DIR | --backup DIR "
               "[--temp DIR]] [--jobs N] [--shard K/N]",
               "Batch Re-encode: encodes the pairs of a match list (only every N-th from K with --shard K/N)",
               runBatch);

} // namespace vn::cli
