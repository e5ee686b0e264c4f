#pragma once
// One track of a CD image cut out into a file of its own, for the encoders that read a file rather
// than a range of the image: a WAV file from a ".wav" image, raw PCM from any other.

#include <QString>
#include <cstdint>

class QIODevice;

namespace vn {

enum CutTrackCode : int {
    CutOk = 0,
    CutImageUnreadable = 1,
    CutCannotCreate = 2,
    CutWavSizeWrong = 3,   // the RIFF or data size disagrees with the file, or the header is no PCM header
    CutRangePastAudio = 4, // the range runs past the audio (or ends before it starts)
};

// Sample frames first to last, inclusive, into destination (open for writing), read in pieces: a
// ".wav" image (any case) gives its own 44-byte header with the sizes of the track, any other a
// headerless raw file. A CutTrackCode.
int cutTrack(const QString& imagePath, QIODevice& destination, uint32_t first, uint32_t last);

// The same into a new file at destinationPath, which must not exist yet.
int cutTrack(const QString& imagePath, const QString& destinationPath, uint32_t first, uint32_t last);

} // namespace vn
