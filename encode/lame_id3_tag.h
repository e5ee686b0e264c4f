#pragma once
// The ID3v2 tag in front of each encoded MP3: A's own frames (in A's tag version) or the list's
// texts and A's picture (in version 2.3), and always the encoder's four frames, TENC, TSSE, TLEN
// and MCDI.

#include "media/comparison.h"

#include <QByteArray>
#include <QString>

namespace vn {

struct LameTagSource {
    uint8_t version = 3;
    uint8_t revision = 0;
    uint8_t flags = 0;
    // A is an MP3 and the run is not a B-tags run: rows 0 to 9 and 13 are A's frames, copied.
    const FileTags* copyFrom = nullptr;
    // Otherwise rows 0 to 9 are the texts of this list row,
    const ListRow* listRow = nullptr;
    // and the picture comes from this record (A not an MP3); none in a B-tags run.
    const TagRecord* pictureRecord = nullptr;
    uint8_t pictureKind = 0;

    QString encodedBy;       // TENC
    QString encoderSettings; // TSSE
    QString length;          // TLEN
    QByteArray discToc;      // MCDI
};

// Texts of rows 0 to 9 taken from the list are cut to this many characters.
inline constexpr int LameListTextLimit = 2047;

// The MIME type a picture's description text names ("image/png 123 bytes", "PNG 123 bytes"):
// JPEG, PNG or GIF; empty for any other.
QByteArray pictureMimeType(const QString& text);

// One text frame: the encoding byte (none for the CD identifier), "eng" or "jpn" for a comment,
// then the text and its terminator, 8-bit when every character is below 0x80, else UTF-16 with a
// byte-order mark.
void writeTextFrame(QByteArray& out, uint8_t version, int row, const QString& text);
// A frame header of the version for the row's frame identifier.
void writeFrameHeader(QByteArray& out, uint8_t version, int row, uint32_t size);
// An ID3v2.3 APIC frame with the record's picture as the front cover; nothing when the record has
// no picture bytes.
void writePictureFrame(QByteArray& out, const TagRecord& record, uint8_t kind);

// The whole tag: header, frames, then id3Padding's zeros for the block size and minimum padding.
// Empty when the frames do not fit the tag's size field.
QByteArray lameId3Tag(const LameTagSource& source, int blockSize, int minPadding);

} // namespace vn
