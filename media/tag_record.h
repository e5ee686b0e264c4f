#pragma once
// The per-file record: 21 values indexed by the rows of TagFieldTable, the kind of source they came
// from, and the three ID3v2 header bytes kept per MP3 file.

#include "media/tag_field.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>

namespace vn {

// One value. Its bytes lie at offset in buffer, an implicitly shared copy of the block its reader
// read (the tag body, a container's atoms, a PackedTags block): the value keeps that block alive,
// so records copy, move and outlive their reader freely, and a later change to the reader's copy
// detaches it without touching the value. Rows 15 to 20 may carry numbers in size (and, for the
// maximum bit rate, in number) with no buffer.
struct TagValue {
    QByteArray buffer;
    uint32_t offset = 0;
    uint32_t size = 0;
    // ID3v2.3/2.4 frame flags: status byte in the high half, format byte in the low half.
    uint16_t flags = 0;
    // A second number where the record keeps one beside size (row 17: maximum bit rate).
    uint32_t number = 0;

    bool present() const { return size != 0 && !buffer.isNull(); }
    // The value's bytes; empty for a number, and for an offset and size that do not fit the buffer.
    QByteArrayView bytes() const;
};

// The value of the bytes part, which should be a view into buffer (it then shares buffer); a part
// lying elsewhere is copied, so a value never refers to bytes it does not hold.
TagValue valueIn(const QByteArray& buffer, QByteArrayView part, uint16_t flags = 0);
// A value of bytes of its own.
TagValue ownValue(QByteArray bytes, uint16_t flags = 0);
// A row carrying numbers rather than bytes.
TagValue numberValue(uint32_t size, uint32_t number = 0);

using TagRecord = std::array<TagValue, TagRowCount>;

// Where a record came from; for MP3 files the ID3v2 major version.
enum TagKind : uint8_t {
    KindWave = 0,
    KindId3v22 = 2,
    KindId3v23 = 3,
    KindId3v24 = 4,
    KindMp4 = 8,
    KindFlac = 16,
    KindMatroska = 32,
    KindWebm = 64,
};

inline bool isId3Kind(uint8_t kind) { return kind == KindId3v22 || kind == KindId3v23 || kind == KindId3v24; }

// The name shown in the "tag ver" column.
QString tagKindName(uint8_t kind);

// The ID3v2 header bytes of an MP3 file; the other readers set only version (their kind).
struct TagHeader {
    uint8_t version = 0;
    uint8_t revision = 0;
    uint8_t flags = 0;
};

} // namespace vn
