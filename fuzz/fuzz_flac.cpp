// A FLAC file: the metadata blocks in record mode and in dump mode, and the list row.

#include "fuzz/fuzz_target.h"

#include "containers/flac_reader.h"
#include "media/comparison.h"
#include "media/field_to_text.h"

#include <QBuffer>

using namespace vn;

VN_FUZZ_TARGET(flac)
{
    QByteArray file = fuzz::bytesOf(data, size);
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);

    ContainerTags tags;
    QString dump;
    const int code = readFlacDevice(&dump, device, QStringLiteral("x.flac"), &tags);
    FUZZ_CHECK(code == FlacOk || code == FlacNotFlac);
    if (code == FlacOk) {
        // The kept blocks are copied once; the audio is what follows the last block.
        FUZZ_CHECK(tags.buffer.size() <= file.size());
        FUZZ_CHECK(tags.audioOffset >= 4 && tags.audioOffset + tags.audioSize <= file.size());
    }
    FUZZ_CHECK(dump.size() < 4096 + 64 * qsizetype(size));

    FileTags row;
    row.record = tags.record;
    row.header = TagHeader{KindFlac, 0, 0};
    for (int r = 0; r < TagRowCount; ++r) {
        QString text;
        PictureRef picture;
        fieldToText(text, 1024, row.record, r, KindFlac, &picture);
        FUZZ_CHECK(text.size() < 1024);
    }
    buildListRow(0, QStringLiteral("x.flac"), row);
    return 0;
}
