#pragma once
// The MP3 part of the File Properties text: a heading, every frame of the ID3v2 tag with the
// contents of the frames the program understands, and the MPEG stream and ID3v1 summary. Lines
// end with "\r\n".

#include "media/mpeg_analysis.h"
#include "media/tag_record.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

namespace vn {

// Clears text and writes the folder and file lines.
void dumpHeading(QString& text, const QString& folder, const QString& file);
// Appends the frame listing of a tag body (the bytes after the 10-byte header): stored frame sizes,
// decoded contents.
void dumpId3v2(QString& text, const TagHeader& header, const QByteArray& body);
// Appends the stream summary and the ID3v1 block.
void dumpMpeg(QString& text, const MpegFrameHeader& header, const MpegStreamInfo& info);

// One entry of a CD table of contents: a sector address and whether the track holds data.
struct TocEntry {
    int64_t address = 0;
    bool dataTrack = false;
};
// Decodes a CD identifier value (either binary layout or the text form) into at most 100 entries;
// an unrecognised value gives none.
std::vector<TocEntry> decodeCdToc(QByteArrayView value);

} // namespace vn
