#include "media/cue_sheet.h"
#include "media/image_pcm.h"
#include "support/test_support.h"
#include "util/text_codec.h"

#include <QDir>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

struct CueFixture : ::testing::Test {
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString cue(const QByteArray& text, const QString& name = "disc.cue")
    {
        writeFile(path(name), text);
        return path(name);
    }
    void image(const QString& name, qint64 bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(bytes));
    }
};

TEST_F(CueFixture, OneTrackWavImage)
{
    image("disc.wav", 44 + 1764000);
    CueSheet sheet;
    ASSERT_EQ(parseCueSheet(cue("FILE disc.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"), 100, 0, sheet), 1);
    EXPECT_EQ(sheet.trackStarts[0], 0u);
    EXPECT_EQ(sheet.trackStarts[1], 441000u);
    EXPECT_EQ(sheet.dataOffset, 44);
    EXPECT_EQ(sheet.discToc, QByteArray("1+96+384"));
    EXPECT_EQ(sheet.imagePath, path("disc.wav"));

    CueImageEntry entry;
    entry.cuePath = path("disc.cue");
    std::vector<uint32_t> sectors{7};
    ASSERT_EQ(parseCueForMatch(entry, sectors), 0);
    EXPECT_EQ(entry.trackCount, 1u);
    EXPECT_EQ(entry.endSector, 750u);
    EXPECT_EQ(entry.totalSamples, 750u * 588);
    EXPECT_EQ(entry.firstIndex, 1u);
    EXPECT_EQ(sectors, (std::vector<uint32_t>{7, 0, 750}));
}

TEST_F(CueFixture, TimesTitlesAndTheLineGrammar)
{
    image("my disc.bin", 2352 * 100000);
    const QByteArray text = "REM GENRE Pop\n"
                            "PERFORMER \"The Band\"\n"
                            "TITLE \"Album One\"\n"
                            "file \"my disc.bin\" binary\n"
                            "  TRACK 01 AUDIO\n"
                            "    TITLE First\n"
                            "    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n"
                            "    INDEX 00 01:00:00\n"
                            "    INDEX 01 01:02:03\n"
                            "\tTRACK 03 AUDIO\n"           // a tab is not a separator: ignored
                            "    INDEX 01 05:00:00\n"      // so this moves track 2's start
                            "    TITLE \"Unclosed title\n"
                            "    PERFORMER \"\"\n";
    CueSheet sheet;
    ASSERT_EQ(parseCueSheet(cue(text), 100, 0, sheet), 2);
    EXPECT_EQ(sheet.trackStarts[1], 5u * 60 * 75 * 588);
    EXPECT_EQ(sheet.trackStarts[2], 100000u * 588); // the image's end
    EXPECT_EQ(sheet.dataOffset, 0);
    EXPECT_EQ(sheet.sampleRate(), 44100u);
    EXPECT_EQ(sheet.byteRate(), 176400u);
    EXPECT_EQ(sheet.titles[0], "Album One");
    EXPECT_EQ(sheet.performers[0], "The Band");
    EXPECT_EQ(sheet.titles[1], "First");
    EXPECT_EQ(sheet.titles[2], "Unclosed title");
    EXPECT_TRUE(sheet.performers[2].isEmpty());
    EXPECT_TRUE(sheet.titles[3].isNull());
}

