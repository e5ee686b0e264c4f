// MPEG frame headers and the stream walk: crafted frames for the exact rules, files written by lame
// and ffmpeg cross-checked against ffprobe and against the PCM that went in.

#include "media/mpeg_analysis.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vn {
namespace {

using test::cbrFrames;

QByteArray bytes(std::initializer_list<int> b)
{
    QByteArray out;
    for (int v : b)
        out += char(v);
    return out;
}

struct Analysis {
    MpegFrameHeader header;
    MpegStreamInfo info;
    TagRecord record{};
    uint32_t audioSize = 0;
};

Analysis analyse(const QByteArray& audio)
{
    Analysis a;
    a.audioSize = uint32_t(audio.size());
    analyseMpegStream(audio, a.audioSize, a.header, a.info, a.record);
    return a;
}

TEST(MpegFrameHeader, RejectsByTheFirstFailedCheck)
{
    MpegFrameHeader h;
    EXPECT_EQ(parseFrameHeader(bytes({0xFE, 0xFB, 0x90, 0x64}), h), FrameNoSync);
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0x1B, 0x90, 0x64}), h), FrameNoSyncBits);
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0xEB, 0x90, 0x64}), h), FrameReservedVersion);
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0xF9, 0x90, 0x64}), h), FrameReservedLayer);
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0xFB, 0xF0, 0x64}), h), FrameBadBitRate);
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0xFB, 0x9C, 0x64}), h), FrameBadSampleRate);
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0xFB, 0x00, 0x64}), h), FrameTooShort); // free format
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0xFB, 0x90, 0x66}), h), FrameReservedEmphasis);
    EXPECT_EQ(parseFrameHeader(bytes({0xFF, 0xFB, 0x90}), h), FrameNoSync); // short input
    EXPECT_EQ(parseFrameHeader({}, h), FrameNoSync);
}

TEST(MpegFrameHeader, DecodesBothStandardsAndEveryLayer)
{
    struct Case {
        QByteArray raw;
        int version, layer, bitRate, sampleRate, samples, length, channels;
    };
    const Case cases[] = {
        {bytes({0xFF, 0xFB, 0x90, 0x64}), 1, 3, 128, 44100, 1152, 417, 2},
        {bytes({0xFF, 0xFB, 0x92, 0xC4}), 1, 3, 128, 44100, 1152, 418, 1},
        {bytes({0xFF, 0xFB, 0xE8, 0x00}), 1, 3, 320, 32000, 1152, 1440, 2},
        {bytes({0xFF, 0xF3, 0x80, 0x00}), 2, 3, 64, 22050, 576, 208, 2},
        {bytes({0xFF, 0xE3, 0x18, 0xC0}), 3, 3, 8, 8000, 576, 72, 1},
        {bytes({0xFF, 0xFD, 0xA4, 0x00}), 1, 2, 192, 48000, 1152, 576, 2},
        {bytes({0xFF, 0xF5, 0xE0, 0x00}), 2, 2, 160, 22050, 1152, 1044, 2},
        {bytes({0xFF, 0xFF, 0xC0, 0x00}), 1, 1, 384, 44100, 384, 416, 2},
        {bytes({0xFF, 0xFF, 0xC2, 0x00}), 1, 1, 384, 44100, 384, 420, 2}, // a Layer I slot is 4 bytes
        {bytes({0xFF, 0xF7, 0xE0, 0x00}), 2, 1, 256, 22050, 384, 556, 2},
    };
    for (const Case& c : cases) {
        MpegFrameHeader h;
        ASSERT_EQ(parseFrameHeader(c.raw, h), FrameHeaderOk) << c.raw.toHex().constData();
        EXPECT_EQ(h.version, c.version);
        EXPECT_EQ(h.layer, c.layer);
        EXPECT_EQ(h.bitRate, uint32_t(c.bitRate));
        EXPECT_EQ(h.sampleRate, uint32_t(c.sampleRate));
        EXPECT_EQ(h.samplesPerFrame, uint32_t(c.samples));
        EXPECT_EQ(h.frameLength, uint32_t(c.length)) << c.raw.toHex().constData();
        EXPECT_EQ(h.channels, c.channels);
    }
}

