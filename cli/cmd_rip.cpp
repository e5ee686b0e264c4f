#include "cd/cd_image.h"
#include "cli/cli.h"
#include "cli/device_commands.h"
#include "util/numbers.h"

#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

namespace vn::cli {

namespace {

// Progress on one line of a terminal, overwritten in place, or with --verbose a line per text.
class RipFeedback : public CliFeedback {
public:
    explicit RipFeedback(bool verbose) : terminal_(isatty(fileno(stderr))), verbose_(verbose) {}
    void setStatus(int, const QString& text) override
    {
        last = text;
        if (terminal_)
            printErr(QLatin1Char('\r') + text);
        else if (verbose_)
            printErr(text + QLatin1Char('\n'));
    }
    void finish()
    {
        if (terminal_)
            printErr(QStringLiteral("\n"));
    }
    QString last;

private:
    bool terminal_;
    bool verbose_;
};

int runRip(Context& context, const QStringList& given)
{
    QStringList args = given;
    QString cuePath, format, block, error;
    const bool hasCue = takeOption(args, QStringLiteral("--cue"), cuePath, error);
    const bool hasFormat = error.isEmpty() && takeOption(args, QStringLiteral("--format"), format, error);
    const bool hasBlock = error.isEmpty() && takeOption(args, QStringLiteral("--block"), block, error);
    const bool plain = takeFlag(args, QStringLiteral("--no-paranoia"));
    if (!error.isEmpty() || args.size() != 1 || !hasCue || cuePath.isEmpty())
        return usageError("rip", error.isEmpty() ? QStringLiteral("rip takes a drive and --cue OUT.cue") : error);

    RipSettings rip = ripSettingsFrom(context.settings);
    rip.device = args.first();
    rip.cuePath = QFileInfo(cuePath).absoluteFilePath();
    if (hasFormat) {
        const qsizetype index = QStringList{QStringLiteral("wav"), QStringLiteral("bin"), QStringLiteral("img")}.indexOf(format.toLower());
        if (index < 0)
            return usageError("rip", QStringLiteral("--format takes wav, bin or img"));
        rip.format = uint32_t(index);
    }
    if (hasBlock) {
        const std::optional<int> n = wholeNumber(block);
        if (!n || *n < 0)
            return usageError("rip", QStringLiteral("--block takes a number of sectors"));
        rip.blockSize = uint32_t(*n);
    }
    if (plain)
        rip.verifiedReads = false;
    // Nobody is here to say whether an existing cue sheet may go.
    if (QFileInfo::exists(rip.cuePath)) {
        printErr(QStringLiteral("%1 exists: not replaced\n").arg(rip.cuePath));
        return ExitFailure;
    }

    RipFeedback feedback(context.feedback.verbose);
    const int code = ripCdImage(rip, feedback);
    feedback.finish();
    storeRipSettings(rip, context.settings);
    if (code != RipOk) {
        QString text = ripErrorText(code);
        if (code > 0 && feedback.last.startsWith(QStringLiteral("Read Error")))
            text = feedback.last; // the read error's own line says more: where it happened
        else if (code == RipCanceled && feedback.last != text)
            text = QStringLiteral("The disc in %1 holds no audio tracks").arg(rip.device);
        printErr(withProblem(text, code == RipImageFileError || code == RipCueFileError ? rip.writeProblem : QString()));
        return ExitFailure;
    }
    printOut(ripImagePath(rip.cuePath, rip.format) + QLatin1Char('\n') + rip.cuePath + QLatin1Char('\n'));
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND(RipCommand.name, RipCommand.usage, RipCommand.summary, runRip);

} // namespace vn::cli