TEST_F(CueFixture, IndexTimesAreMinutesSecondsAndSectors)
{
    CueSheet one;
    image("c.bin", 2352 * 10000);
    ASSERT_EQ(parseCueSheet(cue("FILE c.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                                "INDEX 01 01:02:03\n"),
                            100, 0, one),
              2);
    EXPECT_EQ(one.trackStarts[1], 2735964u);
    CueImageEntry entry;
    entry.cuePath = path("disc.cue");
    std::vector<uint32_t> sectors;
    ASSERT_EQ(parseCueForMatch(entry, sectors), 0);
    EXPECT_EQ(sectors[1], 4653u);
}

TEST_F(CueFixture, ErrorCodes)
{
    image("c.bin", 2352 * 1000);
    CueSheet sheet;
    EXPECT_EQ(parseCueSheet(path("none.cue"), 100, 0, sheet), CueCannotOpen);
    EXPECT_EQ(parseCueSheet(cue("FILE a.mp3 MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"), 100, 0, sheet), CueNoImageFile);
    EXPECT_EQ(parseCueSheet(cue("FILE gone.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"), 100, 0, sheet),
              CueImageMissing);
    EXPECT_EQ(parseCueSheet(cue("FILE c.bin BINARY\nTRACK 100 AUDIO\n"), 100, 0, sheet), CueBadTrackNumber);
    EXPECT_EQ(parseCueSheet(cue("FILE c.bin BINARY\nTRACK 00 AUDIO\n"), 100, 0, sheet), CueBadTrackNumber);
    const QByteArray skipped = "FILE c.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                               "INDEX 01 00:01:00\nTRACK 04 AUDIO\nINDEX 01 00:03:00\n";
    EXPECT_EQ(parseCueSheet(cue(skipped), 100, 0, sheet), CueStartsNotIncreasing);
    EXPECT_EQ(parseCueSheet(cue("FILE c.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 99:00:00\n"), 100, 0, sheet),
              CueStartsNotIncreasing); // starts past the image's end
    // Without any INDEX 01: nothing for the main window, an empty entry for the matcher.
    EXPECT_EQ(parseCueSheet(cue("FILE c.bin BINARY\nTRACK 01 AUDIO\n"), 100, 0, sheet), 0);
    CueImageEntry entry;
    entry.cuePath = path("disc.cue");
    std::vector<uint32_t> sectors;
    EXPECT_EQ(parseCueForMatch(entry, sectors), 0);
    EXPECT_EQ(entry.trackCount, 0u);
    entry.cuePath = cue("FILE c.bin BINARY\nTRACK 99 AUDIO\n");
    EXPECT_EQ(parseCueForMatch(entry, sectors), CueBadTrackNumber);
}

TEST_F(CueFixture, DataTrackEndsTheAudio)
{
    image("mixed.bin", 2352 * 60000);
    const QByteArray text = "FILE mixed.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                            "INDEX 01 04:00:00\nTRACK 03 MODE1/2352\nTITLE \"Data\"\nINDEX 00 10:00:00\n"
                            "INDEX 01 10:02:00\n";
    CueSheet sheet;
    ASSERT_EQ(parseCueSheet(cue(text), 100, 0, sheet), 2);
    EXPECT_EQ(sheet.trackStarts[2], 45000u * 588);
    EXPECT_TRUE(sheet.titles[2].isNull()); // the data track's title is no audio track's
    EXPECT_EQ(sheet.discToc, QByteArray("2+96+46E6+B05E"));
    CueImageEntry entry;
    entry.cuePath = path("disc.cue");
    std::vector<uint32_t> sectors;
    ASSERT_EQ(parseCueForMatch(entry, sectors), 0);
    EXPECT_EQ(entry.endSector, 45000u);
    EXPECT_EQ(entry.dataTrack, 1u);
}

TEST_F(CueFixture, DataTracksAreLeftOutWhereverTheyStand)
{
    image(QStringLiteral("d.bin"), 2352 * 3000);
    CueSheet sheet;
    // CD-Extra as rippers write it: the data track has no pregap index, so its INDEX 01 ends the
    // audio; without that the last track would run on through the data to the image's end.
    const QByteArray extra = "FILE d.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:10:00\n"
                             "TRACK 03 MODE1/2352\nINDEX 01 00:30:00\n";
    ASSERT_EQ(parseCueSheet(cue(extra), 100, 0, sheet), 2);
    EXPECT_EQ(sheet.trackStarts[2], 2250u * 588);
    EXPECT_EQ(sheet.discToc, QByteArray("2+96+384+960"));
    // A mixed-mode disc: the data track comes first, the audio tracks are tracks 1 and 2 here,
    // and their texts go with them.
    const QByteArray mixed = "TITLE \"Disc\"\nFILE d.bin BINARY\nTRACK 01 MODE1/2352\nTITLE \"Data\"\nINDEX 01 00:00:00\n"
                             "TRACK 02 AUDIO\nTITLE \"First song\"\nINDEX 00 00:20:00\nINDEX 01 00:22:00\n"
                             "TRACK 03 AUDIO\nTITLE \"Second song\"\nINDEX 01 00:30:00\n";
    ASSERT_EQ(parseCueSheet(cue(mixed), 100, 0, sheet), 2);
    EXPECT_EQ(sheet.trackStarts[0], 1650u * 588);
    EXPECT_EQ(sheet.trackStarts[1], 2250u * 588);
    EXPECT_EQ(sheet.trackStarts[2], 3000u * 588); // the image's end
    EXPECT_EQ(sheet.titles[0], QStringLiteral("Disc"));
    EXPECT_EQ(sheet.titles[1], QStringLiteral("First song"));
    EXPECT_EQ(sheet.titles[2], QStringLiteral("Second song"));
    CueImageEntry entry;
    entry.cuePath = path(QStringLiteral("disc.cue"));
    std::vector<uint32_t> sectors;
    ASSERT_EQ(parseCueForMatch(entry, sectors), 0);
    EXPECT_EQ(sectors, (std::vector<uint32_t>{1650, 2250, 3000}));
    EXPECT_EQ(entry.dataTrack, 1u);
    // After two leading data tracks, an audio track numbered 1 comes before the first track there
    // is: no track of the sheet, and its title must not land before the disc's.
    const QByteArray backwards = "FILE d.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\nTRACK 02 MODE1/2352\n"
                                 "INDEX 01 00:10:00\nTRACK 03 AUDIO\nINDEX 01 00:20:00\nTRACK 01 AUDIO\nTITLE \"x\"\n";
    EXPECT_EQ(parseCueSheet(cue(backwards), 100, 0, sheet), CueBadTrackNumber);
}

TEST_F(CueFixture, LinesEndInLfCrLfOrALoneCr)
{
    image(QStringLiteral("d.bin"), 2352 * 3000);
    for (const char* end : {"\n", "\r\n", "\r"}) {
        const QByteArray e(end);
        const QByteArray text = "TITLE \"Old Mac\"" + e + "FILE \"d.bin\" BINARY" + e + "  TRACK 01 AUDIO" + e +
                                "    INDEX 01 00:00:00" + e + "  TRACK 02 AUDIO" + e + "    TITLE \"Two\"" + e +
                                "    INDEX 01 00:04:00";
        CueSheet sheet;
        ASSERT_EQ(parseCueSheet(cue(text), 100, 0, sheet), 2) << QByteArray(end).toHex().constData();
        EXPECT_EQ(sheet.trackStarts[1], 300u * 588);
        EXPECT_EQ(sheet.titles[0], QStringLiteral("Old Mac"));
        EXPECT_EQ(sheet.titles[2], QStringLiteral("Two"));
    }
}

TEST_F(CueFixture, ARefusedSheetSaysWhichFileAndWhy)
{
    image(QStringLiteral("short.bin"), 2352 * 100);
    image(QStringLiteral("empty.bin"), 0);
    QDir(dir.path()).mkpath(QStringLiteral("folder.bin"));
    const QByteArray tracks = " BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:02:00\n";
    struct Case {
        QByteArray image;
        int code;
        QString file;
        QString cause;
    } cases[] = {
        {"gone.bin", CueImageMissing, "gone.bin", QString::fromLocal8Bit(std::strerror(ENOENT))},
        {"folder.bin", CueImageMissing, "folder.bin", "is a folder"},
        {"empty.bin", CueStartsNotIncreasing, "empty.bin", "the image file is empty"},
        // 100 sectors end at byte 235200; track 2 starts at 2 s, sector 150, byte 352800.
        {"short.bin", CueStartsNotIncreasing, "short.bin", "its audio ends at byte 235200, track 2 starts at byte 352800"},
    };
    for (const Case& c : cases) {
        CueSheet sheet;
        EXPECT_EQ(parseCueSheet(cue("FILE " + c.image + tracks), 100, 0, sheet), c.code) << c.image.constData();
        EXPECT_TRUE(sheet.problem.startsWith(path(c.file) + u':') && sheet.problem.contains(c.cause))
            << sheet.problem.toStdString();
    }
    CueSheet sheet;
    EXPECT_EQ(parseCueSheet(path(QStringLiteral("absent.cue")), 100, 0, sheet), CueCannotOpen);
    EXPECT_TRUE(sheet.problem.contains(QString::fromLocal8Bit(std::strerror(ENOENT)))) << sheet.problem.toStdString();
    EXPECT_EQ(parseCueSheet(cue("FILE short.bin BINARY\nTRACK 01 AUDIO\n"), 100, 0, sheet), 0);
    EXPECT_TRUE(sheet.problem.contains("no audio track")) << sheet.problem.toStdString();
}

TEST_F(CueFixture, SheetsWrittenOnWindows)
{
    QDir(dir.path()).mkpath("sub");
    image("sub/Disc Image.WAV", 44 + 2352 * 100);
    const QString title = "日本語のアルバム";
    // CP932 text, a backslash folder, CRLF line ends, a name differing in case from the file.
    const QByteArray sjis = "TITLE \"" + encodeText(title, CpShiftJis) + "\"\r\nFILE \"sub\\disc image.wav\" WAVE\r\n"
                            "TRACK 01 AUDIO\r\nINDEX 01 00:00:00\r\n";
    CueSheet sheet;
    ASSERT_EQ(parseCueSheet(cue(sjis), 100, CpShiftJis, sheet), 1);
    EXPECT_EQ(sheet.titles[0], title);
    EXPECT_EQ(sheet.imagePath, path("sub/Disc Image.WAV"));
    EXPECT_EQ(sheet.dataOffset, 44);
    // UTF-8 with a byte-order mark is UTF-8 whatever the setting says.
    const QByteArray utf8 = "\xEF\xBB\xBFTITLE \"" + title.toUtf8() + "\"\nFILE \"sub/Disc Image.WAV\" WAVE\n"
                            "TRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    ASSERT_EQ(parseCueSheet(cue(utf8), 100, CpWindows1252, sheet), 1);
    EXPECT_EQ(sheet.titles[0], title);
}

TEST_F(CueFixture, FindCueSheetsKeepsOnlyGoodSheets)
{
    image("a.bin", 2352 * 1000);
    cue("FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:05:00\n",
        "B.CUE");
    cue("FILE missing.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "a.cue");
    cue("FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "c.cue");
    QDir(dir.path()).mkpath("deeper.cue");
    std::vector<CueImageEntry> entries;
    std::vector<uint32_t> sectors;
    EXPECT_EQ(findCueSheets(dir.path(), entries, sectors), 2);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].cuePath.endsWith("B.CUE"));
    EXPECT_EQ(entries[1].firstIndex, 3u);
    EXPECT_EQ(sectors, (std::vector<uint32_t>{0, 375, 1000, 0, 1000}));
    EXPECT_EQ(findCueSheets(path("nope"), entries, sectors), 2);
}

TEST_F(CueFixture, GarbageNeverCrashes)
{
    image("c.bin", 2352 * 100);
    SplitMix rng{11};
    const QByteArray good = "FILE \"c.bin\" BINARY\nTRACK 01 AUDIO\nTITLE \"x\"\nINDEX 01 00:00:00\n"
                            "TRACK 02 AUDIO\nINDEX 01 00:00:40\n";
    for (int i = 0; i < 2000; ++i) {
        QByteArray text = good;
        for (int m = 0; m < 4; ++m)
            text[rng.below(uint32_t(text.size()))] = char(rng.next());
        CueSheet sheet;
        const int n = parseCueSheet(cue(text), 100, 0, sheet);
        ASSERT_GE(n, CueStartsNotIncreasing);
        ASSERT_LE(n, 99);
        for (int k = 0; k < n; ++k)
            ASSERT_LT(sheet.trackStarts[size_t(k)], sheet.trackStarts[size_t(k + 1)]);
    }
}

} // namespace

