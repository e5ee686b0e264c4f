#pragma once
// The tags of one track as arguments of an outside encoder: from A's record (with its picture, put
// into a temporary file for the tool to read) or from the track's row of the comparison list.

#include "encode/child_process.h"
#include "media/comparison.h"
#include "media/tag_record.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>
#include <memory>

namespace vn {

// The four outside tools, by their EncoderIndex.
enum class CliTool : int {
    Qaac = 3,
    Fdkaac = 4,
    OpusEnc = 5,
    FFmpeg = 6,
};

// The name the status bar and the logs give the tool: "qaac", "fdkaac", "OpusEnc", "FFmpeg".
QString cliToolName(CliTool tool);

// The temporary files of one track, in the TempFile folder under names no other run shares; both
// are removed when the holder goes, whatever happened in between.
struct TrackTempFiles {
    std::unique_ptr<QTemporaryFile> cut;
    std::unique_ptr<QTemporaryFile> picture;

    QString cutPath() const { return cut ? cut->fileName() : QString(); }
    QString picturePath() const { return picture ? picture->fileName() : QString(); }
};

// A new, open temporary file "<folder>/<prefix>XXXXXX<suffix>"; null when it cannot be made. An
// empty folder stands for the system's temporary folder.
std::unique_ptr<QTemporaryFile> makeTempFile(const QString& folder, const QString& prefix, const QString& suffix);

// The picture file extension for a picture's MIME text (or ID3v2.2 image format), as fieldToText
// gives it: "jpg", "png" or "gif".
QString pictureExtension(const QString& mimeOrFormat);

// Writes the picture of the record (row 13) into a new picture file in tempFolder. 1 when written.
int writePictureFile(const TagRecord& record, uint8_t kind, const QString& tempFolder, TrackTempFiles& temp);

// Rows 0 to 9, the disc TOC and the picture of A's record, for qaac, fdkaac and opusenc.
void tagArgsFromRecord(ToolCommand& command, CliTool tool, const TagRecord& record, const QByteArray& discToc,
                       uint8_t kind, const QString& tempFolder, TrackTempFiles& temp);
// Rows 0 to 9 and the disc TOC of A's record for FFmpeg (its picture is an input of its own).
void ffmpegTagArgsFromRecord(ToolCommand& command, const TagRecord& record, uint8_t kind, const QByteArray& discToc);
// Rows 0 to 9 of the track's list row and the disc TOC, for any of the four.
void tagArgsFromList(ToolCommand& command, CliTool tool, const QByteArray& discToc, const ListRow& row);

// The text of a row of the record as the tools receive it.
QString recordText(const TagRecord& record, int row, uint8_t kind);
// The text of a row's list cell as the tools receive it.
QString listText(const ListRow& listRow, int row);

} // namespace vn
