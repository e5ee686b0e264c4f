#pragma once
// The headless front end's frame: global options, the settings for the run, and the table of
// commands. Each command lives in a file of its own and registers itself here.

#include "config/settings.h"
#include "util/feedback.h"

#include <QString>
#include <QStringList>

namespace vn::cli {

enum ExitCode : int { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

// Progress goes to stderr; nobody is there to answer, so questions get their cancelling answer.
class CliFeedback : public Feedback {
public:
    void setStatus(int part, const QString& text) override;
    void pumpMessages() override {}
    bool abortRequested() const override { return false; }
    int message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) override;
    int inputBox(const QString& title, const QString& prompt, QString& value, int capacity, const QString& okText,
                 const QString& cancelText) override;
    bool verbose = false;
};

struct Context {
    Settings settings;
    QString iniPath;
    bool save = false;
    CliFeedback feedback;
};

using CommandFn = int (*)(Context& context, const QStringList& args);

struct Command {
    const char* name;
    const char* usage;   // arguments, after the name
    const char* summary; // one line for --help
    CommandFn run;       // null: run by vornelic-cli-devices (cli/device_commands.h)
};

// Called from static initialisers in the command files.
bool registerCommand(const Command& command);

// Set in vornelic-cli, which is built without the device libraries and hands the work that needs
// them (the device commands, and --verify) to vornelic-cli-devices.
extern bool handsOverDeviceWork;

// Output helpers: UTF-8 on stdout and stderr.
void printOut(const QString& text);
void printErr(const QString& text);
// The program's message with its cause after it, "TEXT (CAUSE)\n", or "TEXT\n" without one.
QString withProblem(const QString& text, const QString& problem);
// "usage: vornelic-cli NAME USAGE" on stderr; returns ExitUsage.
int usageError(const char* name, const QString& problem);

// Takes "--name VALUE" out of args; false when absent. A missing value is reported in error.
bool takeOption(QStringList& args, const QString& name, QString& value, QString& error);
bool takeFlag(QStringList& args, const QString& name);
// Takes "--name N" as a whole number into value. True when absent or taken; false, with error set,
// when the value is missing or not a whole number.
bool takeNumber(QStringList& args, const QString& name, int& value, QString& error);

} // namespace vn::cli

#define VN_CLI_CONCAT2(a, b) a##b
#define VN_CLI_CONCAT(a, b) VN_CLI_CONCAT2(a, b)
// Registers a command: VN_CLI_COMMAND("name", "ARGS", "what it does", function)
#define VN_CLI_COMMAND(name, usage, summary, fn)                                                                  \
    static const bool VN_CLI_CONCAT(vnCliRegistered_, __LINE__) =                                                \
        ::vn::cli::registerCommand(::vn::cli::Command{name, usage, summary, fn})
