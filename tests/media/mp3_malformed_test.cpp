// Hostile MP3 input: truncations, sizes past the end, garbage and a seeded mutation loop, run under
// the sanitizers. Every step must end with one of the reader's codes and read nothing outside.

#include "containers/properties.h"
#include "containers/read_file_tags.h"
#include "media/field_to_text.h"
#include "media/id3_dump.h"
#include "media/id3v2_reader.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vn {
namespace {

using test::id3Frame;

const QByteArray Nul(1, '\0');

// A tag that holds every frame kind the reader and the dump decode, then audio with a Xing frame
// and an ID3v1 block.
QByteArray richFile(uint8_t version, uint8_t flags = 0)
{
    const bool v2 = version == 2;
    auto frame = [&](const char* id4, const char* id3, const QByteArray& data, uint16_t flags = 0) {
        return id3Frame(version, v2 ? id3 : id4, data, v2 ? 0 : flags);
    };
    const QByteArray apic = (v2 ? "PNG" : "image/png" + Nul) + "\x03" "d" + Nul + "\x89P";
    const QByteArray body =
        frame("TIT2", "TT2", QByteArray("\x01\xFF\xFE" "T\0i\0\0\0", 9)) +
        frame("TALB", "TAL", QByteArray("\0\0\0\x03", 4) + Nul + "ab", version == 4 ? 1 : 0) +
        frame("COMM", "COM", QByteArray("\x01" "eng\xFF\xFE" "d\0\0\0\xFE\xFF\0t\0\0", 16)) +
        frame("UFID", "UFI", "own" + Nul + "\xE6\x9D\xB1") + frame("APIC", "PIC", Nul + apic) +
        frame("MCDI", "MCI", QByteArray::fromHex("001A010200100100000000000014020000003A980010AA0000007530")) +
        frame("TYER", "TYE", "\x03" "1999") + frame("TDRC", "TDR", Nul + "2001") + QByteArray(40, '\0');
    QByteArray audio = test::cbrFrames(5);
    audio.replace(36, 4, "Info").replace(36 + 120, 9, "LAME3.100");
    audio[43] = 0x0F;
    return test::id3Tag(version, body, 0, flags) + audio + test::id3v1Block("t", "a", "b", "2000", "c", 3, 12);
}

// Everything the program does with one MP3's bytes, held in memory.
int exercise(QByteArrayView bytes)
{
    TagHeader header;
    uint32_t tagSize = 0;
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), 10));
    if (const int code = id3HeaderCode(head, uint64_t(bytes.size()), header, tagSize))
        return code;
    // Copies, so the sanitizers see the exact extent of each buffer.
    const QByteArray body = bytes.sliced(10, tagSize).toByteArray();
    QByteArray audio = bytes.sliced(10 + tagSize).toByteArray();
    TagRecord record{};
    fillId3Record(header, body, record);
    QString text, out;
    PictureRef pic;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        fieldToText(out, 256, record, row, header.version, &pic);
        if (const TagValue& v = record[size_t(row)]; v.present())
            decodeCdToc(v.bytes());
    }
    dumpId3v2(text, header, body);
    uint32_t audioSize = uint32_t(audio.size());
    MpegFrameHeader h;
    MpegStreamInfo info;
    analyseMpegStream(audio, audioSize, h, info, record);
    dumpMpeg(text, h, info);
    durationText(info.sampleCount, h.sampleRate);
    bitRateText(info);
    return ReadTagsOk;
}

