// Compare A/B on generated folders: which files a side takes, how rows pair up, and the texts of
// the rows for MP3 files and CD image tracks.
#include "media/comparison.h"
#include "support/test_support.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

const QStringList DefaultPriority = {".mp3", ".m4a", ".mp4", ".flac", ".mka", ".webm", ".wav"};

struct ComparisonFixture : ::testing::Test {
    QTemporaryDir dir;
    QString folder(const QString& name)
    {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name);
    }
    void touch(const QString& folderPath, const QString& name, const QByteArray& bytes = {})
    {
        writeFile(folderPath + QLatin1Char('/') + name, bytes);
    }
    // An MP3 written by the outside encoder: a sine of the given length with an ID3v2.3 tag.
    void mp3(const QString& path, double seconds, const QStringList& tagArgs)
    {
        const QString wav = dir.filePath(QStringLiteral("src.wav"));
        ASSERT_EQ(runProcess(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                                        QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
                                                        "-ac", "2", "-ar", "44100", wav})
                      .exitCode,
                  0);
        ASSERT_EQ(runProcess(QStringLiteral("lame"), QStringList{"--quiet", "-b", "128", "--add-id3v2"} + tagArgs
                                                         + QStringList{wav, path})
                      .exitCode,
                  0);
    }
};

TEST_F(ComparisonFixture, ASideTakesTheFirstExtensionThatHasFiles)
{
    const QString f = folder(QStringLiteral("mixed"));
    for (int i = 0; i < 3; ++i)
        touch(f, QStringLiteral("t%1.m4a").arg(i));
    for (int i = 0; i < 10; ++i)
        touch(f, QStringLiteral("t%1.flac").arg(i));
    QDir(f).mkpath(QStringLiteral("folder.m4a")); // folders never count
    touch(f, QStringLiteral("b.M4A"));
    touch(f, QStringLiteral("B2.m4a"));
    const QStringList names = listFolderAudio(f, DefaultPriority);
    EXPECT_EQ(names, (QStringList{"b.M4A", "B2.m4a", "t0.m4a", "t1.m4a", "t2.m4a"})); // name order, any case
    EXPECT_EQ(listFolderAudio(f, {".flac"}).size(), 10);
    EXPECT_TRUE(listFolderAudio(f, {".wav"}).isEmpty());
}

TEST_F(ComparisonFixture, RowsPairByPositionWithTheOffset)
{
    ComparisonState state;
    state.folderA = folder(QStringLiteral("A"));
    state.folderB = folder(QStringLiteral("B"));
    for (int i = 1; i <= 12; ++i)
        touch(state.folderA, QStringLiteral("%1.mp3").arg(i, 2, 10, QLatin1Char('0')));
    for (int i = 1; i <= 10; ++i)
        touch(state.folderB, QStringLiteral("b%1.mp3").arg(i, 2, 10, QLatin1Char('0')));
    state.trackOffsetB = 2;
    ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
    ASSERT_EQ(state.rows.size(), 24u);
    EXPECT_EQ(state.rows[0][0], QStringLiteral("A1"));
    EXPECT_EQ(state.rows[1][0], QString());
    EXPECT_EQ(state.rows[2][0], QStringLiteral("A2"));
    EXPECT_EQ(state.rows[3][0], QString());
    EXPECT_EQ(state.rows[5][0], QStringLiteral("B3"));
    EXPECT_EQ(state.rows[5][1], QStringLiteral("b01.mp3"));
    // Unreadable files show their position and name only, and the list goes on.
    EXPECT_EQ(state.rows[22][1], QStringLiteral("12.mp3"));
    EXPECT_EQ(state.rows[22][2], QString());
    EXPECT_EQ(state.a.files[0].header.version, KindUnreadable);

    state.trackOffsetB = -3; // hides B's first three entries
    ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
    ASSERT_EQ(state.rows.size(), 24u);
    EXPECT_EQ(state.rows[1][0], QStringLiteral("B1"));
    EXPECT_EQ(state.rows[1][1], QStringLiteral("b04.mp3"));
    EXPECT_EQ(state.rows[13][1], QStringLiteral("b10.mp3"));
    EXPECT_EQ(state.rows[15][0], QString());
}

