// Hostile MP3 input: truncations, sizes past the end, garbage and a seeded mutation loop, run under
// the sanitizers. Every step must end with one of the reader's codes and read nothing outside.

#include "containers/properties.h"
#include "media/field_to_text.h"
#include "media/id3_dump.h"
#include "media/id3v2_reader.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vn {
namespace {

using test::id3Frame;

const QByteArray Nul(1, '\0');

// A tag that holds every frame kind the reader and the dump decode, then audio with a Xing frame
// and an ID3v1 block.
QByteArray richFile(uint8_t version)
{
    const bool v2 = version == 2;
    auto frame = [&](const char* id4, const char* id3, const QByteArray& data, uint16_t flags = 0) {
        return id3Frame(version, v2 ? id3 : id4, data, v2 ? 0 : flags);
    };
    QByteArray body = frame("TIT2", "TT2", "\x01\xFF\xFE" "T\0i\0\0\0", version == 4 ? 0 : 0) +
                      frame("TALB", "TAL", QByteArray("\0\0\0\x03", 4) + Nul + "ab", version == 4 ? 1 : 0) +
                      frame("COMM", "COM", "\x01" "eng\xFF\xFE" "d\0\0\0\xFE\xFF\0t\0\0") +
                      frame("UFID", "UFI", "own" + Nul + "\xE6\x9D\xB1") +
                      frame("APIC", "PIC", v2 ? Nul + "PNG\x03" "d" + Nul + "\x89P" : Nul + "image/png" + Nul + "\x03" "d" + Nul + "\x89P") +
                      frame("MCDI", "MCI", QByteArray("\0\x1A\x01\x02\0\x10\x01\0\0\0\0\0\0\x14\x02\0\0\0\x3A\x98\0\x10\xAA\0\0\0\x75\x30", 28)) +
                      frame("TYER", "TYE", "\x03" "1999") + frame("TDRC", "TDR", Nul + "2001") + QByteArray(40, '\0');
    QByteArray audio = test::cbrFrames(5);
    audio.replace(36, 4, "Info");
    audio[43] = 0x0F;
    audio.replace(36 + 120, 9, "LAME3.100");
    audio += test::id3v1Block("t", "a", "b", "2000", "c", 3, 12);
    return test::id3Tag(version, body) + audio;
}

// Everything the program does with one MP3's bytes, held in memory.
int exercise(QByteArrayView bytes)
{
    TagHeader header;
    uint32_t tagSize = 0;
    const int code = id3HeaderCode(bytes.first(std::min<qsizetype>(bytes.size(), 10)), uint64_t(bytes.size()), header,
                                   tagSize);
    if (code != ReadTagsOk)
        return code;
    // Copies, so the sanitizers see the exact extent of each buffer.
    const QByteArray body = bytes.sliced(10, tagSize).toByteArray();
    QByteArray audio = bytes.sliced(10 + tagSize).toByteArray();
    TagRecord record{};
    fillId3Record(header.version, body, record);
    QString text, out;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        PictureRef pic;
        fieldToText(out, 256, record, row, header.version, &pic);
        if (record[size_t(row)].present())
            decodeCdToc(QByteArrayView(record[size_t(row)].data, record[size_t(row)].size));
    }
    dumpId3v2(text, header, body);
    uint32_t audioSize = uint32_t(audio.size());
    MpegFrameHeader h;
    MpegStreamInfo info;
    analyseMpegStream(audio, audioSize, h, info, record);
    dumpMpeg(text, h, info);
    durationText(info.sampleCount, h.sampleRate);
    bitRateText(info);
    return code;
}

