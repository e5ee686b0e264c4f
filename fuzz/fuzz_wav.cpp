// A WAV file: the chunk walk to the format and the data, the header dump and the list row.

#include "fuzz/fuzz_target.h"

#include "containers/wav_reader.h"
#include "media/comparison.h"
#include "media/field_to_text.h"

#include <QBuffer>

using namespace vn;

VN_FUZZ_TARGET(wav)
{
    QByteArray file = fuzz::bytesOf(data, size);
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);

    ContainerTags tags;
    const int code = readWavDevice(device, tags);
    if (code != WavOk)
        return 0;
    FUZZ_CHECK(tags.buffer.size() == WavHeaderSize);
    FUZZ_CHECK(tags.audioSize >= 0 && tags.audioSize <= file.size());
    FUZZ_CHECK(tags.audioOffset < 0 || tags.audioOffset + tags.audioSize <= file.size());
    QString dump;
    dumpWavHeader(dump, tags.buffer);
    FUZZ_CHECK(dump.count(QStringLiteral("\r\n")) == 7);

    FileTags row;
    row.record = tags.record;
    row.header = TagHeader{KindWave, 0, 0};
    for (int r = 0; r < TagRowCount; ++r) {
        QString text;
        fieldToText(text, 1024, row.record, r, KindWave);
    }
    buildListRow(0, QStringLiteral("x.wav"), row);
    return 0;
}
