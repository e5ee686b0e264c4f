// A Matroska/WebM file: the element walk with its dump, the tags, cover and stream facts packed as
// the file-tag reader keeps them, and the list row made of them.

#include "fuzz/fuzz_target.h"

#include "containers/matroska.h"
#include "media/comparison.h"
#include "media/field_to_text.h"
#include "media/packed_tags.h"

using namespace vn;

VN_FUZZ_TARGET(matroska)
{
    const QByteArray file = fuzz::bytesOf(data, size);
    MatroskaScan scan;
    QString dump;
    scanMatroska(file, scan, &dump);
    FUZZ_CHECK(dump.size() < 4096 + 256 * qsizetype(size));
    FUZZ_CHECK(scan.fileData.isEmpty() || (scan.fileData.data() >= file.data() &&
                                           scan.fileData.data() + scan.fileData.size() <= file.data() + file.size()));

    const QByteArray packed = packMatroskaTags(scan);
    FileTags row;
    FUZZ_CHECK(unpackTags(packed, row.record));
    row.header = TagHeader{scan.docType == "webm" ? KindWebm : KindMatroska, 0, 0};
    for (int r = 0; r < TagRowCount; ++r) {
        QString text;
        PictureRef picture;
        fieldToText(text, 1024, row.record, r, row.header.version, &picture);
        FUZZ_CHECK(text.size() < 1024);
    }
    buildListRow(0, QStringLiteral("x.mka"), row);
    return 0;
}
