#include "containers/wav_reader.h"

#include "util/file_name.h"
#include "util/byte_reader.h"

#include <QFile>
#include <QIODevice>
#include <QtEndian>

namespace vn {

namespace {

void putLe32(QByteArray& b, int at, uint32_t v)
{
    qToLittleEndian(v, b.data() + at);
}

} // namespace

int readWavDevice(QIODevice& device, ContainerTags& out)
{
    const qint64 length = device.size();
    if (!device.seek(0))
        return WavNotWave;
    const QByteArray riff = device.read(12);
    if (riff.size() == 12 && (riff.startsWith("RF64") || riff.startsWith("BW64")) && riff.mid(8, 4) == "WAVE")
        return WavRf64;
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        return WavNotWave;

    QByteArray header(WavHeaderSize, '\0');
    std::memcpy(header.data(), riff.constData(), 12);
    bool haveFormat = false;
    bool haveData = false;
    qint64 dataPos = 0;
    uint32_t dataSize = 0;
    // Chunks may come in any order with others (LIST, fact, JUNK, ...) between them; walk to "data".
    qint64 pos = 12;
    while (pos + 8 <= length && device.seek(pos)) {
        const QByteArray head = device.read(8);
        if (head.size() < 8)
            break;
        ByteReader h(head);
        const QByteArrayView id = h.take(4);
        const uint32_t size = h.le32();
        const qint64 body = pos + 8;
        if (id == "fmt ") {
            // Plain PCM has 16 bytes; WAVEFORMATEX 18 and WAVE_FORMAT_EXTENSIBLE 40 begin the same.
            if (size < 16)
                return WavBadFormatChunk;
            const QByteArray fields = device.read(16);
            if (fields.size() < 16)
                return WavBadFormatChunk;
            std::memcpy(header.data() + 12, "fmt ", 4);
            putLe32(header, 16, size);
            std::memcpy(header.data() + 20, fields.constData(), 16);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return WavBadFormatChunk;
            haveData = true;
            dataPos = body;
            // Streamed or cut-off files claim more than they hold.
            dataSize = uint32_t(std::min<qint64>(size, length - body));
            break;
        }
        pos = body + qint64(size) + (size & 1); // chunks are padded to even sizes
    }
    if (!haveFormat)
        return WavBadFormatChunk;
    std::memcpy(header.data() + 36, "data", 4);
    putLe32(header, 40, haveData ? dataSize : 0);

    ByteReader in(header);
    const uint16_t blockAlign = in.le16At(32);
    const uint16_t bits = in.le16At(34);
    TagRecord record{};
    record[RowCodec] = valueIn(header, in.viewAt(0, WavHeaderSize));
    record[RowBitsPerSample] = numberValue(bits);
    record[RowBitrate] = numberValue(uint32_t(std::min<uint64_t>(uint64_t(in.le32At(28)) * 8, 0xffffffffu)));
    record[RowSampleRate] = numberValue(in.le32At(24));
    record[RowDuration] = numberValue(blockAlign ? dataSize / blockAlign : 0);
    record[RowDataSize] = numberValue(dataSize);
    out.buffer = std::move(header);
    out.record = record;
    out.header = TagHeader{KindWave, 0, 0};
    out.audioOffset = haveData ? dataPos : -1;
    out.audioSize = dataSize;
    return WavOk;
}

int readWavFile(const QString& path, ContainerTags& out)
{
    QFile file;
    if (!openForReading(file, path, true))
        return WavCannotOpen;
    return readWavDevice(file, out);
}

void dumpWavHeader(QString& text, QByteArrayView header)
{
    const ByteReader in(header);
    text = QString::asprintf("Format type       : %X\r\n"
                             "Number of channels: %u\r\n"
                             "Sample rate       : %u Hz\r\n"
                             "Data-transfer rate: %u bytes/s\r\n"
                             "Block alignment   : %u bytes\r\n"
                             "Bits per sample   : %u bits / sample\r\n"
                             "Audio data size   : %u bytes\r\n",
                             in.le16At(20), in.le16At(22), in.le32At(24), in.le32At(28), in.le16At(32), in.le16At(34),
                             in.le32At(40));
}

} // namespace vn
