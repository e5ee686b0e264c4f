// The record's display texts for the container kinds, the packed form, and the genre list.
#include "media/field_to_text.h"
#include "media/genres.h"
#include "media/packed_tags.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace vn;

namespace {

// An MP4 data-atom payload as the record holds it: type indicator, locale, payload.
QByteArray mp4Value(uint32_t type, const QByteArray& payload)
{
    QByteArray v;
    for (int shift : {24, 16, 8, 0})
        v += char(type >> shift & 0xff);
    v += QByteArray(4, '\0');
    return v + payload;
}

QString text(const QByteArray& value, int row, uint8_t kind, int capacity = 256, PictureRef* pic = nullptr)
{
    TagRecord record{};
    record[size_t(row)] = TagValue{uint32_t(value.size()), reinterpret_cast<const uint8_t*>(value.constData()), 0, 0};
    QString out = QStringLiteral("stale");
    const int n = fieldToText(out, capacity, record, row, kind, pic);
    EXPECT_EQ(n, out.size());
    return out;
}

TEST(FieldToText, Mp4Values)
{
    EXPECT_EQ(text(mp4Value(0, QByteArray("\x00\x01", 2)), RowGenre, KindMp4), QStringLiteral("Blues"));
    EXPECT_EQ(text(mp4Value(0, QByteArray("\x00\xC0", 2)), RowGenre, KindMp4), QStringLiteral("Psybient"));
    EXPECT_EQ(text(mp4Value(0, QByteArray("\x00\xC1", 2)), RowGenre, KindMp4), QStringLiteral("(193)"));
    EXPECT_EQ(text(mp4Value(0, QByteArray("\x00\x00", 2)), RowGenre, KindMp4), QStringLiteral("(0)"));
    EXPECT_EQ(text(mp4Value(0, QByteArray("\x00\x00\x00\x07\x00\x0c\x00\x00", 8)), RowTrack, KindMp4),
              QStringLiteral("7"));
    EXPECT_EQ(text(mp4Value(0, QByteArray("\x00\x00\x00", 3)), RowTrack, KindMp4), QString()); // too short
    EXPECT_EQ(text(mp4Value(1, "Ab\xC3\xA9"), RowTitle, KindMp4), QStringLiteral("Ab\u00e9"));
    EXPECT_EQ(text(mp4Value(13, QByteArray(1234, 'j')), RowPicture, KindMp4), QStringLiteral("JPEG 1234 bytes"));
    PictureRef pic;
    const QByteArray png = mp4Value(14, QByteArray(77, 'p'));
    EXPECT_EQ(text(png, RowPicture, KindMp4, 256, &pic), QStringLiteral("PNG 77 bytes"));
    EXPECT_EQ(pic.size, 77u);
    EXPECT_EQ(pic.data, reinterpret_cast<const uint8_t*>(png.constData()) + 8);
    // Signed big-endian integers of every width; other widths read as 0.
    EXPECT_EQ(text(mp4Value(21, QByteArray("\xff", 1)), RowYear, KindMp4), QStringLiteral("-1"));
    EXPECT_EQ(text(mp4Value(21, QByteArray("\x01\x00", 2)), RowYear, KindMp4), QStringLiteral("256"));
    EXPECT_EQ(text(mp4Value(21, QByteArray("\x80\x00\x00", 3)), RowYear, KindMp4), QStringLiteral("-8388608"));
    EXPECT_EQ(text(mp4Value(21, QByteArray("\x7f\xff\xff\xff", 4)), RowYear, KindMp4), QStringLiteral("2147483647"));
    EXPECT_EQ(text(mp4Value(21, QByteArray(5, '\1')), RowYear, KindMp4), QStringLiteral("0"));
    EXPECT_EQ(text(mp4Value(99, "x"), RowTitle, KindMp4), QString());
    EXPECT_EQ(text(QByteArray("\0\0\0\1", 4), RowTitle, KindMp4), QString()); // no locale bytes
    // A converted text that does not fit the caller's capacity is not shown.
    EXPECT_EQ(text(mp4Value(1, "abcdef"), RowTitle, KindMp4, 6), QString());
    EXPECT_EQ(text(mp4Value(1, "abcde"), RowTitle, KindMp4, 6), QStringLiteral("abcde"));
}

QByteArray flacPicture(const QByteArray& mime, const QByteArray& desc, const QByteArray& data, int lengthDelta = 0)
{
    auto be32 = [](uint32_t v) {
        const char b[4] = {char(v >> 24), char(v >> 16 & 0xff), char(v >> 8 & 0xff), char(v & 0xff)};
        return QByteArray(b, 4);
    };
    return be32(3) + be32(uint32_t(mime.size())) + mime + be32(uint32_t(desc.size())) + desc + QByteArray(16, '\0')
           + be32(uint32_t(data.size() + lengthDelta)) + data;
}

TEST(FieldToText, FlacAndWaveValues)
{
    PictureRef pic;
    const QByteArray block = flacPicture("image/jpeg", "cover", QByteArray(500, 'x'));
    EXPECT_EQ(text(block, RowPicture, KindFlac, 256, &pic), QStringLiteral("image/jpeg 500 bytes"));
    EXPECT_EQ(pic.size, 500u);
    EXPECT_EQ(pic.data[0], 'x');
    // A data length past the block shows nothing rather than reading on.
    EXPECT_EQ(text(flacPicture("image/png", "", QByteArray(10, 'x'), 1), RowPicture, KindFlac), QString());
    EXPECT_EQ(text(block.left(20), RowPicture, KindFlac), QString());
    EXPECT_EQ(text("\xE6\x97\xA5\xE6\x9C\xAC", RowArtist, KindFlac), QStringLiteral("\u65e5\u672c"));
    EXPECT_EQ(text("anything", RowTitle, KindWave), QString());
    EXPECT_EQ(text("anything", RowTitle, 99), QString());
}

TEST(PackedTags, RoundTripWithAndWithoutPicture)
{
    PackedTexts texts;
    texts[RowAlbum] = "Album \xE2\x99\xAA";
    texts[RowTitle] = "Title";
    texts[RowPicture] = "image/png";
    texts[RowDataSize] = "12345";
    const QByteArray picture(300, 'P');
    const QByteArray block = packTags(texts, picture);
    TagRecord record{};
    ASSERT_TRUE(unpackTags(block, record));
    PictureRef pic;
    QString out;
    EXPECT_GT(fieldToText(out, 256, record, RowPicture, KindMatroska, &pic), 0);
    EXPECT_EQ(out, QStringLiteral("image/png 300 bytes"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(pic.data), int(pic.size)), picture);
    fieldToText(out, 256, record, RowAlbum, KindWebm);
    EXPECT_EQ(out, QStringLiteral("Album \u266a"));
    EXPECT_EQ(fieldToText(out, 256, record, RowDataSize, KindMatroska), 0); // shown by the list itself
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(record[RowDataSize].data), 5), QByteArray("12345"));

    // Without a picture the four length bytes are still there.
    texts[RowPicture].clear();
    const QByteArray bare = packTags(texts, {});
    const qsizetype row13End = bare.indexOf(QByteArray("Title", 5)) + 5 + 1 + 9; // title NUL, rows 4..12 NULs
    EXPECT_EQ(bare.mid(row13End + 1, 4), QByteArray(4, '\0'));
    EXPECT_EQ(bare.size(), 21 + 4 + (texts[RowAlbum].size() + 5 + 5));

    // A cut block is refused, and row 13 never points at a picture that is not whole.
    TagRecord cut{};
    EXPECT_FALSE(unpackTags(QByteArrayView(block).first(block.size() - 200), cut));
    EXPECT_FALSE(cut[RowPicture].present());
    TagRecord empty{};
    EXPECT_FALSE(unpackTags(QByteArrayView(), empty));
}

TEST(Genres, MatchTheListIndependentReadersUse)
{
    const auto listed = vn::test::runPython(QStringLiteral(
        "from mutagen._constants import GENRES\nprint('\\n'.join(GENRES))"));
    if (listed.exitCode != 0)
        GTEST_SKIP() << "mutagen not available";
    const QList<QByteArray> names = listed.out.trimmed().split('\n');
    ASSERT_EQ(names.size(), GenreCount);
    for (int i = 0; i < GenreCount; ++i)
        EXPECT_EQ(QByteArray(genreName(i)), names[i]) << i;
    EXPECT_EQ(genreName(-1), nullptr);
    EXPECT_EQ(genreName(GenreCount), nullptr);
}

} // namespace
