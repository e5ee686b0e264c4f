#include "cli/cli.h"

namespace vn::cli {

namespace {

int runSettings(Context& context, const QStringList& args)
{
    if (!args.isEmpty())
        return usageError("settings", QStringLiteral("settings takes no arguments"));
    QString text = QString::fromUtf8(settingsText(context.settings));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    printOut(text);
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("settings", "", "loads the settings and prints the file as it would be saved", runSettings);

} // namespace vn::cli
