#include "media/mpeg_analysis.h"

#include "util/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace vn {

namespace {

// [MPEG-1 or MPEG-2/2.5][layer - 1][bit-rate index]; index 15 is rejected before the lookup.
constexpr uint16_t BitRates[2][3][15] = {
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    },
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    },
};

// [version - 1][sample-rate index]
constexpr uint32_t SampleRates[3][3] = {
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
};

// Bytes of a frame without its padding slot. Layer I counts in 4-byte slots, so its length is
// rounded to whole slots (and its padding slot is 4 bytes, see parseFrameHeader).
uint32_t unpaddedLength(uint8_t layer, uint32_t samplesPerFrame, uint32_t bitRate, uint32_t sampleRate)
{
    if (sampleRate == 0)
        return 0;
    if (layer == 1)
        return 12 * bitRate * 1000 / sampleRate * 4;
    return samplesPerFrame / 8 * bitRate * 1000 / sampleRate;
}

uint32_t clampToU32(int64_t v)
{
    return v < 0 ? 0 : v > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(v);
}

// Without a Xing/Info header the stream is taken as CBR at the first frame's rate.
uint32_t cbrSampleCount(uint32_t dataSize, const MpegFrameHeader& first)
{
    const uint32_t length = unpaddedLength(first.layer, first.samplesPerFrame, first.bitRate, first.sampleRate);
    if (length == 0 || first.bitRate == 0)
        return 0;
    if (dataSize % length == 0)
        return clampToU32(int64_t(dataSize / length) * first.samplesPerFrame);
    const uint64_t bytesPerSecond = uint64_t(first.bitRate) * 125;
    return clampToU32(int64_t((uint64_t(dataSize) * first.sampleRate + bytesPerSecond / 2) / bytesPerSecond));
}

// The Xing/Info header and the LAME tag after it: the delay/padding field ends at x + 143.
constexpr size_t XingLameSize = 144;

} // namespace

bool readXingHeader(const ByteReader& data, size_t x, const MpegFrameHeader& first, MpegStreamInfo& info)
{
    if (x > data.size() || data.size() - x < XingLameSize)
        return false;
    const QByteArrayView tag = data.viewAt(x, 4);
    if (tag != QByteArrayView("Xing") && tag != QByteArrayView("Info"))
        return false;
    const uint32_t flags = data.be32At(x + 4);
    // The optional counts follow one another: a missing frame count moves the byte count up.
    size_t field = x + 8;
    info.xingFrames = 0;
    info.xingBytes = 0;
    if (flags & 1) {
        info.xingFrames = data.be32At(field);
        field += 4;
    }
    if (flags & 2)
        info.xingBytes = data.be32At(field);
    const QByteArrayView version = data.viewAt(x + 120, 9);
    std::memcpy(info.encoder.data(), version.data(), size_t(version.size()));
    info.encoder[9] = 0;
    const uint8_t d0 = data.at(x + 141), d1 = data.at(x + 142), d2 = data.at(x + 143);
    info.encoderDelay = uint16_t(d0 * 16 + (d1 >> 4));
    info.encoderPadding = uint16_t((d1 & 0x0F) * 256 + d2);
    info.sampleCount = clampToU32(int64_t(info.xingFrames) * first.samplesPerFrame - info.encoderDelay -
                                  info.encoderPadding);
    return true;
}

