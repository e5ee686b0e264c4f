#pragma once
// MPEG audio frame headers and the one forward walk over an MP3's audio data that yields the
// stream facts of rows 15 to 20 of its record.

#include "media/tag_record.h"
#include "util/byte_reader.h"

#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>

namespace vn {

struct MpegFrameHeader {
    std::array<uint8_t, 4> raw{}; // the first valid frame's header, as stored
    uint8_t version = 0;          // 1 = MPEG-1, 2 = MPEG-2, 3 = MPEG-2.5
    uint8_t layer = 0;
    uint8_t padding = 0;
    uint8_t channels = 0;
    uint32_t bitRate = 0;         // kbit/s
    uint32_t sampleRate = 0;      // Hz
    uint32_t samplesPerFrame = 0;
    uint32_t frameLength = 0;     // bytes, padding included
};

inline constexpr uint32_t Id3v1Size = 128;

struct MpegStreamInfo {
    uint32_t dataSize = 0;       // audio bytes without a trailing ID3v1 block
    uint32_t frameCount = 0;
    uint32_t sampleCount = 0;    // playable samples per channel
    uint32_t maxBitRate = 0;     // kbit/s
    uint32_t minBitRate = 0;
    uint32_t avgBitRate = 0;
    uint32_t maxFrameLength = 0;
    uint32_t minFrameLength = 0;
    uint32_t paddedFrames = 0;
    uint32_t xingBytes = 0;
    uint32_t xingFrames = 0;
    uint16_t encoderDelay = 0;
    uint16_t encoderPadding = 0;
    std::array<char, 10> encoder{};          // LAME tag version text, NUL-terminated
    std::array<uint8_t, Id3v1Size> id3v1{};  // all zero when the file has none
};

// Codes of parseFrameHeader: 0 for a valid header, else the first check that failed.
enum FrameHeaderCode : int {
    FrameHeaderOk = 0,
    FrameNoSync = 1,
    FrameNoSyncBits = 2,
    FrameReservedVersion = 3,
    FrameReservedLayer = 4,
    FrameBadBitRate = 5,
    FrameBadSampleRate = 6,
    FrameNoSamplesPerFrame = 7,
    FrameTooShort = 8,
    FrameReservedEmphasis = 9,
};

// Checks and decodes one 4-byte frame header; on success fills every field but raw. Fewer than
// four bytes fail as a missing sync.
int parseFrameHeader(QByteArrayView bytes, MpegFrameHeader& header);

// The Xing/Info header at byte x of data (inside the first frame, after its side information) and
// the LAME tag at its fixed place after it: frame and byte counts, encoder text, delay and padding,
// and the sample count they give. False, with info left alone, when there is none or it would reach
// past the data.
bool readXingHeader(const ByteReader& data, size_t x, const MpegFrameHeader& first, MpegStreamInfo& info);

// Walks the audio data (the first audioSize bytes of audio), splitting off a trailing ID3v1 block
// (audioSize is lowered by 128 then), and fills both records and rows 15 to 20 of the record: the
// first frame header's 4 bytes, then bits per sample, bit rate (bit/s, average and maximum),
// sample rate, samples and data size as numbers. Does nothing when audioSize is 0.
void analyseMpegStream(QByteArrayView audio, uint32_t& audioSize, MpegFrameHeader& header, MpegStreamInfo& info,
                       TagRecord& record);

// The same walk over audio that arrives a piece at a time, as a file is read through one small
// buffer: whatever the pieces, the results are those of analyseMpegStream over the whole.
class MpegStreamWalker {
public:
    // audioSize: the bytes of audio to come, an ID3v1 block at their end included.
    explicit MpegStreamWalker(uint64_t audioSize);

    // bytes go on from the first byte not yet done with (at first, the audio's start); last: they
    // reach the audio's end (a file that came out shorter ends where its bytes end). Returns how
    // many of the leading bytes are done with; the caller hands the others in again, at the front
    // of the next piece. Never more than MostKept bytes are left over.
    size_t walk(QByteArrayView bytes, bool last);
    static constexpr size_t MostKept = 512;

    // After the last piece: the results of analyseMpegStream.
    void finish(MpegFrameHeader& header, MpegStreamInfo& info, TagRecord& record);
    // The audio ended in an ID3v1 block (split off from the data).
    bool hasId3v1() const { return ended_ && dataEnd_ < total_; }

private:
    uint64_t total_;         // the audio's length, an ID3v1 block included
    uint64_t at_ = 0;        // where the next piece starts
    uint64_t p_ = 0;         // the next position the walk looks at
    uint64_t dataEnd_ = 0;   // the audio less an ID3v1 block, once the last piece is in
    bool ended_ = false;     // the last piece is in
    bool haveXing_ = false;
    MpegFrameHeader first_{};
    MpegFrameHeader header_{}; // the last frame's, with the first frame's raw bytes
    MpegStreamInfo info_{};    // the Xing/LAME and ID3v1 fields
    struct Tally {
        uint32_t frames = 0;
        uint32_t paddedFrames = 0;
        uint32_t maxBitRate = 0;
        uint32_t minBitRate = 0x7FFFFFFF;
        uint32_t maxFrameLength = 0;
        uint32_t minFrameLength = 0x7FFFFFFF;
        uint64_t bitRateSum = 0;
    } tally_;
    struct Known {
        uint32_t word = 0; // a header as stored
        MpegFrameHeader frame{};
    };
    std::array<Known, 32> known_{}; // by bit-rate index and padding bit
};

// Duration in tenths of a second, rounded; 0 when the sample rate is unknown.
uint64_t durationTenths(uint64_t sampleCount, uint32_t sampleRate);
// "mm:ss.t" as the list shows it.
QString durationText(uint64_t sampleCount, uint32_t sampleRate);

inline bool isConstantBitRate(const MpegStreamInfo& info) { return info.minBitRate == info.maxBitRate; }
// "CBR n" or "VBR avg (min-max)".
QString bitRateText(const MpegStreamInfo& info);
// "1", "2" or "2.5".
QString mpegVersionText(uint8_t version);
// The codec column: "MPEG-v Layer-l", with the encoder in parentheses when a Xing/Info frame count
// was found.
QString mpegCodecText(const MpegFrameHeader& header, const MpegStreamInfo& info);

} // namespace vn
