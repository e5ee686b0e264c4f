#pragma once
// The serialised form of a record: rows 0 to 20 as UTF-8 texts, each ended by a NUL, with the
// picture (a 32-bit little-endian length and its bytes) right after row 13's NUL. Row 13's text is
// the picture's MIME type.

#include "media/tag_record.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>

namespace vn {

using PackedTexts = std::array<QByteArray, TagRowCount>;

QByteArray packTags(const PackedTexts& texts, QByteArrayView picture);

// Sets the record's values as parts of the block, which they share. Returns false when the block
// ends before all 21 rows were found; the rows found so far are set, the rest left empty.
bool unpackTags(const QByteArray& block, TagRecord& record);

} // namespace vn