// Each frame of a made-up image holds its own number, so any piece read shows where it came from.
TEST_F(CueFixture, ImagePcmReadsATrackInPiecesFromItsOwnBytes)
{
    const uint32_t frames = 3 * 588 + 10; // the last sector is short
    QByteArray bin(qsizetype(frames) * 4, Qt::Uninitialized);
    for (uint32_t f = 0; f < frames; ++f)
        qToLittleEndian<uint32_t>(f, bin.data() + f * 4);
    writeFile(path("d.bin"), bin);
    QByteArray wav = canonicalWavHeader(2, 44100, 16);
    writeFile(path("d.wav"), wav + bin);

    for (const char* name : {"d.bin", "d.wav"}) [&] {
        CueSheet sheet;
        ASSERT_EQ(parseCueSheet(cue(QByteArray("FILE ") + name + " BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                    "TRACK 02 AUDIO\nINDEX 01 00:00:02\n"),
                                100, 0, sheet),
                  2)
            << name;
        const FrameRange two = trackFrames(sheet, 2);
        EXPECT_EQ(two.first, 1176u);
        EXPECT_EQ(two.end, frames); // the image's own end
        EXPECT_EQ(trackFrames(sheet, 3).count(), 0u);

        const ImagePcm pcm(sheet);
        ASSERT_TRUE(pcm.isOpen());
        QByteArray piece;
        uint64_t next = two.first;
        while (next < two.end) {
            const uint32_t got = pcm.read(next, 500, piece);
            ASSERT_GT(got, 0u);
            for (uint32_t i = 0; i < got; ++i)
                ASSERT_EQ(qFromLittleEndian<uint32_t>(piece.constData() + i * 4), next + i) << name;
            next += got;
        }
        EXPECT_EQ(next, frames);
        EXPECT_EQ(pcm.read(frames, 500, piece), 0u);
        EXPECT_TRUE(piece.isEmpty());
    }();
}
