// What the matcher reads from an A file: the four forms of a CD table of contents, and the tags and
// lengths of files that lame, flac, ffmpeg and mutagen wrote.
#include "batch/a_file_facts.h"
#include "media/id3v2_reader.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

// A disc of three audio tracks.
const std::vector<uint32_t> Starts{0, 13000, 25000};
constexpr uint32_t LeadOut = 40000;

QByteArray be32(uint32_t v)
{
    char b[4];
    qToBigEndian(v, b);
    return QByteArray(b, 4);
}

QByteArray le32(uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    return QByteArray(b, 4);
}

// A drive's TOC: length, first and last track, then a descriptor per track and the lead-out.
QByteArray driveToc(const std::vector<uint32_t>& starts, uint32_t end, uint8_t lastControl = 0x10, int lengthError = 0)
{
    QByteArray body;
    for (size_t k = 0; k < starts.size(); ++k) {
        const uint8_t control = k + 1 == starts.size() ? lastControl : 0x10;
        body += QByteArray(1, 0) + char(control) + char(k + 1) + QByteArray(1, 0) + be32(starts[k]);
    }
    body += QByteArray(1, 0) + char(0x10) + char(0xAA) + QByteArray(1, 0) + be32(end);
    const int length = int(body.size()) + 2 + lengthError;
    return QByteArray(1, char(length >> 8)) + char(length & 0xFF) + char(1) + char(starts.size()) + body;
}

QByteArray leTable(const std::vector<uint32_t>& starts, uint32_t end)
{
    QByteArray t;
    for (size_t k = 0; k < starts.size(); ++k)
        t += le32(starts[k]) + char(0x11) + char(k + 1) + QByteArray(2, 0);
    return t + le32(end) + char(0x10) + char(0xAA) + QByteArray(2, 0);
}

QByteArray tocText(const std::vector<uint32_t>& starts, uint32_t end)
{
    QByteArray t = QByteArray::number(qulonglong(starts.size()), 16).toUpper();
    for (uint32_t s : starts)
        t += '+' + QByteArray::number(s + 150, 16).toUpper();
    return t + '+' + QByteArray::number(end + 150, 16).toUpper();
}

QByteArray utf16(const QByteArray& latin)
{
    QByteArray out;
    for (char c : latin)
        out += c + QByteArray(1, 0);
    return out + QByteArray(2, 0);
}

TEST(McdiForms, EveryFormGivesTheSameTable)
{
    const std::vector<uint32_t> want{0, 13000, 25000, LeadOut};
    for (const QByteArray& value : {driveToc(Starts, LeadOut), leTable(Starts, LeadOut), tocText(Starts, LeadOut),
                                    utf16(tocText(Starts, LeadOut))}) {
        const McdiTable t = decodeMcdi(value);
        EXPECT_EQ(t.addresses, want) << value.toHex().constData();
        EXPECT_FALSE(t.dataTrack);
        EXPECT_EQ(t.trackCount(), 3u);
    }
    // A text below the lead-in counts as 0.
    EXPECT_EQ(decodeMcdi("2+10+96+1F4").addresses, (std::vector<uint32_t>{0, 0, 350}));
}

TEST(McdiForms, ADataTrackEndsTheTable)
{
    const McdiTable t = decodeMcdi(driveToc(Starts, LeadOut, 0x14));
    EXPECT_EQ(t.addresses, (std::vector<uint32_t>{0, 13000, 25000}));
    EXPECT_TRUE(t.dataTrack);
    EXPECT_EQ(t.trackCount(), 2u);
}

TEST(McdiForms, MalformedTablesGiveNothingAndNeverReadPastTheValue)
{
    // A drive's TOC must say its own length (less 2, or less 4).
    EXPECT_TRUE(decodeMcdi(driveToc(Starts, LeadOut, 0x10, 1)).addresses.empty());
    EXPECT_FALSE(decodeMcdi(driveToc(Starts, LeadOut, 0x10, -2)).addresses.empty());
    EXPECT_TRUE(decodeMcdi(leTable({}, LeadOut)).addresses.empty()); // a lead-out alone
    EXPECT_TRUE(decodeMcdi("").addresses.empty());
    EXPECT_TRUE(decodeMcdi("hello").addresses.empty());
    SplitMix rng{9};
    for (const QByteArray& good : {driveToc(Starts, LeadOut), leTable(Starts, LeadOut), tocText(Starts, LeadOut)}) {
        for (qsizetype cut = 0; cut < good.size(); ++cut)
            EXPECT_LE(decodeMcdi(good.left(cut)).addresses.size(), 4u);
        for (int round = 0; round < 500; ++round) {
            QByteArray bent = good;
            bent[qsizetype(rng.below(uint32_t(bent.size())))] = char(rng.below(256));
            EXPECT_LE(decodeMcdi(bent).addresses.size(), 101u);
        }
    }
    // A table that never ends is read to its last whole entry, at most a disc's worth.
    QByteArray endless;
    for (int k = 0; k < 300; ++k)
        endless += le32(uint32_t(k * 100)) + char(0x10) + char(k == 0 ? 1 : 2) + QByteArray(2, 0);
    EXPECT_EQ(decodeMcdi(endless).addresses.size(), 101u);
}

