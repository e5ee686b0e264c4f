#pragma once
// Reading one file of a side into its record, with the reader of its extension: MP3 (ID3v2), MP4,
// FLAC, Matroska/WebM and WAV. And what every container reader hands back: the record, the block
// its values were read from, the kind, and where the audio lies when the format says so.

#include "media/tag_record.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace vn {

struct ContainerTags {
    TagRecord record{};
    // The block the reader read the record from; the values share it and keep it alive themselves.
    QByteArray buffer;
    TagHeader header; // header.version holds the TagKind
    qint64 audioOffset = -1; // -1 where the format gives no single audio position
    qint64 audioSize = 0;
};

struct FileTags;

// True for the extensions (lower case, without the dot) a container reader handles.
bool isContainerExtension(const QString& ext);

// Reads the file by its extension (ignoring case) into the side's slot; a ReadTagsCode. An MP3 is
// read by readMp3FileTags (through readBuffer, which the caller keeps for the next file). A
// container's record is filled as far as its reader got: the slot counts as read whatever the
// reader reports once the file is open; one that cannot be opened, and other extensions, give
// ReadTagsCannotOpen.
int readFileTags(const QString& path, FileTags& file, QByteArray& readBuffer);
int readFileTags(const QString& folder, const QString& fileName, FileTags& file, QByteArray& readBuffer);

// Why readFileTags could not read the file at path (its row says "unreadable"), for a message:
// the system's error text, or what is wrong with its tag. Empty when the file reads now.
QString readTagsProblem(const QString& path);

} // namespace vn
