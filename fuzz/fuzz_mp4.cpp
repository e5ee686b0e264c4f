// An MP4/M4A file: the atom walk in record mode (the ilst items and the stream facts) and in dump
// mode, and the list row made of the record.

#include "fuzz/fuzz_target.h"

#include "containers/mp4_reader.h"
#include "media/comparison.h"
#include "media/field_to_text.h"

#include <QBuffer>

using namespace vn;

VN_FUZZ_TARGET(mp4)
{
    QByteArray file = fuzz::bytesOf(data, size);
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);

    ContainerTags tags;
    readMp4Device(nullptr, device, QStringLiteral("x.m4a"), &tags);
    // Record mode keeps one moov atom, never more than the file holds.
    FUZZ_CHECK(tags.buffer.size() <= file.size());
    FUZZ_CHECK(tags.audioSize >= 0 && tags.audioSize <= file.size());

    FileTags row;
    row.record = tags.record;
    row.header = TagHeader{KindMp4, 0, 0};
    for (int r = 0; r < TagRowCount; ++r) {
        QString text;
        PictureRef picture;
        fieldToText(text, 1024, row.record, r, KindMp4, &picture);
        FUZZ_CHECK(text.size() < 1024);
    }
    buildListRow(0, QStringLiteral("x.m4a"), row);

    QString dump;
    readMp4Device(&dump, device, QStringLiteral("x.m4a"), nullptr);
    FUZZ_CHECK(dump.size() < 4096 + 64 * qsizetype(size));
    return 0;
}
