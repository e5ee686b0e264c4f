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

} // namespace

bool readXingHeader(const ByteReader& data, size_t x, const MpegFrameHeader& first, MpegStreamInfo& info)
{
    constexpr size_t LameTagEnd = 144; // the delay/padding field ends at x + 143
    if (x > data.size() || data.size() - x < LameTagEnd)
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

void analyseMpegStream(QByteArrayView audio, uint32_t& audioSize, MpegFrameHeader& header, MpegStreamInfo& info,
                       TagRecord& record)
{
    if (audioSize == 0)
        return;
    header = {};
    info = {};
    size_t n = std::min(size_t(audio.size()), size_t(audioSize));
    const ByteReader whole(audio.first(qsizetype(n)));
    if (n >= Id3v1Size && whole.viewAt(n - Id3v1Size, 3) == QByteArrayView("TAG")) {
        const QByteArrayView block = whole.viewAt(n - Id3v1Size, Id3v1Size);
        std::memcpy(info.id3v1.data(), block.data(), Id3v1Size);
        n -= Id3v1Size;
        audioSize -= Id3v1Size;
    }
    const ByteReader data(whole.viewAt(0, n));
    info.dataSize = uint32_t(n);
    info.minBitRate = 0x7FFFFFFF;
    info.minFrameLength = 0x7FFFFFFF;

    uint64_t bitRateSum = 0;
    MpegFrameHeader frame;
    size_t p = 0;
    while (p < n) {
        if (data.at(p) != 0xFF || parseFrameHeader(data.viewAt(p, 4), frame) != FrameHeaderOk) {
            ++p;
            continue;
        }
        if (info.frameCount == 0) {
            std::memcpy(frame.raw.data(), data.viewAt(p, 4).data(), 4);
            header.raw = frame.raw;
            const bool mono = frame.channels == 1;
            const size_t sideInfo = frame.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
            if (!readXingHeader(data, p + 4 + sideInfo, frame, info))
                info.sampleCount = cbrSampleCount(info.dataSize, frame);
        }
        const std::array<uint8_t, 4> raw = header.raw;
        header = frame;
        header.raw = raw;

        p += frame.frameLength;
        ++info.frameCount;
        bitRateSum += frame.bitRate;
        info.paddedFrames += frame.padding;
        info.maxBitRate = std::max(info.maxBitRate, frame.bitRate);
        info.minBitRate = std::min(info.minBitRate, frame.bitRate);
        info.maxFrameLength = std::max(info.maxFrameLength, frame.frameLength);
        info.minFrameLength = std::min(info.minFrameLength, frame.frameLength);
    }
    if (info.frameCount == 0) {
        // Nothing found: every figure is zero rather than the search's starting values.
        info.minBitRate = 0;
        info.minFrameLength = 0;
    } else {
        // The mean rounded half up.
        info.avgBitRate = uint32_t(2 * bitRateSum / info.frameCount - bitRateSum / info.frameCount);
    }

    record[RowCodec] = ownValue(QByteArray(reinterpret_cast<const char*>(header.raw.data()), qsizetype(header.raw.size())));
    record[RowBitsPerSample] = numberValue(16);
    record[RowBitrate] = numberValue(info.avgBitRate * 1000, info.maxBitRate * 1000);
    record[RowSampleRate] = numberValue(header.sampleRate);
    record[RowDuration] = numberValue(info.sampleCount);
    record[RowDataSize] = numberValue(info.dataSize);
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
