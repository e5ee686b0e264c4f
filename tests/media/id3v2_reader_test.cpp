// The ID3v2 reader, its text decoding and the ID3v2 texts of the record: the rules on crafted tags,
// and tags written (or read back) by mutagen compared text for text.

#include "media/field_to_text.h"
#include "containers/read_file_tags.h"
#include "media/id3_dump.h"
#include "media/id3v2_reader.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <gtest/gtest.h>

namespace vn {
namespace {

using test::be32;
using test::id3Frame;
using test::id3Tag;

const QByteArray Nul(1, '\0');
const QByteArray Nul2(2, '\0');

// UTF-16 bytes, little-endian unless big, with the byte order mark unless told otherwise.
QByteArray utf16(const QString& s, bool big = false, bool bom = true)
{
    QStringEncoder encoder(big ? QStringEncoder::Utf16BE : QStringEncoder::Utf16LE,
                           bom ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return encoder.encode(s);
}

QString rowText(const FileTags& f, int row)
{
    QString out;
    fieldToText(out, 1024, f.record, row, f.header.version);
    return out;
}

void expectRows(const FileTags& f, std::initializer_list<std::pair<int, const char*>> rows)
{
    for (const auto& [row, text] : rows)
        EXPECT_EQ(rowText(f, row), text) << "row " << row;
}

// A temporary folder with an MP3 to write and read, through one read buffer for every file.
struct Mp3File {
    QTemporaryDir dir;
    FileTags f;
    QByteArray buffer;
    int read(const QByteArray& bytes, const QString& name = QStringLiteral("t.mp3"))
    {
        test::writeFile(dir.filePath(name), bytes);
        return readFileTags(dir.path(), name, f, buffer);
    }
};

TEST(Id3TextToWide, DecodesTheFourEncodingsWithinBounds)
{
    const QString x511(511, u'x');
    const std::tuple<QByteArray, int, int, QString> cases[] = { // value, text offset, units, whole text
        {"\x03" "東京" + Nul + "x", 1, 2, QStringLiteral("東京\0x")},
        // Encoding 1: each string has its own mark and keeps its NUL; a string without a mark ends it.
        {"\x01" + utf16("de") + Nul2 + utf16("Text", true) + Nul2 + utf16("no", false, false), 1, 2,
         QStringLiteral("de\0Text\0")},
        {"\x01" + utf16("odd") + "x", 1, 3, "odd"}, // a stray last byte
        // An empty description written without its mark, as the common encoder writes comments.
        {QByteArray("\x01" "eng\0\0", 6) + utf16("Note") + Nul2, 4, 0, QStringLiteral("\0Note\0")},
        {QByteArray("\0engdesc\0text", 13), 4, 4, QStringLiteral("desc\0text")}, // the offset skips the language
        {"\x04" "abc", 1, 0, ""}, // an unknown encoding
        {Nul, 4, 0, ""},         // an offset past the value
        // 511 units fit; an 8-bit text needing more is dropped, a UTF-16 one is cut, never inside a pair.
        {Nul + QByteArray(511, 'x'), 1, 511, x511},
        {Nul + QByteArray(512, 'x'), 1, 0, ""},
        {"\x01" + utf16(QString(700, u'x')), 1, 511, x511},
        {"\x02" + utf16(QString(700, u'x'), true, false), 1, 511, x511},
        {"\x01" + utf16(QString(510, u'x') + QStringLiteral("🎵")), 1, 510, x511.left(510)},
    };
    for (const auto& [value, offset, units, text] : cases) {
        QString out = QStringLiteral("stale");
        EXPECT_EQ(id3TextToWide(out, value, offset), units) << value.toHex().left(40).constData();
        EXPECT_EQ(out, text) << value.toHex().left(40).constData();
    }
}

struct Id3v2Reader : ::testing::Test {
    Mp3File file;
    FileTags& f = file.f;
    const QByteArray frames = test::cbrFrames(3);
};

TEST_F(Id3v2Reader, Version3LaterFramesWinAndUnknownFramesAndPaddingAreSkipped)
{
    // TDRC stands for the year too.
    const QByteArray body =
        id3Frame(3, "TIT2", Nul + "One") + id3Frame(3, "TXXX", Nul + "d" + Nul + "v") + QByteArray(7, '\0') +
        id3Frame(3, "TIT2", Nul + "Two") + id3Frame(3, "TYER", Nul + "1999") + id3Frame(3, "TDRC", Nul + "2001") +
        id3Frame(3, "COMM", Nul + "eng" + "a" + Nul + "first") + id3Frame(3, "COMM", Nul + "eng" + Nul + "second") +
        id3Frame(3, "TPE1", Nul + "X", 0x4000) + QByteArray(1000, '\0');
    ASSERT_EQ(file.read(id3Tag(3, body, 1, 0x40) + frames), ReadTagsOk);
    EXPECT_EQ(std::tuple(f.header.version, f.header.revision, f.header.flags), std::tuple(3, 1, 0x40));
    expectRows(f, {{RowTitle, "Two"}, {RowYear, "2001"}, {RowComment, "second"}});
    EXPECT_EQ(f.record[RowArtist].flags, 0x4000);
    EXPECT_EQ(std::pair(f.audioOffset, f.audioSize), std::pair(10u + uint32_t(body.size()), uint32_t(frames.size())));
    EXPECT_TRUE(f.audioAnalysed);
    EXPECT_EQ(f.mpegInfo.frameCount, 3u);
}

TEST_F(Id3v2Reader, Version4SizesAreSyncSafeAndTheLastOfTheYearFramesWins)
{
    const QByteArray body =
        id3Frame(4, "TDRC", Nul + "2004") + id3Frame(4, "TYER", Nul + "1998") + id3Frame(4, "TALB", Nul + QByteArray(200, 'a'));
    ASSERT_EQ(file.read(id3Tag(4, body) + frames, "UPPER.MP3"), ReadTagsOk);
    expectRows(f, {{RowYear, "1998"}, {RowAlbum, QByteArray(200, 'a').constData()}});
}

TEST_F(Id3v2Reader, AFrameRunningPastTheBodyEndsTheWalk)
{
    QByteArray body = id3Frame(3, "TIT2", Nul + "kept") + id3Frame(3, "TALB", Nul + "x");
    body[10 + 4 + 7] = char(0x7F);
    ASSERT_EQ(file.read(id3Tag(3, body + id3Frame(3, "TPE1", Nul + "unreached")) + frames), ReadTagsOk);
    expectRows(f, {{RowTitle, "kept"}, {RowAlbum, ""}, {RowArtist, ""}});
    // So does a frame header cut by the end of the body.
    ASSERT_EQ(file.read(id3Tag(4, id3Frame(4, "TIT2", Nul + "a") + "TAL") + frames), ReadTagsOk);
    EXPECT_EQ(rowText(f, RowTitle), "a");
}

TEST_F(Id3v2Reader, AnUnknownMajorVersionKeepsItsHeaderButWalksNothing)
{
    ASSERT_EQ(file.read(id3Tag(5, id3Frame(3, "TIT2", Nul + "x")) + frames), ReadTagsOk);
    EXPECT_EQ(f.header.version, 5);
    EXPECT_TRUE(std::none_of(f.record.begin(), f.record.end(), [](const TagValue& v) { return v.present(); }));
    EXPECT_FALSE(f.audioAnalysed);
    EXPECT_EQ(f.mpegInfo.frameCount, 0u);
}

TEST_F(Id3v2Reader, CodesForEveryFailure)
{
    EXPECT_EQ(readFileTags(file.dir.path(), "missing.mp3", file.f, file.buffer), ReadTagsCannotOpen);
    EXPECT_EQ(file.read("ID3", "a.ogg"), ReadTagsCannotOpen);
    // A container file always counts as read, whatever its reader found.
    EXPECT_EQ(file.read("ID3", "a.flac"), ReadTagsOk);
    EXPECT_EQ(file.f.header.version, KindFlac);
    // Only an ID3v1 tag: not processed further. (Short files and tags past the end are the cuts of
    // the malformed-input tests.)
    EXPECT_EQ(file.read(test::cbrFrames(2) + test::id3v1Block("t", "a", "b", "2000", "c", 1, 2)), ReadTagsNoId3v2);
    // A tag of exactly the file: no audio, which is no error.
    EXPECT_EQ(file.read(id3Tag(3, id3Frame(3, "TIT2", Nul + "abc"))), ReadTagsOk);
    EXPECT_EQ(file.f.audioSize, 0u);
}

TEST_F(Id3v2Reader, OneReadBufferServesFilesAndTagsLargerThanItself)
{
    // Files far larger than the buffer, and a tag larger than it (a big picture), go through the
    // same buffer; the walk counts every frame (417 bytes each) and splits off the ID3v1 block.
    const QByteArray picture = id3Frame(3, "APIC", Nul + "image/jpeg" + Nul + "\x03" + Nul + QByteArray(300000, 'p'));
    ASSERT_EQ(file.read(id3Tag(3, id3Frame(3, "TIT2", Nul + "big") + picture) + test::cbrFrames(1000) +
                        test::id3v1Block("t", "a", "b", "2000", "c", 1, 2)),
              ReadTagsOk);
    const qsizetype bufferSize = file.buffer.size();
    EXPECT_LT(bufferSize, 300000);
    EXPECT_EQ(rowText(file.f, RowTitle), "big");
    EXPECT_EQ(file.f.record[RowPicture].size, uint32_t(picture.size() - 10));
    EXPECT_EQ(file.f.mpegInfo.frameCount, 1000u);
    EXPECT_EQ(file.f.audioSize, 1000u * 417);
    EXPECT_EQ(file.f.mpegInfo.id3v1[0], 'T');
    const char* block = file.buffer.constData();
    ASSERT_EQ(file.read(id3Tag(3, {}) + test::cbrFrames(5)), ReadTagsOk);
    EXPECT_EQ(file.buffer.constData(), block);
    EXPECT_EQ(file.buffer.size(), bufferSize);
    EXPECT_EQ(file.f.audioSize, 5u * 417);
    EXPECT_TRUE(file.f.audioAnalysed);
    EXPECT_EQ(file.f.mpegInfo.frameCount, 5u);
    EXPECT_EQ(file.f.mpegInfo.id3v1[0], 0); // nothing left over from the file before
}

TEST_F(Id3v2Reader, TheFileReadIsRecordedAsItStood)
{
    ASSERT_EQ(file.read(id3Tag(3, {}) + test::cbrFrames(5)), ReadTagsOk);
    const QFileInfo info(file.dir.filePath(QStringLiteral("t.mp3")));
    EXPECT_EQ(file.f.stamp.size, uint64_t(info.size()));
    EXPECT_EQ(file.f.stamp.modifiedNs / 1000000, info.lastModified().toMSecsSinceEpoch());
}

TEST_F(Id3v2Reader, ACopyKeepsItsValuesOnceTheOriginalAndItsBufferAreGone)
{
    ASSERT_EQ(file.read(id3Tag(3, id3Frame(3, "TIT2", Nul + "copied")) + test::cbrFrames(2)), ReadTagsOk);
    ASSERT_TRUE(file.f.audioAnalysed);
    auto original = std::make_unique<FileTags>(file.f);
    file.f = FileTags{};
    const FileTags copy = *original;
    FileTags moved = std::move(*original);
    original.reset();
    moved.tagBuffer.fill('x');
    for (const FileTags* t : {&copy, static_cast<const FileTags*>(&moved)}) {
        EXPECT_EQ(rowText(*t, RowTitle), "copied");
        EXPECT_EQ(t->record[RowSampleRate].size, 44100u);
        EXPECT_EQ(t->record[RowDataSize].size, 2u * 417);
    }
}

// What the tags of the cross-check below do not hold.
TEST(Id3FieldText, CommentsPicturesCdIdentifierDataLengthAndWidths)
{
    const QByteArray png("\x89PNG....", 8);
    const std::tuple<int, QByteArray, uint8_t, uint16_t, const char*, int> cases[] = {
        {RowComment, Nul + "eng" + Nul + "text", 3, 0, "text", 256},
        {RowComment, Nul + "eng" + "desc" + Nul, 3, 0, "desc", 256},
        // The data length indicator, of version 4 only.
        {RowTitle, QByteArray("\0\0", 2), 4, 1, "", 256},
        {RowTitle, Nul + "abc", 3, 1, "abc", 256},
        // Pictures: a description without its end, or a MIME text running out, shows none.
        {RowPicture, Nul + "JPG" + "\x03" + "d" + Nul + png, 2, 0, "JPG 8 bytes", 256},
        {RowPicture, Nul + "image/png" + Nul + "\x03" + "no end", 3, 0, "", 256},
        {RowPicture, Nul + "image/png", 3, 0, "", 256},
        {RowPicture, "\x01" "image/png" + Nul + "\x03" + "\xFF\xFE" "a", 3, 0, "", 256},
        {RowCdIdentifier, utf16("12+96+1F00", false, false) + Nul2, 3, 0, "12+96+1F00", 256},
        // Texts that do not fit the caller's field are not shown; formatted ones are cut.
        {RowTitle, Nul + "abcd", 3, 0, "", 4},
        {RowTitle, Nul + "abcd", 3, 0, "abcd", 5},
        {RowPicture, Nul + "JPG" + "\x03" + "d" + Nul + png, 2, 0, "JPG 8", 6},
        // The stream rows are records, never texts here.
        {RowCodec, Nul + "abcdefghijklmnopqrstuvw", 3, 0, "", 256},
    };
    for (const auto& [row, value, kind, flags, text, capacity] : cases) {
        TagRecord r{};
        r[size_t(row)] = ownValue(value, flags);
        QString out = QStringLiteral("stale");
        PictureRef pic;
        EXPECT_EQ(fieldToText(out, capacity, r, row, kind, &pic), int(qstrlen(text))) << value.toHex().constData();
        EXPECT_EQ(out, text) << value.toHex().constData();
        if (row == RowPicture) {
            EXPECT_EQ(pic.bytes(), *text ? png : QByteArray());
        }
    }
}

// Reads the tag back with mutagen (identifiers as stored) and prints the text each row should show:
// the last frame of the row in file order, comments as description:text, pictures as "MIME n bytes".
const char* const MutagenExpected = R"PY(
import re
t = ID3(sys.argv[1], translate=False)
ids = ("TALB TAL TPE1 TP1 TPE2 TP2 TIT2 TT2 TRCK TRK TPOS TPA TYER TYE TCON TCO COMM COM TCOM TCM TENC TEN "
       "TSSE TSS TLEN TLE APIC PIC MCDI MCI").split()
out = [""] * 15
for f in [x for x in t.values() if x.FrameID in ids + ["TDRC"]]:
    fid, text = f.FrameID, (str(f.text[0]) if getattr(f, "text", None) else "")
    row = 6 if fid == "TDRC" else ids.index(fid) // 2
    if fid in ("COMM", "COM"):
        out[row] = f.desc + ":" + text if f.desc and text else (f.desc or text)
    elif fid in ("APIC", "PIC"):
        out[row] = "%s %d bytes" % (f.mime, len(f.data))
    elif fid in ("MCDI", "MCI"):
        s = f.data.split(b"\0")[0]
        out[row] = s.decode() if re.match(rb"^[0-9A-Fa-f]{1,2}\+", s) else "%d bytes" % len(f.data)
    else:
        out[row] = text
print(json.dumps(out))
)PY";

const char* const MutagenWrite = R"PY(
path, ver, enc = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
s = "Ångström café" if enc == 0 else "Ångström – 東京 🎵"
t = ID3()
for frame, text in [(TIT2, s + " title"), (TALB, s + " album"), (TPE1, s + " artist"), (TPE2, "Various"),
                    (TRCK, "3/12"), (TPOS, "1/2"), (TCON, "Rock"), (TCOM, s), (TENC, "enc"),
                    (TSSE, "LAME 3.100 -V2"), (TLEN, "123456"), (TDRC, "2001-05-06")] + [(TYER, "1999")] * (ver == 4):
    t.add(frame(encoding=enc, text=[text]))
t.add(TXXX(encoding=enc, desc="custom", text=["value"]))
t.add(COMM(encoding=enc, lang="eng", desc="first", text=[s + " c1"]))
t.add(COMM(encoding=enc, lang="deu", desc="", text=[s + " c2"]))
t.add(UFID(owner="http://musicbrainz.org", data=b"0123-abcd"))
t.add(APIC(encoding=enc, mime="image/png", type=3, desc=s + " cover", data=b"\x89PNG" + bytes(300)))
t.add(MCDI(data=(b"\x00\x12\x01\x02\x00\x14\x01\x00\x00\x00\x00\x00" if enc % 2 else b"3+96+5A3C+B9F0+12E34\0")))
t.save(path, v2_version=ver)
)PY";

TEST(Id3v2CrossCheck, TagsReadAsMutagenReadsThem)
{
    QTemporaryDir dir;
    const QByteArray audio = test::cbrFrames(8);
    // Version 2.2, which mutagen reads but does not write, and version 2.4 with data length indicators.
    const QByteArray v22 =
        id3Frame(2, "TT2", "\x01" + utf16("Tïtle ✓") + Nul2) + id3Frame(2, "TAL", Nul + "Album") +
        id3Frame(2, "TP1", "\x01" + utf16("Artist", true) + Nul2) +
        id3Frame(2, "COM", Nul + "eng" + "desc" + Nul + "comment") + id3Frame(2, "TYE", Nul + "1987") +
        id3Frame(2, "PIC", Nul + "JPG" + "\x03" + "front" + Nul + "\xFF\xD8\xFF\xE0" + QByteArray(50, 'j')) +
        id3Frame(2, "MCI", "2+96+4F1A+9C40" + Nul) + QByteArray(64, '\0');
    const QByteArray dli = id3Frame(4, "TIT2", QByteArray("\0\0\0\x09", 4) + "\x03" + "Indicated", 0x0001) +
                           id3Frame(4, "TPE1", QByteArray("\0\0\0\x05", 4) + Nul + "Four", 0x0001) +
                           id3Frame(4, "TALB", "\x03" "Plain" + Nul);
    ASSERT_TRUE(test::writeFile(dir.filePath("v22.mp3"), id3Tag(2, v22) + audio));
    ASSERT_TRUE(test::writeFile(dir.filePath("dli.mp3"), id3Tag(4, dli) + audio));
    QStringList names = {"v22.mp3", "dli.mp3"};
    // Versions 3 and 4 written by mutagen in the text encodings each allows.
    for (const auto& [version, encoding] : {std::pair(3, 0), {3, 1}, {4, 0}, {4, 1}, {4, 2}, {4, 3}}) [&] {
        const QString path = dir.filePath(names.emplaceBack(QStringLiteral("v%1_e%2.mp3").arg(version).arg(encoding)));
        ASSERT_TRUE(test::writeFile(path, audio));
        const test::ProcessResult w = test::runPython(test::mutagenPrelude() + MutagenWrite,
                                                      {path, QString::number(version), QString::number(encoding)});
        ASSERT_EQ(w.exitCode, 0) << w.err.constData();
    }();

    for (const QString& name : names) [&] {
        SCOPED_TRACE(name.toStdString());
        FileTags f;
        QByteArray buffer;
        ASSERT_EQ(readFileTags(dir.path(), name, f, buffer), ReadTagsOk);
        const test::ProcessResult r = test::runPython(test::mutagenPrelude() + MutagenExpected, {dir.filePath(name)});
        const QJsonArray expected = QJsonDocument::fromJson(r.out).array();
        ASSERT_EQ(expected.size(), TagFieldRowCount) << r.err.constData();
        for (int row = 0; row < TagFieldRowCount; ++row)
            EXPECT_EQ(rowText(f, row), expected[row].toString()) << "row " << row;
    }();
}

// Tags as collections hold them: an extended header before the frames, unsynchronisation over the
// whole tag (versions 2.2 and 2.3) or frame by frame (2.4). Each file is made here byte by byte
// from frames whose bytes unsynchronisation changes, and read as mutagen reads it.

const char* const MutagenPicture = R"PY(
pics = [f for f in ID3(sys.argv[1], translate=False).values() if f.FrameID in ("APIC", "PIC")]
print(pics[-1].data.hex() if pics else "")
)PY";

