#pragma once
// Reading a whole audio CD into one image file (WAV, or headerless PCM as .bin or .img) and
// writing the cue sheet that describes it.

#include "cd/cd_drive.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vn {

class Feedback;
struct Settings;

enum RipFormat : uint32_t { RipWav = 0, RipBin = 1, RipImg = 2 };

enum RipCode : int {
    RipOk = 0,
    RipCanceled = -1,           // cancelled, or a disc without audio
    RipImageFileError = -2,     // the image file could not be created or written
    RipCueFileError = -3,       // the image is complete but its cue sheet could not be written
    RipVerifiedReadUnavailable = -4, // the drive cannot be read through the verifying reader
    RipImageIsCueSheet = -5,    // the cue path already has the image's extension: one would overwrite the other
    // Positive values are the system's error code of the failed device request.
};

// The CD image window's one status line.
inline constexpr int RipStatusPart = 0;

struct RipSettings {
    QString device;      // the drive: a device path, or the cue sheet of an image
    QString cuePath;     // the image takes the same path with its own extension
    uint32_t format = RipWav;
    uint32_t blockSize = DefaultBlockSectors;
    int codePage = 0;    // for the image's name inside the cue sheet
    bool autoEject = true;
    bool verifiedReads = true; // through libcdio-paranoia; off: one plain read per block
    QString writeProblem;      // set by ripCdImage with RipImageFileError or RipCueFileError: the cause
};

RipSettings ripSettingsFrom(const Settings& settings);
// Keeps the choices of a run for the next one (and the settings file).
void storeRipSettings(const RipSettings& rip, Settings& settings);

// The cue path with its extension replaced by (or, without one, extended with) the format's.
QString ripImagePath(const QString& cuePath, uint32_t format);
// The block size a read uses: the default for 0 or a value above the drive's limit.
uint32_t ripBlockSize(uint32_t requested, uint32_t driveLimit);
// The 44-byte header of a WAV image of this many sectors.
QByteArray ripWavHeader(uint32_t sectors);
// The cue sheet for the image (its name without folder), lines ending in "\r\n".
QByteArray ripCueSheetText(const QString& imageFileName, uint32_t format, const CdToc& toc, int codePage);

// Asks "Cue file exsists. OK to Overwrite or Cancel to exit" when the cue sheet exists. True to go on.
bool confirmCueOverwrite(const QString& cuePath, Feedback& feedback);

// Reads the disc in rip.device into the image and, when the whole disc was read, writes the cue
// sheet. Progress, the read error and the outcome go to RipStatusPart; an abort request stops the
// read before its next block. The image replaces an existing one only once it is complete, so a
// failed or cancelled read leaves the old image as it was and no partial one. rip.blockSize is
// set to the block size used. Returns a RipCode or a system error code.
int ripCdImage(RipSettings& rip, Feedback& feedback);

// A message for a code other than RipOk and RipCanceled.
QString ripErrorText(int code);

} // namespace vn
