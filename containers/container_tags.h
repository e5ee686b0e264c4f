#pragma once
// What every container reader hands back to the file-tag reader: the record, the buffer the record
// points into, the kind, and where the audio lies when the format says so.

#include "media/tag_record.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace vn {

struct ContainerTags {
    TagRecord record{};
    // Owned bytes the record's data pointers point into. Keep it alive as long as the record and do
    // not modify it: a detach would leave the record pointing at the old bytes.
    QByteArray buffer;
    TagHeader header; // header.version holds the TagKind
    qint64 audioOffset = -1; // -1 where the format gives no single audio position
    qint64 audioSize = 0;
};

struct FileTags;

// True for the extensions (lower case, without the dot) a container reader handles.
bool isContainerExtension(const QString& ext);

// Reads a container file into the side's slot with the reader of its extension. The record is
// filled as far as the reader got: the slot counts as read whatever the reader reports.
void readContainerFileTags(const QString& path, const QString& ext, FileTags& file);

} // namespace vn
