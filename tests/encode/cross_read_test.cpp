// New files of ID3v2.2, 2.3 and 2.4 pairs read back by mutagen, TagLib and ffmpeg: A's fields and
// picture, B's encoder fields and CD identifier, B's audio to the last byte.
#include "encode/encode_fixtures.h"
#include "encode/replace_tags.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <map>

namespace vn::test {
namespace {

// A gets every field and encoder fields of its own that must not survive; B its encoder fields, a
// CD identifier, a picture that must not survive and an ID3v1 block.
constexpr char MutagenTag[] = R"(
path, side, version = sys.argv[1], sys.argv[2], int(sys.argv[3])
t = ID3()
if side == 'A':
    for cls, text in [(TALB, 'Album \u00e4'), (TPE1, 'Artist'), (TPE2, 'Album Artist'), (TIT2, 'Title \u3042'),
                      (TRCK, '3/12'), (TPOS, '1/2'), (TDRC, '2024'), (TCON, 'Jazz'), (TCOM, 'Composer'),
                      (TENC, 'A encoder'), (TSSE, 'A settings'), (TLEN, '1111')]:
        t.add(cls(encoding=1, text=[text]))
    t.add(COMM(encoding=1, lang='eng', desc='', text=['a comment']))
    t.add(APIC(encoding=0, mime='image/png', type=3, desc='cover', data=b'\x89PNG A' * 50))
else:
    for cls, text in [(TENC, 'B encoder'), (TSSE, 'LAME -V 2'), (TLEN, '2222')]:
        t.add(cls(encoding=0, text=[text]))
    t.add(MCDI(data=b'\x00\x12\x01\x02\x00\x10\x01\x00\x00\x00\x00\x96'))
    t.add(APIC(encoding=0, mime='image/png', type=3, desc='B', data=b'\x89PNG B'))
t.save(path, v2_version=version, v1=2 if side == 'B' else 0)
)";

constexpr char MutagenRead[] = R"(
import hashlib
print(json.dumps({f.FrameID: hashlib.sha1(f.data).hexdigest() if f.FrameID in ('APIC', 'MCDI') else str(f)
                  for f in ID3(sys.argv[1], load_v1=False).values()}))
)";

constexpr char TaglibReader[] = R"(
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <iostream>
int main(int, char** argv) {
    TagLib::MPEG::File f(argv[1]);
    if (!f.isValid() || !f.ID3v2Tag()) return 1;
    for (auto* frame : f.ID3v2Tag()->frameList()) {
        std::cout << frame->frameID() << '\t' << frame->toString() << ' ' << frame->render().size();
        if (auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame)) std::cout << ' ' << p->picture().checksum();
        std::cout << '\n';
    }
    std::cout << "length\t" << f.audioProperties()->lengthInMilliseconds() << '\n';
})";

using FrameMap = std::map<QString, QString>;

FrameMap mutagenFrames(const QString& path)
{
    FrameMap map;
    const QJsonObject o = QJsonDocument::fromJson(runPython(mutagenPrelude() + QString::fromUtf8(MutagenRead), {path}).out).object();
    for (auto it = o.begin(); it != o.end(); ++it)
        map[it.key()] = it.value().toString();
    return map;
}

QString taglibReader()
{
    static QTemporaryDir* dir = new QTemporaryDir; // built once for the whole run
    const QString program = dir->filePath(QStringLiteral("reader"));
    if (!QFileInfo::exists(program) && writeFile(program + ".cc", TaglibReader))
        runProcess("sh", {"-c", QStringLiteral("c++ -o '%1' '%1.cc' $(pkg-config --cflags --libs taglib)").arg(program)});
    return QFileInfo::exists(program) ? program : QString();
}

FrameMap taglibFrames(const QString& path)
{
    FrameMap map;
    for (const QString& line : QString::fromUtf8(runProcess(taglibReader(), {path}).out).split(u'\n', Qt::SkipEmptyParts))
        map[line.section(u'\t', 0, 0)] = line.section(u'\t', 1);
    return map;
}