struct PlainFrame {
    const char* id4;
    const char* id3;
    QByteArray data;
};

// UTF-16 texts (their marks begin with 0xFF) holding ÿ (0xFF 0x00), Latin-1 ÿÿ and a ÿ at a text's
// end, a picture of JPEG markers ending in 0xFF.
std::vector<PlainFrame> framesWithFF()
{
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\xFF\0\xFF\xFF", 14) + QByteArray(40, 'j') + "\xFF";
    return {
        {"TIT2", "TT2", "\x01" + utf16(QStringLiteral("Tïtle ÿ")) + Nul2},
        {"TPE1", "TP1", QByteArray("\0\xDCn\xEF \xFF\xFF", 7)},
        {"TALB", "TAL", Nul + "Album \xFF"},
        {"COMM", "COM", "\x01" "eng" + utf16("d") + Nul2 + utf16(QStringLiteral("note ÿ")) + Nul2},
        {"TRCK", "TRK", Nul + "3/12"},
        {"APIC", "PIC", Nul + "image/jpeg" + Nul + "\x03" + "cover" + Nul + jpeg},
    };
}

QByteArray plainFrames(uint8_t version, const std::vector<PlainFrame>& frames)
{
    QByteArray body;
    for (const PlainFrame& f : frames) {
        QByteArray data = f.data;
        if (version == 2 && QByteArrayView(f.id4) == "APIC")
            data.replace(1, 11, "JPG"); // version 2 names the image format in 3 characters
        body += id3Frame(version, version == 2 ? f.id3 : f.id4, data);
    }
    return body;
}

