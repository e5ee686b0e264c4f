#pragma once
// Turns one value of a record into display text, by the kind of file it came from.

#include "media/tag_record.h"

#include <QString>

namespace vn {

// A picture found inside a value: its bytes (bytes()), sharing the value's buffer or a decoded copy.
using PictureRef = TagValue;

// Writes the text of record[row] into out and returns its length in UTF-16 units; 0 (and an empty
// out) when the value is absent or cannot be shown. capacity counts the terminator, as for the
// callers' fields: a converted text that does not fit gives the empty text. For pictures the bytes
// are also given through picture when it is not null.
int fieldToText(QString& out, int capacity, const TagRecord& record, int row, uint8_t kind,
                PictureRef* picture = nullptr);

// Both branches bound their texts alike: a converted text that does not fit the capacity is not
// shown at all; a formatted one is cut, as a bounded print would. Both return out's length.
int setConverted(QString& out, int capacity, QString text);
int setFormatted(QString& out, int capacity, QString text);

// The ID3v2 branch, kept with the ID3v2 reader.
int fieldToTextId3(QString& out, int capacity, const TagValue& value, int row, uint8_t kind, PictureRef* picture);

} // namespace vn
