#pragma once
// Running the outside encoders. A tool gets a program and an argument list, never one string for a
// shell or a parser to take apart, so nothing inside a tag value can change what runs. The same
// command is also kept as one line of text, in the form users know from the log.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>

namespace vn {

class Feedback;

struct ToolCommand {
    QString program;
    QStringList arguments;
    // The command as the log shows it: the program (quoted when it holds a blank), then the pieces.
    QString text;

    // One argument, shown in the text as shown.
    void add(const QString& argument, const QString& shown);
    // Text between arguments (blanks, a quote of the format).
    void show(const QString& shown) { text += shown; }
    // An option text from the settings: split into words as a command line is, shown as typed.
    void addOptions(const QString& options);
};

ToolCommand toolCommand(const QString& program);

// "console" in any case: the tool's output is let through to our own stdout and stderr.
bool isConsoleMode(const QByteArray& messageMode);

enum CaptureCode : int {
    CaptureCannotStart = -3,
};

// Runs a tool briefly (a version or list probe) with its standard input empty and both output
// streams joined, and returns what it printed: at most bufferSize - 1 bytes, the rest unread.
// The number of bytes, or CaptureCannotStart. A tool that is still printing after a while is
// stopped, so a probe can never hang the program's start.
int captureToolOutput(const ToolCommand& command, QByteArray& output, int bufferSize);

enum CaptureFlag : int {
    CaptureStdout = 1,
    CaptureStderr = 2,
};

enum RunToolCode : int {
    ToolNotStarted = 0,
    ToolRan = 1,
    ToolAborted = 2, // started, then stopped because an abort was asked for
};

struct ToolRunOptions {
    int captureFlags = 0;   // CaptureFlag bits; only with an output text given
    int outputCapacity = 0; // UTF-16 units of the output text, terminator counted
    int expectedExitCode = 0;
    bool console = false; // the message mode "console"
    QString commandLog;   // Batch_Log_EncCmdLn: appended when the exit code is not the expected one
    // The blinking mark in status part 5, a pump about every four seconds and the abort flag. A
    // worker of a pool passes none and may stop the tool through cancel instead.
    Feedback* feedback = nullptr;
    const std::atomic<bool>* cancel = nullptr;
};

// The status part that shows the runner's blinking mark.
inline constexpr int ToolMarkStatusPart = 5;

// Runs one encoding command to its end, reading its captured output while it runs. A RunToolCode;
// exitCode (when given) receives the tool's exit code: 0 when it was not started, -1 when it did not
// end by itself (killed, crashed, aborted).
int runTool(const ToolCommand& command, const ToolRunOptions& options, QString* output = nullptr,
            int* exitCode = nullptr);

} // namespace vn
