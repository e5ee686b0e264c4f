#pragma once
// MP4/M4A: the atom tree read into a record (the ilst items and the stream facts) or described as an
// indented text tree for the File Properties window.

#include "containers/read_file_tags.h"
#include "util/byte_reader.h"

#include <QString>
#include <array>
#include <cstdint>
#include <span>

class QIODevice;

namespace vn {

enum Mp4ReadCode : int {
    Mp4Ok = 0,
    Mp4CannotOpen = 1,
    Mp4NoAtoms = 2, // no ftyp, moov or mdat atom at the top: not an MP4 file (what could be read is still given)
};

// Deeper nesting than any real file has is listed without being entered, so hostile files cannot
// exhaust the stack.
inline constexpr int Mp4MaxDepth = 16;

// The state of one walk over an atom tree.
struct Mp4Walk {
    QString* dump = nullptr;     // dump mode when set
    TagRecord* record = nullptr; // record mode when set
    QByteArray buffer;           // the bytes walked, which the record's values share
    std::array<std::array<char, 4>, Mp4MaxDepth> path{}; // atom types from the top down to the current one
    int64_t blockCount = -1;     // the track's sample count once stts or stsz gave it; -1 unknown
    QByteArray freeformName;     // the "name" of the current "----" item
    QByteArray handlerType;      // the current track's hdlr type
    // mdhd values wait for the track's handler: only a sound track may set rows 18 and 19.
    bool haveMediaTimes = false;
    uint32_t mediaTimeScale = 0;
    uint32_t mediaDuration = 0;
};

using Mp4Handler = void (*)(Mp4Walk& walk, ByteReader payload, int depth);

enum Mp4AtomKind : uint8_t {
    Mp4Leaf = 0,        // listed; decoded by its handler when it has one
    Mp4Container = 1,   // payload is a sequence of atoms
    Mp4Decoded = 2,     // leaf with a handler
    Mp4ItemOrText = 3,  // "gnre": an item container under ilst, 3GPP text under udta
};

struct Mp4AtomEntry {
    const char* type; // 4 characters; "\xA9" is the copyright sign byte
    Mp4AtomKind kind;
    Mp4Handler handler;
};

// Every atom type the walk knows, first match wins.
extern const std::span<const Mp4AtomEntry> Mp4AtomTable;

// Parses the atom that starts at parent's cursor and ends within parent. Returns the number of
// bytes it takes (4 for a 32-bit zero, which some writers put where an atom could start), or 0 when
// no atom can be read there.
uint64_t parseAtom(Mp4Walk& walk, const ByteReader& parent, int depth);

// Record mode (dump == nullptr): fills out->record from the last moov atom, out->buffer holds that
// moov, out->audioSize the mdat payload (row 20 too). Dump mode: appends the atom tree to *dump;
// out may then be null.
int readMp4File(QString* dump, const QString& path, ContainerTags* out);
int readMp4Device(QString* dump, QIODevice& device, const QString& displayPath, ContainerTags* out);

} // namespace vn