TEST(MpegStream, CbrWithoutXingUsesWholeFramesOrTheRoundedRate)
{
    Analysis a = analyse(cbrFrames(10)); // 4,170 bytes = 10 frames of L = 417
    EXPECT_EQ(a.info.frameCount, 10u);
    EXPECT_EQ(a.info.sampleCount, 10u * 1152);
    EXPECT_EQ(bitRateText(a.info), QStringLiteral("CBR 128"));
    EXPECT_EQ(a.info.encoder[0], 0);
    EXPECT_EQ(QByteArrayView(reinterpret_cast<const char*>(a.header.raw.data()), 4), bytes({0xFF, 0xFB, 0x90, 0x64}));

    // Not a whole number of frames: the duration follows from the rate, rounded.
    a = analyse(cbrFrames(10) + QByteArray(100, '\x11'));
    EXPECT_EQ(a.info.frameCount, 10u);
    EXPECT_EQ(a.info.sampleCount, uint32_t((4270ull * 44100 + 8000) / 16000));

    // The rows of the record point at the records the caller keeps.
    const QByteArray audio = cbrFrames(10) + QByteArray(100, '\x11');
    a.audioSize = uint32_t(audio.size());
    analyseMpegStream(audio, a.audioSize, a.header, a.info, a.record);
    EXPECT_EQ(a.record[RowCodec].size, MpegFrameHeaderSize);
    EXPECT_EQ(a.record[RowCodec].data, reinterpret_cast<const uint8_t*>(&a.header));
    EXPECT_EQ(a.record[RowBitrate].size, MpegStreamInfoSize);
    EXPECT_EQ(a.record[RowBitsPerSample].size, 16u);
    EXPECT_EQ(a.record[RowSampleRate].size, 44100u);
    EXPECT_EQ(a.record[RowDuration].size, a.info.sampleCount);
    EXPECT_EQ(a.record[RowDataSize].size, 4270u);
    for (int row = RowCodec; row < TagRowCount; ++row)
        EXPECT_TRUE(a.record[size_t(row)].present()) << row;
}

TEST(MpegStream, Id3v1IsSplitOffOnlyWhenItBeginsWithTag)
{
    const QByteArray v1 = test::id3v1Block("Title", "Artist", "Album", "1999", "Note", 7, 17);
    Analysis a = analyse(cbrFrames(4) + v1);
    EXPECT_EQ(a.audioSize, 4u * 417);
    EXPECT_EQ(a.info.dataSize, 4u * 417);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(a.info.id3v1.data()), 128), v1);
    EXPECT_EQ(a.info.frameCount, 4u);

    QByteArray tab = v1;
    tab[2] = 'B';
    a = analyse(cbrFrames(4) + tab);
    EXPECT_EQ(a.audioSize, 4u * 417 + 128);
    EXPECT_EQ(a.info.dataSize, 4u * 417 + 128);
    EXPECT_EQ(a.info.id3v1[0], 0);
}

TEST(MpegStream, JunkIsSkippedAndNotCounted)
{
    const QByteArray frames = cbrFrames(3);
    QByteArray junk = bytes({0xFF, 0x00, 0xFF, 0xFB, 0xF0, 0x00, 0x12}); // a false sync among them
    const Analysis a = analyse(QByteArray(33, '\x01') + frames + junk + frames);
    EXPECT_EQ(a.info.frameCount, 6u);
    EXPECT_EQ(a.info.minFrameLength, 417u);
    EXPECT_EQ(a.info.maxFrameLength, 417u);
}

