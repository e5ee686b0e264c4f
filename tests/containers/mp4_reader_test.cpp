#include "container_fixtures.h"
#include "containers/mp4_reader.h"
#include "media/field_to_text.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

QByteArray atom(const char* type, const QByteArray& payload)
{
    QByteArray a(4, '\0');
    qToBigEndian(uint32_t(payload.size() + 8), a.data());
    return a + QByteArray(type, 4) + payload;
}

ContainerTags readBytes(const QByteArray& bytes, QString* dump = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ContainerTags t;
    readMp4Device(dump, buffer, QStringLiteral("x.m4a"), &t);
    return t;
}

bool pointsInto(const TagValue& v, const QByteArray& buffer)
{
    const auto* begin = reinterpret_cast<const uint8_t*>(buffer.constData());
    return v.data >= begin && v.data + v.size <= begin + buffer.size();
}

const char* const TagScript = R"(
import sys
from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm
f = MP4(sys.argv[1])
f['\xa9alb'] = ['Albüm']
f['\xa9ART'] = ['Artist']
f['aART'] = ['Album Artist']
f['\xa9nam'] = ['Title']
f['trkn'] = [(3, 9)]
f['disk'] = [(1, 2)]
f['\xa9day'] = ['2001']
f['\xa9gen'] = ['Rock']
f['\xa9cmt'] = ['A comment']
f['\xa9wrt'] = ['Composer']
f['\xa9too'] = ['Tool']
f['covr'] = [MP4Cover(open(sys.argv[2], 'rb').read(), MP4Cover.FORMAT_JPEG),
             MP4Cover(open(sys.argv[3], 'rb').read(), MP4Cover.FORMAT_PNG)]
f['----:com.apple.iTunes:CDTOC'] = [MP4FreeForm(b'3+96+2D2B+6256')]
f['----:com.apple.iTunes:CDTOCX'] = [MP4FreeForm(b'not the toc')]
f.save()
)";

class Mp4ReaderTest : public FfmpegFolderTest {};

