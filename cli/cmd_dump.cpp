#include "cli/cli.h"
#include "containers/properties.h"

namespace vn::cli {

namespace {

int runDump(Context&, const QStringList& args)
{
    if (args.size() != 1)
        return usageError("dump", QStringLiteral("dump takes one file"));
    QString text, kind;
    switch (dumpFile(args.first(), text, kind)) {
    case PropertiesOk:
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        printOut(text);
        return ExitOk;
    case PropertiesCannotOpen:
        printErr(QStringLiteral("cannot open %1\n").arg(args.first()));
        return ExitFailure;
    case PropertiesNotAvailable:
        printErr(QStringLiteral("%1 File Properties: not available in this build\n").arg(kind));
        return ExitFailure;
    default:
        printErr(QStringLiteral("%1: not a kind of file this program reads\n").arg(args.first()));
        return ExitFailure;
    }
}

} // namespace

VN_CLI_COMMAND("dump", "FILE", "prints the File Properties text of one file", runDump);

} // namespace vn::cli
