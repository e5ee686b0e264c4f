// MPEG frame headers and the stream walk: crafted frames for the exact rules, files written by lame
// and ffmpeg cross-checked against ffprobe and against the PCM that went in.

#include "media/mpeg_analysis.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vn {
namespace {

using test::be32;
using test::cbrFrames;

// One MPEG-1 Layer III frame at 44100 Hz with the given bit-rate byte, cut to its length.
QByteArray frameAt(int rateByte, int length)
{
    QByteArray f = cbrFrames(1);
    f[2] = char(rateByte);
    f.resize(length);
    return f;
}

// The walk over audio, into records of its own (the record's rows point at them).
struct Analysis {
    MpegFrameHeader header;
    MpegStreamInfo info;
    TagRecord record{};
    uint32_t audioSize;
    explicit Analysis(QByteArrayView audio) : audioSize(uint32_t(audio.size()))
    {
        analyseMpegStream(audio, audioSize, header, info, record);
    }
};

TEST(MpegFrameHeader, DecodesEveryVersionAndLayerAndRejectsByTheFirstFailedCheck)
{
    // Version, layer, kbit/s, Hz, samples, bytes and channels of the kinds the encoders of the
    // cross-check below do not write; a Layer I slot is 4 bytes.
    using Decoded = std::tuple<uint8_t, uint8_t, uint32_t, uint32_t, uint32_t, uint32_t, uint8_t>;
    const std::pair<uint32_t, Decoded> cases[] = {
        {0xFFFB92C4, {1, 3, 128, 44100, 1152, 418, 1}}, {0xFFFBE800, {1, 3, 320, 32000, 1152, 1440, 2}},
        {0xFFE318C0, {3, 3, 8, 8000, 576, 72, 1}},      {0xFFF5E000, {2, 2, 160, 22050, 1152, 1044, 2}},
        {0xFFFFC000, {1, 1, 384, 44100, 384, 416, 2}},  {0xFFFFC200, {1, 1, 384, 44100, 384, 420, 2}},
        {0xFFF7E000, {2, 1, 256, 22050, 384, 556, 2}},
    };
    MpegFrameHeader h;
    for (const auto& [raw, decoded] : cases) [&] {
        ASSERT_EQ(parseFrameHeader(be32(raw), h), FrameHeaderOk) << std::hex << raw;
        EXPECT_EQ(Decoded(h.version, h.layer, h.bitRate, h.sampleRate, h.samplesPerFrame, h.frameLength, h.channels),
                  decoded)
            << std::hex << raw;
    }();
    const std::pair<uint32_t, int> rejected[] = {
        {0xFEFB9064, FrameNoSync},        {0xFF1B9064, FrameNoSyncBits}, {0xFFEB9064, FrameReservedVersion},
        {0xFFF99064, FrameReservedLayer}, {0xFFFBF064, FrameBadBitRate}, {0xFFFB9C64, FrameBadSampleRate},
        {0xFFFB9066, FrameReservedEmphasis},
        {0xFFFB0064, FrameTooShort}, // free format
    };
    for (const auto& [raw, code] : rejected)
        EXPECT_EQ(parseFrameHeader(be32(raw), h), code) << std::hex << raw;
    EXPECT_EQ(parseFrameHeader(be32(0xFFFB9064).left(3), h), FrameNoSync); // short input
    EXPECT_EQ(parseFrameHeader({}, h), FrameNoSync);
}

TEST(MpegStream, PlainFramesSkipJunkSplitOffId3v1AndFillTheRecord)
{
    // Whole frames give their samples; otherwise the duration follows from the rate, rounded. The
    // stream rows of the record carry the first frame header and the stream's figures.
    EXPECT_EQ(Analysis(cbrFrames(10)).info.sampleCount, 10u * 1152);
    const Analysis a(cbrFrames(10) + QByteArray(100, '\x11'));
    EXPECT_EQ(a.info.frameCount, 10u);
    EXPECT_EQ(a.info.sampleCount, 11769u); // 4270 bytes at 16000 bytes/s, rounded
    EXPECT_EQ(bitRateText(a.info), "CBR 128");
    EXPECT_EQ(QByteArrayView(reinterpret_cast<const char*>(a.header.raw.data()), 4), be32(0xFFFB9064));
    EXPECT_EQ(a.record[RowCodec].bytes(), be32(0xFFFB9064));
    EXPECT_EQ(std::tuple(a.record[RowBitsPerSample].size, a.record[RowBitrate].size, a.record[RowBitrate].number,
                         a.record[RowSampleRate].size, a.record[RowDuration].size, a.record[RowDataSize].size),
              std::tuple(16u, 128000u, 128000u, 44100u, a.info.sampleCount, 4270u));

    // Junk before and between frames, a false sync among it, is skipped and not counted.
    const Analysis j(QByteArray(33, '\x01') + cbrFrames(3) + QByteArray("\xFF\0\xFF\xFB\xF0\0\x12", 7) + cbrFrames(3));
    EXPECT_EQ(j.info.frameCount, 6u);
    EXPECT_EQ(std::pair(j.info.minFrameLength, j.info.maxFrameLength), std::pair(417u, 417u));

    // A trailing ID3v1 block is split off only when it begins with "TAG".
    const QByteArray v1 = test::id3v1Block("Title", "Artist", "Album", "1999", "Note", 7, 17);
    const Analysis tagged(cbrFrames(4) + v1), untagged(cbrFrames(4) + QByteArray(v1).replace(0, 3, "TAB"));
    EXPECT_EQ(std::tuple(tagged.audioSize, tagged.info.dataSize, tagged.info.frameCount), std::tuple(1668u, 1668u, 4u));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(tagged.info.id3v1.data()), 128), v1);
    EXPECT_EQ(std::pair(untagged.audioSize, untagged.info.dataSize), std::pair(4u * 417 + 128, 4u * 417 + 128));
    EXPECT_EQ(untagged.info.id3v1[0], 0);
}