int parseFrameHeader(QByteArrayView bytes, MpegFrameHeader& header)
{
    const ByteReader in(bytes);
    if (in.size() < 4 || in.at(0) != 0xFF)
        return FrameNoSync;
    const uint8_t b1 = in.at(1), b2 = in.at(2), b3 = in.at(3);
    if ((b1 & 0xE0) != 0xE0)
        return FrameNoSyncBits;
    const int versionBits = (b1 >> 3) & 3;
    if (versionBits == 1)
        return FrameReservedVersion;
    const uint8_t version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 3;
    const int layerBits = (b1 >> 1) & 3;
    if (layerBits == 0)
        return FrameReservedLayer;
    const uint8_t layer = uint8_t(4 - layerBits);
    const int bitRateIndex = b2 >> 4;
    if (bitRateIndex == 15)
        return FrameBadBitRate;
    const int sampleRateIndex = (b2 >> 2) & 3;
    if (sampleRateIndex == 3)
        return FrameBadSampleRate;
    const uint32_t samplesPerFrame = layer == 1 ? 384 : layer == 2 ? 1152 : version == 1 ? 1152 : 576;
    const uint32_t bitRate = BitRates[version == 1 ? 0 : 1][layer - 1][bitRateIndex];
    const uint32_t sampleRate = SampleRates[version - 1][sampleRateIndex];
    const uint8_t padding = (b2 >> 1) & 1;
    const uint32_t frameLength =
        unpaddedLength(layer, samplesPerFrame, bitRate, sampleRate) + (layer == 1 ? 4u * padding : padding);
    if (frameLength < 21)
        return FrameTooShort;
    if ((b3 & 3) == 2)
        return FrameReservedEmphasis;
    header.version = version;
    header.layer = layer;
    header.padding = padding;
    header.channels = (b3 >> 6) == 3 ? 1 : 2;
    header.bitRate = bitRate;
    header.sampleRate = sampleRate;
    header.samplesPerFrame = samplesPerFrame;
    header.frameLength = frameLength;
    return FrameHeaderOk;
}

MpegStreamWalker::MpegStreamWalker(uint64_t audioSize) : total_(audioSize) {}

size_t MpegStreamWalker::walk(QByteArrayView bytes, bool last)
{
    const ByteReader piece(bytes);
    if (ended_)
        return piece.size();
    const uint64_t pieceEnd = at_ + piece.size();
    // Until the last piece is in, the audio's last 128 bytes may be an ID3v1 block rather than
    // data: the walk stops short of them and keeps them.
    const uint64_t tail = total_ >= Id3v1Size ? total_ - Id3v1Size : 0;
    uint64_t limit = std::min(pieceEnd, tail);
    if (last) {
        ended_ = true;
        total_ = pieceEnd;
        dataEnd_ = pieceEnd;
        // (A file that shrank under the reader may have taken its tail with a piece before.)
        if (pieceEnd >= Id3v1Size && pieceEnd - Id3v1Size >= at_) {
            const size_t block = size_t(pieceEnd - Id3v1Size - at_);
            if (piece.viewAt(block, 3) == QByteArrayView("TAG")) {
                std::memcpy(info_.id3v1.data(), piece.viewAt(block, Id3v1Size).data(), Id3v1Size);
                dataEnd_ -= Id3v1Size;
            }
        }
        limit = dataEnd_;
    }
    const ByteReader data(piece.viewAt(0, size_t(limit - std::min(limit, at_))));
    // The loop works on copies: stores through the byte pointers could otherwise alias the members.
    uint64_t p = p_;
    Tally tally = tally_;
    MpegFrameHeader latest{};
    while (p < limit) {
        const size_t q = size_t(p - at_);
        if (data.at(q) != 0xFF) {
            // No frame starts before the next 0xFF byte.
            const qsizetype sync = data.view().indexOf(char(0xFF), qsizetype(q) + 1);
            p = sync < 0 ? limit : at_ + uint64_t(sync);
            continue;
        }
        if (!last && p + 4 > limit)
            break; // the header is not all in yet
        if (data.size() - q < 4) {
            ++p; // too short for a header
            continue;
        }
        // A stream repeats a few headers (one per bit rate and padding): each is decoded once.
        const uint32_t word = uint32_t(data.at(q)) << 24 | uint32_t(data.at(q + 1)) << 16 |
                              uint32_t(data.at(q + 2)) << 8 | data.at(q + 3);
        Known& known = known_[(word >> 12 & 0xF) << 1 | (word >> 9 & 1)];
        if (known.word != word) {
            if (parseFrameHeader(data.viewAt(q, 4), known.frame) != FrameHeaderOk) {
                ++p;
                continue;
            }
            known.word = word;
        }
        const MpegFrameHeader& frame = known.frame;
        if (tally.frames == 0) {
            const bool mono = frame.channels == 1;
            const size_t sideInfo = frame.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
            const uint64_t x = p + 4 + sideInfo;
            if (!last && x + XingLameSize > limit)
                break; // a Xing header there would not be all in yet
            std::memcpy(header_.raw.data(), data.viewAt(q, 4).data(), 4);
            haveXing_ = readXingHeader(data, size_t(x - at_), frame, info_);
            first_ = frame;
        }
        latest = frame;
        p += frame.frameLength;
        ++tally.frames;
        tally.bitRateSum += frame.bitRate;
        tally.paddedFrames += frame.padding;
        tally.maxBitRate = std::max(tally.maxBitRate, frame.bitRate);
        tally.minBitRate = std::min(tally.minBitRate, frame.bitRate);
        tally.maxFrameLength = std::max(tally.maxFrameLength, frame.frameLength);
        tally.minFrameLength = std::min(tally.minFrameLength, frame.frameLength);
    }
    if (tally.frames != tally_.frames) {
        const std::array<uint8_t, 4> raw = header_.raw;
        header_ = latest;
        header_.raw = raw;
    }
    p_ = p;
    tally_ = tally;
    if (last)
        return piece.size();
    const uint64_t doneTo = std::min({p_, pieceEnd, tail});
    const size_t done = size_t(doneTo - std::min(doneTo, at_));
    at_ += done;
    return done;
}

