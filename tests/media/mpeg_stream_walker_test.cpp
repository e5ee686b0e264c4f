// The frame walk fed in pieces, as the reader feeds it from its small buffer: for every way of cutting
// the audio (crafted edge cases and files lame wrote), the figures of the walk over the whole.

#include "media/mpeg_analysis.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace vn {
namespace {

using test::cbrFrames;

struct Walked {
    MpegFrameHeader header;
    MpegStreamInfo info;
    TagRecord record{};
    uint32_t audioSize = 0;
};

// Every figure the walk gives, as one comparable value.
auto figures(const Walked& w)
{
    const MpegFrameHeader& h = w.header;
    const MpegStreamInfo& i = w.info;
    std::vector<uint64_t> v = {w.audioSize, h.version, h.layer, h.padding, h.channels, h.bitRate, h.sampleRate,
                               h.samplesPerFrame, h.frameLength, i.dataSize, i.frameCount, i.sampleCount,
                               i.maxBitRate, i.minBitRate, i.avgBitRate, i.maxFrameLength, i.minFrameLength,
                               i.paddedFrames, i.xingBytes, i.xingFrames, i.encoderDelay, i.encoderPadding};
    v.insert(v.end(), h.raw.begin(), h.raw.end());
    v.insert(v.end(), i.encoder.begin(), i.encoder.end());
    v.insert(v.end(), i.id3v1.begin(), i.id3v1.end());
    for (int row = RowCodec; row < TagRowCount; ++row) {
        const TagValue& value = w.record[size_t(row)];
        v.push_back(value.size);
        v.push_back(uint64_t(value.number));
    }
    v.push_back(uint64_t(qHash(w.record[RowCodec].bytes().toByteArray())));
    return v;
}

Walked whole(const QByteArray& audio)
{
    Walked w;
    w.audioSize = uint32_t(audio.size());
    analyseMpegStream(audio, w.audioSize, w.header, w.info, w.record);
    return w;
}

// As the file reader does: each piece follows the bytes the walk handed back. announced is the
// length the walker is told to expect (a file may come out shorter than its size said).
Walked inPieces(const QByteArray& audio, const std::function<qsizetype()>& nextSize, qsizetype announced = -1)
{
    MpegStreamWalker walker(uint64_t(announced < 0 ? audio.size() : announced));
    QByteArray held;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype n = std::min(nextSize(), audio.size() - pos);
        held += audio.mid(pos, n);
        pos += n;
        const bool last = pos == audio.size();
        const size_t done = walker.walk(held, last);
        if (last)
            break;
        EXPECT_LE(size_t(held.size()) - done, MpegStreamWalker::MostKept);
        held.remove(0, qsizetype(done));
    }
    Walked w;
    walker.finish(w.header, w.info, w.record);
    w.audioSize = uint32_t(audio.size()) - (walker.hasId3v1() ? Id3v1Size : 0);
    return w;
}

