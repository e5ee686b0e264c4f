// Replace Tags: the padding rule, the pairs, the bytes of the new files, the pre-check, and the files
// it never touches.
#include "encode/encode_fixtures.h"
#include "encode/move_files.h"
#include "encode/replace_tags.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sys/stat.h>

namespace vn::test {
namespace {

TEST(Id3Padding, WorkedValuesAndUnusualSettings)
{
    EXPECT_EQ(id3Padding(1000, 0, 256), 256);
    EXPECT_EQ(id3Padding(1000, 2048, 256), 1038);
    EXPECT_EQ(id3Padding(1900, 2048, 256), 2186);
    EXPECT_EQ(id3Padding(1014, 1024, 256), 1024);
    EXPECT_EQ(id3Padding(1000, 0, 0), 0);
    EXPECT_EQ(id3Padding(1000, 1, 0), 1);
    EXPECT_EQ(id3Padding(1000, 1, 256), 2); // one block added once, below the minimum
    EXPECT_EQ(id3Padding(1000, 0, -500), 0);
    EXPECT_EQ(id3Padding(1000, -16, 100), 100);
    EXPECT_EQ((1014 + 10 + id3Padding(1014, 16, -1000)) % 16, 0);
}

TEST(FolderPairs, FollowTheListRowsForBothSigns)
{
    const PairList p = folderPairs(10, 10, 2), q = folderPairs(10, 10, -3);
    ASSERT_EQ(p.size(), 8u);
    EXPECT_TRUE(p[0].aIndex == 2 && p[0].bFirst == 0 && p[7].aIndex == 9 && p[7].bLast == 7);
    ASSERT_EQ(q.size(), 7u);
    EXPECT_TRUE(q[0].aIndex == 0 && q[0].bFirst == 3);
    EXPECT_TRUE(folderPairs(3, 10, 5).empty());
    EXPECT_EQ(folderPairs(250, 300, 0).size(), 250u);
}

class ReplaceTest : public EncodeFolders {
protected:
    int replace() { return replaceOrEncode(state, settings, ReplaceOptions{}, feedback, pairs, outcome); }
    PairList pairs;
    ReplaceOutcome outcome;
};

TEST_F(ReplaceTest, OffsetTwoWritesEightFilesOfAsTagsOverBsAudio)
{
    for (int i = 0; i < 10; ++i) {
        const QByteArray n = QByteArray::number(i);
        writeMp3(a, QStringLiteral("a%1.mp3").arg(i), 3, rowFrame(3, RowTitle, n) + rowFrame(3, RowEncodedBy, "A"), cbrFrames(2));
        writeMp3(b, QStringLiteral("b%1.mp3").arg(i), 3, rowFrame(3, RowEncodedBy, n),
                 cbrFrames(3) + n + id3v1Block("t", "a", "l", "2024", "c", 1, 2), 0, 40);
    }
    ASSERT_EQ(compare(2), 0);
    EXPECT_EQ(replace(), 8);
    EXPECT_EQ(outcome.written.size(), 8);
    EXPECT_FALSE(QFileInfo::exists(temp("a1.mp3")));
    for (int i = 0; i < 8; ++i) {
        const Mp3Parts made = splitMp3(readFile(temp(QStringLiteral("a%1.mp3").arg(i + 2))));
        // ID3_Blk 0 and ID3_Pad 0: the audio, ID3v1 included, follows the last frame directly.
        EXPECT_EQ(made.body, rowFrame(3, RowTitle, QByteArray::number(i + 2)) + rowFrame(3, RowEncodedBy, QByteArray::number(i)));
        EXPECT_EQ(made.audio, splitMp3(readFile(QDir(b).filePath(QStringLiteral("b%1.mp3").arg(i)))).audio);
    }
}

// The audio is copied by the kernel within one file system and read a few pieces ahead of the writer
// between two (here a folder in memory): both give every pair's file the same bytes, B's audio whole
// behind the new tag, also audio of several pieces behind a tag that ends inside a page.
TEST_F(ReplaceTest, WithinAndAcrossFileSystemsTheNewFilesAreTheSame)
{
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/vornelic-XXXXXX"));
    ASSERT_TRUE(elsewhere.isValid());
    struct stat here {}, there {};
    ASSERT_TRUE(::stat(QFile::encodeName(dir.path()).constData(), &here) == 0 &&
                ::stat(QFile::encodeName(elsewhere.path()).constData(), &there) == 0);
    ASSERT_NE(here.st_dev, there.st_dev) << "the test needs /dev/shm on a file system of its own";

    const int frames[] = {1, 700, 1500, 3};
    for (int i = 0; i < 4; ++i) {
        const QByteArray n = QByteArray::number(i);
        writeMp3(a, QStringLiteral("%1.mp3").arg(i), 3, rowFrame(3, RowTitle, "title " + n), cbrFrames(1));
        writeMp3(b, QStringLiteral("%1.mp3").arg(i), 3, rowFrame(3, RowEncodedBy, n), cbrFrames(frames[i]) + n);
    }
    settings.ID3_Blk = 1000; // a tag of 1000 bytes: the audio starts inside the new file's first page
    ASSERT_EQ(compare(), 0);
    const QString sameFs = settings.Path_Temp;
    EXPECT_EQ(replace(), 4);
    EXPECT_EQ(outcome.writeCode, WriteOk);
    settings.Path_Temp = elsewhere.path();
    EXPECT_EQ(replace(), 4);
    EXPECT_EQ(outcome.writeCode, WriteOk);
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("%1.mp3").arg(i);
        const QByteArray made = readFile(QDir(sameFs).filePath(name));
        const QByteArray bAudio = splitMp3(readFile(QDir(b).filePath(name))).audio;
        EXPECT_EQ(made.size() - bAudio.size(), 1000); // one block of tag
        EXPECT_EQ(splitMp3(made).audio, bAudio) << name.toStdString();
        EXPECT_EQ(readFile(QDir(elsewhere.path()).filePath(name)), made) << name.toStdString();
    }
}

// Per tag version, its folders A, B and temp below the fixture's.
class ReplaceVersionTest : public ReplaceTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        ReplaceTest::SetUp();
        sub = QString::number(v);
        for (const QString& f : {a, b, dir.filePath("temp")})
            QDir(f).mkdir(sub);
        a += "/" + sub;
        b += "/" + sub;
        settings.Path_Temp = dir.filePath("temp/" + sub);
    }
    const uint8_t v = uint8_t(GetParam());
    QString sub;
};

