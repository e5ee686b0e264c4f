// The File Properties text of an MP3: the frame listing, the stream summary and the dump command.

#include "containers/properties.h"
#include "media/id3_dump.h"
#include "media/id3v2_reader.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"
#include "util/text_codec.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vn {
namespace {

using test::id3Frame;

const QByteArray Nul(1, '\0');

// Three tracks (audio, data, lead-out) at sectors 0, 15000 and 30000, in both binary layouts.
const QByteArray TocA = QByteArray::fromHex("00000000 10010000 983A0000 14020000 30750000 10AA0000");
const QByteArray TocB = QByteArray::fromHex("001A0102 00100100 00000000 00140200 00003A98 0010AA00 00007530");

QString listing(uint8_t version, const QByteArray& body, uint8_t revision = 0)
{
    QString text;
    dumpId3v2(text, TagHeader{version, revision, 0}, body);
    return text;
}

QString summary(const QByteArray& audio)
{
    uint32_t size = uint32_t(audio.size());
    MpegFrameHeader h;
    MpegStreamInfo info;
    TagRecord r{};
    analyseMpegStream(audio, size, h, info, r);
    QString text;
    dumpMpeg(text, h, info);
    return text;
}

void expectLines(const QString& text, std::initializer_list<const char*> lines)
{
    for (const char* line : lines)
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << "missing '" << line << "' in\n" << text.toStdString();
}

TEST(Id3Dump, ListsEveryFrameWithItsDecoding)
{
    const QByteArray body =
        QByteArray(2, '\0') + id3Frame(3, "TIT2", Nul + "Title") + id3Frame(3, "TXXX", Nul + "desc" + Nul + "val") +
        id3Frame(3, "COMM", Nul + "eng" + "d" + Nul + "text") + id3Frame(3, "UFID", "owner" + Nul + "ABC-123") +
        id3Frame(3, "UFID", "o" + Nul + "東京") + id3Frame(3, "UFID", "o" + Nul + "\x01\x02\xFF") +
        id3Frame(3, "APIC", Nul + "image/jpeg" + Nul + "\x03" + "cv" + Nul + "\xFF\xD8" + QByteArray(10, 'x')) +
        id3Frame(3, "PRIV", "whatever", 0x8040) + id3Frame(3, "MCDI", TocA) + id3Frame(3, "MCDI", TocB) +
        id3Frame(3, "MCDI", "3+96+3B6+7530" + Nul) + QByteArray(300, '\0');
    QString text;
    dumpHeading(text, QStringLiteral("/music/a"), QStringLiteral("x.mp3"));
    dumpId3v2(text, TagHeader{3, 0, 0x80}, body);
    EXPECT_EQ(text, QStringLiteral("[Folder] /music/a\r\n[File] x.mp3\r\n\r\n"
                                   "[ID3v2.3.0] tagSize=10+%1=%2 bytes, flag=80\r\n"
                                   "  pad ID    size flag en data\r\n"
                                   "    2 TIT2     6 0000 0 Title\r\n"
                                   "    0 TXXX     9 0000 0 desc\r\n"
                                   "    0 COMM    10 0000 0 (eng) 'd' 'text'\r\n"
                                   "    0 UFID    13 0000 'owner' 'ABC-123'\r\n"
                                   "    0 UFID     8 0000 'o' '東京'\r\n"
                                   "    0 UFID     5 0000 'o' 01 02 FF\r\n"
                                   "    0 APIC    28 0000 0 image/jpeg 03 'cv' 12 bytes FFD8\r\n"
                                   "    0 PRIV     8 8040 \r\n"
                                   "    0 MCDI    24 0000 \r\n 00:00.00\r\n*03:20.00\r\n 06:40.00\r\n"
                                   "    0 MCDI    28 0000 \r\n 00:00.00\r\n*03:20.00\r\n 06:40.00\r\n"
                                   "    0 MCDI    14 0000 \r\n 00:00.00\r\n 00:10.50\r\n 06:38.00\r\n"
                                   "  300 Tag End\r\n")
                        .arg(body.size())
                        .arg(body.size() + 10));
}

TEST(Id3Dump, VersionTwoAndFourLayoutsAndWhereTheListingEnds)
{
    expectLines(listing(2, id3Frame(2, "PIC", Nul + "PNG" + Nul + Nul + "\x89PNG") +
                               id3Frame(2, "COM", Nul + "eng" + Nul + "c") + id3Frame(2, "MCI", "1+96+200" + Nul)),
                {"    0 PIC     10 0000 0 PNG 00 '' 4 bytes 8950\r\n", "    0 COM      6 0000 0 (eng) '' 'c'\r\n",
                 "    0 MCI      9 0000 \r\n 00:00.00\r\n 00:04.62\r\n"});
    // The data length indicator moves the data 4 bytes on; UTF-16 texts are decoded.
    expectLines(listing(4, id3Frame(4, "TIT2", QByteArray("\0\0\0\x04", 4) + Nul + "abc", 0x0001) +
                               id3Frame(4, "TPE1", QByteArray("\x01\xFF\xFE" "A\0\xE9\0", 7))),
                {"    0 TIT2     8 0001 0 abc\r\n", "    0 TPE1     7 0000 1 Aé\r\n"});

    // A frame running past the body ends the listing; an unknown version lists nothing.
    QByteArray cut = id3Frame(3, "TIT2", Nul + "a") + QByteArray(5, '\0') + id3Frame(3, "TALB", Nul + "b");
    cut.chop(1);
    EXPECT_TRUE(listing(3, cut).endsWith("0 a\r\n    5 Tag End\r\n")) << listing(3, cut).toStdString();
    EXPECT_EQ(listing(7, cut, 1), "[ID3v2.7.1] tagSize=10+28=38 bytes, flag=00\r\n  pad ID    size flag en data\r\n"
                                  "    0 Tag End\r\n");
}

TEST(Id3Dump, CdTablesStopAtTheirLimits)
{
    // Without a lead-out the table ends with the frame; more than 100 entries are not decoded; the
    // second layout needs its length to match the frame.
    EXPECT_EQ(decodeCdToc(TocA.chopped(8)).size(), 2u);
    QByteArray many, textForm = "F";
    for (int i = 0; i < 150; ++i) {
        many += char(i) + QByteArray("\0\0\0\x10\x01\0\0", 7);
        textForm += "+" + QByteArray::number(150 + i, 16);
    }
    EXPECT_EQ(decodeCdToc(many).size(), 100u);
    EXPECT_EQ(decodeCdToc(textForm).size(), 100u);
    QByteArray b = TocB;
    b[1] = 0x30;
    EXPECT_TRUE(decodeCdToc(b).empty());
    EXPECT_TRUE(decodeCdToc(QByteArray("\x10\x01", 2)).empty());
}

TEST(Id3Dump, StreamSummaryAndId3v1)
{
    setAnsiCodePage(CpWindows1252);
    const QByteArray v1 = test::id3v1Block("Caf\xE9   ", "Artist", "Album", "1999", "Note  ", 7, 17);
    EXPECT_EQ(summary(test::cbrFrames(10) + v1),
              "\r\n[MPEG audio] MPEG-1 Layer-3 (1152samples/frame)\r\n <audioDataSize> 4170 bytes\r\n"
              " <totalFrames> 10 (paddedFrames 0)\r\n <frameSize> 417 - 417 bytes/frame\r\n <playTime> 0:00.3\r\n"
              " <bitRate> (CBR) 128 kbps\r\n <sampleRate> 44100 Hz\r\n <channel> 2 (Joint stereo,ext.2)\r\n"
              " <private/copyright/original/emphasis> 0/0/1/0\r\n <ID3v1> 128bytes\r\n  <title> Café\r\n"
              "  <artist> Artist\r\n  <album> Album\r\n  <year> 1999\r\n  <comment> Note\r\n  <track> 7\r\n"
              "  <genre> 17\r\n");

    // Without a track byte the comment runs to 30 bytes; without ID3v1 the block is said to be absent.
    const QString noTrack =
        summary(test::cbrFrames(2) + test::id3v1Block("T", "A", "B", "2000", QByteArray(30, 'c'), -1, 255));
    EXPECT_TRUE(noTrack.contains("  <comment> " + QString(30, u'c') + "\r\n  <genre> 255\r\n"));
    EXPECT_FALSE(noTrack.contains("<track>"));
    const QString nothing = summary(QByteArray(300, '\x33')); // no frame at all: zeros, and no division by zero
    EXPECT_TRUE(nothing.contains(" <playTime> 0:00.0\r\n <bitRate> (CBR) 0 kbps\r\n"));
    EXPECT_TRUE(nothing.endsWith(" <ID3v1> not exists\r\n"));
}

// An MP3 that lame wrote (lame is installed by scripts/install-deps), behind a small ID3v2.3 tag.
struct LameSong : ::testing::Test {
    void SetUp() override
    {
        const QString wav = dir.filePath("in.wav");
        ASSERT_TRUE(test::writeTestWav(wav, 22050 * 2, 22050, 2) && test::lameEncode(wav, raw, {"-V", "2"}));
        const QByteArray tag = test::id3Tag(3, id3Frame(3, "TIT2", Nul + "Song") + QByteArray(100, '\0'));
        ASSERT_TRUE(test::writeFile(path, tag + test::readFile(raw)));
    }
    QTemporaryDir dir;
    const QString raw = dir.filePath("raw.mp3"), path = dir.filePath("Song.mp3");
};

TEST_F(LameSong, PropertiesListTheTagTheStreamAndTheEncoder)
{
    QString text, kind;
    ASSERT_EQ(dumpFile(path, text, kind), PropertiesOk);
    EXPECT_EQ(kind, "MP3");
    EXPECT_TRUE(text.startsWith("[Folder] "));
    expectLines(text, {"[File] Song.mp3\r\n\r\n[ID3v2.3.0] tagSize=10+115=125 bytes",
                       "    0 TIT2     5 0000 0 Song\r\n  100 Tag End\r\n",
                       "[MPEG audio] MPEG-2 Layer-3 (576samples/frame)", " <Xing> dataSize=", "sample, LAME3.100",
                       " <playTime> 0:02.0\r\n", " <bitRate> (VBR) "});
    // Without an ID3v2 tag there is nothing the MP3 listing can show.
    EXPECT_EQ(dumpFile(raw, text, kind), PropertiesUnknownKind);
}

TEST_F(LameSong, TheDumpCommandPrintsTheListingWithPlainLineEnds)
{
    const test::ProcessResult r = test::runProcess(test::cliPath(), {"dump", path});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.contains("    0 TIT2     5 0000 0 Song\n  100 Tag End\n"));
    EXPECT_FALSE(r.out.contains('\r'));
}

} // namespace
} // namespace vn
