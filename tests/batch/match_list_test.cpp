// The MP3-Cue Match List File read back: blocks, candidates, the track items and every error text,
// checked against folders and cue sheets on the disk.
#include "batch/match_list.h"
#include "support/test_support.h"

#include <QDir>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

class MatchList : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString& name) const { return dir.filePath(name); }

    // A folder of empty files: the list looks at names only.
    QString folder(const QString& name, const QStringList& files)
    {
        QDir().mkpath(path(name));
        for (const QString& f : files)
            EXPECT_TRUE(writeFile(QDir(path(name)).filePath(f), {}));
        return path(name);
    }

    // A cue sheet of the given TRACK lines naming image (created unless missing is set).
    QString cue(const QString& name, const QString& image, int tracks, bool missing = false,
                const QByteArray& extra = {})
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QByteArray text = "FILE \"" + image.toUtf8() + "\" BINARY\n";
        for (int t = 1; t <= tracks; ++t)
            text += QByteArray("  TRACK ") + (t < 10 ? "0" : "") + QByteArray::number(t) + " AUDIO\n    INDEX 01 00:0" +
                    QByteArray::number(t) + ":00\n";
        text += extra;
        EXPECT_TRUE(writeFile(path(name), text));
        if (!missing) {
            const QString imagePath = QDir::isAbsolutePath(image) ? image : QFileInfo(path(name)).dir().filePath(image);
            EXPECT_TRUE(writeFile(imagePath, QByteArray(2352 * 600, '\0')));
        }
        return path(name);
    }

    int validate(const QByteArray& text)
    {
        return validateBatchListText(".mp3", text, list, errors);
    }

    static QByteArray a(const QString& folder) { return "A  3 \"" + folder.toUtf8() + "\" <LAME3.100>\n"; }
    static QByteArray m(const QString& cue, const QByteArray& tail = {})
    {
        return "M  4 \"" + cue.toUtf8() + "\"" + tail + "\n";
    }

    QTemporaryDir dir;
    BatchList list;
    QString errors;
};

TEST_F(MatchList, AcceptedBlockYieldsItsEntriesAndAZeroEntry)
{
    const QString A = folder("A", {"01 x.mp3", "02 y.mp3", "03 z.mp3"});
    const QString c = cue("c/disc.cue", "disc.bin", 4);
    ASSERT_EQ(validate(a(A) + m(c) + "T 1:1 2:2 3:3-4\n"), 0) << errors.toStdString();
    EXPECT_EQ(errors, "Total Error Count 0\r\n");
    ASSERT_EQ(list.pairs.size(), 1u);
    EXPECT_EQ(list.pairs[0].folderA, A);
    EXPECT_EQ(list.pairs[0].cuePath, c);
    const std::vector<std::array<uint32_t, 5>> expected{{1, 1, 1, 1, 0}, {2, 2, 2, 2, 0}, {3, 3, 3, 4, 0}, {0, 0, 0, 0, 0}};
    ASSERT_EQ(list.entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TrackMapEntry& e = list.entries[i];
        EXPECT_EQ((std::array<uint32_t, 5>{e.aIndex, e.aTrack, e.first, e.last, e.kind}), expected[i]) << i;
    }
    EXPECT_EQ(precheckReport(list), "1\r\n" + A + "\r\n" + c + "\r\n 1.1:1 2.2:2 3.3:3-4\r\n");

    // Line ends written on the other platform read the same.
    QByteArray crlf = a(A) + m(c) + "T 1:1 2:2 3:3-4\n";
    crlf.replace("\n", "\r\n");
    ASSERT_EQ(validate(crlf), 0);
    EXPECT_EQ(list.entries.size(), expected.size());
}

TEST_F(MatchList, UnmatchedTracksGeneratedQuestionMarksAndEmptyBlocks)
{
    const QString A = folder("A", {"01 x.mp3", "02 y.mp3", "03 z.mp3", "05 w.mp3"});
    const QString c = cue("c/disc.cue", "disc.bin", 4);
    const QByteArray text = a(A) + m(c) + "T 1:1 1:2\n"    // lines 1-3: A track 1 used twice
                            "\n"                          // 4
                            + a(A) + m(c) + "T 1:1 2:1\n" // 5-7: CUE track 1 used twice
                            "\n"                          // 8
                            + a(A) + m(c) +               // 9-10
                            "T 1:1 5:? 9:9 #partial\n"    // 11: 9:9 is never read
                            "\n"                          // 12
                            "\n";                         // 13: closes an empty block
    EXPECT_EQ(validate(text), 4);
    EXPECT_EQ(errors, "Error in line 4. Unmatched .mp3 track. 1\r\n"
                      "Error in line 8. Unmatched CUE track. 1\r\n"
                      "Error in line 12. Unmatched CUE track. 1\r\n"
                      "Error in line 13. No .mp3 folder.\r\n"
                      "Total Error Count 4\r\n");
    EXPECT_TRUE(list.pairs.empty());
    EXPECT_TRUE(list.entries.empty()); // blocks with errors take their entries back
}

