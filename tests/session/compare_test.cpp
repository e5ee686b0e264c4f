// Compare A/B on generated folders: which files a side takes, how rows pair up, and the texts of
// the rows for MP3 files, CD image tracks and files other tools wrote.
#include "containers/container_fixtures.h"
#include "session/compare.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"
#include "util/feedback.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

const QStringList DefaultPriority = {".mp3", ".m4a", ".mp4", ".flac", ".mka", ".webm", ".wav"};

// The column of a record row in a list row.
constexpr size_t col(int row) { return size_t(3 + row); }

struct ComparisonFixture : ::testing::Test {
    QTemporaryDir dir;
    ComparisonState state;
    QString folder(const QString& name) { return QDir(dir.path()).mkpath(name) ? dir.filePath(name) : QString(); }
    void touch(const QString& in, const QString& file, QByteArray data = {}) { writeFile(in + '/' + file, data); }
    int compare() { SilentFeedback silent; return compareAB(state, DefaultPriority, 0, silent); }
    void expectCells(std::initializer_list<std::tuple<size_t, size_t, const char*>> cells)
    {
        for (const auto& [row, column, text] : cells)
            EXPECT_EQ(state.rows[row][column], text) << "row " << row << ", column " << column;
    }
    // Three seconds of CBR 128 by the outside encoder, with an ID3v2.3 tag.
    void mp3(const QString& path, const QStringList& tagArgs)
    {
        const QString wav = dir.filePath("src.wav");
        ASSERT_TRUE(writeTestWav(wav, 44100 * 3, 44100, 2));
        ASSERT_TRUE(lameEncode(wav, path, QStringList{"-b", "128", "--add-id3v2"} + tagArgs));
    }
};

TEST_F(ComparisonFixture, ASideTakesTheFirstExtensionThatHasFilesInNameOrderAnyCase)
{
    const QString f = folder("mixed");
    for (int i = 0; i < 10; ++i) // more FLAC files than MP4 ones
        touch(f, QStringLiteral("t%1.%2").arg(i).arg(i < 3 ? "m4a" : "flac"));
    QDir(f).mkpath("folder.m4a"); // folders never count
    touch(f, "b.M4A");
    touch(f, "B2.m4a");
    EXPECT_EQ(listFolderAudio(f, DefaultPriority), (QStringList{"b.M4A", "B2.m4a", "t0.m4a", "t1.m4a", "t2.m4a"}));
    EXPECT_EQ(listFolderAudio(f, {".flac"}).size(), 7);
    EXPECT_TRUE(listFolderAudio(f, {".wav"}).isEmpty());
}

TEST_F(ComparisonFixture, RowsPairByPositionWithTheOffset)
{
    state.folderA = folder("A");
    state.folderB = folder("B");
    for (int i = 1; i <= 12; ++i)
        touch(state.folderA, QStringLiteral("%1.mp3").arg(i, 2, 10, QLatin1Char('0')));
    for (int i = 1; i <= 10; ++i)
        touch(state.folderB, QStringLiteral("b%1.mp3").arg(i, 2, 10, QLatin1Char('0')));
    state.trackOffsetB = 2;
    ASSERT_EQ(compare(), CompareOk);
    ASSERT_EQ(state.rows.size(), 24u);
    // Unreadable files keep their row: position, name and that they could not be read.
    expectCells({{0, 0, "A1"}, {1, 0, ""}, {2, 0, "A2"}, {3, 0, ""}, {5, 0, "B3"}, {5, 1, "b01.mp3"},
                 {22, 1, "12.mp3"}, {22, 2, "unreadable"}});
    EXPECT_EQ(state.a.files[0].header.version, KindUnreadable);

    state.trackOffsetB = -3; // hides B's first three entries
    ASSERT_EQ(compare(), CompareOk);
    ASSERT_EQ(state.rows.size(), 24u);
    expectCells({{1, 0, "B1"}, {1, 1, "b04.mp3"}, {13, 1, "b10.mp3"}, {15, 0, ""}});
}