class FileFacts : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        wav = dir.filePath("src.wav");
        ASSERT_TRUE(writeTestWav(wav, Frames, 44100, 2));
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    // Tags as mutagen writes them: album, artist, album artist, track and an MCDI frame.
    void tagMp3(const QString& file, const QByteArray& mcdi)
    {
        const ProcessResult r = runPython(mutagenPrelude() + R"(
t = ID3()
t.add(TALB(encoding=1, text=["Album \u00e9"]))
t.add(TPE1(encoding=3, text=["Artist"]))
t.add(TPE2(encoding=0, text=["Band"]))
t.add(TRCK(encoding=0, text=["7/12"]))
t.add(MCDI(data=bytes.fromhex(sys.argv[2])))
t.save(sys.argv[1], v2_version=3)
)",
                                          {file, QString::fromLatin1(mcdi.toHex())});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    }

    static constexpr uint32_t Frames = 88323; // 2 s and 123 frames
    QTemporaryDir dir;
    QString wav;
};

TEST_F(FileFacts, LameMp3WithItsInfoHeaderGivesTheExactLength)
{
    const QString mp3 = path("07 Song.mp3");
    ASSERT_TRUE(lameEncode(wav, mp3, {"-b", "128"}));
    tagMp3(mp3, driveToc(Starts, LeadOut));
    const AFileFacts f = readAFileFacts(mp3);
    EXPECT_EQ(f.album, QString::fromUtf8("Album \xc3\xa9"));
    EXPECT_EQ(f.artist, "Artist");
    EXPECT_EQ(f.albumArtist, "Band");
    EXPECT_EQ(f.tagTrack, 7);
    EXPECT_EQ(f.fileTrack, 7);
    EXPECT_TRUE(f.encoder.startsWith("LAME")) << f.encoder.constData();
    EXPECT_LE(f.encoder.size(), 9);
    EXPECT_EQ(f.duration, Frames); // what lame was given
    EXPECT_EQ(f.mcdi.addresses, (std::vector<uint32_t>{0, 13000, 25000, LeadOut}));
}

TEST_F(FileFacts, StreamsWithoutAnInfoHeaderOrAtHalfTheRateComeClose)
{
    // Without the Info header only the bit rate and the byte count tell; a trailing ID3v1 block is
    // not audio.
    const QString plain = path("plain.mp3");
    ASSERT_TRUE(lameEncode(wav, plain, {"-t", "-b", "128"}));
    const AFileFacts p = readAFileFacts(plain);
    EXPECT_NEAR(double(p.duration), double(Frames), 8820.0);
    EXPECT_TRUE(p.encoder.isEmpty());
    const QByteArray withV1 = readFile(plain) + id3v1Block("t", "a", "b", "2001", "c", 1, 1);
    ASSERT_TRUE(writeFile(path("v1.mp3"), withV1));
    EXPECT_EQ(readAFileFacts(path("v1.mp3")).duration, p.duration);

    // MPEG-2 at 22.05 kHz: 576 samples a frame, counted in CD samples.
    const QString half = path("half.mp3");
    ASSERT_TRUE(lameEncode(wav, half, {"--resample", "22.05", "-b", "64"}));
    EXPECT_NEAR(double(readAFileFacts(half).duration), double(Frames), 8820.0);
}