TEST(MpegStream, XingAndLameTagFieldsAndVbrFigures)
{
    // First frame: a Xing header after 32 bytes of side information, a LAME tag at its fixed place.
    QByteArray first = cbrFrames(1);
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            first[at + i] = char(v >> (24 - 8 * i));
    };
    const int x = 4 + 32;
    first.replace(x, 4, "Xing");
    put32(x + 4, 0x0F);
    put32(x + 8, 16);
    put32(x + 12, 7000);
    first.replace(x + 120, 9, "LAME3.100");
    first[x + 141] = char(0x24); // delay 0x240 = 576, padding 0x3C0 = 960
    first[x + 142] = char(0x03);
    first[x + 143] = char(0xC0);
    QByteArray stream = first;
    QByteArray frame40 = cbrFrames(1);
    frame40[2] = char(0x50); // 64 kbit/s
    frame40.resize(208);
    for (int i = 0; i < 14; ++i)
        stream += cbrFrames(1);
    stream += frame40; // 15 frames at 128 and one at 64: mean 124
    Analysis a = analyse(stream);
    EXPECT_EQ(a.info.xingFrames, 16u);
    EXPECT_EQ(a.info.xingBytes, 7000u);
    EXPECT_STREQ(a.info.encoder.data(), "LAME3.100");
    EXPECT_EQ(a.info.encoderDelay, 576);
    EXPECT_EQ(a.info.encoderPadding, 960);
    EXPECT_EQ(a.info.sampleCount, 16u * 1152 - 576 - 960);
    EXPECT_EQ(a.info.frameCount, 16u);
    EXPECT_EQ(bitRateText(a.info), QStringLiteral("VBR 124 (64-128)"));
    EXPECT_EQ(mpegCodecText(a.header, a.info), QStringLiteral("MPEG-1 Layer-3 (LAME3.100)"));

    // The mean is rounded half up: 15 frames at 32 and one at 40 average 32.5.
    QByteArray low;
    QByteArray f32 = cbrFrames(1);
    f32[2] = char(0x10);
    f32.resize(104);
    QByteArray f40 = cbrFrames(1);
    f40[2] = char(0x20);
    f40.resize(130);
    for (int i = 0; i < 15; ++i)
        low += f32;
    low += f40;
    EXPECT_EQ(analyse(low).info.avgBitRate, 33u);

    // Without the frame-count flag the byte count comes first.
    put32(x + 4, 0x02);
    put32(x + 8, 5555);
    a = analyse(first + cbrFrames(2));
    EXPECT_EQ(a.info.xingFrames, 0u);
    EXPECT_EQ(a.info.xingBytes, 5555u);
    EXPECT_EQ(a.info.sampleCount, 0u); // no frame count: no negative count either
    EXPECT_EQ(bitRateText(a.info), QStringLiteral("CBR 128")); // one rate, whatever the header

    // A Xing header too close to the end to hold the LAME tag is not taken.
    a = analyse(first.left(x + 100));
    EXPECT_EQ(a.info.xingBytes, 0u);
    EXPECT_EQ(a.info.frameCount, 1u);
}

TEST(MpegStream, NothingFoundGivesZerosAndNoFigureDividesByZero)
{
    Analysis a = analyse(QByteArray(5000, '\xFF'));
    EXPECT_EQ(a.info.frameCount, 0u);
    EXPECT_EQ(a.info.avgBitRate, 0u);
    EXPECT_EQ(a.info.minBitRate, 0u);
    EXPECT_EQ(a.info.sampleCount, 0u);
    EXPECT_EQ(a.record[RowSampleRate].size, 0u);
    EXPECT_EQ(durationText(a.info.sampleCount, a.header.sampleRate), QStringLiteral("00:00.0"));

    // An empty buffer is left alone altogether.
    Analysis empty;
    empty.info.frameCount = 99;
    analyseMpegStream({}, empty.audioSize, empty.header, empty.info, empty.record);
    EXPECT_EQ(empty.info.frameCount, 99u);
    EXPECT_FALSE(empty.record[RowCodec].present());
}