TEST_F(ComparisonFixture, LoadCodes)
{
    state.folderA = dir.filePath("none");
    state.folderB = folder("B");
    EXPECT_EQ(compare(), CompareNoFolderA);
    state.folderA = folder("A");
    EXPECT_EQ(compare(), CompareNoAudioA);
    touch(state.folderA, "1.mp3");
    state.folderB = dir.filePath("none");
    EXPECT_EQ(compare(), CompareNoFolderB);
    state.folderB = folder("B");
    EXPECT_EQ(compare(), CompareNoAudioB);
    state.folderBMode = false;
    state.folderB = dir.filePath("bad.cue");
    touch(dir.path(), "bad.cue", "FILE nothing.wav WAVE\n");
    EXPECT_EQ(compare(), CompareIllegalCueSheet);
    EXPECT_TRUE(state.rows.empty());
    EXPECT_FALSE(state.cue.has_value());
    EXPECT_EQ(compareErrorText(CompareIllegalCueSheet), "Error : Illegal Cue sheet");
    EXPECT_EQ(compareErrorText(CompareNoAudioB), "Error : No audio file in Folder-B");
}

TEST_F(ComparisonFixture, CdImageTracksAndTheirTexts)
{
    state.folderA = folder("A");
    touch(state.folderA, "1.mp3");
    const QString cd = folder("cd");
    QFile image(cd + "/My.Disc.bin");
    ASSERT_TRUE(image.open(QIODevice::WriteOnly) && image.resize(2352LL * 75 * 200)); // 200 seconds
    image.close();
    touch(cd, "d.cue",
          "TITLE \"Album\"\nPERFORMER \"Band\"\nFILE \"My.Disc.bin\" BINARY\nTRACK 01 AUDIO\nTITLE \"One\"\n"
          "PERFORMER \"Singer\"\nINDEX 01 00:02:00\nTRACK 02 AUDIO\nINDEX 01 01:32:37\n");
    state.folderB = cd + "/d.cue";
    state.folderBMode = false;
    ASSERT_EQ(compare(), CompareOk);
    ASSERT_EQ(state.rows.size(), 4u);
    expectCells({{1, 0, "B1"}, {1, 1, "01_My"}, {1, 2, "bin"}, {1, col(RowAlbum), "Album"},
                 {1, col(RowArtist), "Singer"}, {1, col(RowAlbumArtist), "Band"}, {1, col(RowTitle), "One"},
                 {1, col(RowEncodedBy), "LPCM"}, {1, col(RowLength), "90493"}, {1, col(RowBitrate), "1411.2"},
                 {1, col(RowDuration), "01:30.5"}, {3, col(RowTitle), "Track 02 01:30 / 01:48"},
                 {3, col(RowArtist), ""}});
    EXPECT_EQ(state.rows[1][col(RowCdIdentifier)], QString::fromLatin1(state.cue->discToc));
    EXPECT_EQ(state.rows[3][col(RowDataSize)], "18964176"); // 15000 - 6937 sectors of 2352 bytes
    EXPECT_EQ(checkTagVersions(state), 0); // only A is checked, and its one file agrees with itself
}

TEST_F(ComparisonFixture, Mp3RowsAgreeWithTheEncoder)
{
    state.folderA = folder("A");
    state.folderB = folder("B");
    mp3(state.folderA + "/01.mp3", {"--tt", "Title", "--ta", "Artist", "--tl", "Album", "--tn", "1"});
    mp3(state.folderB + "/01.mp3", {});
    ASSERT_EQ(compare(), CompareOk);
    EXPECT_EQ(checkTagVersions(state), 0);
    expectCells({{0, 2, "ID3v2.3"}, {0, col(RowTitle), "Title"}, {0, col(RowArtist), "Artist"},
                 {0, col(RowTrack), "1"}, {0, col(RowBitrate), "CBR 128"}, {0, col(RowSampleRate), "44100"},
                 {0, col(RowDuration), "00:03.0"}, {1, 0, "B1"}, {1, col(RowTitle), ""}});
}

