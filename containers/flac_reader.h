#pragma once
// FLAC: the metadata blocks read into a record (STREAMINFO, VORBIS_COMMENT, PICTURE) or described for
// the File Properties window.

#include "containers/read_file_tags.h"

#include <QString>

class QIODevice;

namespace vn {

enum FlacReadCode : int { FlacOk = 0, FlacCannotOpen = 1, FlacNotFlac = 2 };

// Record mode (dump == nullptr): out->record's values share out->buffer, which holds the bodies of the
// STREAMINFO, VORBIS_COMMENT and PICTURE blocks one after the other; out->audioOffset and
// audioSize give the frames after the last metadata block. Dump mode: appends the block list to
// *dump; out is filled as well when given.
int readFlacFile(QString* dump, const QString& path, ContainerTags* out);
int readFlacDevice(QString* dump, QIODevice& device, const QString& displayPath, ContainerTags* out);

} // namespace vn