TEST_F(Mp4ReaderTest, AacItemsWrittenByMutagenAndFactsAgreeWithFfprobe)
{
    const QString m4a = path("aac.m4a");
    ASSERT_TRUE(ffmpegSine(m4a, {"-c:a", "aac", "-b:a", "96k"}));
    ASSERT_TRUE(ffmpegImage(path("c.jpg"), "red", 16));
    ASSERT_TRUE(ffmpegImage(path("c.png"), "blue", 8));
    const ProcessResult tagged = runPython(TagScript, {m4a, path("c.jpg"), path("c.png")});
    ASSERT_EQ(tagged.exitCode, 0) << tagged.err.constData();

    ContainerTags t;
    ASSERT_EQ(readMp4File(nullptr, m4a, &t), Mp4Ok);
    EXPECT_EQ(t.header.version, KindMp4);
    EXPECT_EQ(rowText(t, RowAlbum), QStringLiteral("Albüm"));
    EXPECT_EQ(rowText(t, RowArtist), QStringLiteral("Artist"));
    EXPECT_EQ(rowText(t, RowAlbumArtist), QStringLiteral("Album Artist"));
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Title"));
    EXPECT_EQ(rowText(t, RowTrack), QStringLiteral("3"));
    EXPECT_EQ(rowText(t, RowDisc), QStringLiteral("1"));
    EXPECT_EQ(rowText(t, RowYear), QStringLiteral("2001"));
    EXPECT_EQ(rowText(t, RowGenre), QStringLiteral("Rock"));
    EXPECT_EQ(rowText(t, RowComment), QStringLiteral("A comment"));
    EXPECT_EQ(rowText(t, RowComposer), QStringLiteral("Composer"));
    EXPECT_EQ(rowText(t, RowEncodedBy), QStringLiteral("Tool"));
    // Two covr pictures: the later one is kept.
    EXPECT_EQ(rowText(t, RowPicture), QStringLiteral("PNG %1 bytes").arg(QFile(path("c.png")).size()));
    // The freeform item named CDTOC fills the row; the one named CDTOCX does not replace it.
    EXPECT_EQ(rowText(t, RowCdIdentifier), QStringLiteral("3+96+2D2B+6256"));
    for (int row = 0; row <= RowCodec; ++row)
        if (t.record[size_t(row)].present()) {
            EXPECT_TRUE(pointsInto(t.record[size_t(row)], t.buffer)) << "row " << row;
        }

    const Probe probe = ffprobe(m4a);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(t.record[RowCodec].data), 4), "mp4a");
    EXPECT_EQ(int(t.record[RowSampleRate].size), probeInt(probe.audio, "sample_rate"));
    EXPECT_NEAR(double(t.record[RowDuration].size) / t.record[RowSampleRate].size,
                probeDouble(probe.audio, "duration"), 0.05);
    EXPECT_NEAR(double(t.record[RowBitrate].size), probeDouble(probe.audio, "bit_rate"),
                probeDouble(probe.audio, "bit_rate") * 0.1);
    EXPECT_GE(t.record[RowBitrate].number, t.record[RowBitrate].size);
    // The mdat payload as a plain walk over the top-level boxes finds it.
    const ProcessResult walk = runPython(R"(
import struct, sys
d = open(sys.argv[1], 'rb').read(); p = 0
while p + 8 <= len(d):
    n, t = struct.unpack('>I4s', d[p:p+8])
    if t == b'mdat': print(n - 8)
    p += n
)", {m4a});
    const qint64 packetBytes = walk.out.trimmed().toLongLong();
    ASSERT_GT(packetBytes, 0);
    EXPECT_EQ(qint64(t.record[RowDataSize].size), packetBytes);
    EXPECT_EQ(t.audioSize, packetBytes);

    // The dump shows the same facts and a consistent sample table.
    QString dump;
    ASSERT_EQ(readMp4File(&dump, m4a, nullptr), Mp4Ok);
    EXPECT_TRUE(dump.startsWith(m4a + QStringLiteral(" %1 bytes\r\n").arg(QFile(m4a).size())));
    EXPECT_TRUE(dump.contains(QStringLiteral("'mdat' %1:\r\n").arg(packetBytes)));
    EXPECT_TRUE(dump.contains(QStringLiteral("Major brand:'M4A '")));
    EXPECT_TRUE(dump.contains(QStringLiteral(",MPEG4 AAC,Audio,0,")));
    EXPECT_TRUE(dump.contains(QStringLiteral(",AAC LC,44100Hz,1ch,")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" mp4a, ")));
    EXPECT_TRUE(dump.contains(QStringLiteral("'\u00A9alb' ")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" (1,0) 'Albüm'\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" (0,0)  00 00 00 03 00 09 00 00\r\n"))); // trkn
    EXPECT_TRUE(dump.contains(QStringLiteral("'name' ")) && dump.contains(QStringLiteral("'CDTOC'")));
    EXPECT_FALSE(dump.contains(u'?')) << qPrintable(dump); // stts, stsz and stsc agree on the block count
    EXPECT_FALSE(dump.contains(QRegularExpression(QStringLiteral("[^\r]\n")))); // every line ends in CR LF
}

TEST_F(Mp4ReaderTest, AlacTakesTheDecoderBitDepth)
{
    const QString m4a = path("alac.m4a");
    ASSERT_TRUE(ffmpegSine(m4a, {"-c:a", "alac", "-sample_fmt", "s32p"}, 0.5, 48000, 2));
    ContainerTags t;
    ASSERT_EQ(readMp4File(nullptr, m4a, &t), Mp4Ok);
    const Probe probe = ffprobe(m4a);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(t.record[RowCodec].data), 4), "alac");
    EXPECT_EQ(int(t.record[RowBitsPerSample].size), probeInt(probe.audio, "bits_per_raw_sample"));
    EXPECT_EQ(t.record[RowBitsPerSample].size, 24u);
    EXPECT_EQ(t.record[RowBitrate].size, 0u); // computed by the list from the data size
    EXPECT_EQ(int(t.record[RowSampleRate].size), 48000);
    EXPECT_EQ(t.record[RowDuration].size, 24000u);
    QString dump;
    readMp4File(&dump, m4a, nullptr);
    EXPECT_TRUE(dump.contains(QStringLiteral("'alac' 28: 24 bits, 48000 Hz\r\n"))) << qPrintable(dump);
}

