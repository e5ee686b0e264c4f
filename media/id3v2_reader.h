#pragma once
// Reading one file of a side into its record: the ID3v2 tag of an MP3 (versions 2, 3 and 4), the
// walk over its audio, and the decoding of ID3v2 texts.

#include "media/mpeg_analysis.h"
#include "media/tag_record.h"
#include "util/byte_reader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

namespace vn {

enum ReadTagsCode : int {
    ReadTagsOk = 0,
    ReadTagsCannotOpen = 1,   // unknown extension, or the MP3 cannot be read
    ReadTagsTooShort = 2,     // shorter than the 10-byte ID3v2 header
    ReadTagsNoId3v2 = 3,      // does not begin with "ID3"
    ReadTagsTagPastEnd = 4,   // shorter than 10 + tag size
    ReadTagsNoMemory = 5,     // no memory for the tag body
};

// The file a record was read from, as it stood then: Replace Tags copies B's audio only from the
// very file the comparison read.
struct FileStamp {
    uint64_t size = 0;
    int64_t modifiedNs = 0; // modification time, nanoseconds since the epoch
    bool operator==(const FileStamp&) const = default;
};

// Everything the side's list keeps per file. The record's values share tagBuffer (rows 0 to 14,
// or a decoded copy of it) and carry the numbers of rows 15 to 20 themselves, so a FileTags copies
// and moves like any value.
struct FileTags {
    TagRecord record{};
    TagHeader header{};
    QByteArray tagBuffer;      // MP3: the tag body after the 10-byte header, as stored
    uint32_t audioOffset = 0;  // MP3: 10 + tag size
    uint32_t audioSize = 0;    // MP3: file length - audio offset; less 128 once an ID3v1 block is split off
    bool audioAnalysed = false; // the MPEG walk has run over the audio
    FileStamp stamp{};         // MP3: the file read
    MpegFrameHeader mpegHeader{};
    MpegStreamInfo mpegInfo{};
};

// The size of the pieces an MP3 is read in: the reader's buffer stays in the processor's cache,
// so the walk over a piece finds it there.
inline constexpr qsizetype Mp3ReadPiece = qsizetype(1) << 17;

// Reads an MP3 file from start to end once, through readBuffer (a buffer of a few pieces' size,
// kept by the caller and reused for every file): the ID3v2 tag into the record and, for ID3v2
// versions 2 to 4, the MPEG walk over the audio as it passes (rows 15 to 20, mpegHeader,
// mpegInfo). A file that cannot be read to its end is walked as far as it was read.
int readMp3FileTags(const QString& path, FileTags& file, QByteArray& readBuffer);

// The ID3v2 header and tag of an MP3 file, without its audio, into file (header, tag buffer,
// record, audio offset and stamp). False when it is not an MP3 with an ID3v2 tag inside its length.
bool readId3TagOnly(const QString& path, FileTags& file);

// The steps of readFileTags on bytes already in memory. id3HeaderCode checks the 10-byte header
// against the file's length and gives code 0, 2, 3 or 4 (the TagHeader and tag size are set on 0).
int id3HeaderCode(QByteArrayView header, uint64_t fileLength, TagHeader& tagHeader, uint32_t& tagSize);
// Walks a tag body (the bytes after the 10-byte header) and sets rows 0 to 14 from its frames; a
// later frame for a row replaces an earlier one. The values share body, or the decoded copy the
// walk made of it.
void fillId3Record(const TagHeader& header, const QByteArray& body, TagRecord& record);

// ID3v2 header flags: the whole tag is unsynchronised (in version 4: every frame is), and an
// extended header comes first (in version 2 the second flag means a compressed tag).
inline constexpr uint8_t Id3TagUnsynchronised = 0x80;
inline constexpr uint8_t Id3TagExtendedHeader = 0x40;
// Version 4 frame format flags: the frame is unsynchronised, a data length indicator leads it.
inline constexpr uint16_t Id3FrameUnsynchronised = 0x0002;
inline constexpr uint16_t Id3FrameDataLength = 0x0001;

// One frame of a tag body.
struct Id3Frame {
    QByteArrayView id;      // 3 characters in version 2, else 4; within the walker's bytes()
    QByteArrayView data;    // the frame body as stored after the frame header; within bytes()
    uint16_t flags = 0;     // status byte high, format byte low; 0 in version 2
    uint32_t paddingBefore = 0; // zero bytes skipped since the previous frame
};

// The frame walk of a tag body. What it walks, bytes(), is the body made plain: de-unsynchronised
// when the whole tag was (versions 2 and 3), and in version 4 under the tag's unsynchronisation
// flag with each frame's own unsynchronisation flag set, so that every frame says how it is
// stored. An extended header is skipped. Zero bytes between frames are padding. The walk ends at
// the end, at once for a major version other than 2, 3 or 4, for a compressed version 2 tag and
// for an extended header claiming more than the tag, and at a frame header or frame that would
// run past the end.
class Id3FrameWalker {
public:
    Id3FrameWalker(const TagHeader& header, const QByteArray& body);
    bool next(Id3Frame& frame);
    // Zero bytes after the last frame returned.
    uint32_t trailingPadding() const { return padding_; }
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    ByteReader in_;
    uint8_t version_;
    uint32_t padding_ = 0;
};

// A frame's content: its body after the data length indicator, with the frame's own
// unsynchronisation undone (version 4). It shares frame's buffer when nothing had to change.
// Empty when a data length indicator is announced but missing.
TagValue id3FrameContent(uint8_t version, const TagValue& frame);

inline constexpr int Id3TextMaxUnits = 511;

// Decodes value[textOffset..] by the encoding byte value[0] (0 ISO-8859-1, 1 UTF-16 with marks,
// 2 UTF-16BE, 3 UTF-8). out holds the whole text, NULs between strings included; the result is the
// number of units before the first NUL. At most maxUnits units: a longer UTF-16 text is cut there,
// a longer 8-bit text gives the empty text, as does an unknown encoding.
int id3TextToWide(QString& out, QByteArrayView value, int textOffset, int maxUnits = Id3TextMaxUnits);

// The parts of a picture frame (APIC, or PIC in version 2 with its 3-character image format in
// mime). description excludes its terminator. False when the MIME text or the description runs
// past the value or the encoding is unknown.
struct Id3Picture {
    uint8_t encoding = 0;
    QByteArrayView mime;
    uint8_t type = 0;
    QByteArrayView description;
    QByteArrayView data;
};
bool parseId3Picture(QByteArrayView value, bool version2, Id3Picture& picture);

// How a CD identifier value is written: one or two hexadecimal digits and "+" as 8-bit text, as
// UTF-16 (little-endian) text, or neither (the binary table of contents).
enum class McdiForm { Binary, Text8, Text16 };
McdiForm mcdiForm(QByteArrayView value);
// The text of a text-form CD identifier, up to its NUL.
QString mcdiText(QByteArrayView value, McdiForm form);

} // namespace vn
