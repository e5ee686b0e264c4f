// The child-process runner: what a probe captures, arguments that reach the tool unchanged, the
// command-line log, output read while the tool runs, the blinking mark and the pumps, the abort,
// and the console mode.

#include "cli_tool_fixtures.h"
#include "encode/child_process.h"

#include <QFile>
#include <QTemporaryFile>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace vn {
namespace {

using test::ToolFeedback;

ToolCommand python(const QString& script, const QStringList& more = {})
{
    ToolCommand c = toolCommand("/usr/bin/python3");
    c.add("-c", " -c");
    c.add(script, " <script>");
    for (const QString& a : more)
        c.add(a, QLatin1Char(' ') + a);
    return c;
}

TEST(CaptureToolOutput, KeepsTheFirstBytesUpToTheBufferAndBothStreams)
{
    // 40,000 bytes on stdout after a line on stderr: more than the probe buffer of 16,384 holds.
    const QString script = QStringLiteral("import sys\nsys.stderr.write('err-line\\n'); sys.stderr.flush()\n"
                                          "sys.stdout.write(''.join(chr(97 + i % 26) for i in range(40000)))");
    QByteArray expected = "err-line\n";
    for (int i = 0; i < 40000; ++i)
        expected += char('a' + i % 26);

    QByteArray out;
    EXPECT_EQ(captureToolOutput(python(script), out, 16384), 16383);
    EXPECT_EQ(out, expected.left(16383));
    EXPECT_EQ(captureToolOutput(python(script), out, 65536), expected.size());
    EXPECT_EQ(out, expected);

    EXPECT_EQ(captureToolOutput(toolCommand("/nonexistent/tool"), out, 100), CaptureCannotStart);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(captureToolOutput(toolCommand(QString()), out, 100), CaptureCannotStart);
    // A tool that prints nothing gives 0 bytes, not a failure.
    EXPECT_EQ(captureToolOutput(toolCommand("/bin/true"), out, 100), 0);
}

TEST(ToolCommandText, OptionsAreSplitIntoWordsAndEveryValueIsOneArgument)
{
    QTemporaryDir dir;
    ToolCommand c = toolCommand("/opt/my tools/enc");
    c.addOptions(" aac -q:a 1 --comment \"A B\"");
    EXPECT_EQ(c.arguments, (QStringList{"aac", "-q:a", "1", "--comment", "A B"}));
    EXPECT_EQ(c.text, "\"/opt/my tools/enc\" aac -q:a 1 --comment \"A B\"");

    // Whatever a value holds reaches the tool as it is, and nothing in it runs.
    const QString marker = dir.filePath("ran");
    const QStringList values = {"Say \"Hi\" \\ back\\slash",
                                QStringLiteral("$(touch %1) `touch %1`; touch %1 && touch %1 | touch %1").arg(marker),
                                "line one\nline two", "日本語のタイトル",
                                "'single' %PATH% *"};
    const QString record = dir.filePath("argv.json");
    const ToolCommand run =
        python(QStringLiteral("import sys, json\n"
                              "open(sys.argv[1], 'w', encoding='utf-8').write(json.dumps(sys.argv[2:]))"),
               QStringList{record} + values);
    int exitCode = -5;
    EXPECT_EQ(runTool(run, {}, nullptr, &exitCode), ToolRan);
    EXPECT_EQ(exitCode, 0);
    QStringList received;
    for (const QJsonValue& v : QJsonDocument::fromJson(test::readFile(record)).array())
        received << v.toString();
    EXPECT_EQ(received, values);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(RunTool, LogsAnUnexpectedExitCodeInHexadecimalWithTheCommandLine)
{
    QTemporaryDir dir;
    ToolRunOptions options;
    options.commandLog = dir.filePath("cmdline.log");
    ToolCommand exit3 = toolCommand("/bin/sh");
    exit3.add("-c", " -c");
    exit3.add("exit 3", " \"exit 3\"");
    ToolCommand exit27 = toolCommand("/bin/sh");
    exit27.add("-c", " -c");
    exit27.add("exit 27", " \"exit 27\"");

    int code = 0;
    EXPECT_EQ(runTool(exit3, options, nullptr, &code), ToolRan);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(runTool(exit27, options, nullptr, &code), ToolRan);
    EXPECT_EQ(test::readFile(options.commandLog),
              QByteArray("Commandline error Exit Code=3\n/bin/sh -c \"exit 3\"\n"
                         "Commandline error Exit Code=1b\n/bin/sh -c \"exit 27\"\n"));

    // The expected code, and a tool that never started while 0 was expected, add nothing.
    options.expectedExitCode = 3;
    EXPECT_EQ(runTool(exit3, options), ToolRan);
    options.expectedExitCode = 0;
    const ToolCommand missing = toolCommand("/nonexistent/encoder");
    EXPECT_EQ(runTool(missing, options, nullptr, &code), ToolNotStarted);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(test::readFile(options.commandLog).count("Commandline error"), 2);
    // Expecting another code, the missing tool is logged with exit code 0.
    options.expectedExitCode = 5;
    EXPECT_EQ(runTool(missing, options), ToolNotStarted);
    EXPECT_TRUE(test::readFile(options.commandLog).endsWith("Commandline error Exit Code=0\n/nonexistent/encoder\n"));

    // A log that cannot be written is skipped; the run is not affected.
    options.commandLog = dir.filePath("no/such/folder/cmdline.log");
    options.expectedExitCode = 0;
    EXPECT_EQ(runTool(exit3, options, nullptr, &code), ToolRan);
    EXPECT_EQ(code, 3);
}

TEST(RunTool, ReadsCapturedOutputWhileTheToolRuns)
{
    // A megabyte on each stream is far more than a pipe holds: a runner that read only at the end
    // would wait forever.
    const ToolCommand loud = python(QStringLiteral("import sys\nsys.stdout.write('o' * 1000000)\n"
                                                   "sys.stderr.write('e' * 1000000)\nsys.stdout.write('END')"));
    ToolRunOptions options;
    options.captureFlags = CaptureStdout;
    options.outputCapacity = 100;
    QString output;
    int code = -5;
    EXPECT_EQ(runTool(loud, options, &output, &code), ToolRan);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, QString(99, QLatin1Char('o')));

    options.captureFlags = CaptureStderr;
    EXPECT_EQ(runTool(loud, options, &output, &code), ToolRan);
    EXPECT_EQ(output, QString(99, QLatin1Char('e')));

    // UTF-8 output becomes text; the whole of it fits here.
    options.captureFlags = CaptureStdout | CaptureStderr;
    options.outputCapacity = 64;
    EXPECT_EQ(
        runTool(python("import sys\nsys.stdout.buffer.write('日本 ok'.encode())"), options, &output),
        ToolRan);
    EXPECT_EQ(output, "日本 ok");
}

TEST(RunTool, BlinksTheMarkAndPumpsAboutEveryFourSeconds)
{
    // The tool ends only once the window has been pumped: the runner must pump while it waits.
    QTemporaryDir dir;
    const QString flag = dir.filePath("pumped");
    ToolFeedback feedback;
    feedback.onPump = [&](int) { test::writeFile(flag, "1"); };
    ToolRunOptions options;
    options.feedback = &feedback;
    int code = -5;
    EXPECT_EQ(runTool(python(QStringLiteral("import os, sys, time\n"
                                            "while not os.path.exists(sys.argv[1]): time.sleep(0.05)"),
                             {flag}),
                      options, nullptr, &code),
              ToolRan);
    EXPECT_EQ(code, 0);
    ASSERT_GE(feedback.pumps, 1);
    // 21 slices of 200 ms pass before the first pump, the mark alternating in part 5.
    EXPECT_EQ(feedback.marksAtPump.value(0), 21);
    ASSERT_GE(feedback.statuses.size(), 21);
    EXPECT_EQ(feedback.marks, feedback.statuses.size()); // every text went to part 5
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(feedback.statuses[i], i % 2 == 0 ? "  *" : "*") << i;
}

bool processGone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

TEST(RunTool, AnAbortTerminatesAHangingToolAndKillsOneThatIgnoresIt)
{
    QTemporaryDir dir;
    for (const bool ignoresTerm : {false, true}) [&] {
        const QString pidFile = dir.filePath(QStringLiteral("pid%1").arg(ignoresTerm));
        const QString script = QStringLiteral("import os, signal, sys, time\n%1\n"
                                              "open(sys.argv[1], 'w').write(str(os.getpid()))\ntime.sleep(600)")
                                   .arg(ignoresTerm ? "signal.signal(signal.SIGTERM, signal.SIG_IGN)" : "");
        ToolFeedback feedback;
        // Once the tool has shown it is running.
        feedback.abortWhen = [&] { return QFileInfo(pidFile).size() > 0; };
        ToolRunOptions options;
        options.feedback = &feedback;
        options.commandLog = dir.filePath("cmdline.log");
        int code = 0;
        EXPECT_EQ(runTool(python(script, {pidFile}), options, nullptr, &code), ToolAborted);
        EXPECT_EQ(code, -1);
        const pid_t pid = pid_t(test::readFile(pidFile).toInt());
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(processGone(pid)) << ignoresTerm;
    }();
    // A tool that did not end by itself failed its command.
    EXPECT_EQ(
        test::readFile(dir.filePath("cmdline.log")).count("Commandline error Exit Code=ffffffff\n"), 2);

    // A worker of a pool stops its tool through the cancel flag alone.
    std::atomic<bool> cancel{true};
    ToolRunOptions worker;
    worker.cancel = &cancel;
    EXPECT_EQ(runTool(python("import time\ntime.sleep(600)"), worker), ToolAborted);
}

// Runs the tool with our own stdout and stderr sent into a file, and returns what reached it.
QByteArray ownConsoleDuring(const std::function<void()>& run)
{
    QTemporaryFile sink;
    if (!sink.open())
        return "no sink";
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1);
    const int savedErr = ::dup(2);
    ::dup2(sink.handle(), 1);
    ::dup2(sink.handle(), 2);
    run();
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    return test::readFile(sink.fileName());
}

TEST(RunTool, ConsoleModeLetsTheOutputThroughAndOtherwiseDropsIt)
{
    EXPECT_TRUE(isConsoleMode("console"));
    EXPECT_TRUE(isConsoleMode("CONSOLE"));
    EXPECT_FALSE(isConsoleMode(""));
    EXPECT_FALSE(isConsoleMode("consoles"));

    const ToolCommand talk = python("import sys\nprint('to-stdout')\nsys.stderr.write('to-stderr\\n')");
    ToolRunOptions options;
    options.console = true;
    const QByteArray shown = ownConsoleDuring([&] { runTool(talk, options); });
    EXPECT_TRUE(shown.contains("to-stdout")) << shown.constData();
    EXPECT_TRUE(shown.contains("to-stderr")) << shown.constData();

    options.console = false;
    const QByteArray hidden = ownConsoleDuring([&] { runTool(talk, options); });
    EXPECT_FALSE(hidden.contains("to-stdout")) << hidden.constData();
    EXPECT_FALSE(hidden.contains("to-stderr")) << hidden.constData();
}

} // namespace
} // namespace vn