TEST_F(Mp4ReaderTest, GenreNumberAndLastMoov)
{
    const QString m4a = path("g.m4a");
    ASSERT_TRUE(ffmpegSine(m4a, {"-c:a", "aac", "-metadata", "genre=ab", "-metadata", "title=First"}, 0.2));
    QByteArray bytes = readFile(m4a);
    // Turn the text genre into an ID3v1 genre number of the same length: 9 is "Jazz".
    const qsizetype gen = bytes.indexOf("\xA9gen");
    ASSERT_GT(gen, 0);
    bytes.replace(gen, 4, "gnre");
    const qsizetype data = bytes.indexOf("data", gen);
    bytes[data + 7] = 0; // type indicator 1 -> 0
    bytes.replace(data + 12, 2, QByteArray("\x00\x09", 2));
    ContainerTags t = readBytes(bytes);
    QString genre;
    fieldToText(genre, 64, t.record, RowGenre, KindMp4);
    EXPECT_EQ(genre, QStringLiteral("Jazz"));

    // A second moov with another title at the end of the file: the last one wins, and nothing in
    // the record points into the first one.
    const qsizetype moov = bytes.indexOf("moov") - 4;
    QByteArray second = bytes.mid(moov, qFromBigEndian<uint32_t>(bytes.constData() + moov));
    second.replace("First", "Later");
    t = readBytes(bytes + second);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Later"));
    EXPECT_EQ(rowText(t, RowGenre), QStringLiteral("Jazz"));
    for (int row = 0; row <= RowCodec; ++row)
        if (t.record[size_t(row)].present()) {
            EXPECT_TRUE(pointsInto(t.record[size_t(row)], t.buffer));
        }
}

TEST(Mp4Reader, OddSizesAndShortPayloads)
{
    const QByteArray name = atom("\xA9nam", atom("data", QByteArray("\0\0\0\1\0\0\0\0Song", 12)));
    const QByteArray ilst = atom("ilst", name);
    const QByteArray meta = atom("meta", QByteArray(4, '\0') + ilst);
    const QByteArray moov = atom("moov", atom("udta", meta));

    // 64-bit sizes: a free atom before moov is skipped whole, an mdat gives its payload size.
    QByteArray wideFree = QByteArray("\0\0\0\1free", 8) + QByteArray("\0\0\0\0\0\0\0\x18", 8) + QByteArray(8, 'x');
    QByteArray wideMdat = QByteArray("\0\0\0\1mdat", 8) + QByteArray("\0\0\0\0\0\0\0\x14", 8) + QByteArray(4, 'a');
    ContainerTags t = readBytes(wideFree + moov + wideMdat);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Song"));
    EXPECT_EQ(t.record[RowDataSize].size, 4u);

    // A size of 0 runs to the end of the file.
    t = readBytes(moov + QByteArray("\0\0\0\0mdat", 8) + QByteArray(100, 'a'));
    EXPECT_EQ(t.record[RowDataSize].size, 100u);

    // A child smaller than a header ends its parent's walk; one longer than its parent is cut.
    QByteArray broken = moov;
    broken.insert(8, QByteArray("\0\0\0\3abcd", 8));
    qToBigEndian(uint32_t(broken.size()), broken.data());
    QString dump;
    t = readBytes(broken, &dump);
    EXPECT_FALSE(t.record[RowTitle].present());
    QByteArray longChild = moov;
    qToBigEndian(uint32_t(0x7fffffff), longChild.data() + 8);
    t = readBytes(longChild, &dump);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Song"));

    // Payloads too short for their fields are ignored, not read past.
    const QByteArray shortHeaders =
        atom("moov", atom("mvhd", QByteArray(10, '\1')) +
                         atom("trak", atom("mdia", atom("mdhd", QByteArray(12, '\1')) +
                                                       atom("minf", atom("stbl", atom("stsd", QByteArray(30, '\1')))))));
    dump.clear();
    t = readBytes(shortHeaders, &dump);
    EXPECT_EQ(t.record[RowSampleRate].size, 0u);
    EXPECT_EQ(t.record[RowDuration].size, 0u);
    EXPECT_FALSE(t.record[RowCodec].present());
    EXPECT_TRUE(dump.contains(QStringLiteral("'mvhd' 10:\r\n")));

    // The wrong block count of a later table is marked.
    QByteArray stts = QByteArray(4, '\0') + QByteArray("\0\0\0\1\0\0\0\x0a\0\0\x04\0", 12);
    QByteArray stsz = QByteArray(4, '\0') + QByteArray("\0\0\0\x10\0\0\0\x0b", 8);
    dump.clear();
    readBytes(atom("moov", atom("stbl", atom("stts", stts) + atom("stsz", stsz))), &dump);
    EXPECT_TRUE(dump.contains(QStringLiteral(" 10(blk)*1024(S/blk)=10240Samples\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" 11blks,total=176bytes ?total_blks=11?\r\n"))) << qPrintable(dump);
}

TEST(Mp4Reader, MissingFileIsReported)
{
    ContainerTags t;
    EXPECT_EQ(readMp4File(nullptr, QStringLiteral("/nonexistent/x.m4a"), &t), Mp4CannotOpen);
}

} // namespace