TEST_F(MatchList, CandidatesAndTheChoiceByDollar)
{
    const QString A = folder("A", {"01 x.mp3", "02 y.mp3"});
    const QString c1 = cue("c/one.cue", "one.bin", 2);
    const QString c2 = cue("c/two.cue", "two.bin", 2);
    const QByteArray two = a(A) + m(c1, " #dtoc=3") + m(c2, " ##Select ONE") + "T 1:1 2:2\n";
    EXPECT_EQ(validate(two), 1);
    EXPECT_EQ(errors, "Error in line 4. Multiple(2) Cue sheets. Select ONE.\r\nTotal Error Count 1\r\n");

    // "$" anywhere on a line chooses it; the T line under it is the one taken.
    QByteArray chosen = a(A) + m(c1) + "T 1:2 2:1\n" + m(c2, " ##Select ONE $") + "T 1:1 2:2\n";
    ASSERT_EQ(validate(chosen), 0) << errors.toStdString();
    ASSERT_EQ(list.pairs.size(), 1u);
    EXPECT_EQ(list.pairs[0].cuePath, c2);
    EXPECT_EQ(list.entries[0].first, 1u);

    // Candidates before the A line and T lines before any candidate are comments; a second A line
    // is an error of its own line that leaves the block standing.
    const QByteArray stray = "T 1:1\n*  2 \"" + c1.toUtf8() + "\" 1.000\n" + a(A) + a(A) + "* 2 \"" + c2.toUtf8() +
                             "\" 1.000\nT 1:1 2:2\n";
    EXPECT_EQ(validate(stray), 1);
    EXPECT_EQ(errors, "Error in line 4. Multiple 'A'.\r\nTotal Error Count 1\r\n");
    ASSERT_EQ(list.pairs.size(), 1u);
    EXPECT_EQ(list.pairs[0].cuePath, c2);
}

