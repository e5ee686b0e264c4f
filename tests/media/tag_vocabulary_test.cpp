// The record's display texts for the container kinds (the cases the reader tests of the containers
// do not meet), the packed form, and the genre list.
#include "media/field_to_text.h"
#include "media/genres.h"
#include "media/packed_tags.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace vn;
using vn::test::be32;

namespace {

QString text(const QByteArray& value, int row, uint8_t kind, int capacity = 256)
{
    TagRecord record{};
    record[size_t(row)] = ownValue(value);
    QString out = QStringLiteral("stale");
    const int n = fieldToText(out, capacity, record, row, kind);
    EXPECT_EQ(n, out.size());
    return out;
}

TEST(FieldToText, Mp4NumbersPicturesAndOtherKinds)
{
    // An MP4 data-atom payload as the record holds it: type indicator, locale, payload.
    const auto hex = [](const char* digits) { return QByteArray::fromHex(digits); };
    const std::tuple<int, uint32_t, QByteArray, const char*, int> cases[] = {
        // Genre numbers count from one; outside the list they are shown as numbers.
        {RowGenre, 0, hex("0001"), "Blues", 256},          {RowGenre, 0, hex("00C0"), "Psybient", 256},
        {RowGenre, 0, hex("00C1"), "(193)", 256},          {RowGenre, 0, hex("0000"), "(0)", 256},
        {RowTrack, 0, hex("00000007000C0000"), "7", 256}, {RowTrack, 0, hex("000000"), "", 256}, // too short
        {RowPicture, 13, QByteArray(1234, 'j'), "JPEG 1234 bytes", 256}, {RowTitle, 99, "x", "", 256},
        // Signed big-endian integers of every width; other widths read as 0.
        {RowYear, 21, hex("FF"), "-1", 256},               {RowYear, 21, hex("800000"), "-8388608", 256},
        {RowYear, 21, hex("7FFFFFFF"), "2147483647", 256}, {RowYear, 21, hex("0101010101"), "0", 256},
        // A converted text that does not fit the caller's capacity is not shown.
        {RowTitle, 1, "abcdef", "", 6}, {RowTitle, 1, "abcde", "abcde", 6},
    };
    for (const auto& [row, type, payload, shown, capacity] : cases)
        EXPECT_EQ(text(be32(type) + be32(0) + payload, row, KindMp4, capacity), shown) << payload.toHex().constData();
    EXPECT_EQ(text(be32(1), RowTitle, KindMp4), QString()); // no locale bytes
    EXPECT_EQ(text("anything", RowTitle, KindWave), QString());
    EXPECT_EQ(text("anything", RowTitle, 99), QString());
}

TEST(FieldToText, FlacPictureBounds)
{
    // A FLAC picture whose data length runs past the block, or a block cut short, shows nothing
    // rather than reading on.
    const QByteArray block = be32(3) + be32(9) + "image/png" + be32(0) + QByteArray(16, '\0') + be32(10);
    EXPECT_EQ(text(block + QByteArray(10, 'x'), RowPicture, KindFlac), "image/png 10 bytes");
    EXPECT_EQ(text(block + QByteArray(9, 'x'), RowPicture, KindFlac), QString());
    EXPECT_EQ(text(block.left(20), RowPicture, KindFlac), QString());
}

// The round trip of texts and cover is the Matroska reader's; here the edges of the packed form.
TEST(PackedTags, TextsStopAtANulAndCutBlocksAreRefused)
{
    PackedTexts texts;
    texts[RowTitle] = QByteArray("Ti\0tle", 6); // a NUL would end the text when unpacked: cut there
    texts[RowPicture] = "image/png";
    texts[RowDataSize] = "12345";
    const QByteArray block = packTags(texts, QByteArray(300, 'P'));
    TagRecord record{};
    ASSERT_TRUE(unpackTags(block, record));
    QString out;
    fieldToText(out, 256, record, RowTitle, KindMatroska);
    EXPECT_EQ(out, "Ti");
    EXPECT_EQ(fieldToText(out, 256, record, RowDataSize, KindWebm), 0); // shown by the list itself
    EXPECT_EQ(record[RowDataSize].bytes(), "12345");

    // A cut block is refused, and row 13 never points at a picture that is not whole.
    TagRecord cut{};
    EXPECT_FALSE(unpackTags(block.first(block.size() - 200), cut));
    EXPECT_FALSE(cut[RowPicture].present());
    EXPECT_FALSE(unpackTags(QByteArray(), cut));
}

TEST(Genres, MatchTheListIndependentReadersUse)
{
    const auto listed = vn::test::runPython("from mutagen._constants import GENRES\nprint('\\n'.join(GENRES))");
    ASSERT_EQ(listed.exitCode, 0) << listed.err.constData(); // mutagen is installed by scripts/install-deps
    const QList<QByteArray> names = listed.out.trimmed().split('\n');
    ASSERT_GT(names.size(), 190);
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(QByteArray(genreName(i)), names[i]) << i;
    EXPECT_EQ(genreName(-1), nullptr);
    EXPECT_EQ(genreName(int(names.size())), nullptr); // no more names than mutagen knows
}

} // namespace