TEST(MpegStream, DurationAndVersionTexts)
{
    EXPECT_EQ(durationText(44100 * 65 + 2205, 44100), QStringLiteral("01:05.1"));
    EXPECT_EQ(durationText(44100 * 3600, 44100), QStringLiteral("60:00.0"));
    EXPECT_EQ(durationText(2204, 44100), QStringLiteral("00:00.0")); // 0.04998 s rounds down
    EXPECT_EQ(durationText(2205, 44100), QStringLiteral("00:00.1"));
    EXPECT_EQ(durationTenths(1000, 0), 0u);
    EXPECT_EQ(mpegVersionText(3), QStringLiteral("2.5"));
}

// What ffprobe reads from a file.
struct Probe {
    int sampleRate = 0, channels = 0, frames = 0;
    double duration = 0, startTime = 0;
};

Probe ffprobe(const QString& path)
{
    const test::ProcessResult r = test::runProcess(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=sample_rate,channels,nb_read_frames,duration,start_time"), QStringLiteral("-of"),
         QStringLiteral("json"), path});
    const QJsonObject s = QJsonDocument::fromJson(r.out).object()[QStringLiteral("streams")].toArray()[0].toObject();
    Probe p;
    p.sampleRate = s[QStringLiteral("sample_rate")].toString().toInt();
    p.channels = s[QStringLiteral("channels")].toInt();
    p.frames = s[QStringLiteral("nb_read_frames")].toString().toInt();
    p.duration = s[QStringLiteral("duration")].toString().toDouble();
    p.startTime = s[QStringLiteral("start_time")].toString().toDouble();
    return p;
}

Analysis analyseFile(const QString& path)
{
    return analyse(test::readFile(path));
}

