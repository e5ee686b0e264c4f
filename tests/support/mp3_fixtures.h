#pragma once
// MP3 fixtures for the media tests: PCM written here, encoded by lame or ffmpeg, tagged by mutagen,
// and small ID3v2 tags assembled byte by byte.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace vn::test {

// A 16-bit PCM WAV of the given frames of a chirp with some noise (so VBR really varies).
bool writeTestWav(const QString& path, uint32_t frames, uint32_t sampleRate, int channels);
// Encodes wav into mp3 with lame and the given options; false when lame fails or is missing.
bool lameEncode(const QString& wav, const QString& mp3, const QStringList& options);

// ID3v2 tag bytes: a 10-byte header with the sync-safe size, then the body.
QByteArray id3Tag(uint8_t version, const QByteArray& body, uint8_t revision = 0, uint8_t flags = 0);
// One frame: identifier, size (24-bit in version 2, 32-bit in 3, sync-safe in 4), flags, data.
QByteArray id3Frame(uint8_t version, const QByteArray& id, const QByteArray& data, uint16_t flags = 0);
// Unsynchronisation as a writer applies it: a 0x00 after every 0xFF that is followed by 0x00, by
// a byte of 0xE0 or more, or by nothing.
QByteArray unsynchronise(const QByteArray& plain);
// An ID3v1 block.
QByteArray id3v1Block(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                      const QByteArray& year, const QByteArray& comment, int track, uint8_t genre);
// Valid MPEG-1 Layer III frames, 128 kbit/s, 44100 Hz, stereo, no padding: 417 bytes each.
QByteArray cbrFrames(int count);

// The Python that mutagen scripts start with: imports and a helper printing JSON.
QString mutagenPrelude();

} // namespace vn::test
