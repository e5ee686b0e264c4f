// MP3-vs-CUE matching: the blocks the matcher writes for folders of known facts against cue sheets
// of known track starts, the words it compares, and the run over real folders.
#include "batch/matcher.h"
#include "batch/name_tokens.h"
#include "config/settings.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"
#include "util/feedback.h"

#include <QDir>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

constexpr uint64_t Sector = 588;
constexpr uint64_t Second = 44100;

struct Sheet {
    QString cuePath;
    QString imagePath;
    std::vector<uint32_t> sectors; // starts, then the end
    bool dataTrack = false;
};

MatchContext contextOf(const std::vector<Sheet>& cues, const std::vector<QByteArray>& excluded = {})
{
    std::vector<CueImageEntry> entries;
    std::vector<uint32_t> sectors;
    for (const Sheet& c : cues) {
        CueImageEntry e;
        e.cuePath = c.cuePath;
        e.imagePath = c.imagePath.isEmpty() ? c.cuePath : c.imagePath;
        e.trackCount = uint32_t(c.sectors.size() - 1);
        e.endSector = c.sectors.back();
        e.totalSamples = uint32_t(e.endSector * Sector);
        e.firstIndex = uint32_t(sectors.size());
        e.dataTrack = c.dataTrack ? 1 : 0;
        sectors.insert(sectors.end(), c.sectors.begin(), c.sectors.end());
        entries.push_back(e);
    }
    MatchContext context;
    context.excludedEncoders = excluded;
    prepareCues(context, entries, sectors);
    return context;
}

AFileFacts fileOf(const QString& folder, int number, uint64_t duration, const McdiTable& mcdi = {},
                  const QByteArray& encoder = "LAME3.100")
{
    AFileFacts f;
    f.path = QStringLiteral("%1/%2 Song.mp3").arg(folder).arg(number, 2, 10, QLatin1Char('0'));
    f.fileTrack = number;
    f.tagTrack = number;
    f.duration = duration;
    f.mcdi = mcdi;
    f.encoder = encoder;
    return f;
}

std::vector<uint32_t> startsOf(const std::vector<uint32_t>& lengths, uint32_t first = 0)
{
    std::vector<uint32_t> s{first};
    for (uint32_t l : lengths)
        s.push_back(s.back() + l);
    return s;
}

QString blocksOf(const MatchContext& context, const std::vector<AFileFacts>& files, int* blocks = nullptr)
{
    QByteArray list;
    const int n = matchFolder(context, files, list);
    if (blocks)
        *blocks = n;
    return QString::fromUtf8(list);
}

TEST(Matcher, TenFileAlbumWithItsTableMatchesOneSheetTrackByTrack)
{
    std::vector<uint32_t> lengths;
    for (uint32_t k = 0; k < 10; ++k)
        lengths.push_back(1000 + 137 * k);
    const McdiTable mcdi{startsOf(lengths), false};
    std::vector<uint32_t> near = mcdi.addresses;
    near[3] += 7;
    near[6] -= 15; // the allowance itself still fits
    near[10] += 5;  // the lead-out has an allowance of its own
    std::vector<uint32_t> tooFar = near;
    tooFar[2] += 16;
    std::vector<uint32_t> leadOutFar = mcdi.addresses;
    leadOutFar[10] += 6;
    std::vector<uint32_t> nine(mcdi.addresses.begin(), mcdi.addresses.end() - 1);
    const MatchContext context = contextOf({{"/c/far.cue", {}, tooFar},
                                            {"/c/nine.cue", {}, nine},
                                            {"/c/disc.cue", {}, near},
                                            {"/c/leadout.cue", {}, leadOutFar},
                                            {"/c/copy.cue", {}, mcdi.addresses}});
    std::vector<AFileFacts> files;
    for (int i = 0; i < 10; ++i) // within 0.2 s of the table's lengths
        files.push_back(fileOf("/m/Some Album", i + 1, lengths[size_t(i)] * Sector + (i % 2 ? 8000 : -8000), mcdi));
    EXPECT_EQ(blocksOf(context, files), "A 10 \"/m/Some Album\" <LAME3.100>\n"
                                        "M 10 \"/c/disc.cue\" #dtoc=15\n"
                                        "T 1:1 2:2 3:3 4:4 5:5 6:6 7:7 8:8 9:9 10:10\n"
                                        "M 10 \"/c/copy.cue\" ##Select ONE\n"
                                        "T 1:1 2:2 3:3 4:4 5:5 6:6 7:7 8:8 9:9 10:10\n"
                                        "\n");
}