TEST_F(FileFacts, FlacAndM4aCarryTheirTableAsText)
{
    const QString wav48 = path("48k.wav");
    ASSERT_TRUE(writeTestWav(wav48, 96000, 48000, 2));
    const QString flac = path("03 x.flac");
    const ProcessResult f = runProcess("flac", {"-s", "-f", "-o", flac, "--tag=ALBUM=Flac Album", "--tag=ARTIST=Someone",
                                                "--tag=TRACKNUMBER=3", "--tag=CDTOC=" + QString::fromLatin1(tocText(Starts, LeadOut)),
                                                wav48});
    ASSERT_EQ(f.exitCode, 0) << f.err.constData();
    const AFileFacts ff = readAFileFacts(flac);
    EXPECT_EQ(ff.album, "Flac Album");
    EXPECT_EQ(ff.artist, "Someone");
    EXPECT_EQ(ff.tagTrack, 3);
    EXPECT_EQ(ff.duration, 88200u); // 2 s at 48 kHz
    EXPECT_EQ(ff.mcdi.trackCount(), 3u);

    const QString m4a = path("04 y.m4a");
    const ProcessResult e = runProcess("ffmpeg", {"-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "128k", m4a});
    ASSERT_EQ(e.exitCode, 0) << e.err.constData();
    const ProcessResult t = runPython(R"(
import sys
from mutagen.mp4 import MP4, MP4FreeForm
m = MP4(sys.argv[1])
m["\xa9alb"] = ["M4a Album"]
m["aART"] = ["Band"]
m["trkn"] = [(4, 9)]
m["----:com.apple.iTunes:CDTOC"] = [MP4FreeForm(sys.argv[2].encode())]
m.save()
)",
                                      {m4a, QString::fromLatin1(tocText(Starts, LeadOut))});
    ASSERT_EQ(t.exitCode, 0) << t.err.constData();
    const AFileFacts mf = readAFileFacts(m4a);
    EXPECT_EQ(mf.album, "M4a Album");
    EXPECT_EQ(mf.albumArtist, "Band");
    EXPECT_EQ(mf.tagTrack, 4);
    EXPECT_NEAR(double(mf.duration), double(Frames), 8820.0);
    EXPECT_EQ(mf.mcdi.addresses, (std::vector<uint32_t>{0, 13000, 25000, LeadOut}));
}

TEST_F(FileFacts, Id3v24DataLengthIndicatorAndUtf16Text)
{
    const QByteArray table = leTable(Starts, LeadOut);
    const QByteArray frame = id3Frame(4, "MCDI", be32(uint32_t(table.size())) + table, Id3FrameDataLength);
    ASSERT_TRUE(writeFile(path("v24.mp3"), id3Tag(4, frame) + cbrFrames(50)));
    EXPECT_EQ(readAFileFacts(path("v24.mp3")).mcdi.trackCount(), 3u);

    ASSERT_TRUE(writeFile(path("u16.mp3"), id3Tag(3, id3Frame(3, "MCDI", utf16(tocText(Starts, LeadOut)))) + cbrFrames(50)));
    EXPECT_EQ(readAFileFacts(path("u16.mp3")).mcdi.addresses.back(), LeadOut);
}

TEST_F(FileFacts, BrokenFilesGiveEmptyFacts)
{
    ASSERT_TRUE(writeFile(path("empty.mp3"), {}));
    ASSERT_TRUE(writeFile(path("junk.mp3"), QByteArray(5000, 'x')));
    ASSERT_TRUE(writeFile(path("cut.mp3"), id3Tag(3, id3Frame(3, "TALB", QByteArray("\0Cut", 4))).left(15)));
    ASSERT_TRUE(writeFile(path("junk.flac"), QByteArray(500, 'f')));
    for (const char* name : {"empty.mp3", "junk.mp3", "cut.mp3", "junk.flac", "missing.mp3"}) {
        const AFileFacts f = readAFileFacts(path(name));
        EXPECT_EQ(f.duration, 0u) << name;
        EXPECT_TRUE(f.album.isEmpty()) << name;
        EXPECT_EQ(f.mcdi.trackCount(), 0u) << name;
    }
    // A tag whose stated size runs past the file is no tag; the stream is still found.
    QByteArray lying = id3Tag(3, id3Frame(3, "TALB", QByteArray("\0X", 2)));
    lying[6] = char(0x7F);
    ASSERT_TRUE(writeFile(path("lying.mp3"), lying + cbrFrames(10)));
    const AFileFacts f = readAFileFacts(path("lying.mp3"));
    EXPECT_TRUE(f.album.isEmpty());
    EXPECT_GT(f.duration, 0u);
}

} // namespace
} // namespace vn::test