QByteArray syncSafe(uint32_t v)
{
    return be32((v & 0x7F) | (v << 1 & 0x7F00) | (v << 2 & 0x7F0000) | (v << 3 & 0x7F000000));
}

// Rows 0 to 14 and the picture's bytes of the file, as this program and mutagen read them.
void expectReadAsMutagen(const QString& path)
{
    SCOPED_TRACE(QFileInfo(path).fileName().toStdString());
    FileTags f;
    QByteArray audio;
    ASSERT_EQ(readFileTags(path, f, audio), ReadTagsOk);
    const test::ProcessResult r = test::runPython(test::mutagenPrelude() + MutagenExpected, {path});
    const QJsonArray expected = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(expected.size(), TagFieldRowCount) << r.err.constData();
    EXPECT_FALSE(expected[RowTitle].toString().isEmpty()); // both reading nothing would prove nothing
    for (int row = 0; row < TagFieldRowCount; ++row)
        EXPECT_EQ(rowText(f, row), expected[row].toString()) << "row " << row;
    const test::ProcessResult p = test::runPython(test::mutagenPrelude() + MutagenPicture, {path});
    ASSERT_EQ(p.exitCode, 0) << p.err.constData();
    QString text;
    PictureRef picture;
    fieldToText(text, 1024, f.record, RowPicture, f.header.version, &picture);
    EXPECT_EQ(picture.bytes().toByteArray().toHex(), p.out.trimmed());
}

