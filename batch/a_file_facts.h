#pragma once
// What the MP3-vs-CUE matcher knows of one A file: the texts it takes words from, the track numbers,
// the length in CD samples and the disc's table of contents from the file's CD identifier.

#include "media/mpeg_analysis.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

namespace vn {

// One sample frame of CD audio: the unit of every duration the matcher compares.
inline constexpr uint32_t CdSampleRate = 44100;

// A disc's table of contents as a file's CD identifier gives it: the start of every track in
// sectors, then the lead-out (or, when the disc ends with a data track, that track's start).
struct McdiTable {
    std::vector<uint32_t> addresses; // n + 1 values; empty when unusable
    bool dataTrack = false;

    uint32_t trackCount() const { return addresses.size() < 2 ? 0 : uint32_t(addresses.size() - 1); }
    bool operator==(const McdiTable&) const = default;
};

struct AFileFacts {
    QString path;
    QString album;       // at most 255 characters
    QString artist;      // at most 63
    QString albumArtist; // at most 63
    QByteArray encoder;  // MP3: the LAME tag's version text (9 characters at most), else empty
    int tagTrack = 0;    // the leading number of the track tag
    int fileTrack = 0;   // the leading number of the file name (0 without one)
    uint64_t duration = 0; // samples at 44.1 kHz
    McdiTable mcdi;
};

// Reads the facts of one file by its extension. A file that cannot be read has no texts, no
// duration and no table. Safe to call from several threads at once.
AFileFacts readAFileFacts(const QString& path);

// A CD identifier's value after its container's own prefix, in any of its four forms: the 8-byte
// entries of a little-endian table, a CD-ROM TOC as read from a drive, or the "N+hex+hex…" text in
// 8-bit or UTF-16 characters. A form that is not recognised gives an empty table.
McdiTable decodeMcdi(QByteArrayView value);

// The matcher's length of an MP3 in the stream's own samples: from the Xing/Info header when the
// first frame has one, else from the first frame's bit rate and the audio's byte count.
uint64_t mp3Duration(const MpegFrameHeader& first, const MpegStreamInfo& xing, bool hasXing, uint64_t audioBytes);

// A length in samples at rate as samples at 44.1 kHz, rounded half up.
uint64_t toCdSamples(uint64_t samples, uint32_t rate);

} // namespace vn