TEST(Mp3Malformed, EveryTruncationGivesACode)
{
    QTemporaryDir dir;
    QByteArray audioBuffer;
    for (uint8_t version : {2, 3, 4}) {
        const QByteArray file = richFile(version);
        const qsizetype tagEnd = file.size() - 5 * 417 - 128;
        // Every cut through the tag and the first frame, then a sample of the rest.
        for (qsizetype n = 0; n <= file.size(); n += n < tagEnd + 500 ? 1 : 29) {
            const QByteArray cut = file.left(n);
            const int code = exercise(cut);
            EXPECT_EQ(code, n < 10 ? ReadTagsTooShort : (n < tagEnd ? ReadTagsTagPastEnd : ReadTagsOk))
                << n;
            if (n % 211 == 0 || n < 12) {
                // The same through the file reader and the properties text.
                test::writeFile(dir.filePath(QStringLiteral("cut.mp3")), cut);
                FileTags f;
                EXPECT_EQ(readFileTags(dir.path(), QStringLiteral("cut.mp3"), f, audioBuffer), code);
                analyseFileAudio(f, audioBuffer);
                QString text, kind;
                dumpFile(dir.filePath(QStringLiteral("cut.mp3")), text, kind);
            }
        }
    }
}

TEST(Mp3Malformed, OversizeLengthsAndGarbage)
{
    // Frame sizes of all ones in every version.
    for (uint8_t version : {2, 3, 4}) {
        QByteArray body = id3Frame(version, version == 2 ? "TT2" : "TIT2", Nul + "x") + QByteArray(20, '\x01');
        for (int i = 3; i < (version == 2 ? 6 : 8); ++i)
            body[i] = char(0xFF);
        EXPECT_EQ(exercise(test::id3Tag(version, body) + test::cbrFrames(1)), ReadTagsOk);
    }
    // A body of nothing but padding, a tag size of 2^28 - 1, frames of 0xFF bytes.
    EXPECT_EQ(exercise(test::id3Tag(3, QByteArray(1000, '\0'))), ReadTagsOk);
    EXPECT_EQ(exercise(QByteArray("ID3\x04\0\0\x7F\x7F\x7F\x7F", 10) + QByteArray(100, 'x')), ReadTagsTagPastEnd);
    EXPECT_EQ(exercise(test::id3Tag(3, {}) + QByteArray(3000, '\xFF')), ReadTagsOk);
    test::SplitMix rng{7};
    for (int i = 0; i < 300; ++i) {
        QByteArray junk(qsizetype(rng.below(3000)), Qt::Uninitialized);
        for (char& c : junk)
            c = char(rng.below(256));
        const QByteArray header = test::id3Tag(uint8_t(rng.below(6)), junk.left(qsizetype(rng.below(1 + uint32_t(junk.size())))));
        exercise(header + junk);
        exercise(junk);
    }
}

TEST(Mp3Malformed, SeededMutationsNeverCrash)
{
    const QByteArray files[] = {richFile(2), richFile(3), richFile(4)};
    test::SplitMix rng{20240611};
    int codes[8] = {};
    constexpr int Mutations = 10000;
    for (int i = 0; i < Mutations; ++i) {
        QByteArray bytes = files[i % 3];
        const int tagEnd = bytes.size() - 5 * 417 - 128;
        const int edits = 1 + int(rng.below(6));
        for (int e = 0; e < edits; ++e) {
            // Mostly in the tag, where the lengths are; sometimes anywhere.
            const uint32_t limit = rng.below(4) ? uint32_t(tagEnd + 64) : uint32_t(bytes.size());
            const qsizetype at = qsizetype(rng.below(limit));
            static const char special[] = {0, char(0xFF), 0x7F, char(0x80), 1, char(0xFE)};
            bytes[at] = rng.below(2) ? char(rng.below(256)) : special[rng.below(6)];
        }
        if (rng.below(10) == 0)
            bytes.truncate(qsizetype(rng.below(uint32_t(bytes.size()))));
        const int code = exercise(bytes);
        ASSERT_GE(code, 0);
        ASSERT_LE(code, 5);
        ++codes[code];
    }
    // The loop reached past the header checks most of the time.
    EXPECT_GT(codes[ReadTagsOk], Mutations / 3);
}

} // namespace
} // namespace vn
