#include "cli/cli.h"
#include "util/misc_copy.h"

#include <QDir>
#include <QFileInfo>

namespace vn::cli {

namespace {

int runCopyMisc(Context& context, const QStringList& args)
{
    if (args.size() != 2)
        return usageError("copy-misc", QStringLiteral("copy-misc takes a source and a destination folder"));
    const QString names[2] = {QStringLiteral("Source"), QStringLiteral("Destination")};
    for (int i = 0; i < 2; ++i) {
        if (!QFileInfo(args[i]).isDir()) {
            printErr(QStringLiteral("%1 folder not found: %2\n").arg(names[i], QDir::toNativeSeparators(args[i])));
            return ExitFailure;
        }
    }
    const MiscCopyResult result = copyMiscFiles(args[0], args[1], false, context.feedback);
    for (qsizetype i = 0; i < result.failed.size(); ++i)
        printErr(withProblem(QStringLiteral("could not copy %1").arg(QDir::toNativeSeparators(result.failed[i])),
                             result.failedCauses.value(i)));
    printOut(miscCopyResultText(result) + u'\n');
    return result.failed.isEmpty() ? ExitOk : ExitFailure;
}

} // namespace

VN_CLI_COMMAND("copy-misc", "SRC DST",
               "copies every file that is not music (cover pictures, booklets, logs, cue sheets) from the tree SRC "
               "into the folders of the same names that already exist under DST; prints how many were copied",
               runCopyMisc);

} // namespace vn::cli