TEST(Id3v2StoredForms, ExtendedHeadersAndWholeTagUnsynchronisationReadAsMutagenReadsThem)
{
    QTemporaryDir dir;
    const QByteArray audio = test::cbrFrames(4);
    const QByteArray padding(32, '\0');
    const QByteArray v3 = plainFrames(3, framesWithFF()) + padding;
    const QByteArray v2 = plainFrames(2, framesWithFF()) + padding;
    ASSERT_NE(test::unsynchronise(v3).size(), v3.size()); // the flag really changes bytes here
    const QByteArray crc("\x12\x34\x56\x78", 4);
    const std::pair<const char*, QByteArray> files[] = {
        {"v23_unsync.mp3", id3Tag(3, test::unsynchronise(v3), 0, 0x80)},
        {"v23_ext.mp3", id3Tag(3, be32(6) + Nul2 + be32(32) + v3, 0, 0x40)},
        // The extended header is part of the unsynchronised data.
        {"v23_ext_crc_unsync.mp3", id3Tag(3, test::unsynchronise(be32(10) + "\x80" + Nul + be32(32) + crc + v3), 0, 0xC0)},
        // The flag set with no extended header written: the frames follow the header.
        {"v23_flag_only.mp3", id3Tag(3, v3, 0, 0x40)},
        {"v24_ext.mp3", id3Tag(4, syncSafe(6) + "\x01" + Nul + plainFrames(4, framesWithFF()) + padding, 0, 0x40)},
        {"v22_unsync.mp3", id3Tag(2, test::unsynchronise(v2), 0, 0x80)},
    };
    // mutagen reads the tag's size in bytes after an extended header, running past the tag: zeros
    // after the tag keep those bytes from spoiling its undoing of the unsynchronisation.
    const QByteArray gap(16, '\0');
    for (const auto& [name, tag] : files) [&] {
        ASSERT_TRUE(test::writeFile(dir.filePath(name), tag + gap + audio));
        expectReadAsMutagen(dir.filePath(name));
    }();
}