TEST(MpegStream, XingAndLameTagFieldsAndVbrFigures)
{
    // First frame: a Xing header after 32 bytes of side information, a LAME tag at its fixed place.
    const int x = 4 + 32;
    QByteArray first = cbrFrames(1);
    first.replace(x, 16, "Xing" + be32(0x0F) + be32(16) + be32(7000)).replace(x + 120, 9, "LAME3.100");
    first.replace(x + 141, 3, "\x24\x03\xC0"); // delay 0x240 = 576, padding 0x3C0 = 960
    const Analysis a(first + cbrFrames(14) + frameAt(0x50, 208)); // 15 frames at 128, one at 64: mean 124
    EXPECT_EQ(std::tuple(a.info.xingFrames, a.info.xingBytes), std::tuple(16u, 7000u));
    EXPECT_EQ(a.info.sampleCount, 16u * 1152 - 576 - 960);
    EXPECT_EQ(bitRateText(a.info), "VBR 124 (64-128)");
    EXPECT_EQ(mpegCodecText(a.header, a.info), "MPEG-1 Layer-3 (LAME3.100)");

    // The mean is rounded half up: 15 frames at 32 and one at 40 average 32.5.
    EXPECT_EQ(Analysis(frameAt(0x10, 104).repeated(15) + frameAt(0x20, 130)).info.avgBitRate, 33u);

    // Without the frame-count flag the byte count comes first.
    first.replace(x + 4, 8, be32(0x02) + be32(5555));
    const Analysis bytesOnly(first + cbrFrames(2));
    EXPECT_EQ(std::tuple(bytesOnly.info.xingFrames, bytesOnly.info.xingBytes), std::tuple(0u, 5555u));
    EXPECT_EQ(bytesOnly.info.sampleCount, 0u); // no frame count: no negative count either
    EXPECT_EQ(bitRateText(bytesOnly.info), "CBR 128"); // one rate, whatever the header

    // A Xing header too close to the end to hold the LAME tag is not taken.
    const Analysis cut(first.left(x + 100));
    EXPECT_EQ(std::tuple(cut.info.xingBytes, cut.info.frameCount), std::tuple(0u, 1u));
}

TEST(MpegStream, NothingFoundGivesZerosAndDurationTextsRound)
{
    // (The stream summary of the dump shows the zeros of audio without a frame.)
    const Analysis a(QByteArray(5000, '\xFF'));
    EXPECT_EQ(std::tuple(a.info.frameCount, a.record[RowSampleRate].size), std::tuple(0u, 0u));
    EXPECT_FALSE(Analysis(QByteArray()).record[RowCodec].present()); // an empty buffer is left alone
    EXPECT_EQ(durationText(44100 * 65 + 2205, 44100), "01:05.1");
    EXPECT_EQ(durationText(44100 * 3600, 44100), "60:00.0");
    EXPECT_EQ(durationText(2204, 44100), "00:00.0"); // 0.04998 s rounds down
    EXPECT_EQ(durationText(2205, 44100), "00:00.1");
    EXPECT_EQ(durationTenths(1000, 0), 0u);
    EXPECT_EQ(mpegVersionText(3), "2.5");
}