using ReplaceRowsTest = ReplaceVersionTest;

TEST_P(ReplaceRowsTest, TakesEachRowFromItsSideInRowOrder)
{
    settings.ID3_Blk = 1024;
    settings.ID3_Pad = 256;
    QByteArray aFrames, bFrames, expected;
    // Reverse order and a frame of no row: the new tag holds the rows in row order only.
    for (int row = TagFieldRowCount - 1; row >= 0; --row)
        aFrames += rowFrame(v, row, "a" + QByteArray::number(row));
    aFrames += id3Frame(v, v == 2 ? "TXX" : "TXXX", QByteArray("\0x\0y", 4));
    for (int row : {RowAlbum, RowEncodedBy, RowEncoderSettings, RowLength, RowPicture, RowCdIdentifier})
        bFrames += rowFrame(v, row, "b" + QByteArray::number(row));
    // B gives the encoder, its settings, the length and the CD identifier; A all else.
    for (int row = 0; row < TagFieldRowCount; ++row) {
        const bool fromB = row == RowEncodedBy || row == RowEncoderSettings || row == RowLength || row == RowCdIdentifier;
        QByteArray frame = rowFrame(v, row, (fromB ? "b" : "a") + QByteArray::number(row));
        if (v == 4 && !fromB)
            frame[9] = '\x02'; // A's tag-wide unsynchronisation, now said by each of its frames
        expected += frame;
    }
    writeMp3(a, "1.mp3", v, aFrames, cbrFrames(1), v == 4 ? 0xB0 : 0);
    writeMp3(a, "2.mp3", v, rowFrame(v, RowTitle, "no picture"), cbrFrames(1));
    for (const char* name : {"1.mp3", "2.mp3"})
        writeMp3(b, QLatin1String(name), v, bFrames, cbrFrames(2), 0, 300);
    ASSERT_EQ(compare(), 0);
    EXPECT_EQ(replace(), 2);
    ASSERT_EQ(outcome.writeCode, WriteOk);
    const Mp3Parts made = splitMp3(readFile(temp("1.mp3")));
    // A's version and revision; A's 2.4 flags less the unsynchronisation, extended-header and
    // footer bits.
    EXPECT_EQ(made.header.mid(3, 3), QByteArray(1, char(v)) + '\0' + (v == 4 ? '\x20' : '\0'));
    EXPECT_EQ(made.body.left(expected.size()), expected);
    EXPECT_EQ(made.body.mid(expected.size()), QByteArray(made.body.size() - expected.size(), '\0'));
    EXPECT_EQ((10 + made.body.size()) % 1024, 0);
    EXPECT_EQ(made.audio, cbrFrames(2));
    // An A file without a picture gives none, though B has one.
    EXPECT_FALSE(splitMp3(readFile(temp("2.mp3"))).body.contains(v == 2 ? "PIC" : "APIC"));
}

