// vornelic-cli: the program's work without its window, for scripts, servers and tests.
#include "cli/cli.h"
#include "cli/device_commands.h"
#include "config/install_layout.h"
#include "util/file_name.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace vn::cli {

std::vector<Command>& commandTable()
{
    static std::vector<Command> table;
    return table;
}

bool registerCommand(const Command& command)
{
    commandTable().push_back(command);
    return true;
}

namespace {

void printHelp()
{
    auto commands = commandTable();
    std::sort(commands.begin(), commands.end(), [](const Command& a, const Command& b) { return qstrcmp(a.name, b.name) < 0; });
    QString text = QStringLiteral(
        "usage: vornelic-cli [--ini FILE] [--save] COMMAND [ARGS]\n"
        "Carries the tags of a music collection over to new encodings of the same tracks.\n\n"
        "Options:\n"
        "  --ini FILE   read this settings file instead of Vornelic.ini\n"
        "  --save       write the settings file back after the command\n"
        "  --verbose    show progress texts on stderr\n"
        "  --help       this text\n"
        "  --version    the program's version\n\n"
        "Commands:\n");
    for (const Command& c : commands)
        text += QStringLiteral("  %1 %2\n      %3\n").arg(QLatin1String(c.name), QLatin1String(c.usage), QLatin1String(c.summary));
    text += QStringLiteral("\nExit codes: 0 success, 1 failure, 2 usage error.\n");
    const QString manual = vn::manualPath();
    text += QStringLiteral("User's manual: %1\n")
                .arg(QFileInfo::exists(manual) ? QDir::toNativeSeparators(manual) : QStringLiteral("not found"));
    printOut(text);
}

// A command this program was built without: the program beside it that has every command takes
// this process's place, with the same arguments, before anything (the settings) is loaded.
int handOver(char* argv[])
{
    QByteArray program = vn::pathBytes(QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(DevicesProgramName)));
    argv[0] = program.data();
    ::execv(program.constData(), argv);
    printErr(QStringLiteral("cannot start %1: %2\n").arg(vn::pathFromBytes(program), vn::systemErrorText(errno)));
    return ExitFailure;
}

} // namespace
} // namespace vn::cli

int main(int argc, char* argv[])
{
    using namespace vn::cli;
    QCoreApplication app(argc, argv);
    // Arguments are taken as the bytes they are: a file name need not be valid UTF-8.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << vn::pathFromBytes(argv[i]);

    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        printHelp();
        return args.isEmpty() ? ExitUsage : ExitOk;
    }
    if (args.contains(QStringLiteral("--version"))) {
        printOut(QStringLiteral("vornelic-cli " VORNELIC_VERSION "\n"));
        return ExitOk;
    }

    Context context;
    // Global options stand before the command.
    while (!args.isEmpty() && args.first().startsWith(QStringLiteral("--"))) {
        const QString option = args.takeFirst();
        if (option == u"--ini") {
            if (args.isEmpty()) {
                printErr(QStringLiteral("--ini needs a file name\n"));
                return ExitUsage;
            }
            context.iniPath = args.takeFirst();
        } else if (option == u"--save") {
            context.save = true;
        } else if (option == u"--verbose") {
            context.feedback.verbose = true;
        } else {
            printErr(QStringLiteral("unknown option %1\n").arg(option));
            return ExitUsage;
        }
    }
    if (args.isEmpty()) {
        printErr(QStringLiteral("no command given; see vornelic-cli --help\n"));
        return ExitUsage;
    }
    const QString name = args.takeFirst();
    const Command* command = nullptr;
    for (const Command& c : commandTable()) {
        if (name == QLatin1String(c.name))
            command = &c;
    }
    if (!command) {
        printErr(QStringLiteral("unknown command %1; see vornelic-cli --help\n").arg(name));
        return ExitUsage;
    }

    if (!command->run || (handsOverDeviceWork && args.contains(QStringLiteral("--verify"))))
        return handOver(argv);

    context.settings = vn::defaultSettings(vn::resolveExeDir());
    if (context.iniPath.isEmpty())
        context.iniPath = context.settings.IniPath;
    if (!vn::LoadSettings(context.settings, context.iniPath))
        vn::createWorkingFolders(context.settings);
    vn::applyToProcess(context.settings);
    vn::askForLogNames(context.settings, context.feedback);

    const int code = command->run(context, args);
    if (context.save && !vn::SaveSettings(context.settings, context.iniPath)) {
        printErr(withProblem(QStringLiteral("could not save %1").arg(context.iniPath), vn::systemErrorText(errno)));
        return code == ExitOk ? ExitFailure : code;
    }
    return code;
}
