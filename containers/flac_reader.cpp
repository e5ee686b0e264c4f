#include "containers/flac_reader.h"

#include "util/file_name.h"
#include "util/byte_reader.h"
#include "util/text_codec.h"

#include <QFile>
#include <QIODevice>
#include <cstring>
#include <vector>

namespace vn {

namespace {

enum BlockType : uint8_t { StreamInfo = 0, VorbisComment = 4, Picture = 6 };

struct BlockHeader {
    uint8_t type = 0;
    bool last = false;
    uint32_t length = 0;  // as the header says
    qint64 bodyPos = 0;
    qint64 available = 0; // what the file really holds of the body
};

bool kept(uint8_t type)
{
    return type == StreamInfo || type == VorbisComment || type == Picture;
}

QString blockName(uint8_t type)
{
    static const char* const names[] = {"Streaminfo",     "Padding",  "Application", "Seektable",
                                        "Vorbis comment", "Cuesheet", "Picture"};
    if (type < 7)
        return QString::fromLatin1(names[type]);
    return type == 127 ? QStringLiteral("Invalid") : QStringLiteral("Reserved");
}

QString utf8Text(QByteArrayView bytes)
{
    QString s = decodeText(bytes, CpUtf8);
    if (s.size() > 1024)
        s.truncate(1024);
    return s;
}

void put(QString* dump, const QString& text)
{
    if (dump)
        dump->append(text);
}

void decodeStreamInfo(QString* dump, TagRecord* record, ByteReader in)
{
    const uint16_t minBlock = in.be16();
    const uint16_t maxBlock = in.be16();
    const uint32_t minFrame = in.be24();
    const uint32_t maxFrame = in.be24();
    const uint64_t packed = in.be64(); // rate 20, channels-1 3, bits-1 5, total samples 36
    if (!in.ok())
        return; // too short to hold the fields
    const uint32_t rate = uint32_t(packed >> 44);
    const unsigned channels = unsigned((packed >> 41) & 7) + 1;
    const unsigned bits = unsigned((packed >> 36) & 31) + 1;
    const uint64_t total = packed & 0xFFFFFFFFFull;
    put(dump, QString::asprintf(" Minimum block size = %u samples\r\n Maximum block size = %u samples\r\n"
                                " Minimum block size = %u bytes\r\n Maximum block size = %u bytes\r\n"
                                " Sample rate = %u Hz\r\n Channels = %u\r\n Bits per sample = %u\r\n"
                                " Total number of interchannel samples = %llu\r\n",
                                minBlock, maxBlock, minFrame, maxFrame, rate, channels, bits,
                                (unsigned long long)total));
    if (record) {
        (*record)[RowBitsPerSample] = numberValue(bits);
        (*record)[RowBitrate] = numberValue(0);
        (*record)[RowSampleRate] = numberValue(rate);
        (*record)[RowDuration] = numberValue(uint32_t(total));
    }
}

void decodeComments(QString* dump, TagRecord* record, const QByteArray& buffer, ByteReader in)
{
    const uint32_t vendorLength = in.le32();
    const QByteArrayView vendor = in.take(vendorLength);
    if (!in.ok())
        return;
    put(dump, QStringLiteral(" Vendor Comment:'") + utf8Text(vendor) + QStringLiteral("'\r\n"));
    if (record) {
        (*record)[RowCodec] = valueIn(buffer, vendor);
    }
    const uint32_t count = in.le32();
    for (uint32_t k = 0; k < count && in.remaining() >= 4; ++k) {
        const uint32_t length = in.le32();
        const QByteArrayView comment = in.take(length);
        if (!in.ok())
            break;
        put(dump, QString::asprintf(" Comment-%02u:'", k) + utf8Text(comment) + QStringLiteral("'\r\n"));
        const qsizetype eq = comment.indexOf('=');
        if (!record || eq < 0) // not a NAME=value comment
            continue;
        const QByteArrayView name = comment.first(eq);
        for (int row = 0; row < TagFieldRowCount; ++row) {
            const QByteArrayView vorbis(TagFieldTable[size_t(row)].vorbisName);
            if (!vorbis.isEmpty() && name.compare(vorbis, Qt::CaseInsensitive) == 0) {
                (*record)[size_t(row)] = valueIn(buffer, comment.sliced(eq + 1));
            }
        }
    }
}

void decodePicture(QString* dump, TagRecord* record, const QByteArray& buffer, ByteReader in)
{
    const uint32_t type = in.be32();
    const QByteArrayView mime = in.take(in.be32());
    const QByteArrayView description = in.take(in.be32());
    const uint32_t width = in.be32();
    const uint32_t height = in.be32();
    const uint32_t depth = in.be32();
    const uint32_t colours = in.be32();
    const uint32_t length = in.be32();
    in.skip(length);
    if (!in.ok())
        return; // a length runs past the block
    put(dump, QString::asprintf(" picture type:%u\r\n", type) + QStringLiteral(" media type:'") + utf8Text(mime) +
                  QStringLiteral("'\r\n description:'") + utf8Text(description) +
                  QString::asprintf("'\r\n width :%u pixels\r\n height:%u pixels\r\n color depth:%u bits/pixels\r\n"
                                    " number of colors used:%u\r\n length of picture data:%u bytes\r\n",
                                    width, height, depth, colours, length));
    // The whole block is the value, so that whoever reads the picture out of it stays within it.
    if (record)
        (*record)[RowPicture] = valueIn(buffer, in.view());
}

} // namespace

int readFlacDevice(QString* dump, QIODevice& device, const QString& displayPath, ContainerTags* out)
{
    const qint64 length = device.size();
    if (dump)
        dump->append(displayPath + QString::asprintf(" %lld bytes\r\n", (long long)length));
    if (!device.seek(0) || device.read(4) != "fLaC")
        return FlacNotFlac;

    // First pass: the block headers, to size one buffer for the blocks that are kept.
    std::vector<BlockHeader> blocks;
    qint64 pos = 4;
    qint64 keptSize = 0;
    for (;;) {
        if (!device.seek(pos))
            break;
        const QByteArray head = device.read(4);
        if (head.size() < 4)
            break;
        ByteReader h(head);
        const uint8_t first = h.u8();
        BlockHeader b;
        b.type = first & 0x7f;
        b.last = first & 0x80;
        b.length = h.be24();
        b.bodyPos = pos + 4;
        b.available = std::min<qint64>(b.length, length - b.bodyPos);
        blocks.push_back(b);
        if (kept(b.type))
            keptSize += b.available;
        pos = b.bodyPos + b.available;
        if (b.last || b.available < qint64(b.length))
            break;
    }
    const qint64 audioSize = std::max<qint64>(0, length - pos);

    // Second pass: the kept bodies into one buffer, which the record's values then share.
    QByteArray buffer(keptSize, '\0');
    std::vector<qint64> starts;
    qint64 filled = 0;
    for (const BlockHeader& b : blocks) {
        starts.push_back(filled);
        if (!kept(b.type))
            continue;
        QByteArray body;
        if (device.seek(b.bodyPos))
            body = device.read(b.available);
        std::memcpy(buffer.data() + filled, body.constData(), size_t(body.size()));
        filled += body.size();
    }
    buffer.truncate(filled);
    TagRecord record{};
    TagRecord* rec = out ? &record : nullptr;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const BlockHeader& b = blocks[i];
        put(dump, QString::asprintf("Type-%u(", b.type) + blockName(b.type) +
                      QString::asprintf(") %u bytes <%d>\r\n", b.length, b.last ? 1 : 0));
        if (!kept(b.type))
            continue;
        const qint64 end = i + 1 < blocks.size() ? starts[i + 1] : filled;
        const ByteReader in(QByteArrayView(buffer).sliced(starts[i], end - starts[i]));
        switch (b.type) {
        case StreamInfo: decodeStreamInfo(dump, rec, in); break;
        case VorbisComment: decodeComments(dump, rec, buffer, in); break;
        case Picture: decodePicture(dump, rec, buffer, in); break;
        default: break;
        }
    }
    if (out) {
        record[RowDataSize] = numberValue(uint32_t(std::min<qint64>(audioSize, 0xffffffff)));
        out->record = record;
        out->buffer = std::move(buffer);
        out->header = TagHeader{KindFlac, 0, 0};
        out->audioOffset = pos;
        out->audioSize = audioSize;
    }
    return FlacOk;
}

int readFlacFile(QString* dump, const QString& path, ContainerTags* out)
{
    QFile file;
    if (!openForReading(file, path, true))
        return FlacCannotOpen;
    return readFlacDevice(dump, file, path, out);
}

} // namespace vn