INSTANTIATE_TEST_SUITE_P(Versions, ReplaceRowsTest, ::testing::Values(2, 4));

TEST_F(ReplaceTest, PreCheckRefusesMixedAndNonId3Sides)
{
    const std::array<std::array<uint8_t, 4>, 5> kinds{{{3, 4, 3, 3}, {3, 3, 4, 3}, {0, 0, 3, 3}, {3, 3, 0, 0}, {3, 3, 4, 4}}};
    const char* texts[] = {"Folder-A : Inconsistent Tag Version", "Folder-B : Inconsistent Tag Version",
                           "Folder-A : Not ID3v2", "Folder-B : Not ID3v2", "ID3v2 version Mismatched"};
    for (int c = 0; c < 5; ++c) [&] {
        for (int f = 0; f < 4; ++f) { // 0: an MP3 without ID3v2
            const QString path = QStringLiteral("%1/%2.mp3").arg(f < 2 ? a : b).arg(f % 2);
            const uint8_t v = kinds[size_t(c)][size_t(f)];
            writeFile(path, v ? id3Tag(v, rowFrame(v, RowTitle, "t")) + cbrFrames(1) : cbrFrames(1));
        }
        feedback.messages.clear();
        ASSERT_EQ(compare(), 0);
        EXPECT_EQ(replace(), 0);
        EXPECT_EQ(outcome.precheck, c + 1);
        EXPECT_EQ(feedback.messages, QStringList{QStringLiteral("Error in Replace Tags|") + QLatin1String(texts[c])});
        EXPECT_TRUE(QDir(settings.Path_Temp).isEmpty());
    }();
}

class ReplaceThreeTest : public ReplaceTest {
protected:
    void SetUp() override
    {
        ReplaceTest::SetUp();
        for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) {
            writeMp3(a, QLatin1String(name), 3, rowFrame(3, RowTitle, name), cbrFrames(1));
            writeMp3(b, QLatin1String(name), 3, rowFrame(3, RowTitle, "b"), cbrFrames(2));
        }
    }
};

TEST_F(ReplaceThreeTest, StopsAtANameAlreadyTakenAndLeavesThatFileAlone)
{
    writeFile(temp("2.mp3"), "the user's own file");
    ASSERT_EQ(compare(), 0);
    EXPECT_EQ(replace(), 3);
    EXPECT_EQ(outcome.writeCode, WriteDestinationTaken);
    EXPECT_EQ(outcome.written, QStringList{temp("1.mp3")});
    EXPECT_EQ(readFile(temp("2.mp3")), QByteArray("the user's own file"));
    EXPECT_FALSE(QFileInfo::exists(temp("3.mp3")));
}

TEST_F(ReplaceThreeTest, StopsWhenBChangedAfterTheCompare)
{
    ASSERT_EQ(compare(), 0);
    // B's tag grew: its audio no longer starts where the compare found it.
    writeMp3(b, "1.mp3", 3, rowFrame(3, RowTitle, "longer title"), cbrFrames(2));
    replace();
    EXPECT_EQ(outcome.writeCode, WriteCannotReadB);
    EXPECT_TRUE(QDir(settings.Path_Temp).isEmpty());
}