TEST(MpegStreamCrossCheck, EncodedFilesAgreeWithFfprobeAndTheirInput)
{
    QTemporaryDir dir;
    // Name, sample rate, channels, lame's options (ffmpeg's for Layer II), version, layer, VBR, LAME tag.
    const std::tuple<const char*, uint32_t, int, QStringList, int, int, bool, bool> cases[] = {
        {"cbr128", 44100, 2, {"-b", "128"}, 1, 3, false, true},
        {"cbr320", 48000, 2, {"-b", "320"}, 1, 3, false, true},
        {"v2", 44100, 2, {"-V", "2"}, 1, 3, true, true},
        {"mono", 44100, 1, {"-m", "m", "-b", "96"}, 1, 3, false, true},
        {"mpeg2_22", 22050, 2, {"-b", "64"}, 2, 3, false, true},
        {"mpeg2_24", 24000, 2, {"-V", "4"}, 2, 3, true, true},
        {"mpeg25_8", 8000, 1, {"-b", "16"}, 3, 3, false, false}, // too small a frame for the Info frame
        {"mpeg25_8_tag", 8000, 1, {"-b", "24"}, 3, 3, false, true},
        {"mpeg25_11", 11025, 2, {"-b", "32"}, 3, 3, false, true},
        {"no_info", 44100, 2, {"-b", "128", "-t"}, 1, 3, false, false},
        {"layer2", 48000, 2, {"-c:a", "mp2", "-b:a", "192k", "-f", "mp2"}, 1, 2, false, false},
    };
    for (const auto& [name, rate, channels, options, version, layer, vbr, lameTag] : cases) [&] {
        SCOPED_TRACE(name);
        const uint32_t frames = rate * 3 + 1234;
        const QString wav = dir.filePath(QStringLiteral("%1.wav").arg(name)), path = wav.chopped(3) + "mp3";
        ASSERT_TRUE(test::writeTestWav(wav, frames, rate, channels));
        if (layer == 2) {
            const auto r = test::runProcess("ffmpeg", QStringList{"-v", "error", "-y", "-i", wav} + options << path);
            ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        } else {
            ASSERT_TRUE(test::lameEncode(wav, path, options));
        }
        const Analysis a(test::readFile(path));
        const test::ProcessResult r =
            test::runProcess("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
                                         "stream=sample_rate,channels,nb_read_frames,duration,start_time", "-of",
                                         "json", path});
        const QJsonObject p = QJsonDocument::fromJson(r.out).object()["streams"].toArray()[0].toObject();
        const uint32_t probeFrames = p["nb_read_frames"].toString().toUInt();
        const double probeDuration = p["duration"].toString().toDouble();
        EXPECT_EQ(std::tuple(a.header.version, a.header.layer), std::tuple(version, layer));
        EXPECT_EQ(a.header.sampleRate, p["sample_rate"].toString().toUInt());
        EXPECT_EQ(a.header.channels, p["channels"].toInt());
        EXPECT_EQ(a.info.dataSize, uint32_t(test::readFile(path).size()));
        EXPECT_EQ(isConstantBitRate(a.info), !vbr);
        if (!vbr) { // at one rate, only padding makes frames differ in length
            EXPECT_EQ(a.info.paddedFrames > 0, a.info.maxFrameLength > a.info.minFrameLength);
        }
        if (!lameTag) {
            // Without the Info frame the duration follows from the rate, as ffprobe's does.
            EXPECT_EQ(a.info.xingFrames, 0u);
            EXPECT_EQ(a.info.frameCount, probeFrames);
            EXPECT_NEAR(double(a.info.sampleCount), probeDuration * rate, 1.0);
            return;
        }
        // The Info frame is counted by the walk, not by its own header; ffprobe skips it (and reads
        // one frame fewer of the 576-sample streams, so only the MPEG-1 counts are compared).
        EXPECT_EQ(a.info.frameCount, a.info.xingFrames + 1);
        if (version == 1) {
            EXPECT_EQ(a.info.xingFrames, probeFrames);
        }
        // The LAME tag gives back exactly the samples that went in; ffprobe's start is the
        // encoder delay plus the decoder's 529, its duration the Xing frame count.
        EXPECT_EQ(a.info.sampleCount, frames);
        EXPECT_NEAR(p["start_time"].toString().toDouble() * rate, a.info.encoderDelay + 529, 1.0);
        EXPECT_NEAR(probeDuration * rate, double(a.info.xingFrames) * a.header.samplesPerFrame, 2.0);
        EXPECT_EQ(QByteArray(a.info.encoder.data(), 4), "LAME");
    }();
}

} // namespace
} // namespace vn
