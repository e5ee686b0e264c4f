// An MP3 file held in memory: the ID3v2 header and frames, every row's text (pictures and CD
// identifiers included), the MPEG stream walk with its Xing/LAME header and ID3v1 block, the list
// row and the File Properties text.

#include "fuzz/fuzz_target.h"

#include "media/comparison.h"
#include "media/field_to_text.h"
#include "media/id3_dump.h"
#include "media/id3v2_reader.h"

using namespace vn;

VN_FUZZ_TARGET(id3)
{
    const QByteArray file = fuzz::bytesOf(data, size);
    FileTags tags;
    TagHeader header;
    uint32_t tagSize = 0;
    QByteArrayView audio = file;
    if (id3HeaderCode(file.first(std::min<qsizetype>(10, file.size())), size, header, tagSize) == ReadTagsOk) {
        FUZZ_CHECK(10 + uint64_t(tagSize) <= size);
        tags.header = header;
        tags.tagBuffer = file.mid(10, tagSize);
        fillId3Record(header, tags.tagBuffer, tags.record);
        audio = QByteArrayView(file).sliced(10 + tagSize);
    }
    tags.audioSize = uint32_t(audio.size());
    analyseMpegStream(audio, tags.audioSize, tags.mpegHeader, tags.mpegInfo, tags.record);
    FUZZ_CHECK(tags.audioSize <= uint32_t(audio.size()));
    FUZZ_CHECK(tags.mpegInfo.dataSize <= tags.audioSize);

    for (int row = 0; row < TagRowCount; ++row) {
        QString text;
        PictureRef picture;
        const int n = fieldToText(text, 1024, tags.record, row, tags.header.version, &picture);
        FUZZ_CHECK(n == text.size() && n < 1024);
    }
    const ListRow row = buildListRow(0, QStringLiteral("x.mp3"), tags);
    FUZZ_CHECK(row[0] == u"A1");

    QString dump;
    dumpHeading(dump, QStringLiteral("/a"), QStringLiteral("x.mp3"));
    dumpId3v2(dump, tags.header, tags.tagBuffer);
    dumpMpeg(dump, tags.mpegHeader, tags.mpegInfo);
    // The dump grows with the tag, never faster than a fixed number of characters per byte.
    FUZZ_CHECK(dump.size() < 4096 + 64 * qsizetype(size));
    return 0;
}
