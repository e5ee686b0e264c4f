#pragma once
// What every container reader hands back to the file-tag reader: the record, the buffer the record
// points into, the kind, and where the audio lies when the format says so.

#include "media/tag_record.h"

#include <QByteArray>
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

} // namespace vn
