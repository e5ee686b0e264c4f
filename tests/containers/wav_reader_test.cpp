#include "container_fixtures.h"
#include "containers/wav_reader.h"
#include "util/byte_reader.h"

#include <QDataStream>
#include <QtEndian>
#include <tuple>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

QByteArray chunk(const char* id, const QByteArray& body)
{
    QByteArray size(4, '\0');
    qToLittleEndian(uint32_t(body.size()), size.data());
    return QByteArray(id, 4) + size + body + QByteArray(body.size() & 1, '\0');
}

QByteArray riff(const QByteArray& chunks)
{
    return chunk("RIFF", "WAVE" + chunks);
}

QByteArray pcmFormat(quint16 channels, quint32 rate, quint16 align, quint16 bits)
{
    QByteArray f;
    QDataStream out(&f, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(1) << channels << rate << quint32(rate * align) << align << bits;
    return f;
}

class WavReaderTest : public FfmpegFolderTest {};

TEST_F(WavReaderTest, FfmpegFilesAgreeWithFfprobe)
{
    // The 24-bit stereo file has an extensible format (a 40-byte fmt chunk), and its metadata puts a
    // LIST chunk before "data".
    const std::tuple<const char*, QStringList, int, int, int, unsigned> cases[] = {
        {"s16.wav", {"-c:a", "pcm_s16le"}, 44100, 2, 16, 1},
        {"s24.wav", {"-c:a", "pcm_s24le", "-metadata", "title=Listed"}, 48000, 2, 24, 0xFFFE},
        {"u8.wav", {"-c:a", "pcm_u8"}, 8000, 1, 8, 1},
    };
    for (const auto& [name, codec, rate, channels, bits, formatTag] : cases) [&] {
        SCOPED_TRACE(name);
        const QString file = path(name);
        ASSERT_TRUE(ffmpegSine(file, codec, 0.25, rate, channels));
        ContainerTags t;
        ASSERT_EQ(readWavFile(file, t), WavOk);
        ASSERT_EQ(t.buffer.size(), WavHeaderSize);
        EXPECT_EQ(t.header.version, KindWave);
        const Probe probe = ffprobe(file);
        EXPECT_EQ(t.record[RowSampleRate].size, probeNumber(probe.audio, "sample_rate"));
        EXPECT_EQ(t.record[RowBitsPerSample].size, probeNumber(probe.audio, "bits_per_sample"));
        EXPECT_EQ(t.record[RowBitrate].size, probeNumber(probe.audio, "bit_rate"));
        EXPECT_EQ(t.record[RowDuration].size, probeNumber(probe.audio, "duration_ts"));
        const int align = channels * bits / 8;
        const int dataSize = rate / 4 * align;
        EXPECT_EQ(int(t.record[RowDataSize].size), dataSize);
        EXPECT_EQ(t.audioOffset + t.audioSize, QFile(file).size());
        EXPECT_EQ(ByteReader(t.buffer).le16At(20), formatTag);
        if (formatTag == 0xFFFE) { // the reader walks past the LIST chunk
            EXPECT_LT(readFile(file).indexOf("LIST"), readFile(file).indexOf("data"));
        }

        QString dump;
        dumpWavHeader(dump, t.buffer);
        EXPECT_EQ(dump, QString::asprintf("Format type       : %X\r\nNumber of channels: %d\r\nSample rate       : %d "
                                          "Hz\r\nData-transfer rate: %d bytes/s\r\nBlock alignment   : %d bytes\r\n"
                                          "Bits per sample   : %d bits / sample\r\nAudio data size   : %d bytes\r\n",
                                          formatTag, channels, rate, rate * align, align, bits, dataSize));
    }();
}

TEST(WavReader, CraftedChunks)
{
    const QByteArray fmt16 = pcmFormat(2, 44100, 4, 16);
    QByteArray cut = riff(chunk("fmt ", fmt16) + chunk("data", QByteArray(400, 'x')));
    cut.chop(100);
    const std::tuple<const char*, QByteArray, int, uint32_t, uint32_t> cases[] = {
        {"a chunk between fmt and data is passed over",
         riff(chunk("fmt ", fmt16) + chunk("fact", "abc") + chunk("data", QByteArray(400, 'x'))), WavOk, 400, 100},
        {"an 18-byte fmt with no extra bytes", riff(chunk("fmt ", fmt16 + QByteArray(2, '\0')) + chunk("data", "ab")),
         WavOk, 2, 0},
        {"block align 0 gives no duration rather than a division by zero",
         riff(chunk("fmt ", pcmFormat(2, 44100, 0, 16)) + chunk("data", "abcd")), WavOk, 4, 0},
        {"a data chunk claiming more than the file holds counts what is there", cut, WavOk, 300, 75},
        {"no data chunk", riff(chunk("fmt ", fmt16)), WavOk, 0, 0},
        {"fmt too short", riff(chunk("fmt ", fmt16.left(12)) + chunk("data", "ab")), WavBadFormatChunk, 0, 0},
        {"data before fmt", riff(chunk("data", "ab") + chunk("fmt ", fmt16)), WavBadFormatChunk, 0, 0},
        {"no fmt", riff(chunk("LIST", "abcd")), WavBadFormatChunk, 0, 0},
        {"not RIFF", "RIFX....WAVE", WavNotWave, 0, 0},
        {"cut short", "RIFF", WavNotWave, 0, 0},
    };
    for (const auto& [what, bytes, code, dataSize, duration] : cases) [&] {
        SCOPED_TRACE(what);
        ContainerTags t;
        ASSERT_EQ(readFromBuffer(bytes, [&](QIODevice& d) { return readWavDevice(d, t); }), code);
        if (code != WavOk)
            return;
        EXPECT_EQ(t.record[RowDataSize].size, dataSize);
        EXPECT_EQ(t.record[RowDuration].size, duration);
        EXPECT_EQ(t.audioOffset >= 0, dataSize > 0); // -1 without a data chunk
        // The header kept is the plain 44-byte one, whatever lay between the chunks.
        EXPECT_EQ(QByteArrayView(t.buffer).sliced(36, 4), "data");
    }();
    ContainerTags t;
    EXPECT_EQ(readWavFile("/nonexistent.wav", t), WavCannotOpen);
    // A header shorter than 44 bytes is never read past.
    QString dump;
    dumpWavHeader(dump, QByteArray("RIFF"));
    EXPECT_TRUE(dump.startsWith("Format type       : 0\r\n"));
}

} // namespace