TEST(Matcher, AMedleyFileTakesTwoTracksAndTheLineSaysMerge)
{
    std::vector<uint32_t> lengths;
    for (uint32_t k = 0; k < 10; ++k)
        lengths.push_back(3000 + 600 * k);
    const McdiTable mcdi{startsOf(lengths), false};
    const MatchContext context = contextOf({{"/c/disc.cue", {}, mcdi.addresses}});
    std::vector<AFileFacts> files;
    for (int p = 0; p < 9; ++p) {
        const uint64_t d = p < 3 ? lengths[size_t(p)] : p == 3 ? lengths[3] + lengths[4] : lengths[size_t(p + 1)];
        files.push_back(fileOf("/m/Live", p + 1, d * Sector, mcdi));
    }
    EXPECT_EQ(blocksOf(context, files), "A  9 \"/m/Live\" <LAME3.100>\n"
                                        "M 10 \"/c/disc.cue\"\n"
                                        "T 1:1 2:2 3:3 4:4-5 5:6 6:7 7:8 8:9 9:10 #merge\n"
                                        "\n");
}

TEST(Matcher, ADataTrackTakesTheLastAudioLengthFromTheSheet)
{
    // Three audio tracks, then a data session 11400 sectors after the audio ends.
    const McdiTable mcdi{{0, 1000, 2500, 4000 + 11400}, true};
    const MatchContext context = contextOf({{"/c/extra.cue", {}, {0, 1000, 2500, 4000}, true}});
    std::vector<AFileFacts> files{fileOf("/m/Extra", 1, 1000 * Sector, mcdi), fileOf("/m/Extra", 2, 1500 * Sector, mcdi),
                                  fileOf("/m/Extra", 3, 1500 * Sector, mcdi)};
    EXPECT_EQ(blocksOf(context, files), "A  3 \"/m/Extra\" <LAME3.100> #MCDIdatrk\n"
                                        "M  3 \"/c/extra.cue\" #CUEdatrk\n"
                                        "T 1:1 2:2 3:3\n"
                                        "\n");
}

TEST(Matcher, MarkersOfIncompleteOrDoubtfulAssignments)
{
    const McdiTable two{startsOf({1000, 2000}), false};
    const MatchContext context = contextOf({{"/c/two.cue", {}, two.addresses}});
    // A file shorter than every track left has no track; the album falls short of the disc.
    std::vector<AFileFacts> shortAlbum{fileOf("/m/S", 1, 1000 * Sector, two), fileOf("/m/S", 2, Second, two)};
    EXPECT_EQ(blocksOf(context, shortAlbum),
              "A  2 \"/m/S\" <LAME3.100>\nM  2 \"/c/two.cue\"\nT 1:1 2:? #partial ###ErrorImgTrk\n\n");

    // Two files of the first track's length: the totals agree, but track 2 is never used.
    const McdiTable close{startsOf({1000, 1020}), false};
    const MatchContext closeContext = contextOf({{"/c/close.cue", {}, close.addresses}});
    std::vector<AFileFacts> twice{fileOf("/m/D", 1, 1000 * Sector, close), fileOf("/m/D", 2, 1000 * Sector, close)};
    twice[1].tagTrack = 7;
    EXPECT_EQ(blocksOf(closeContext, twice),
              "A  2 \"/m/D\" <LAME3.100> #disagreeTRCK\nM  2 \"/c/close.cue\"\nT 1:1 2:1 ###Error\n\n");

    // No sheet within the allowances.
    const McdiTable other{startsOf({1000, 2016}), false};
    std::vector<AFileFacts> lost{fileOf("/m/L", 1, 1000 * Sector, other), fileOf("/m/L", 2, 2016 * Sector, other)};
    EXPECT_EQ(blocksOf(context, lost), "A  2 \"/m/L\" <LAME3.100>\n###CUE NOT FOUND\n\n");
}