TEST(Id3v2StoredForms, VersionFourFramesUnsynchronisedOneByOneReadAsMutagenReadsThem)
{
    QTemporaryDir dir;
    const QByteArray audio = test::cbrFrames(4);
    // Each frame unsynchronised with its own flag, every other one behind a data length
    // indicator; then the same bytes under the tag's flag instead, the frames' flags clear.
    QByteArray own, tagWide;
    int i = 0;
    for (const PlainFrame& f : framesWithFF()) {
        const QByteArray stored = test::unsynchronise(f.data);
        const bool indicated = i++ % 2;
        own += id3Frame(4, f.id4, (indicated ? syncSafe(uint32_t(f.data.size())) : QByteArray()) + stored,
                        indicated ? 0x0003 : 0x0002);
        tagWide += id3Frame(4, f.id4, stored);
    }
    ASSERT_TRUE(test::writeFile(dir.filePath("own.mp3"), id3Tag(4, own) + audio));
    ASSERT_TRUE(test::writeFile(dir.filePath("tag_wide.mp3"), id3Tag(4, tagWide + QByteArray(20, '\0'), 0, 0x80) + audio));
    expectReadAsMutagen(dir.filePath("own.mp3"));
    expectReadAsMutagen(dir.filePath("tag_wide.mp3"));
}

