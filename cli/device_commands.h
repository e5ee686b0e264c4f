#pragma once
// The commands that need the sound, CD-drive and network libraries. vornelic-cli is built without
// those libraries, so that every other command starts without loading them; it lists these
// commands with the same texts and hands them to vornelic-cli-devices (cli/hand_over.cpp).

namespace vn::cli {

struct CommandText {
    const char* name;
    const char* usage;
    const char* summary;
};

inline constexpr CommandText PlayCommand{
    "play", "FILE|CUE[#TRACK] [--seconds N]",
    "plays a file or a CD image's track (the first without #TRACK) once on the default audio output, "
    "or its first N seconds; prints the play time each second"};
inline constexpr CommandText DrivesCommand{
    "drives", "[DEVICE ...]",
    "lists the CD drives that hold an audio disc (or the named devices and .cue images that do)"};
inline constexpr CommandText RipCommand{
    "rip", "DRIVE --cue OUT.cue [--format wav|bin|img] [--block N] [--no-paranoia]",
    "reads the audio CD in DRIVE (a device, or the .cue of an image) into an image file with its cue sheet"};
inline constexpr CommandText CddbCommand{
    "cddb", "CUE [--server URL] [--hello TEXT] [--proto N]",
    "asks the CDDB servers for the titles of a CD image; prints its disc id, the query and the titles found"};

inline constexpr CommandText DeviceCommands[] = {PlayCommand, DrivesCommand, RipCommand, CddbCommand};

// The program with every command, beside vornelic-cli.
inline constexpr const char* DevicesProgramName = "vornelic-cli-devices";

} // namespace vn::cli