TEST(Matcher, RunsOfTablesAndAFileWithoutOne)
{
    const McdiTable x{startsOf({1000, 2000}), false};
    const McdiTable y{startsOf({1500, 1500}), false};
    const MatchContext context = contextOf({{"/c/x.cue", "/c/Xray Disc.bin", x.addresses}});
    // Two discs in one folder: a block each.
    std::vector<AFileFacts> discs{fileOf("/m/Box", 1, 1000 * Sector, x), fileOf("/m/Box", 2, 2000 * Sector, x),
                                  fileOf("/m/Box", 1, 1500 * Sector, y), fileOf("/m/Box", 2, 1500 * Sector, y)};
    int blocks = 0;
    const QString both = blocksOf(context, discs, &blocks);
    EXPECT_EQ(blocks, 2);
    EXPECT_TRUE(both.startsWith("A  2 \"/m/Box\" <LAME3.100>\nM  2 \"/c/x.cue\"\nT 1:1 2:2\n\nA  2 \"/m/Box\" <LAME3.100>\n"
                                "###CUE NOT FOUND\n\n"))
        << both.toStdString();

    // A file without a table ends the walk: finished runs keep their blocks, the whole folder is
    // matched by words and length.
    discs.push_back(fileOf("/m/Box", 3, 600 * Sector));
    EXPECT_EQ(blocksOf(context, discs, &blocks),
              "A  2 \"/m/Box\" <LAME3.100>\nM  2 \"/c/x.cue\"\nT 1:1 2:2\n\n"
              "A  5 \"/m/Box\" <LAME3.100> 88.000 ###No MCDI\n###NO CUE candidates\n\n");
    EXPECT_EQ(blocks, 2);
}

TEST(Matcher, WordsOfNamesAndTags)
{
    QStringList tokens;
    appendNameTokens("The Best of Someone", tokens);
    EXPECT_EQ(tokens, QStringList({"best", "someone"}));
    appendNameTokens("Someone - Best", tokens); // nothing new for the same item
    EXPECT_EQ(tokens, QStringList({"best", "someone"}));

    QStringList mixed;
    appendNameTokens("BestOf_CD1 (Disc 2) [EAC] mmXtra 2001 Jay-Z a.b", mixed);
    EXPECT_EQ(mixed, QStringList({"best", "xtra", "jay-z"}));
    QStringList windows;
    appendNameTokens("C:\\Music\\Foo", windows); // a backslash does not separate
    EXPECT_EQ(windows, QStringList({"\\music\\foo"}));
}

class NameBlocks : public ::testing::Test {
protected:
    // Three minutes of sheets around the album, and one of each length class's edge.
    MatchContext context(const std::vector<Sheet>& extra)
    {
        std::vector<Sheet> cues{{"/c/short.cue", "/c/Tiny.wav", {0, 600}}, {"/c/long.cue", "/c/Huge.wav", {0, 27000}}};
        cues.insert(cues.end(), extra.begin(), extra.end());
        return contextOf(cues);
    }
    std::vector<AFileFacts> album(uint64_t total)
    {
        AFileFacts a = fileOf("/m/The Best of Someone", 1, total / 2, {}, {});
        AFileFacts b = fileOf("/m/The Best of Someone", 2, total - total / 2, {}, {});
        a.album = b.album = "The Best of Someone";
        return {a, b};
    }
};

