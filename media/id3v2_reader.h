#pragma once
// Reading one file of a side into its record: the ID3v2 tag of an MP3 (versions 2, 3 and 4), its
// audio data into the shared buffer, and the decoding of ID3v2 texts.

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

// Everything the side's list keeps per file. The record points into tagBuffer (rows 0 to 14) and,
// once the audio has been analysed, at mpegHeader and mpegInfo (rows 15 to 20); moving the whole
// keeps those pointers right, copying is not offered.
struct FileTags {
    TagRecord record{};
    TagHeader header{};
    QByteArray tagBuffer;      // MP3: the tag body after the 10-byte header
    uint32_t audioOffset = 0;  // MP3: 10 + tag size
    uint32_t audioSize = 0;    // MP3: file length - audio offset; less 128 once an ID3v1 block is split off
    bool audioLoaded = false;  // the audio data stands in the shared buffer
    bool audioAnalysed = false; // analyseFileAudio has run (it lowers audioSize, so only once)
    MpegFrameHeader mpegHeader{};
    MpegStreamInfo mpegInfo{};

    FileTags() = default;
    FileTags(const FileTags&) = delete;
    FileTags& operator=(const FileTags&) = delete;
    FileTags(FileTags&& other) noexcept;
    FileTags& operator=(FileTags&& other) noexcept;
};

// Reads an MP3 file: the ID3v2 tag into the record and the audio data into audioBuffer, the buffer
// shared by every file of both sides, which grows to the largest audio size met and is reused
// otherwise. The MPEG analysis is not run here.
int readMp3FileTags(const QString& path, FileTags& file, QByteArray& audioBuffer);

// The ID3v2 header and tag of an MP3 file, without its audio, into file (header, tag buffer,
// record and audio offset). False when it is not an MP3 with an ID3v2 tag inside its length.
bool readId3TagOnly(const QString& path, FileTags& file);

// Runs the MPEG analysis on the audio that readMp3FileTags left in audioBuffer, for ID3v2 kinds 2 to 4
// (the only ones analysed). Returns false when it was not run.
bool analyseFileAudio(FileTags& file, const QByteArray& audioBuffer);

// The steps of readFileTags on bytes already in memory. id3HeaderCode checks the 10-byte header
// against the file's length and gives code 0, 2, 3 or 4 (the TagHeader and tag size are set on 0).
int id3HeaderCode(QByteArrayView header, uint64_t fileLength, TagHeader& tagHeader, uint32_t& tagSize);
// Walks a tag body and points rows 0 to 14 into it; a later frame for a row replaces an earlier one.
void fillId3Record(uint8_t version, QByteArrayView body, TagRecord& record);

// One frame of a tag body.
struct Id3Frame {
    QByteArrayView id;      // 3 characters in version 2, else 4
    QByteArrayView data;    // the frame body (after the frame header)
    uint16_t flags = 0;     // status byte high, format byte low; 0 in version 2
    uint32_t paddingBefore = 0; // zero bytes skipped since the previous frame
};

// The frame walk of a tag body. Zero bytes between frames are padding. It ends at the body's end,
// at once for a major version other than 2, 3 or 4, and at a frame header or frame that would run
// past the body.
class Id3FrameWalker {
public:
    Id3FrameWalker(uint8_t version, QByteArrayView body);
    bool next(Id3Frame& frame);
    // Zero bytes after the last frame returned.
    uint32_t trailingPadding() const { return padding_; }

private:
    ByteReader in_;
    uint8_t version_;
    uint32_t padding_ = 0;
};

// Frame size of version 4 with the data-length indicator: the value starts 4 bytes later.
inline bool hasDataLengthIndicator(uint8_t version, uint16_t flags) { return version == 4 && (flags & 1); }

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