TEST(Mp3Malformed, EveryTruncationGivesACode)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.mp3"));
    QByteArray readBuffer;
    for (uint8_t version : {2, 3, 4}) {
        const QByteArray file = richFile(version);
        const qsizetype tagEnd = file.size() - 5 * 417 - 128;
        // Every cut through the tag and the first frame, then a sample of the rest.
        for (qsizetype n = 0; n <= file.size(); n += n < tagEnd + 500 ? 1 : 29) {
            const QByteArray cut = file.left(n);
            const int code = exercise(cut);
            EXPECT_EQ(code, n < 10 ? ReadTagsTooShort : (n < tagEnd ? ReadTagsTagPastEnd : ReadTagsOk)) << n;
            if (n % 211 == 0 || n < 12) { // the same through the file reader and the properties text
                test::writeFile(path, cut);
                FileTags f;
                EXPECT_EQ(readFileTags(path, f, readBuffer), code);
                EXPECT_EQ(f.audioAnalysed, code == ReadTagsOk);
                QString text, kind;
                dumpFile(path, text, kind);
            }
        }
    }
}

TEST(Mp3Malformed, OversizeLengthsGarbageAndSeededMutationsNeverCrash)
{
    // Frame sizes of all ones in every version.
    for (uint8_t version : {2, 3, 4}) {
        QByteArray body = id3Frame(version, version == 2 ? "TT2" : "TIT2", Nul + "x") + QByteArray(20, '\x01');
        body.replace(3, version == 2 ? 3 : 4, QByteArray(version == 2 ? 3 : 4, '\xFF'));
        EXPECT_EQ(exercise(test::id3Tag(version, body) + test::cbrFrames(1)), ReadTagsOk);
    }
    // A body of nothing but padding, a tag size of 2^28 - 1, frames of 0xFF bytes.
    EXPECT_EQ(exercise(test::id3Tag(3, QByteArray(1000, '\0'))), ReadTagsOk);
    EXPECT_EQ(exercise(QByteArray("ID3\x04\0\0\x7F\x7F\x7F\x7F", 10) + QByteArray(100, 'x')), ReadTagsTagPastEnd);
    EXPECT_EQ(exercise(test::id3Tag(3, {}) + QByteArray(3000, '\xFF')), ReadTagsOk);
    test::SplitMix rng{7};
    for (int i = 0; i < 300; ++i) {
        QByteArray junk;
        for (uint32_t n = rng.below(3000); n > 0; --n)
            junk += char(rng.below(256));
        for (const QByteArray& bytes : {test::id3Tag(uint8_t(rng.below(6)), junk.left(rng.below(1 + uint32_t(junk.size())))) + junk, junk}) {
            const int code = exercise(bytes);
            ASSERT_TRUE(code >= ReadTagsOk && code <= ReadTagsNoMemory) << code;
        }
    }

    // Seeded edits of the rich files, then a cut now and then; also under the unsynchronisation and
    // extended header flags, where an edit may make the frames' first bytes an extended header.
    const QByteArray files[] = {richFile(2), richFile(3), richFile(4), richFile(2, 0x80), richFile(3, 0xC0), richFile(4, 0xC0)};
    rng = {20240611};
    int codes[8] = {};
    constexpr int Mutations = 10000;
    for (int i = 0; i < Mutations; ++i) {
        QByteArray bytes = files[i % 6];
        const int tagEnd = bytes.size() - 5 * 417 - 128;
        for (int edits = 1 + int(rng.below(6)); edits > 0; --edits) {
            // Mostly in the tag, where the lengths are; sometimes anywhere.
            const qsizetype at = rng.below(rng.below(4) ? uint32_t(tagEnd + 64) : uint32_t(bytes.size()));
            static const char special[] = {0, char(0xFF), 0x7F, char(0x80), 1, char(0xFE)};
            bytes[at] = rng.below(2) ? char(rng.below(256)) : special[rng.below(6)];
        }
        if (rng.below(10) == 0)
            bytes.truncate(qsizetype(rng.below(uint32_t(bytes.size()))));
        const int code = exercise(bytes);
        ASSERT_TRUE(code >= ReadTagsOk && code <= ReadTagsNoMemory) << code;
        ++codes[code];
    }
    // The loop reached past the header checks most of the time.
    EXPECT_GT(codes[ReadTagsOk], Mutations / 3);
}

} // namespace
} // namespace vn