TEST_F(ComparisonFixture, LoadCodes)
{
    ComparisonState state;
    state.folderA = dir.filePath(QStringLiteral("none"));
    state.folderB = folder(QStringLiteral("B"));
    EXPECT_EQ(compareAB(state, DefaultPriority, 0), CompareNoFolderA);
    state.folderA = folder(QStringLiteral("A"));
    EXPECT_EQ(compareAB(state, DefaultPriority, 0), CompareNoAudioA);
    touch(state.folderA, QStringLiteral("1.mp3"));
    state.folderB = dir.filePath(QStringLiteral("none"));
    EXPECT_EQ(compareAB(state, DefaultPriority, 0), CompareNoFolderB);
    state.folderB = folder(QStringLiteral("B"));
    EXPECT_EQ(compareAB(state, DefaultPriority, 0), CompareNoAudioB);
    state.folderBMode = false;
    state.folderB = dir.filePath(QStringLiteral("bad.cue"));
    touch(dir.path(), QStringLiteral("bad.cue"), "FILE nothing.wav WAVE\n");
    EXPECT_EQ(compareAB(state, DefaultPriority, 0), CompareIllegalCueSheet);
    EXPECT_TRUE(state.rows.empty());
    EXPECT_FALSE(state.cue.has_value());
    EXPECT_EQ(compareErrorText(CompareIllegalCueSheet), QStringLiteral("Error : Illegal Cue sheet"));
    EXPECT_EQ(compareErrorText(CompareNoAudioB), QStringLiteral("Error : No audio file in Folder-B"));
}