void MpegStreamWalker::finish(MpegFrameHeader& header, MpegStreamInfo& info, TagRecord& record)
{
    info = info_;
    header = header_;
    info.dataSize = uint32_t(std::min<uint64_t>(dataEnd_, UINT32_MAX));
    info.frameCount = tally_.frames;
    info.paddedFrames = tally_.paddedFrames;
    if (tally_.frames != 0) {
        info.maxBitRate = tally_.maxBitRate;
        info.minBitRate = tally_.minBitRate;
        info.maxFrameLength = tally_.maxFrameLength;
        info.minFrameLength = tally_.minFrameLength;
        // The mean rounded half up.
        const uint64_t sum = tally_.bitRateSum;
        info.avgBitRate = uint32_t(2 * sum / tally_.frames - sum / tally_.frames);
        if (!haveXing_)
            info.sampleCount = cbrSampleCount(info.dataSize, first_);
    } // else nothing was found: every figure stays zero

    record[RowCodec] = ownValue(QByteArray(reinterpret_cast<const char*>(header.raw.data()), qsizetype(header.raw.size())));
    record[RowBitsPerSample] = numberValue(16);
    record[RowBitrate] = numberValue(info.avgBitRate * 1000, info.maxBitRate * 1000);
    record[RowSampleRate] = numberValue(header.sampleRate);
    record[RowDuration] = numberValue(info.sampleCount);
    record[RowDataSize] = numberValue(info.dataSize);
}

void analyseMpegStream(QByteArrayView audio, uint32_t& audioSize, MpegFrameHeader& header, MpegStreamInfo& info,
                       TagRecord& record)
{
    if (audioSize == 0)
        return;
    const qsizetype n = std::min<qsizetype>(audio.size(), audioSize);
    MpegStreamWalker walker{uint64_t(n)};
    walker.walk(audio.first(n), true);
    walker.finish(header, info, record);
    if (walker.hasId3v1())
        audioSize -= Id3v1Size;
}

uint64_t durationTenths(uint64_t sampleCount, uint32_t sampleRate)
{
    if (sampleRate == 0)
        return 0;
    return (sampleCount * 10 + sampleRate / 2) / sampleRate;
}

QString durationText(uint64_t sampleCount, uint32_t sampleRate)
{
    const uint64_t t = durationTenths(sampleCount, sampleRate);
    return QString::asprintf("%02u:%02u.%1u", unsigned(t / 600), unsigned(t / 10 % 60), unsigned(t % 10));
}

QString bitRateText(const MpegStreamInfo& info)
{
    if (isConstantBitRate(info))
        return QString::asprintf("CBR %d", int(info.maxBitRate));
    return QString::asprintf("VBR %d (%d-%d)", int(info.avgBitRate), int(info.minBitRate), int(info.maxBitRate));
}

QString mpegVersionText(uint8_t version)
{
    return version == 3 ? QStringLiteral("2.5") : QString::number(version);
}

QString mpegCodecText(const MpegFrameHeader& header, const MpegStreamInfo& info)
{
    QString text = QStringLiteral("MPEG-%1 Layer-%2").arg(mpegVersionText(header.version)).arg(header.layer);
    if (info.xingFrames != 0) {
        const char* e = info.encoder.data();
        text += QStringLiteral(" (%1)").arg(QString::fromLatin1(e, qsizetype(strnlen(e, info.encoder.size()))));
    }
    return text;
}

} // namespace vn
