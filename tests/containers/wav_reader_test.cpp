#include "container_fixtures.h"
#include "containers/wav_reader.h"
#include "util/byte_reader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

QByteArray chunk(const char* id, const QByteArray& body)
{
    QByteArray h(8, '\0');
    std::memcpy(h.data(), id, 4);
    qToLittleEndian(uint32_t(body.size()), h.data() + 4);
    return h + body + (body.size() & 1 ? QByteArray(1, '\0') : QByteArray());
}

QByteArray pcmFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits)
{
    QByteArray f(16, '\0');
    qToLittleEndian(tag, f.data());
    qToLittleEndian(channels, f.data() + 2);
    qToLittleEndian(rate, f.data() + 4);
    qToLittleEndian(uint32_t(rate * align), f.data() + 8);
    qToLittleEndian(align, f.data() + 12);
    qToLittleEndian(bits, f.data() + 14);
    return f;
}

QByteArray riff(const QByteArray& chunks)
{
    QByteArray h("RIFF\0\0\0\0WAVE", 12);
    qToLittleEndian(uint32_t(chunks.size() + 4), h.data() + 4);
    return h + chunks;
}

int readBytes(const QByteArray& bytes, ContainerTags& t)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readWavDevice(buffer, t);
}

struct WavCase {
    const char* name;
    QStringList codec;
    int rate;
    int channels;
    int bits;
    uint16_t formatTag;
};

TEST(WavReader, FfmpegFilesAgreeWithFfprobe)
{
    VN_REQUIRE_PROGRAM("ffmpeg");
    QTemporaryDir dir;
    // The 24-bit stereo file is WAVE_FORMAT_EXTENSIBLE with a 40-byte fmt chunk; the metadata puts a
    // LIST chunk before "data".
    const WavCase cases[] = {
        {"s16.wav", {"-c:a", "pcm_s16le"}, 44100, 2, 16, 1},
        {"s24.wav", {"-c:a", "pcm_s24le", "-metadata", "title=Listed"}, 48000, 2, 24, 0xFFFE},
        {"u8.wav", {"-c:a", "pcm_u8"}, 8000, 1, 8, 1},
    };
    for (const WavCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QLatin1String(c.name));
        ASSERT_TRUE(ffmpegSine(path, c.codec, 0.25, c.rate, c.channels));
        ContainerTags t;
        ASSERT_EQ(readWavFile(path, t), WavOk);
        const Probe probe = ffprobe(path);
        EXPECT_EQ(t.header.version, KindWave);
        ASSERT_EQ(t.buffer.size(), WavHeaderSize);
        EXPECT_EQ(t.record[RowCodec].data, reinterpret_cast<const uint8_t*>(t.buffer.constData()));
        EXPECT_EQ(int(t.record[RowSampleRate].size), probeInt(probe.audio, "sample_rate"));
        EXPECT_EQ(int(t.record[RowBitsPerSample].size), probeInt(probe.audio, "bits_per_sample"));
        EXPECT_EQ(int(t.record[RowBitsPerSample].size), c.bits);
        EXPECT_EQ(int(t.record[RowBitrate].size), probeInt(probe.audio, "bit_rate"));
        EXPECT_EQ(int(t.record[RowDuration].size), c.rate / 4);
        EXPECT_NEAR(double(t.record[RowDuration].size) / c.rate, probeDouble(probe.format, "duration"), 0.001);
        const qint64 dataSize = qint64(c.rate / 4) * c.channels * c.bits / 8;
        EXPECT_EQ(qint64(t.record[RowDataSize].size), dataSize);
        EXPECT_EQ(t.audioOffset + t.audioSize, QFile(path).size());
        EXPECT_EQ(ByteReader(t.buffer).le16At(20), c.formatTag);
        if (c.formatTag == 0xFFFE) {
            const QByteArray bytes = readFile(path);
            EXPECT_LT(bytes.indexOf("LIST"), bytes.indexOf("data"));
        }

        QString dump;
        dumpWavHeader(dump, t.buffer);
        EXPECT_EQ(dump, QStringLiteral("Format type       : %1\r\nNumber of channels: %2\r\n"
                                       "Sample rate       : %3 Hz\r\nData-transfer rate: %4 bytes/s\r\n"
                                       "Block alignment   : %5 bytes\r\nBits per sample   : %6 bits / sample\r\n"
                                       "Audio data size   : %7 bytes\r\n")
                            .arg(QString::number(c.formatTag, 16).toUpper())
                            .arg(c.channels)
                            .arg(c.rate)
                            .arg(c.rate * c.channels * c.bits / 8)
                            .arg(c.channels * c.bits / 8)
                            .arg(c.bits)
                            .arg(dataSize));
    }
}