TEST(Id3v2StoredForms, TheDumpShowsStoredSizesAndDecodedValues)
{
    const QByteArray title = "\x01" + utf16(QStringLiteral("ÿes")) + Nul2; // FF FE FF 00 65 00 73 00 00 00
    const QByteArray stored = test::unsynchronise(title);
    ASSERT_GT(stored.size(), title.size());
    QString text;
    dumpId3v2(text, TagHeader{4, 0, 0}, id3Frame(4, "TIT2", stored, 0x0002));
    EXPECT_TRUE(text.contains(QStringLiteral("    0 TIT2    %1 0002 1 ÿes\r\n").arg(stored.size()))) << qPrintable(text);
    // A whole unsynchronised tag: the frame's size field counts the decoded bytes.
    text.clear();
    dumpId3v2(text, TagHeader{3, 0, 0x80}, test::unsynchronise(id3Frame(3, "TIT2", title)));
    EXPECT_TRUE(text.contains(QStringLiteral("    0 TIT2    %1 0000 1 ÿes\r\n").arg(title.size()))) << qPrintable(text);
}

// Everything the program does with a tag body, on a copy of exactly its size.
void exerciseBody(const TagHeader& header, const QByteArray& bytes, TagRecord& record)
{
    const QByteArray body(bytes.constData(), bytes.size());
    record = {};
    fillId3Record(header, body, record);
    QString text;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        PictureRef picture;
        fieldToText(text, 256, record, row, header.version, &picture);
        if (!picture.bytes().isEmpty())
            (void)picture.bytes().back();
    }
    dumpId3v2(text, header, body);
}