TEST_F(ReplaceThreeTest, AMissingTempFolderIsACreateFailure)
{
    settings.Path_Temp = dir.filePath("missing");
    ASSERT_EQ(compare(), 0);
    replace();
    EXPECT_EQ(outcome.writeCode, WriteCannotCreate);
}

TEST_F(ReplaceTest, BsAudioArrivesWholeOnEitherWayOfCopyingIt)
{
    // B's audio starts on a page (its tag padded to 4096 bytes) and is longer than the pieces of the
    // read-ahead; with 64 KB blocks the new tag ends where the kernel can copy whole pages, with
    // 1000-byte blocks it ends inside a page. Either way the new file holds A's tag and B's audio
    // unchanged. (The read-ahead's way, between file systems: WithinAndAcrossFileSystems….)
    const QByteArray frames = rowFrame(3, RowEncodedBy, "B");
    QByteArray audio = cbrFrames(2000);
    audio[1000] = 'x'; // a byte that no repeated frame would put there by chance
    for (int i = 0; i < 2; ++i) {
        writeMp3(a, QStringLiteral("%1.mp3").arg(i), 3, rowFrame(3, RowTitle, QByteArray::number(i)), cbrFrames(1));
        writeMp3(b, QStringLiteral("%1.mp3").arg(i), 3, frames, audio, 0, 4096 - 10 - int(frames.size()));
    }
    for (int block : {65536, 1000}) {
        SCOPED_TRACE(block);
        settings.ID3_Blk = block;
        settings.Path_Temp = dir.filePath(QStringLiteral("out%1").arg(block));
        ASSERT_TRUE(QDir().mkpath(settings.Path_Temp));
        ASSERT_EQ(compare(), 0);
        ASSERT_EQ(replace(), 2);
        ASSERT_EQ(outcome.writeCode, WriteOk);
        for (int i = 0; i < 2; ++i) {
            const QByteArray made = readFile(temp(QStringLiteral("%1.mp3").arg(i)));
            const Mp3Parts parts = splitMp3(made);
            EXPECT_EQ((10 + parts.body.size()) % block, 0);
            const QByteArray expected = rowFrame(3, RowTitle, QByteArray::number(i)) + frames;
            EXPECT_EQ(parts.body.left(expected.size()), expected);
            EXPECT_TRUE(parts.audio == audio) << i;
        }
    }
}

// mutagen's reading of a file: each frame (pictures and CD identifiers by their bytes) and the
// header's unsynchronisation and extended-header flags.
constexpr char MutagenFrames[] = R"(
t = ID3(sys.argv[1], translate=False, load_v1=False)
out = {f.FrameID: f.data.hex() if f.FrameID in ('APIC', 'PIC', 'MCDI', 'MCI') else str(f) for f in t.values()}
out['flags'] = [bool(t.f_unsynch), bool(t.f_extended)]
print(json.dumps(out))
)";