TEST(WavReader, CraftedChunks)
{
    ContainerTags t;
    const QByteArray fmt16 = pcmFormat(1, 2, 44100, 4, 16);

    // A 16-byte fmt followed by another chunk: the walk goes on to "data". 1411.2 kbit/s, data ÷ 4.
    ASSERT_EQ(readBytes(riff(chunk("fmt ", fmt16) + chunk("fact", "abc") + chunk("data", QByteArray(400, 'x'))), t),
              WavOk);
    EXPECT_EQ(t.record[RowBitrate].size, 1411200u);
    EXPECT_EQ(t.record[RowDuration].size, 100u);
    EXPECT_EQ(t.record[RowDataSize].size, 400u);
    EXPECT_EQ(QByteArrayView(t.buffer).sliced(36, 4), "data");

    // An 18-byte fmt chunk (WAVEFORMATEX with no extra bytes) is a valid file.
    EXPECT_EQ(readBytes(riff(chunk("fmt ", fmt16 + QByteArray(2, '\0')) + chunk("data", "ab")), t), WavOk);
    EXPECT_EQ(t.record[RowDataSize].size, 2u);

    // Block align 0 gives no duration instead of a division by zero.
    ASSERT_EQ(readBytes(riff(chunk("fmt ", pcmFormat(1, 2, 44100, 0, 16)) + chunk("data", "abcd")), t), WavOk);
    EXPECT_EQ(t.record[RowDuration].size, 0u);

    // A data chunk claiming more than the file holds counts what is there.
    QByteArray cut = riff(chunk("fmt ", fmt16) + chunk("data", QByteArray(400, 'x')));
    cut.chop(100);
    ASSERT_EQ(readBytes(cut, t), WavOk);
    EXPECT_EQ(t.record[RowDataSize].size, 300u);

    // No data chunk at all: size 0.
    ASSERT_EQ(readBytes(riff(chunk("fmt ", fmt16)), t), WavOk);
    EXPECT_EQ(t.record[RowDataSize].size, 0u);
    EXPECT_EQ(t.audioOffset, -1);

    EXPECT_EQ(readBytes(riff(chunk("fmt ", fmt16.left(12)) + chunk("data", "ab")), t), WavBadFormatChunk);
    EXPECT_EQ(readBytes(riff(chunk("data", "ab") + chunk("fmt ", fmt16)), t), WavBadFormatChunk);
    EXPECT_EQ(readBytes(riff(chunk("LIST", "abcd")), t), WavBadFormatChunk);
    EXPECT_EQ(readBytes("RIFX....WAVE", t), WavNotWave);
    EXPECT_EQ(readBytes("RIFF", t), WavNotWave);
    EXPECT_EQ(readWavFile(QStringLiteral("/nonexistent.wav"), t), WavCannotOpen);

    // A header shorter than 44 bytes is never read past.
    QString dump;
    dumpWavHeader(dump, QByteArray("RIFF"));
    EXPECT_TRUE(dump.startsWith(QStringLiteral("Format type       : 0\r\n")));
}

} // namespace