// The new file holds A's frames but for the four B supplies, and nothing else.
void expectFramesFromTheirSides(FrameMap made, const FrameMap& fromA, const FrameMap& fromB, const char* reader)
{
    const QStringList bIds{"TENC", "TSSE", "TLEN", "MCDI"};
    FrameMap expected;
    for (const auto& [id, value] : fromA)
        if (!bIds.contains(id) && id != u"length")
            expected[id] = value;
    for (const auto& [id, value] : fromB)
        if (bIds.contains(id))
            expected[id] = value;
    made.erase(QStringLiteral("length"));
    EXPECT_EQ(made, expected) << reader;
    EXPECT_EQ(expected.size(), 15u) << reader;
}

class CrossReadTest : public EncodeFolders, public ::testing::WithParamInterface<int> {};

TEST_P(CrossReadTest, ReadersSeeAsFieldsBsEncoderFieldsAndBsAudio)
{
    // TagLib's headers (libtag1-dev), lame, ffmpeg and mutagen are installed by scripts/install-deps.
    ASSERT_FALSE(taglibReader().isEmpty()) << "the TagLib reader did not build";
    const int v = GetParam();
    const QString wav = dir.filePath("in.wav"), fileA = a + "/01.mp3", fileB = b + "/01.mp3";
    ASSERT_TRUE(writeTestWav(wav, 44100 * 2, 44100, 2));
    ASSERT_TRUE(lameEncode(wav, dir.filePath("a.mp3"), {"-b", "128"}) && lameEncode(wav, dir.filePath("b.mp3"), {"-V", "2"}));
    if (v == 2) { // mutagen writes no version 2.2: the tags are assembled here
        QByteArray aFrames, bFrames;
        for (int row = 0; row < TagFieldRowCount; ++row)
            aFrames += rowFrame(2, row, row == RowYear ? QByteArray("2024") : "a" + QByteArray::number(row));
        for (int row : {RowEncodedBy, RowEncoderSettings, RowLength, RowPicture, RowCdIdentifier})
            bFrames += rowFrame(2, row, "b" + QByteArray::number(row));
        writeMp3(a, "01.mp3", 2, aFrames, readFile(dir.filePath("a.mp3")));
        writeMp3(b, "01.mp3", 2, bFrames, readFile(dir.filePath("b.mp3")) + id3v1Block("t", "a", "l", "2024", "c", 1, 2));
    } else {
        QFile::copy(dir.filePath("a.mp3"), fileA);
        QFile::copy(dir.filePath("b.mp3"), fileB);
        for (const auto& [file, side] : {std::pair{fileA, "A"}, std::pair{fileB, "B"}})
            ASSERT_EQ(runPython(mutagenPrelude() + MutagenTag, {file, side, QString::number(v)}).exitCode, 0);
    }
    settings.ID3_Blk = 1024;
    settings.ID3_Pad = 256;
    ASSERT_EQ(compare(), 0);
    PairList pairs;
    ReplaceOutcome outcome;
    ASSERT_EQ(replaceOrEncode(state, settings, ReplaceOptions{}, feedback, pairs, outcome), 1);
    ASSERT_EQ(outcome.writeCode, WriteOk);
    const QString made = temp("01.mp3");

    const Mp3Parts m = splitMp3(readFile(made)), pa = splitMp3(readFile(fileA)), pb = splitMp3(readFile(fileB));
    EXPECT_EQ(m.header.mid(3, 3), pa.header.mid(3, 3));
    EXPECT_EQ(m.audio, pb.audio);
    EXPECT_EQ(m.audio.right(128).left(3), QByteArray("TAG"));
    EXPECT_EQ((10 + m.body.size()) % 1024, 0);
    expectFramesFromTheirSides(mutagenFrames(made), mutagenFrames(fileA), mutagenFrames(fileB), "mutagen");
    const FrameMap taglibMade = taglibFrames(made);
    expectFramesFromTheirSides(taglibMade, taglibFrames(fileA), taglibFrames(fileB), "TagLib");
    EXPECT_EQ(taglibMade.at("length"), taglibFrames(fileB).at("length"));

    // The test pictures are no real images; only the audio decoder's word counts.
    const ProcessResult decode = runProcess("ffmpeg", {"-v", "error", "-i", made, "-map", "0:a", "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    QStringList complaints = QString::fromUtf8(decode.err).split(u'\n', Qt::SkipEmptyParts);
    complaints.removeIf([](const QString& line) { return line.startsWith(u"[png"); });
    EXPECT_EQ(complaints, QStringList());
}

INSTANTIATE_TEST_SUITE_P(Versions, CrossReadTest, ::testing::Values(2, 3, 4));

} // namespace
} // namespace vn::test
