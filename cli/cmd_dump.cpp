#include "cli/cli.h"
#include "containers/cd_image_properties.h"
#include "containers/properties.h"

namespace vn::cli {

namespace {

int runDump(Context& context, const QStringList& args)
{
    if (args.size() != 1)
        return usageError("dump", QStringLiteral("dump takes one file"));
    QString text, kind;
    if (args.first().endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive)) {
        if (dumpCueFile(args.first(), context.settings.CP_Cue_Sheet, text) != 0) {
            printErr(withProblem(QStringLiteral("Error : Illegal Cue sheet"), text));
            return ExitFailure;
        }
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        printOut(text);
        return ExitOk;
    }
    QString problem;
    switch (dumpFile(args.first(), text, kind, &problem)) {
    case PropertiesOk:
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        printOut(text);
        return ExitOk;
    case PropertiesCannotOpen:
        printErr(QStringLiteral("cannot open %1: %2\n").arg(args.first(), problem));
        return ExitFailure;
    case PropertiesNotAvailable:
        printErr(QStringLiteral("%1 File Properties: not available in this build\n").arg(kind));
        return ExitFailure;
    case PropertiesMalformed:
        printErr(QStringLiteral("%1: not a valid %2 file (%3)\n").arg(args.first(), kind, problem));
        return ExitFailure;
    default:
        printErr(QStringLiteral("%1: not a kind of file this program reads (%2)\n").arg(args.first(), problem));
        return ExitFailure;
    }
}

} // namespace

VN_CLI_COMMAND("dump", "FILE", "prints the File Properties text of one file, or of a CD image when FILE is a .cue", runDump);

} // namespace vn::cli