TEST(Id3v2StoredForms, MalformedExtendedHeadersAndCompressedTagsWalkNothing)
{
    const auto none = [](const TagRecord& r) {
        return std::none_of(r.begin(), r.end(), [](const TagValue& v) { return v.present(); });
    };
    const QByteArray frame3 = id3Frame(3, "TIT2", Nul + "t"), frame4 = id3Frame(4, "TIT2", Nul + "t");
    TagRecord r;
    // Extended header sizes past the tag, too small, or cut: nothing is walked.
    exerciseBody({3, 0, 0x40}, be32(0x7FFFFFF0) + Nul2 + frame3, r);
    EXPECT_TRUE(none(r));
    exerciseBody({3, 0, 0x40}, be32(uint32_t(frame3.size()) + 7) + frame3, r);
    EXPECT_TRUE(none(r));
    exerciseBody({4, 0, 0x40}, syncSafe(0x0FFFFFFF) + "\x01" + Nul + frame4, r);
    EXPECT_TRUE(none(r));
    exerciseBody({4, 0, 0x40}, syncSafe(2) + frame4, r);
    EXPECT_TRUE(none(r));
    exerciseBody({3, 0, 0x40}, QByteArray("\0\0", 2), r);
    EXPECT_TRUE(none(r));
    // An extended header of exactly the tag: no frames, no read past it.
    exerciseBody({4, 0, 0xC0}, syncSafe(6) + "\x01" + Nul, r);
    EXPECT_TRUE(none(r));
    // Version 2's second flag means a compressed tag, whose frames cannot be read.
    exerciseBody({2, 0, 0x40}, id3Frame(2, "TT2", Nul + "x"), r);
    EXPECT_TRUE(none(r));
}