QByteArray be32(uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

// Cuts at every size from 1 to 9 bytes, around the Xing header's and the tail's lengths, at a
// piece of the reader's size, and at random sizes.
void expectAnyCutGivesTheWhole(const QByteArray& audio, const char* what)
{
    SCOPED_TRACE(what);
    const auto expected = figures(whole(audio));
    for (qsizetype size : {1, 2, 3, 4, 5, 7, 9, 127, 128, 129, 179, 180, 181, 500, 4096, 1 << 17}) {
        EXPECT_EQ(figures(inPieces(audio, [size] { return size; })), expected) << "pieces of " << size;
    }
    QRandomGenerator random(uint32_t(audio.size()));
    for (int round = 0; round < 20; ++round) {
        const int most = round < 10 ? 600 : 70000;
        EXPECT_EQ(figures(inPieces(audio, [&] { return qsizetype(random.bounded(most)); })), expected)
            << "random round " << round;
    }
}

TEST(MpegStreamWalker, CraftedStreamsCutAnywhereGiveTheWholeWalksFigures)
{
    const QByteArray v1 = test::id3v1Block("Title", "Artist", "Album", "1999", "Note", 7, 17);
    // First frame with a Xing header and LAME tag, then frames at two rates.
    const int x = 4 + 32;
    QByteArray xing = cbrFrames(1);
    xing.replace(x, 16, "Xing" + be32(0x0F) + be32(40) + be32(7000)).replace(x + 120, 9, "LAME3.100");
    xing.replace(x + 141, 3, "\x24\x03\xC0");
    QByteArray low = cbrFrames(1);
    low[2] = char(0x50); // 64 kbit/s
    low.resize(208);

    expectAnyCutGivesTheWhole(cbrFrames(40), "plain frames");
    expectAnyCutGivesTheWhole(cbrFrames(40) + v1, "an ID3v1 block");
    expectAnyCutGivesTheWhole(cbrFrames(40) + QByteArray(v1).replace(0, 3, "TAB"), "no ID3v1 block");
    expectAnyCutGivesTheWhole(cbrFrames(3) + cbrFrames(1).left(200) + v1, "a frame that runs into the ID3v1 block");
    expectAnyCutGivesTheWhole(QByteArray(33, '\x01') + cbrFrames(3) + QByteArray("\xFF\0\xFF\xFB\xF0\0\x12", 7) +
                                  cbrFrames(3) + QByteArray(1000, '\0') + cbrFrames(2),
                              "junk and a false sync");
    expectAnyCutGivesTheWhole(xing + cbrFrames(20) + low.repeated(19) + v1, "Xing, LAME tag and two rates");
    expectAnyCutGivesTheWhole(QByteArray(150, '\0') + xing.left(x + 150), "a Xing header that just fits");
    expectAnyCutGivesTheWhole(xing.left(x + 143), "a LAME tag one byte short");
    expectAnyCutGivesTheWhole(xing.left(x + 143) + v1, "a LAME tag cut by the ID3v1 block");
    expectAnyCutGivesTheWhole(QByteArray(5000, '\xFF'), "no frame at all");
    expectAnyCutGivesTheWhole(cbrFrames(1).left(100), "less than an ID3v1 block");
    expectAnyCutGivesTheWhole(v1, "nothing but an ID3v1 block");
    expectAnyCutGivesTheWhole(QByteArray(127, '\0') + "\xFF\xFB\x90", "a header cut by the end");
}

TEST(MpegStreamWalker, FilesTheEncoderWroteCutAnywhereGiveTheWholeWalksFigures)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("in.wav"));
    // Name, lame's options, sample rate, channels.
    const std::tuple<const char*, QStringList, uint32_t, int> cases[] = {
        {"v2", {"-V", "2"}, 44100, 2},
        {"cbr192_v1", {"-b", "192", "--id3v1-only", "--tt", "t"}, 44100, 2},
        {"mono_vbr", {"-V", "5", "-m", "m"}, 22050, 1},
        {"no_info", {"-b", "24", "-t"}, 8000, 1},
    };
    for (const auto& [name, options, rate, channels] : cases) {
        ASSERT_TRUE(test::writeTestWav(wav, rate * 4 + 77, rate, channels));
        const QString mp3 = dir.filePath(QLatin1String(name) + QStringLiteral(".mp3"));
        ASSERT_TRUE(test::lameEncode(wav, mp3, options));
        const QByteArray audio = test::readFile(mp3);
        const Walked w = whole(audio);
        EXPECT_GT(w.info.frameCount, 20u) << name; // a walk that found nothing would prove nothing
        expectAnyCutGivesTheWhole(audio, name);
    }
}

TEST(MpegStreamWalker, AFileThatComesOutShorterIsWalkedAsFarAsItsBytes)
{
    // The reader was told of more bytes than it then read: the walk ends with the bytes it got,
    // which hold no ID3v1 block here, and gives the figures of those bytes.
    const QByteArray audio = cbrFrames(30) + cbrFrames(1).left(100);
    for (qsizetype size : {1, 64, 417, 4096}) {
        EXPECT_EQ(figures(inPieces(audio, [size] { return size; }, audio.size() + 5000)), figures(whole(audio)))
            << size;
    }
}

} // namespace
} // namespace vn
