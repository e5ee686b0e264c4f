#include "media/field_to_text.h"

#include "media/genres.h"
#include "util/byte_reader.h"
#include "util/text_codec.h"

namespace vn {

namespace {

int mp4Text(QString& out, int capacity, const TagValue& v, int row, PictureRef* picture)
{
    ByteReader in(v.bytes());
    const uint32_t type = in.be32();
    if (!in.skip(4))
        return setConverted(out, capacity, {});
    const ByteReader payload = in.sub(in.remaining());
    switch (type) {
    case 0: {
        if (row == RowGenre) {
            if (payload.size() < 2)
                break;
            const int g = payload.be16At(0);
            if (g >= 1 && g <= GenreCount)
                return setConverted(out, capacity, QString::fromLatin1(genreName(g - 1)));
            return setFormatted(out, capacity, QStringLiteral("(%1)").arg(g));
        }
        if (payload.size() < 4)
            break;
        return setFormatted(out, capacity, QString::number(payload.be16At(2)));
    }
    case 1:
        return setConverted(out, capacity, decodeText(payload.view(), CpUtf8));
    case 13:
    case 14:
        if (row == RowPicture && picture)
            *picture = valueIn(v.buffer, payload.view());
        return setFormatted(out, capacity,
                            QStringLiteral("%1 %2 bytes").arg(type == 13 ? u"JPEG" : u"PNG").arg(payload.size()));
    case 21: {
        int32_t n = 0;
        if (payload.size() >= 1 && payload.size() <= 4) {
            uint32_t u = 0;
            for (size_t i = 0; i < payload.size(); ++i)
                u = u << 8 | payload.at(i);
            const int shift = int(32 - 8 * payload.size());
            n = int32_t(u << shift) >> shift; // sign-extend from the top byte given
        }
        return setFormatted(out, capacity, QString::number(n));
    }
    default:
        break;
    }
    return setConverted(out, capacity, {});
}

// A PICTURE block: type, MIME, description, four picture fields, then the data's length and bytes.
int flacPictureText(QString& out, int capacity, const TagValue& v, PictureRef* picture)
{
    ByteReader in(v.bytes());
    in.skip(4);
    const QByteArrayView mime = in.take(in.be32());
    in.skip(in.be32()); // description
    in.skip(16);
    const uint32_t length = in.be32();
    const QByteArrayView data = in.take(length);
    if (!in.ok())
        return setConverted(out, capacity, {});
    if (picture)
        *picture = valueIn(v.buffer, data);
    return setConverted(out, capacity, decodeText(mime, CpUtf8) + QStringLiteral(" %1 bytes").arg(length));
}

// Row 13 of a record unpacked from PackedTags: the MIME text, then after its NUL the picture's
// length and bytes, which the unpacking has checked are whole.
int packedPictureText(QString& out, int capacity, const TagValue& v, PictureRef* picture)
{
    ByteReader in(v.buffer);
    in.seek(size_t(v.offset) + v.size + 1);
    const uint32_t length = in.le32();
    const QByteArrayView data = in.take(length);
    if (picture)
        *picture = valueIn(v.buffer, data);
    return setConverted(out, capacity, decodeText(v.bytes(), CpUtf8) + QStringLiteral(" %1 bytes").arg(length));
}

} // namespace

int setConverted(QString& out, int capacity, QString text)
{
    if (capacity <= 0 || text.size() > capacity - 1)
        text.clear();
    out = std::move(text);
    return int(out.size());
}

int setFormatted(QString& out, int capacity, QString text)
{
    if (capacity <= 0)
        text.clear();
    else if (text.size() > capacity - 1)
        text.truncate(capacity - 1);
    out = std::move(text);
    return int(out.size());
}

int fieldToText(QString& out, int capacity, const TagRecord& record, int row, uint8_t kind, PictureRef* picture)
{
    out.clear();
    if (picture)
        *picture = {};
    if (row < 0 || row >= TagRowCount)
        return 0;
    const TagValue& v = record[size_t(row)];
    if (!v.present() || kind == KindWave)
        return 0;
    if (isId3Kind(kind))
        return fieldToTextId3(out, capacity, v, row, kind, picture);
    switch (kind) {
    case KindMp4:
        if (row > RowCdIdentifier) // stream facts are not data atoms; the list shows them itself
            return 0;
        return mp4Text(out, capacity, v, row, picture);
    case KindFlac:
        if (row == RowPicture)
            return flacPictureText(out, capacity, v, picture);
        return setConverted(out, capacity, decodeText(v.bytes(), CpUtf8));
    case KindMatroska:
    case KindWebm:
        if (row > RowCdIdentifier)
            return 0;
        if (row == RowPicture)
            return packedPictureText(out, capacity, v, picture);
        return setConverted(out, capacity, decodeText(v.bytes(), CpUtf8));
    default:
        return 0;
    }
}

} // namespace vn