TEST_F(MatchList, EveryProblemOnTheDiskIsNamedWithItsLine)
{
    const QString A = folder("A", {"01 x.mp3", "02 y.mp3"});
    const QString flacOnly = folder("F", {"01 x.flac"});
    const QString good = cue("c/good.cue", "good.bin", 2);
    const QString noImage = cue("c/lost.cue", "lost.bin", 2, true);
    const QString noFile = path("c/nofile.cue");
    ASSERT_TRUE(writeFile(noFile, "TRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
    // TRACK 100, TRACK 00 and a second TRACK 02 are CUE tracks the run's parser would refuse.
    const QString odd = cue("c/odd.cue", "odd.bin", 2, false, "  TRACK 02 AUDIO\n  TRACK 100 AUDIO\n  TRACK 00 AUDIO\n");
    const QString missing = path("nowhere");
    const QByteArray text = a(missing) + m(good) + "T 1:1\n\n"                      // 1-4
                            + a(flacOnly) + m(good) + "T 1:1\n\n"                   // 5-8
                            + a(A) + m(path("c/none.cue")) + "T 1:1\n\n"            // 9-12
                            + a(A) + m(path("c")) + "T 1:1\n\n"                     // 13-16: a folder
                            + a(A) + m(noImage) + "T 1:1\n\n"                       // 17-20
                            + a(A) + m(noFile) + "T 1:1\n\n"                        // 21-24
                            + a(A) + m(good) + "\n"                                 // 25-27
                            + a(A) + "###CUE NOT FOUND\n\n"                         // 28-30
                            + a(A) + m(odd) + "T 1:1 2:2\n\n"                       // 31-34
                            + a(A) + m(good) + "T 1:2-1\n";                         // 35-37: backwards
    EXPECT_EQ(validate(text), 10);
    // The backwards range names no CUE track to cut.
    EXPECT_EQ(errors, QStringLiteral("Error in line 4. .mp3 folder \"%1\" not found.\r\n"
                                     "Error in line 8. No .mp3 file in folder \"%2\".\r\n"
                                     "Error in line 12. CUE sheet file \"%3\" not found.\r\n"
                                     "Error in line 16. CUE sheet file \"%4\" not found.\r\n"
                                     "Error in line 20. CD image file \"%5\" not found.\r\n"
                                     "Error in line 24. 'FILE' not found in Cue Sheet \"%6\".\r\n"
                                     "Error in line 27. Track Correspondence List not found.\r\n"
                                     "Error in line 30. No Cue sheet.\r\n"
                                     "Error in line 34. Unmatched CUE track. 3\r\n"
                                     "Error in line 37. Unmatched CUE track. 1\r\n"
                                     "Total Error Count 10\r\n")
                          .arg(missing, flacOnly, path("c/none.cue"), path("c"), path("c/lost.bin"), noFile));
    EXPECT_TRUE(list.pairs.empty());
}

TEST_F(MatchList, ImagesAreFoundWhereTheRunWillLook)
{
    const QString A = folder("A", {"01 x.mp3"});
    // An absolute name is looked up where it points, a Windows-style relative one under the sheet's
    // folder, and a name differing only in letter case finds the file.
    const QString elsewhere = path("images/far.bin");
    QDir().mkpath(path("images"));
    const QString absolute = cue("c/abs.cue", elsewhere, 1);
    QDir().mkpath(path("c/sub"));
    ASSERT_TRUE(writeFile(path("c/sub/Near.BIN"), QByteArray(2352 * 75, '\0')));
    const QString relative = cue("c/rel.cue", "sub\\near.bin", 1, true);
    const QByteArray text = a(A) + m(absolute) + "T 1:1\n\n" + a(A) + m(relative) + "T 1:1\n";
    EXPECT_EQ(validate(text), 0) << errors.toStdString();
    EXPECT_EQ(list.pairs.size(), 2u);
}

TEST_F(MatchList, FileNamesWithoutANumberCountButCannotBeNamed)
{
    const QString A = folder("A", {"track.mp3"});
    const QString c = cue("c/disc.cue", "disc.bin", 2);
    EXPECT_EQ(validate(a(A) + m(c) + "T 1:1\n"), 1);
    EXPECT_EQ(errors, "Error in line 3. Unmatched .mp3 track. 1\r\nTotal Error Count 1\r\n");

    // Only numbers below 100 count, each for the first file that has it; 00 is a number.
    const QString B = folder("B", {"00 intro.mp3", "01 a.mp3", "01 b.mp3", "100 long.mp3"});
    ASSERT_EQ(validate(a(B) + m(c) + "T 0:1 1:2\n"), 0) << errors.toStdString();
    ASSERT_EQ(list.entries.size(), 3u);
    EXPECT_EQ(list.entries[0].aIndex, 1);
    EXPECT_EQ(list.entries[0].aTrack, 0);
    EXPECT_EQ(list.entries[1].aIndex, 2); // "01 a", not "01 b"
    EXPECT_EQ(validate(a(B) + m(c) + "T 100:1\n"), 1);
}

TEST_F(MatchList, SectorAndSampleRangesUseNoCueTrack)
{
    const QString A = folder("A", {"01 x.mp3", "02 y.mp3", "03 z.mp3"});
    const QString c = cue("c/disc.cue", "disc.bin", 4);
    ASSERT_EQ(validate(a(A) + m(c) + "T 1:0-99f 2:100-5000s 3:1-4\n"), 0) << errors.toStdString();
    ASSERT_EQ(list.entries.size(), 4u);
    EXPECT_EQ(list.entries[0].kind, uint32_t(RangeSectors));
    EXPECT_EQ(list.entries[1].kind, uint32_t(RangeFrames));
    EXPECT_EQ(list.entries[1].last, 5000u);
    EXPECT_EQ(list.entries[2].kind, uint32_t(RangeTracks));
    EXPECT_EQ(precheckReport(list), "1\r\n" + A + "\r\n" + c + "\r\n 1.1:0-99f 2.2:100-5000s 3.3:1-4\r\n");
}

TEST_F(MatchList, TrackItemsStopAtTheFirstThatDoesNotFit)
{
    auto items = [](const char* text) { return parseTrackItems(QByteArrayView(text)); };
    EXPECT_EQ(items("1:1 2:2-3 3:4-5f 4:6-7s").size(), 4u);
    EXPECT_EQ(items("1:1  2:2").size(), 1u);  // two spaces: the second item has no number
    EXPECT_EQ(items("x:1").size(), 0u);
    EXPECT_EQ(items("12").size(), 0u);        // no colon
    EXPECT_EQ(items("1:1,2:2").size(), 1u);   // taken, then reading stops
    EXPECT_EQ(items("4:4-5 #merge").size(), 1u);
    const auto huge = items("99999999999:1-99999999999");
    ASSERT_EQ(huge.size(), 1u);
    EXPECT_EQ(huge[0].aTrack, UINT32_MAX);
    EXPECT_EQ(huge[0].last, UINT32_MAX);

    // Garbage never reads past the text nor loops.
    SplitMix rng{42};
    const char alphabet[] = "0123456789:-fs ?#$\t";
    for (int round = 0; round < 3000; ++round) {
        QByteArray text(int(rng.below(40)), ' ');
        for (char& ch : text)
            ch = alphabet[rng.below(sizeof(alphabet) - 1)];
        EXPECT_LE(parseTrackItems(text).size(), size_t(text.size()) / 2 + 1) << text.constData();
    }
}

TEST_F(MatchList, AListThatCannotBeReadGivesMinusOneAndNoText)
{
    EXPECT_EQ(validateBatchList(".mp3", path("missing.txt"), list, errors), ValidateCannotOpen);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(validateBatchList(".mp3", dir.path(), list, errors), ValidateCannotOpen);
    ASSERT_TRUE(writeFile(path("empty.txt"), {}));
    EXPECT_EQ(validateBatchList(".mp3", path("empty.txt"), list, errors), 0);
    EXPECT_EQ(errors, "Total Error Count 0\r\n");
}

} // namespace
} // namespace vn::test
