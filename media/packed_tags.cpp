#include "media/packed_tags.h"

#include "util/byte_reader.h"

namespace vn {

QByteArray packTags(const PackedTexts& texts, QByteArrayView picture)
{
    QByteArray block;
    for (int row = 0; row < TagRowCount; ++row) {
        // A NUL inside a text would end it early when unpacked; cut it there now.
        const QByteArray& t = texts[size_t(row)];
        const qsizetype nul = t.indexOf('\0');
        block += nul >= 0 ? t.left(nul) : t;
        block += '\0';
        if (row == RowPicture) {
            const uint32_t n = uint32_t(picture.size());
            const char len[4] = {char(n & 0xff), char(n >> 8 & 0xff), char(n >> 16 & 0xff), char(n >> 24)};
            block.append(len, 4);
            block.append(picture);
        }
    }
    return block;
}

bool unpackTags(const QByteArray& block, TagRecord& record)
{
    ByteReader in(block);
    for (int row = 0; row < TagRowCount; ++row) {
        if (in.atEnd())
            return false;
        const QByteArrayView text = in.takeCString();
        // The picture's length and bytes must be whole before row 13 may point at them: readers
        // of row 13 look past its text for them.
        if (row == RowPicture) {
            const uint32_t length = in.le32();
            if (!in.ok() || !in.skip(length))
                return false;
        }
        record[size_t(row)] = valueIn(block, text);
    }
    return in.ok();
}

} // namespace vn