TEST(Id3v2StoredForms, UnsynchronisedEndsAndCutDataLengthIndicatorsReadCleanly)
{
    TagRecord r;
    // A 0xFF as the tag's or a frame's last byte stays a 0xFF.
    exerciseBody({3, 0, 0x80}, id3Frame(3, "TIT2", Nul + "ab\xFF"), r);
    EXPECT_EQ(rowText(FileTags{r, {3, 0, 0x80}, {}}, RowTitle), "abÿ");
    exerciseBody({4, 0, 0}, id3Frame(4, "TIT2", Nul + "cd\xFF", 0x0002), r);
    EXPECT_EQ(rowText(FileTags{r, {4, 0, 0}, {}}, RowTitle), "cdÿ");
    exerciseBody({2, 0, 0x80}, id3Frame(2, "TT2", Nul + "\xFF"), r);
    EXPECT_EQ(rowText(FileTags{r, {2, 0, 0x80}, {}}, RowTitle), "ÿ");
    // A data length indicator cut short gives nothing, unsynchronised or not.
    exerciseBody({4, 0, 0x80}, id3Frame(4, "TIT2", "\xFF\0\xFF", 0x0003), r);
    EXPECT_EQ(rowText(FileTags{r, {4, 0, 0x80}, {}}, RowTitle), "");

    // mutagen agrees on the tag ending in 0xFF.
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeFile(dir.filePath("end.mp3"),
                                id3Tag(3, id3Frame(3, "TIT2", Nul + "ab\xFF"), 0, 0x80) + test::cbrFrames(2)));
    expectReadAsMutagen(dir.filePath("end.mp3"));
}

} // namespace
} // namespace vn
