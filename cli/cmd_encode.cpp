#include "cli/cli.h"
#include "cli/encoder_choice.h"
#include "encode/encoder_availability.h"
#include "encode/encoding_b.h"
#include "encode/encoding_b_tools.h"
#include "encode/flac_encoder.h"
#include "encode/lame_encoder.h"
#include "encode/tool_probe.h"
#include "session/session.h"
#include "util/file_name.h"
#include "util/numbers.h"
#include "util/safe_file.h"

#include <QDir>

namespace vn::cli {

namespace {

int runEncode(Context& context, const QStringList& given)
{
    QStringList args = given;
    Settings& s = context.settings;
    QString encoder, offsetText, jobsText, output, temp, error;
    const bool named = takeOption(args, QStringLiteral("--encoder"), encoder, error);
    const bool offsetGiven = error.isEmpty() && takeOption(args, QStringLiteral("--offset"), offsetText, error);
    const bool jobsGiven = error.isEmpty() && takeOption(args, QStringLiteral("--jobs"), jobsText, error);
    const bool outputMode = error.isEmpty() && takeOption(args, QStringLiteral("--output"), output, error);
    const bool tempGiven = error.isEmpty() && takeOption(args, QStringLiteral("--temp"), temp, error);
    const bool bTags = takeFlag(args, QStringLiteral("--b-tags"));
    if (!error.isEmpty())
        return usageError("encode", error);
    if (args.size() != 2)
        return usageError("encode", QStringLiteral("encode takes Folder A and a cue sheet"));
    if (outputMode && tempGiven)
        return usageError("encode", QStringLiteral("--output and --temp exclude each other"));
    if (bTags && tempGiven)
        return usageError("encode", QStringLiteral("--b-tags writes into a level folder under the Output folder; use --output"));
    const std::optional<int> offset = offsetGiven ? wholeNumber(offsetText) : std::optional<int>(0);
    if (!offset)
        return usageError("encode", QStringLiteral("--offset takes a whole number"));
    const std::optional<int> jobs = jobsGiven ? wholeNumber(jobsText) : std::optional<int>(0);
    if (!jobs || *jobs < 0 || (jobsGiven && *jobs == 0))
        return usageError("encode", QStringLiteral("--jobs takes a number of at least 1"));
    if (named) {
        s.EncoderIndex = encoderIndexNamed(encoder);
        if (s.EncoderIndex < 0)
            return usageError("encode", QStringLiteral("unknown encoder \"%1\"").arg(encoder));
    }
    EncoderAvailability available;
    if (const QString why = encoderUnavailable(s.EncoderIndex, s, available, context.feedback); !why.isEmpty()) {
        printErr(why + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (outputMode)
        s.Path_Otpt = QDir(output).absolutePath();
    if (tempGiven)
        s.Path_Temp = QDir(temp).absolutePath();

    ComparisonSession session;
    // The image's own tags pair each track with itself.
    const Sides sides{QDir(args[0]).absolutePath(), QDir(args[1]).absolutePath(), false, bTags ? 0 : *offset};
    if (const int code = session.compare(sides, s, context.feedback); code != CompareOk) {
        printErr(compareErrorText(code) + QLatin1Char('\n'));
        return ExitFailure;
    }

    EncodeOptions options;
    options.backupMode = !outputMode && !bTags;
    options.bTags = bTags;
    options.jobs = *jobs;
    const OutsideTools tools = outsideTools(available);
    options.tools = &tools;
    EncodeOutcome outcome;
    session.encode(s, options, context.feedback, outcome);
    if (outcome.precheck != 0)
        return ExitFailure; // the warning went to stderr through the feedback
    if (outcome.levelCode != 0) {
        printErr(QStringLiteral("%1: cannot make the output folder under \"%2\"\n")
                     .arg(QLatin1String(EncodingBCaption), QDir::toNativeSeparators(s.Path_Otpt)));
        return ExitFailure;
    }
    QString out;
    for (const QString& path : outcome.written)
        out += path + QLatin1Char('\n');
    printOut(out);
    for (const QString& path : outcome.notCreated)
        printErr(QStringLiteral("\"%1\" Not Created by %2\n").arg(QDir::toNativeSeparators(path), encoderToolName(s.EncoderIndex)));
    // A track the tool did not make is a failure of the run, though it went on with the others.
    const bool missing = !outcome.notCreated.isEmpty();
    if (outcome.code != 0) {
        // A file under the failed track's name is never one this run made.
        if (!outcome.failedPath.isEmpty())
            printErr(nameTaken(outcome.failedPath)
                         ? QStringLiteral("\"%1\" already exists and was left as it is.\n").arg(outcome.failedPath)
                     : outcome.failedError != 0
                         ? QStringLiteral("\"%1\" was not written: %2\n").arg(outcome.failedPath, systemErrorText(outcome.failedError))
                         : QStringLiteral("\"%1\" was not written.\n").arg(outcome.failedPath));
        return ExitFailure;
    }
    return missing ? ExitFailure : ExitOk;
}

} // namespace

VN_CLI_COMMAND("encode",
               "A CUE [--encoder lame|flac|qaac|fdkaac|opusenc|ffmpeg] [--offset N] [--output DIR | --temp DIR] "
               "[--jobs N] [--b-tags]",
               "Encoding B: encodes every track of a CD image with A's tags (or the image's own with --b-tags)",
               runEncode);

} // namespace vn::cli
