#pragma once
// The opening seconds of a recording as the fingerprinting hears it: one channel of 16-bit samples at
// OpeningRate, decoded in-process by FFmpeg's libraries from a file (MP3, AAC/ALAC in MP4, FLAC,
// Opus/Vorbis in Matroska or Ogg, WAV), or read straight from a CD image's PCM. Both sides of a pair
// go through the same down-mix and resampling, so only the recordings themselves can differ.

#include "media/image_pcm.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace vn {

inline constexpr int OpeningRate = 11025;
inline constexpr int OpeningSeconds = 30;

enum OpeningCode : int {
    OpeningOk = 0,
    OpeningCannotOpen = 1,  // the file cannot be opened or read
    OpeningNoAudio = 2,     // no container this check reads, or no audio stream in it
    OpeningUnsupported = 3, // an audio codec this check does not decode
    OpeningDecodeFailed = 4,
    OpeningNoSamples = 5,   // nothing could be decoded
};

// A few words for a non-zero OpeningCode, for a tooltip or a message.
QString openingErrorText(int code);

// At most seconds of the file's first audio stream, from its start. Only the file itself is read:
// no other file or address that a container might name is ever opened.
int decodeOpening(const QString& path, int seconds, std::vector<int16_t>& samples);

// At most seconds of the image's frames from range.first (never beyond range.end).
int imageOpening(const CueSheet& cue, FrameRange range, int seconds, std::vector<int16_t>& samples);

} // namespace vn