TEST_F(NameBlocks, WithinTheDurationsTheBestScoreComesFirst)
{
    // 60 s sheets: "Someone Live" scores 1 (someone), "Someone - Best" 2 (someone, best); the words
    // the and of never count.
    const MatchContext c = context({{"/c/a.cue", "/c/Someone Live.wav", {0, 2000, 4500}},
                                    {"/c/b.cue", "/c/Someone - Best.wav", {0, 1000, 2000, 4500}},
                                    {"/c/n.cue", "/c/The Nobody of.wav", {0, 4500}}});
    EXPECT_EQ(blocksOf(c, album(4500 * Sector)), "A  2 \"/m/The Best of Someone\" 60.000 ###No MCDI\n"
                                                 "*  3 \"/c/b.cue\" 60.000\n"
                                                 "*  2 \"/c/a.cue\" 60.000\n"
                                                 "\n");
    // Five seconds off every sheet: the best scores, marked as doubtful.
    EXPECT_EQ(blocksOf(c, album(4875 * Sector)), "A  2 \"/m/The Best of Someone\" 65.000 ###No MCDI\n"
                                                 "?  3 \"/c/b.cue\" 60.000\n"
                                                 "\n");
}

TEST_F(NameBlocks, LongerAndShorterThanEverySheet)
{
    const MatchContext c = context({{"/c/b.cue", "/c/Someone - Best - Live Tokyo.wav", {0, 4500}},
                                    {"/c/five.cue", "/c/Someone Best Live Tokyo Osaka.wav", {0, 4500}},
                                    {"/c/digits.cue", "/c/1999.wav", {0, 4500}},
                                    {"/c/x.cue", "/c/Nobody.wav", {0, 4500}}});
    EXPECT_EQ(blocksOf(c, album(28000 * Sector)), "A  2 \"/m/The Best of Someone\" 373.333 ###No MCDI\n"
                                                  "W  1 \"/c/b.cue\" 60.000\n"
                                                  "W  1 \"/c/five.cue\" 60.000\n"
                                                  "\n");
    // Shorter: a sheet whose words are at most twice the score; one without words takes the "?".
    EXPECT_EQ(blocksOf(c, album(100 * Sector)), "A  2 \"/m/The Best of Someone\" 1.333 ###No MCDI\n"
                                                "s  1 \"/c/b.cue\" 60.000\n"
                                                "?  1 \"/c/digits.cue\" 60.000\n"
                                                "\n");
}

TEST(Matcher, FoldersMadeByExcludedEncodersAreLeftOut)
{
    const McdiTable x{startsOf({1000}), false};
    const MatchContext c = contextOf({{"/c/x.cue", {}, x.addresses}}, {"lame", "Lavf"});
    std::vector<AFileFacts> all{fileOf("/m/X", 1, 1000 * Sector, x), fileOf("/m/X", 2, 1000 * Sector, x, "lavf58.76")};
    int blocks = -1;
    EXPECT_EQ(blocksOf(c, all, &blocks), "");
    EXPECT_EQ(blocks, 0);
    all.push_back(fileOf("/m/X", 3, 1000 * Sector, x, ""));
    EXPECT_FALSE(blocksOf(c, all, &blocks).isEmpty());
    EXPECT_EQ(blocks, 1);
}

struct PartFeedback : SilentFeedback {
    QStringList part2, part4;
    bool stop = false;
    void setStatus(int part, const QString& text) override
    {
        if (part == 2)
            part2 << text;
        if (part == 4)
            part4 << text;
    }
    bool abortRequested() const override { return stop; }
};

