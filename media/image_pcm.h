#pragma once
// The PCM of a CD image, read in pieces: a track, or any range of sample frames, straight from the
// image's data, never a whole track in memory. Encoders, the player and the fingerprinting all read
// image tracks through this.

#include "media/cue_sheet.h"
#include "util/safe_file.h"

#include <QByteArray>
#include <cstdint>

namespace vn {

// Sample frames [first, end) of the image's data.
struct FrameRange {
    uint64_t first = 0;
    uint64_t end = 0;
    uint64_t count() const { return end > first ? end - first : 0; }
};

// Track t (1 to trackCount) of the sheet; an empty range for any other t.
FrameRange trackFrames(const CueSheet& cue, int track);

class ImagePcm {
public:
    explicit ImagePcm(const CueSheet& cue);

    bool isOpen() const { return file_.isOpen(); }
    // Bytes of one sample frame: the image's block align, 4 for a raw image.
    uint32_t frameBytes() const { return frameBytes_; }
    // The whole frames the image file holds after its header.
    uint64_t framesInFile() const;
    // Up to maxFrames frames from frame first into out, which is resized to the whole frames read;
    // returns their number: fewer at the end of the file, 0 past it or on a read error.
    uint32_t read(uint64_t first, uint32_t maxFrames, QByteArray& out) const;

private:
    ReadOnlyFile file_;
    uint64_t dataOffset_ = 0;
    uint32_t frameBytes_ = 4;
};

} // namespace vn