TEST(MpegStreamCrossCheck, LameFilesAgreeWithFfprobeAndTheirInput)
{
    if (!test::haveProgram(QStringLiteral("lame")) || !test::haveProgram(QStringLiteral("ffprobe")))
        GTEST_SKIP() << "lame or ffprobe missing";
    QTemporaryDir dir;
    struct Case {
        const char* name;
        uint32_t rate;
        int channels;
        QStringList options;
        int version;
        bool vbr;
        bool lameTag = true;
    };
    const Case cases[] = {
        {"cbr128", 44100, 2, {"-b", "128"}, 1, false},
        {"cbr320", 48000, 2, {"-b", "320"}, 1, false},
        {"v0", 44100, 2, {"-V", "0"}, 1, true},
        {"v2", 44100, 2, {"-V", "2"}, 1, true},
        {"mono", 44100, 1, {"-m", "m", "-b", "96"}, 1, false},
        {"khz32", 32000, 2, {"-b", "160"}, 1, false},
        {"mpeg2_22", 22050, 2, {"-b", "64"}, 2, false},
        {"mpeg2_24", 24000, 2, {"-V", "4"}, 2, true},
        {"mpeg25_8", 8000, 1, {"-b", "16"}, 3, false, false},
        {"mpeg25_8_tag", 8000, 1, {"-b", "24"}, 3, false},
        {"mpeg25_11", 11025, 2, {"-b", "32"}, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t frames = c.rate * 3 + 1234;
        const QString wav = dir.filePath(QStringLiteral("%1.wav").arg(c.name));
        const QString mp3 = dir.filePath(QStringLiteral("%1.mp3").arg(c.name));
        ASSERT_TRUE(test::writeTestWav(wav, frames, c.rate, c.channels));
        ASSERT_TRUE(test::lameEncode(wav, mp3, c.options));
        const Analysis a = analyseFile(mp3);
        const Probe p = ffprobe(mp3);
        EXPECT_EQ(a.header.version, c.version);
        EXPECT_EQ(a.header.layer, 3);
        EXPECT_EQ(a.header.sampleRate, uint32_t(p.sampleRate));
        EXPECT_EQ(a.header.channels, p.channels);
        EXPECT_EQ(a.info.dataSize, uint32_t(test::readFile(mp3).size()));
        EXPECT_EQ(isConstantBitRate(a.info), !c.vbr);
        if (!c.lameTag) {
            // Too small a frame for lame's Info frame: the CBR rule gives ffprobe's duration.
            EXPECT_EQ(a.info.xingFrames, 0u);
            EXPECT_EQ(a.info.frameCount, uint32_t(p.frames));
            EXPECT_NEAR(double(a.info.sampleCount), p.duration * c.rate, 1.0);
            continue;
        }
        // The Info frame is counted by the walk, not by its own header; ffprobe skips it (and reads
        // one frame fewer of the 576-sample streams, so only the MPEG-1 counts are compared).
        EXPECT_EQ(a.info.frameCount, a.info.xingFrames + 1);
        if (c.version == 1) {
            EXPECT_EQ(a.info.xingFrames, uint32_t(p.frames));
        }
        // The LAME tag gives back exactly the samples that went in; ffprobe's start is the
        // encoder delay plus the decoder's 529, its duration the Xing frame count.
        EXPECT_EQ(a.info.sampleCount, frames);
        EXPECT_NEAR(p.startTime * c.rate, a.info.encoderDelay + 529, 1.0);
        EXPECT_NEAR(p.duration * c.rate, double(a.info.xingFrames) * a.header.samplesPerFrame, 2.0);
        EXPECT_EQ(QByteArray(a.info.encoder.data(), 4), QByteArray("LAME"));
    }
}

TEST(MpegStreamCrossCheck, StreamsWithoutXingFollowTheirRate)
{
    if (!test::haveProgram(QStringLiteral("lame")) || !test::haveProgram(QStringLiteral("ffprobe")) ||
        !test::haveProgram(QStringLiteral("ffmpeg")))
        GTEST_SKIP() << "lame, ffmpeg or ffprobe missing";
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("in.wav"));
    ASSERT_TRUE(test::writeTestWav(wav, 44100 * 2 + 777, 44100, 2));

    // lame without its Info frame: padded frames, so the duration comes from the rate.
    const QString cbr = dir.filePath(QStringLiteral("cbr.mp3"));
    ASSERT_TRUE(test::lameEncode(wav, cbr, {QStringLiteral("-b"), QStringLiteral("128"), QStringLiteral("-t")}));
    Analysis a = analyseFile(cbr);
    Probe p = ffprobe(cbr);
    EXPECT_EQ(a.info.xingFrames, 0u);
    EXPECT_EQ(a.info.frameCount, uint32_t(p.frames));
    EXPECT_GT(a.info.paddedFrames, 0u);
    EXPECT_NEAR(double(a.info.sampleCount), p.duration * 44100, 1.0);

    // ffmpeg's MPEG-1 Layer II at 48 kHz: unpadded frames, a whole number of them.
    const QString mp2 = dir.filePath(QStringLiteral("layer2.mp3"));
    const test::ProcessResult r = test::runProcess(
        QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"),
                                   wav, QStringLiteral("-ar"), QStringLiteral("48000"), QStringLiteral("-c:a"),
                                   QStringLiteral("mp2"), QStringLiteral("-b:a"), QStringLiteral("192k"),
                                   QStringLiteral("-f"), QStringLiteral("mp2"), mp2});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    a = analyseFile(mp2);
    p = ffprobe(mp2);
    EXPECT_EQ(a.header.layer, 2);
    EXPECT_EQ(a.header.samplesPerFrame, 1152u);
    EXPECT_EQ(a.info.frameCount, uint32_t(p.frames));
    EXPECT_EQ(a.info.sampleCount, uint32_t(p.frames) * 1152);
    EXPECT_NEAR(double(a.info.sampleCount), p.duration * 48000, 1.0);
    EXPECT_EQ(bitRateText(a.info), QStringLiteral("CBR 192"));
}

} // namespace
} // namespace vn