TEST_F(ComparisonFixture, CdImageTracksAndTheirTexts)
{
    ComparisonState state;
    state.folderA = folder(QStringLiteral("A"));
    touch(state.folderA, QStringLiteral("1.mp3"));
    const QString cd = folder(QStringLiteral("cd"));
    QFile image(cd + QStringLiteral("/My.Disc.bin"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    ASSERT_TRUE(image.resize(2352LL * 75 * 200)); // 200 seconds
    image.close();
    touch(cd, QStringLiteral("d.cue"),
          "TITLE \"Album\"\nPERFORMER \"Band\"\nFILE \"My.Disc.bin\" BINARY\nTRACK 01 AUDIO\nTITLE \"One\"\n"
          "PERFORMER \"Singer\"\nINDEX 01 00:02:00\nTRACK 02 AUDIO\nINDEX 01 01:32:37\n");
    state.folderB = cd + QStringLiteral("/d.cue");
    state.folderBMode = false;
    ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
    ASSERT_EQ(state.rows.size(), 4u);
    const ListRow& one = state.rows[1];
    EXPECT_EQ(one[0], QStringLiteral("B1"));
    EXPECT_EQ(one[1], QStringLiteral("01_My"));
    EXPECT_EQ(one[2], QStringLiteral("bin"));
    EXPECT_EQ(one[3 + RowAlbum], QStringLiteral("Album"));
    EXPECT_EQ(one[3 + RowArtist], QStringLiteral("Singer"));
    EXPECT_EQ(one[3 + RowAlbumArtist], QStringLiteral("Band"));
    EXPECT_EQ(one[3 + RowTitle], QStringLiteral("One"));
    EXPECT_EQ(one[3 + RowEncodedBy], QStringLiteral("LPCM"));
    EXPECT_EQ(one[3 + RowLength], QStringLiteral("90493"));
    EXPECT_EQ(one[3 + RowBitrate], QStringLiteral("1411.2"));
    EXPECT_EQ(one[3 + RowDuration], QStringLiteral("01:30.5"));
    EXPECT_EQ(one[3 + RowCdIdentifier], QString::fromLatin1(state.cue->discToc));
    const ListRow& two = state.rows[3];
    EXPECT_EQ(two[3 + RowTitle], QStringLiteral("Track 02 01:30 / 01:48"));
    EXPECT_EQ(two[3 + RowArtist], QString());
    EXPECT_EQ(two[3 + RowDataSize], QString::number((200LL * 75 - (92 * 75 + 37)) * 2352));
    EXPECT_EQ(checkTagVersions(state), 0); // only A is checked, and its one file agrees with itself
}

TEST_F(ComparisonFixture, Mp3RowsAgreeWithTheEncoderAndTheTagVersionsAreChecked)
{
    if (!haveProgram(QStringLiteral("lame")) || !haveProgram(QStringLiteral("ffmpeg")))
        GTEST_SKIP() << "lame or ffmpeg missing";
    ComparisonState state;
    state.folderA = folder(QStringLiteral("A"));
    state.folderB = folder(QStringLiteral("B"));
    mp3(state.folderA + QStringLiteral("/01.mp3"), 3, {"--tt", "Title", "--ta", "Artist", "--tl", "Album", "--tn", "1"});
    mp3(state.folderB + QStringLiteral("/01.mp3"), 3, {});
    ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
    const ListRow& a = state.rows[0];
    EXPECT_EQ(a[2], QStringLiteral("ID3v2.3"));
    EXPECT_EQ(a[3 + RowTitle], QStringLiteral("Title"));
    EXPECT_EQ(a[3 + RowArtist], QStringLiteral("Artist"));
    EXPECT_EQ(a[3 + RowTrack], QStringLiteral("1"));
    EXPECT_EQ(a[3 + RowBitrate], QStringLiteral("CBR 128"));
    EXPECT_EQ(a[3 + RowSampleRate], QStringLiteral("44100"));
    EXPECT_EQ(a[3 + RowDuration], QStringLiteral("00:03.0"));
    EXPECT_EQ(state.rows[1][0], QStringLiteral("B1"));
    EXPECT_EQ(state.rows[1][3 + RowTitle], QString());
    EXPECT_EQ(checkTagVersions(state), 0);

    touch(state.folderB, QStringLiteral("02.mp3"), QByteArray("ID3\x04\0\0\0\0\0\0", 10));
    ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
    EXPECT_EQ(checkTagVersions(state), 2);
    touch(state.folderA, QStringLiteral("02.mp3"), "not an mp3");
    ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
    EXPECT_EQ(checkTagVersions(state), 1);
    QFile::remove(state.folderA + QStringLiteral("/02.mp3"));
    QFile::remove(state.folderB + QStringLiteral("/01.mp3"));
    ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
    EXPECT_EQ(checkTagVersions(state), 5);
}

} // namespace

#include "containers/container_fixtures.h"

namespace {

// The list shows, for files other tools wrote, what those tools report about the same fields.
TEST_F(ComparisonFixture, ListTextsAgreeWithTheWritingTools)
{
    if (!haveProgram(QStringLiteral("ffmpeg")) || !haveProgram(QStringLiteral("ffprobe")))
        GTEST_SKIP() << "ffmpeg missing";
    const QStringList tags = {"-metadata", "album=Album Ü", "-metadata", "artist=アーティスト", "-metadata",
                              "album_artist=Band", "-metadata", "title=Title", "-metadata", "date=2021", "-metadata",
                              "genre=Jazz", "-metadata", "composer=Comp", "-metadata", "comment=Note"};
    struct Kind {
        const char* ext;
        QStringList codec;
        const char* kindName;
    };
    const Kind kinds[] = {{"m4a", {"-c:a", "aac", "-b:a", "128k"}, "MP4"},
                          {"flac", {"-c:a", "flac", "-sample_fmt", "s16"}, "FLAC"},
                          {"mka", {"-c:a", "flac"}, "Matroska"},
                          {"wav", {"-c:a", "pcm_s16le"}, "WAVE"}};
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.ext);
        const QString side = folder(QString::fromLatin1(kind.ext));
        const QString file = side + QStringLiteral("/01.") + QLatin1String(kind.ext);
        ASSERT_TRUE(ffmpegSine(file, kind.codec + tags, 2.5, 48000, 2));
        const Probe probe = ffprobe(file);
        ComparisonState state;
        state.folderA = side;
        state.folderB = side;
        ASSERT_EQ(compareAB(state, DefaultPriority, 0), CompareOk);
        ASSERT_EQ(state.rows.size(), 2u);
        const ListRow& row = state.rows[0];
        EXPECT_EQ(row[2], QLatin1String(kind.kindName));
        EXPECT_EQ(row[3 + RowSampleRate], QString::number(probeInt(probe.audio, "sample_rate")));
        // Matroska rows carry the file's own texts, and its tags are named by target type (the
        // container tests read those from files written with targets); the others are read here.
        if (QLatin1String(kind.ext) == u"mka")
            continue;
        const double seconds = probeDouble(probe.format, "duration");
        const int tenths = int(seconds * 10 + 0.5);
        EXPECT_EQ(row[3 + RowDuration].right(4), QString::asprintf("%02d.%d", tenths / 10 % 60, tenths % 10));
        if (QLatin1String(kind.ext) == u"wav")
            continue; // WAV files carry no tags the list shows
        QJsonObject ftags = probe.format.value(QStringLiteral("tags")).toObject();
        auto tag = [&](const char* key) {
            for (auto it = ftags.begin(); it != ftags.end(); ++it)
                if (it.key().compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
                    return it.value().toString();
            return QString();
        };
        EXPECT_EQ(row[3 + RowAlbum], tag("album"));
        EXPECT_EQ(row[3 + RowArtist], tag("artist"));
        EXPECT_EQ(row[3 + RowTitle], tag("title"));
        EXPECT_EQ(row[3 + RowGenre], tag("genre"));
        EXPECT_EQ(row[3 + RowComposer], tag("composer"));
        EXPECT_EQ(row[3 + RowArtist], QStringLiteral("アーティスト"));
        if (QLatin1String(kind.ext) == u"flac") {
            EXPECT_EQ(row[3 + RowBitsPerSample], QStringLiteral("16"));
            EXPECT_EQ(row[3 + RowYear], tag("date"));
        }
    }
}

} // namespace
