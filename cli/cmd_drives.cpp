#include "cd/cd_drive.h"
#include "cli/cli.h"
#include "cli/device_commands.h"

namespace vn::cli {

namespace {

int runDrives(Context&, const QStringList& args)
{
    std::vector<CdDriveInfo> drives;
    if (args.isEmpty()) {
        drives = scanCdDrives();
    } else {
        for (const QString& device : args) {
            if (std::optional<CdDriveInfo> drive = probeCdDrive(device))
                drives.push_back(*drive);
            else
                printErr(QStringLiteral("%1: no audio disc\n").arg(device));
        }
    }
    QString out;
    for (const CdDriveInfo& drive : drives)
        out += driveComboText(drive) + QLatin1Char('\n');
    printOut(out);
    if (args.isEmpty() && drives.empty())
        printErr(QStringLiteral("no CD drive holds an audio disc\n"));
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND(DrivesCommand.name, DrivesCommand.usage, DrivesCommand.summary, runDrives);

} // namespace vn::cli
