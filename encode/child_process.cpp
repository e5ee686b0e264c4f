#include "encode/child_process.h"

#include "util/feedback.h"
#include "util/text_helpers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace vn {

namespace {

// A probe prints a few lines and ends; one still running after this is stopped.
constexpr int CaptureTimeLimitMs = 30000;
// The waiting slice: the mark blinks at this pace.
constexpr int WaitSliceMs = 200;
// Slices between two pumps: about four seconds.
constexpr int SlicesPerPump = 20;
// Time a tool gets to end by itself after it was asked to.
constexpr int TerminateGraceMs = 3000;

void stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(TerminateGraceMs)) {
        process.kill();
        process.waitForFinished(-1);
    }
}

// Where the streams go that are not captured: our own console, or nowhere.
void routeStreams(QProcess& process, int capture, bool console)
{
    const bool out = capture & CaptureStdout;
    const bool err = capture & CaptureStderr;
    if (out && err) {
        process.setProcessChannelMode(QProcess::MergedChannels);
    } else if (out) {
        process.setProcessChannelMode(console ? QProcess::ForwardedErrorChannel : QProcess::SeparateChannels);
        if (!console)
            process.setStandardErrorFile(QProcess::nullDevice());
    } else if (err) {
        process.setProcessChannelMode(console ? QProcess::ForwardedOutputChannel : QProcess::SeparateChannels);
        if (!console)
            process.setStandardOutputFile(QProcess::nullDevice());
    } else if (console) {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }
}

void logCommandError(const QString& logPath, int exitCode, const QString& commandText)
{
    if (logPath.isEmpty())
        return;
    QFile log(logPath);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // a log that cannot be written is skipped
    const QByteArray entry = "Commandline error Exit Code=" + QByteArray::number(uint32_t(exitCode), 16) + '\n' +
                             commandText.toUtf8() + '\n';
    // One write, so the entries of tools running side by side do not interleave.
    log.write(entry);
}

} // namespace

void ToolCommand::add(const QString& argument, const QString& shown)
{
    arguments << argument;
    text += shown;
}

void ToolCommand::addOptions(const QString& options)
{
    arguments << QProcess::splitCommand(options);
    text += options;
}

ToolCommand toolCommand(const QString& program)
{
    ToolCommand command;
    command.program = program;
    command.text = QuoteIfSpaced(program);
    return command;
}

bool isConsoleMode(const QByteArray& messageMode)
{
    return messageMode.compare("console", Qt::CaseInsensitive) == 0;
}

int captureToolOutput(const ToolCommand& command, QByteArray& output, int bufferSize)
{
    output.clear();
    if (command.program.isEmpty())
        return CaptureCannotStart;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(command.program, command.arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted())
        return CaptureCannotStart;

    const qint64 limit = qMax(bufferSize - 1, 0);
    QDeadlineTimer deadline(CaptureTimeLimitMs);
    while (output.size() < limit) {
        if (process.bytesAvailable() > 0) {
            output += process.read(limit - output.size());
            continue;
        }
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            break;
        process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000)));
    }
    // The rest is not read: a tool still writing is stopped rather than waited for.
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
    return int(output.size());
}

int runTool(const ToolCommand& command, const ToolRunOptions& options, QString* output, int* exitCode)
{
    const bool capture = options.captureFlags != 0 && output != nullptr;
    if (output)
        output->clear();
    if (exitCode)
        *exitCode = 0;

    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    routeStreams(process, capture ? options.captureFlags : 0, options.console);
#ifdef Q_OS_LINUX
    // A tool outlives no program that is killed: it would go on writing a file nobody names.
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    if (!command.program.isEmpty())
        process.start(command.program, command.arguments, QIODevice::ReadOnly);
    if (command.program.isEmpty() || !process.waitForStarted()) {
        // Nothing ran: the exit code counts as 0.
        if (options.expectedExitCode != 0)
            logCommandError(options.commandLog, 0, command.text);
        return ToolNotStarted;
    }

    // Captured bytes are kept up to what the output text can hold; later ones are read and dropped,
    // so a talkative tool never blocks on a full pipe.
    const qsizetype keepBytes = qsizetype(qMax(options.outputCapacity, 0)) * 4;
    QByteArray captured;
    auto collect = [&] {
        if (!capture)
            return;
        auto keep = [&](const QByteArray& bytes) {
            if (captured.size() < keepBytes)
                captured += bytes.left(keepBytes - captured.size());
        };
        // Joined streams arrive on the standard output channel; a stream not captured has no channel.
        if (options.captureFlags & CaptureStdout)
            keep(process.readAllStandardOutput());
        else
            keep(process.readAllStandardError());
    };
    auto abortAsked = [&] {
        return (options.feedback && options.feedback->abortRequested()) || (options.cancel && options.cancel->load());
    };

    bool aborted = false;
    int slices = 0;
    while (!process.waitForFinished(WaitSliceMs) && process.state() != QProcess::NotRunning) {
        collect();
        ++slices;
        if (options.feedback) {
            options.feedback->setStatus(ToolMarkStatusPart, slices % 2 ? QStringLiteral("  *") : QStringLiteral("*"));
            if (slices > SlicesPerPump) {
                options.feedback->pumpMessages();
                slices = 0;
            }
        }
        if (abortAsked()) {
            stop(process);
            aborted = true;
            break;
        }
    }
    collect();

    const int code = aborted || process.exitStatus() != QProcess::NormalExit ? -1 : process.exitCode();
    if (exitCode)
        *exitCode = code;
    if (code != options.expectedExitCode)
        logCommandError(options.commandLog, code, command.text);
    if (capture)
        *output = truncateToCapacity(QString::fromUtf8(captured), options.outputCapacity);
    return aborted ? ToolAborted : ToolRan;
}

} // namespace vn