// (Each code of the check before Replace Tags is met in the Replace Tags tests; here a file that
// cannot be read.)
TEST_F(ComparisonFixture, AnUnreadableFileMakesItsSidesKindsDiffer)
{
    state.folderA = folder("A");
    state.folderB = folder("B");
    for (const char* name : {"01.mp3", "02.mp3"})
        touch(state.folderB, name, id3Tag(3, {}) + cbrFrames(1));
    touch(state.folderA, "01.mp3", id3Tag(3, {}) + cbrFrames(1));
    touch(state.folderA, "02.mp3", "not an mp3");
    ASSERT_EQ(compare(), CompareOk);
    EXPECT_EQ(checkTagVersions(state), 1);
}

// The list shows, for files other tools wrote, what those tools report about the same fields.
TEST_F(ComparisonFixture, ListTextsAgreeWithTheWritingTools)
{
    const QStringList tags = {"-metadata", "album=Album Ü", "-metadata", "artist=アーティスト", "-metadata",
                              "album_artist=Band", "-metadata", "title=Title", "-metadata", "date=2021", "-metadata",
                              "genre=Jazz", "-metadata", "composer=Comp", "-metadata", "comment=Note"};
    const std::tuple<QString, QStringList, const char*> kinds[] = {
        {"m4a", {"-c:a", "aac", "-b:a", "128k"}, "MP4"}, {"flac", {"-c:a", "flac", "-sample_fmt", "s16"}, "FLAC"},
        {"mka", {"-c:a", "flac"}, "Matroska"},           {"wav", {"-c:a", "pcm_s16le"}, "WAVE"}};
    for (const auto& [ext, codec, kindName] : kinds) [&] {
        SCOPED_TRACE(ext.toStdString());
        state.folderA = state.folderB = folder(ext);
        ASSERT_TRUE(ffmpegSine(state.folderA + "/01." + ext, codec + tags, 2.5, 48000, 2));
        const Probe probe = ffprobe(state.folderA + "/01." + ext);
        ASSERT_EQ(compare(), CompareOk);
        ASSERT_EQ(state.rows.size(), 2u);
        const ListRow& row = state.rows[0];
        EXPECT_EQ(row[2], kindName);
        EXPECT_EQ(row[col(RowSampleRate)], QString::number(probeNumber(probe.audio, "sample_rate")));
        // Matroska rows carry the file's own texts, and its tags are named by target type (the
        // container tests read those from files written with targets); the others are read here.
        if (ext == u"mka")
            return;
        const int tenths = int(probeNumber(probe.format, "duration") * 10 + 0.5);
        EXPECT_EQ(row[col(RowDuration)].right(4), QString::asprintf("%02d.%d", tenths / 10 % 60, tenths % 10));
        if (ext == u"wav")
            return; // WAV files carry no tags the list shows
        QHash<QString, QString> tag; // ffprobe's tag names in their writer's case
        for (const auto& [key, value] : probe.format.value("tags").toObject().toVariantMap().asKeyValueRange())
            tag[key.toLower()] = value.toString();
        for (const auto& [field, key] : {std::pair(RowAlbum, "album"), {RowArtist, "artist"}, {RowTitle, "title"},
                                         {RowGenre, "genre"}, {RowComposer, "composer"}})
            EXPECT_EQ(row[col(field)], tag[key]) << key;
        EXPECT_EQ(row[col(RowArtist)], "アーティスト");
        if (ext == u"flac") {
            EXPECT_EQ(row[col(RowBitsPerSample)], "16");
            EXPECT_EQ(row[col(RowYear)], tag["date"]);
        }
    }();
}

} // namespace
