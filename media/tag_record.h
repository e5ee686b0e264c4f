#pragma once
// The per-file record: 21 values indexed by the rows of TagFieldTable, the kind of source they came
// from, and the three ID3v2 header bytes kept per MP3 file.

#include "media/tag_field.h"

#include <QString>
#include <array>
#include <cstdint>

namespace vn {

// One value. data is not owned: it points into the file's tag buffer, a reader's buffer or a
// PackedTags block, which must outlive the record. Rows 15 to 20 may carry numbers in size (and,
// for MP4's maximum bit rate, in number) instead of bytes.
struct TagValue {
    uint32_t size = 0;
    const uint8_t* data = nullptr;
    // ID3v2.3/2.4 frame flags: status byte in the high half, format byte in the low half.
    uint16_t flags = 0;
    // A second number where the record keeps one beside size (MP4 row 17: maximum bit rate).
    uint32_t number = 0;

    bool present() const { return size != 0 && data != nullptr; }
};

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
