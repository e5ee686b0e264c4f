// Only in vornelic-cli, which is built without the device libraries: the commands that need them
// are listed with their texts and, when named (or given --verify), run by vornelic-cli-devices (see
// main.cpp).
#include "cli/cli.h"
#include "cli/device_commands.h"

namespace vn::cli {

namespace {

const bool handedOver = [] {
    handsOverDeviceWork = true;
    for (const CommandText& c : DeviceCommands)
        registerCommand(Command{c.name, c.usage, c.summary, nullptr});
    return true;
}();

} // namespace

} // namespace vn::cli
