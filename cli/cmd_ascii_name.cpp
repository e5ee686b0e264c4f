#include "cli/cli.h"
#include "util/ascii_name.h"

namespace vn::cli {

namespace {

// The file names the program makes from titles hold at most this many characters.
constexpr int NameCapacity = 1022;

int runAsciiName(Context&, const QStringList& args)
{
    if (args.isEmpty())
        return usageError("ascii-name", QStringLiteral("ascii-name needs a text"));
    printOut(MakeAsciiName(args.join(QLatin1Char(' ')), NameCapacity) + QLatin1Char('\n'));
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("ascii-name", "TEXT", "prints the ASCII name the program makes from a (Japanese) text", runAsciiName);

} // namespace vn::cli
