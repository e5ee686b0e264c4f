#include "app/commands.h"

#include "app/command_ids.h"

#include <utility>

namespace vn {

namespace {

// Commands whose work arrives with later parts of the program, with the name the message uses.
// Remove an entry when its work lands.
constexpr std::pair<int, const char*> Unavailable[] = {
    {BtnPlay, "Audio play"},
    {BtnPause, "pause / resume"},
    {BtnStop, "stop"},
    {CmdOptionLame, "Lame encoder options"},
    {CmdPlaylistExt, "Playlist Extension Replacement Utility"},
    {CmdMiscCopy, "Misc File Copy Utility"},
    {CmdCreateImage, "Create image file from CD"},
    {CmdEncodeImage, "Encode the CD image with [B] tags"},
    {CmdEncodeImages, "Encode Multiple CD images with [B] tags"},
    {CmdCddbQuery, "Acquire CD data from CDDB"},
    {CmdBatchReencode, "Batch Re-encode"},
};

const char* unavailableName(int id)
{
    for (const auto& [command, name] : Unavailable) {
        if (command == id)
            return name;
    }
    return nullptr;
}

} // namespace

bool commandAvailable(int id)
{
    return unavailableName(id) == nullptr;
}

QString commandTitle(int id)
{
    if (const char* name = unavailableName(id))
        return QString::fromLatin1(name);
    return QString::number(id);
}

QString unavailableMessage(int id)
{
    return unavailableMessage(commandTitle(id));
}

QString unavailableMessage(const QString& title)
{
    return QStringLiteral("\"%1\" is not available in this build.").arg(title);
}

} // namespace vn