QJsonObject mutagenFrames(const QString& path)
{
    const ProcessResult r = runPython(mutagenPrelude() + QString::fromLatin1(MutagenFrames), {path});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

using ReplaceStoredFormsTest = ReplaceVersionTest;

TEST_P(ReplaceStoredFormsTest, AnUnsynchronisedOrExtendedATagGivesAPlainTagWithTheSameValues)
{
    // A's values hold bytes unsynchronisation changes (UTF-16 marks, ÿ, JPEG markers); B's CD
    // identifier holds 0xFF 0x00, which a tag-wide flag left on the new tag would wrongly undo.
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\xFF\0\xFF\xFF", 14) + QByteArray(30, 'j') + "\xFF";
    const QByteArray nul(1, '\0');
    struct Frame {
        const char* id4;
        const char* id3;
        QByteArray data;
    };
    const std::vector<Frame> aFrames = {
        {"TIT2", "TT2", QByteArray("\x01\xFF\xFET\0\xEF\0t\0l\0e\0 \0\xFF\0\0\0", 19)},
        {"TPE1", "TP1", QByteArray("\0\xDCn\xEF \xFF\xFF", 7)},
        {"COMM", "COM", QByteArray("\0eng", 4) + "d" + nul + "note \xFF"},
        {"TENC", "TEN", nul + "A encoder"},
        {"APIC", "PIC", nul + "image/jpeg" + nul + "\x03" "cover" + nul + jpeg},
    };
    const std::vector<Frame> bFrames = {
        {"TIT2", "TT2", nul + "B title"}, {"TENC", "TEN", nul + "B encoder"}, {"TSSE", "TSS", nul + "LAME -V 2"},
        {"TLEN", "TLE", nul + "1234"}, {"MCDI", "MCI", QByteArray("\0\x12\xFF\0\x10\x01", 6)},
    };
    auto frame = [](uint8_t v, const Frame& f, const QByteArray& data, uint16_t flags = 0) {
        QByteArray d = data;
        if (v == 2 && QByteArrayView(f.id4) == "APIC")
            d.replace(1, 11, "JPG");
        return id3Frame(v, v == 2 ? f.id3 : f.id4, d, flags);
    };
    QByteArray aTag;
    if (v == 4) {
        // Tag-wide unsynchronisation, each frame unsynchronised without its own flag but the
        // last, which has it with a data length indicator; an extended header first.
        QByteArray body = QByteArray("\0\0\0\x06\x01\0", 6);
        for (size_t i = 0; i < aFrames.size(); ++i) {
            const QByteArray stored = unsynchronise(aFrames[i].data);
            const bool last = i + 1 == aFrames.size();
            body += last ? frame(4, aFrames[i], QByteArray("\0\0\0", 3) + char(aFrames[i].data.size() - 10) + stored, 0x0003)
                         : frame(4, aFrames[i], stored);
        }
        aTag = id3Tag(4, body + QByteArray(20, '\0'), 0, 0xC0);
    } else {
        QByteArray plain;
        for (const Frame& f : aFrames)
            plain += frame(v, f, f.data);
        // Version 3: an extended header with a CRC, inside the unsynchronised data.
        if (v == 3)
            plain = be32(10) + QByteArray("\x80\0", 2) + be32(20) + QByteArray("\x12\x34\x56\x78", 4) + plain;
        aTag = id3Tag(v, unsynchronise(plain + QByteArray(20, '\0')), 0, v == 3 ? 0xC0 : 0x80);
    }
    QByteArray bBody;
    for (const Frame& f : bFrames)
        bBody += frame(v, f, f.data);
    // (mutagen reads past a tag with an extended header; zeros there keep it from misreading A.)
    ASSERT_TRUE(writeFile(a + "/1.mp3", aTag + QByteArray(16, '\0') + cbrFrames(1)));
    writeMp3(b, "1.mp3", v, bBody, cbrFrames(3));
    ASSERT_EQ(compare(), 0);
    ASSERT_EQ(replace(), 1);
    ASSERT_EQ(outcome.writeCode, WriteOk);

    const QString made = temp("1.mp3");
    EXPECT_EQ(uint8_t(readFile(made)[5]) & 0xC0, 0);
    const QJsonObject fromA = mutagenFrames(QDir(state.folderA).filePath("1.mp3"));
    const QJsonObject fromB = mutagenFrames(QDir(state.folderB).filePath("1.mp3"));
    const QJsonObject out = mutagenFrames(made);
    EXPECT_EQ(out.value("flags").toArray(), QJsonArray({false, false}));
    // (mutagen names version 2 frames by their later identifiers.)
    for (const Frame& f : aFrames) {
        const QString id = QLatin1String(f.id4);
        const QJsonValue expected = (id == u"TENC" ? fromB : fromA).value(id);
        EXPECT_FALSE(expected.toString().isEmpty()) << f.id4;
        EXPECT_EQ(out.value(id), expected) << f.id4;
    }
    for (const Frame& f : bFrames) {
        if (QByteArrayView(f.id4) != "TIT2") {
            EXPECT_FALSE(fromB.value(QLatin1String(f.id4)).toString().isEmpty()) << f.id4;
            EXPECT_EQ(out.value(QLatin1String(f.id4)), fromB.value(QLatin1String(f.id4))) << f.id4;
        }
    }
    // Move Files still knows the new file for A's.
    EXPECT_TRUE(producedFromA(made, state.a.files[0]));
}

INSTANTIATE_TEST_SUITE_P(Versions, ReplaceStoredFormsTest, ::testing::Values(2, 3, 4));

} // namespace
} // namespace vn::test