class GenerateList : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        s = defaultSettings(dir.path());
        s.CueMatch_FldrMp3 = dir.filePath("A");
        s.CueMatch_FldrCue = dir.filePath("none") + ";" + dir.filePath("cues");
        s.CueMatch_FileLst = dir.filePath("list.txt");
        s.CueMatch_FileLog = dir.filePath("log.txt");
        QDir().mkpath(dir.filePath("A/Disc"));
        QDir().mkpath(dir.filePath("cues"));
    }
    // An MP3 of 100 CBR frames with an album tag and the table of a one-track disc of 100 frames.
    void mp3(const QString& name)
    {
        const QByteArray body = id3Frame(3, "TALB", QByteArray("\0Disc", 5)) +
                                id3Frame(3, "MCDI", "1+96+" + QByteArray::number(150 + 100 * 1152 / 588, 16).toUpper());
        ASSERT_TRUE(writeFile(dir.filePath("A/Disc/" + name), id3Tag(3, body) + cbrFrames(100)));
    }
    QTemporaryDir dir;
    Settings s;
    PartFeedback feedback;
};

TEST_F(GenerateList, ProgressTextsAndTheFilesWritten)
{
    mp3("01 a.mp3");
    mp3("02 b.mp3");
    ASSERT_TRUE(writeFile(dir.filePath("cues/disc.bin"), QByteArray(195 * 2352, '\0')));
    ASSERT_TRUE(writeFile(dir.filePath("cues/disc.cue"), "FILE \"disc.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
    MatchStats stats;
    ASSERT_EQ(generateMatchList(s, feedback, &stats), MatchOk);
    EXPECT_EQ(feedback.part2, QStringList({"Counting MP3 Files ...", " 2\n", "Making MP3 List ...", " Done\n",
                                           "Making CUE List ...", " Done\n", "Extracting tokens ...", " Done\n",
                                           "Seaching matched CUE ...", " Done\n"}));
    EXPECT_EQ(feedback.part4.last(), "       2/2");
    EXPECT_EQ(stats.cueSheets, 1);
    const QByteArray folder = dir.filePath("A/Disc").toUtf8();
    // Written in text mode: carriage return and line feed. The files carry no track tag.
    EXPECT_EQ(readFile(s.CueMatch_FileLst), "A  2 \"" + folder + "\" #disagreeTRCK\r\nM  1 \"" + dir.filePath("cues/disc.cue").toUtf8() +
                                                "\"\r\nT 1:1 2:1 #partial\r\n\r\n");
    EXPECT_EQ(readFile(s.CueMatch_FileLog), "0 " + folder + "\r\n---------\r\n\"" + folder + "/01 a.mp3\" 1+96+159 '' '' 'Disc' '0' '' 0\r\n\"" +
                                                folder + "/02 b.mp3\" 1+96+159 '' '' 'Disc' '0' '' 0\r\n"
                                                "================================\r\n1 '" +
                                                dir.filePath("cues/disc.cue").toUtf8() + "' 1+96+159\r\n");
}

TEST_F(GenerateList, NothingToMatchWritesAnEmptyListAndAStopWritesNothing)
{
    ASSERT_TRUE(writeFile(s.CueMatch_FileLst, "old list"));
    EXPECT_EQ(generateMatchList(s, feedback), MatchNothingToMatch);
    EXPECT_EQ(feedback.part2.last(), "No MP3 files.\n");
    EXPECT_EQ(readFile(s.CueMatch_FileLst), "");

    mp3("01 a.mp3");
    EXPECT_EQ(generateMatchList(s, feedback), MatchNothingToMatch);
    EXPECT_EQ(feedback.part2.last(), "No CUE sheet files.\n");

    ASSERT_TRUE(writeFile(s.CueMatch_FileLst, "old list"));
    feedback.stop = true;
    EXPECT_EQ(generateMatchList(s, feedback), MatchAborted);
    EXPECT_EQ(readFile(s.CueMatch_FileLst), "old list");

    feedback.stop = false;
    s.CueMatch_FileLst = dir.filePath("no/such/folder/list.txt");
    ASSERT_TRUE(writeFile(dir.filePath("cues/disc.bin"), QByteArray(2352, '\0')));
    ASSERT_TRUE(writeFile(dir.filePath("cues/disc.cue"), "FILE \"disc.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
    EXPECT_EQ(generateMatchList(s, feedback), MatchCannotWrite);
}

} // namespace
} // namespace vn::test
