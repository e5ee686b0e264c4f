#include "container_fixtures.h"
#include "containers/mp4_reader.h"

#include <QRegularExpression>
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
    ContainerTags t;
    readFromBuffer(bytes, [&](QIODevice& d) { return readMp4Device(dump, d, "x.m4a", &t); });
    return t;
}

// Tags the file with mutagen, then prints the size of the mdat payload by a plain walk over the
// top-level boxes.
const char* const TagScript = R"(
import struct, sys
from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm
f = MP4(sys.argv[1])
f.update({'\xa9alb': ['Albüm'], '\xa9ART': ['Artist'], 'aART': ['Album Artist'], '\xa9nam': ['Title'],
          'trkn': [(3, 9)], 'disk': [(1, 2)], '\xa9day': ['2001'], '\xa9gen': ['Rock'], '\xa9cmt': ['A comment'],
          '\xa9wrt': ['Composer'], '\xa9too': ['Tool'],
          'covr': [MP4Cover(open(sys.argv[2], 'rb').read(), MP4Cover.FORMAT_JPEG),
                   MP4Cover(open(sys.argv[3], 'rb').read(), MP4Cover.FORMAT_PNG)],
          '----:com.apple.iTunes:CDTOC': [MP4FreeForm(b'3+96+2D2B+6256')],
          '----:com.apple.iTunes:CDTOCX': [MP4FreeForm(b'not the toc')]})
f.save()
d = open(sys.argv[1], 'rb').read(); p = 0
while p + 8 <= len(d):
    n, t = struct.unpack('>I4s', d[p:p+8])
    if t == b'mdat': print(n - 8)
    p += n
)";

class Mp4ReaderTest : public FfmpegFolderTest {};

TEST_F(Mp4ReaderTest, MutagenItemsAndAacFactsAgreeWithFfprobe)
{
    const QString m4a = path("aac.m4a");
    ASSERT_TRUE(ffmpegSine(m4a, {"-c:a", "aac", "-b:a", "96k"}));
    ASSERT_TRUE(ffmpegImage(path("c.jpg"), "red", 16));
    ASSERT_TRUE(ffmpegImage(path("c.png"), "blue", 8));
    const ProcessResult tagged = runPython(TagScript, {m4a, path("c.jpg"), path("c.png")});
    ASSERT_EQ(tagged.exitCode, 0) << tagged.err.constData();
    const qint64 packetBytes = tagged.out.trimmed().toLongLong();
    ASSERT_GT(packetBytes, 0);

    ContainerTags t;
    ASSERT_EQ(readMp4File(nullptr, m4a, &t), Mp4Ok);
    EXPECT_EQ(t.header.version, KindMp4);
    // Of two covr pictures the later is kept; the freeform item named CDTOC fills its row, the one
    // named CDTOCX does not replace it.
    expectRows(t, {{RowAlbum, "Albüm"}, {RowArtist, "Artist"}, {RowAlbumArtist, "Album Artist"}, {RowTitle, "Title"},
                   {RowTrack, "3"}, {RowDisc, "1"}, {RowYear, "2001"}, {RowGenre, "Rock"}, {RowComment, "A comment"},
                   {RowComposer, "Composer"}, {RowEncodedBy, "Tool"}, {RowCdIdentifier, "3+96+2D2B+6256"}});
    QByteArray picture;
    EXPECT_EQ(rowText(t, RowPicture, &picture), QString("PNG %1 bytes").arg(QFile(path("c.png")).size()));
    EXPECT_EQ(picture, readFile(path("c.png")));

    const Probe probe = ffprobe(m4a);
    const double bitrate = probeNumber(probe.audio, "bit_rate");
    EXPECT_EQ(bytesOf(t.record[RowCodec]).left(4), "mp4a");
    EXPECT_EQ(t.record[RowSampleRate].size, probeNumber(probe.audio, "sample_rate"));
    // ffprobe leaves out the encoder's priming samples.
    EXPECT_NEAR(double(t.record[RowDuration].size) / 44100, probeNumber(probe.audio, "duration"), 0.05);
    EXPECT_NEAR(t.record[RowBitrate].size, bitrate, bitrate * 0.1);
    EXPECT_GE(t.record[RowBitrate].number, t.record[RowBitrate].size); // the maximum
    EXPECT_EQ(qint64(t.record[RowDataSize].size), packetBytes);
    EXPECT_EQ(t.audioSize, packetBytes);

    // The dump shows the same facts and a sample table whose stts, stsz and stsc agree (no "?").
    QString dump;
    ASSERT_EQ(readMp4File(&dump, m4a, nullptr), Mp4Ok);
    EXPECT_TRUE(dump.contains(QString("'mdat' %1:\r\n").arg(packetBytes)));
    expectContains(dump, {"Major brand:'M4A '", ",MPEG4 AAC,Audio,0,", ",AAC LC,44100Hz,1ch,", " mp4a, ", "'©alb' ",
                          " (1,0) 'Albüm'\r\n", " (0,0)  00 00 00 03 00 09 00 00\r\n", "'name' ", "'CDTOC'"});
    EXPECT_FALSE(dump.contains(u'?')) << qPrintable(dump);
    EXPECT_FALSE(dump.contains(QRegularExpression(QStringLiteral("[^\r]\n")))); // every line ends in CR LF
}

TEST_F(Mp4ReaderTest, AlacBitDepthIsTheDecodersAndTheBitRateIsLeftToTheList)
{
    const QString m4a = path("alac.m4a");
    ASSERT_TRUE(ffmpegSine(m4a, {"-c:a", "alac", "-sample_fmt", "s32p"}, 0.5, 48000, 2));
    ContainerTags t;
    ASSERT_EQ(readMp4File(nullptr, m4a, &t), Mp4Ok);
    QString dump;
    ASSERT_EQ(readMp4File(&dump, m4a, nullptr), Mp4Ok);
    const Probe probe = ffprobe(m4a);
    EXPECT_EQ(bytesOf(t.record[RowCodec]).left(4), "alac");
    EXPECT_EQ(t.record[RowBitsPerSample].size, probeNumber(probe.audio, "bits_per_raw_sample"));
    EXPECT_EQ(t.record[RowSampleRate].size, probeNumber(probe.audio, "sample_rate"));
    EXPECT_EQ(t.record[RowDuration].size, probeNumber(probe.audio, "duration_ts"));
    EXPECT_EQ(t.record[RowBitrate].size, 0u);
    EXPECT_TRUE(dump.contains("'alac' 28: 24 bits, 48000 Hz\r\n")) << qPrintable(dump);
}

TEST_F(Mp4ReaderTest, GenreNumberAndLastMoov)
{
    ASSERT_TRUE(ffmpegSine(path("g.m4a"), {"-c:a", "aac", "-metadata", "genre=ab", "-metadata", "title=First"}, 0.2));
    QByteArray bytes = readFile(path("g.m4a"));
    // Turn the text genre into a numbered genre of the same length: 9 is "Jazz".
    const qsizetype gen = bytes.indexOf("\xA9gen");
    ASSERT_GT(gen, 0);
    bytes.replace(gen, 4, "gnre");
    const qsizetype data = bytes.indexOf("data", gen);
    bytes[data + 7] = 0; // type indicator 1 -> 0
    bytes.replace(data + 12, 2, QByteArray("\x00\x09", 2));
    EXPECT_EQ(rowText(readBytes(bytes), RowGenre), QStringLiteral("Jazz"));

    // A second moov with another title at the end of the file: the last one wins, and every value
    // is a part of the reader's own buffer, none of the first moov.
    const qsizetype moov = bytes.indexOf("moov") - 4;
    QByteArray second = bytes.mid(moov, qFromBigEndian<uint32_t>(bytes.constData() + moov));
    second.replace("First", "Later");
    const ContainerTags t = readBytes(bytes + second);
    expectRows(t, {{RowTitle, "Later"}, {RowGenre, "Jazz"}});
    for (const TagValue& v : t.record)
        EXPECT_TRUE(!v.present() || v.buffer.constData() == t.buffer.constData());
}

TEST(Mp4Reader, OddSizesShortPayloadsAndMissingFiles)
{
    const QByteArray name = atom("\xA9nam", atom("data", QByteArray("\0\0\0\1\0\0\0\0Song", 12)));
    const QByteArray moov = atom("moov", atom("udta", atom("meta", QByteArray(4, '\0') + atom("ilst", name))));

    // 64-bit sizes: a free atom before moov is skipped whole, an mdat gives its payload size.
    const QByteArray wideFree = QByteArray("\0\0\0\1free\0\0\0\0\0\0\0\x18", 16) + QByteArray(8, 'x');
    const QByteArray wideMdat = QByteArray("\0\0\0\1mdat\0\0\0\0\0\0\0\x14", 16) + QByteArray(4, 'a');
    ContainerTags t = readBytes(wideFree + moov + wideMdat);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Song"));
    EXPECT_EQ(t.record[RowDataSize].size, 4u);
    // A size of 0 runs to the end of the file.
    EXPECT_EQ(readBytes(moov + QByteArray("\0\0\0\0mdat", 8) + QByteArray(100, 'a')).record[RowDataSize].size, 100u);

    // A child smaller than a header ends its parent's walk; one longer than its parent is cut.
    QByteArray broken = moov;
    broken.insert(8, QByteArray("\0\0\0\3abcd", 8));
    qToBigEndian(uint32_t(broken.size()), broken.data());
    EXPECT_FALSE(readBytes(broken).record[RowTitle].present());
    QByteArray longChild = moov;
    qToBigEndian(uint32_t(0x7fffffff), longChild.data() + 8);
    EXPECT_EQ(rowText(readBytes(longChild), RowTitle), QStringLiteral("Song"));

    // Payloads too short for their fields are ignored, not read past.
    QString dump;
    const QByteArray stbl = atom("stbl", atom("stsd", QByteArray(30, '\1')));
    t = readBytes(atom("moov", atom("mvhd", QByteArray(10, '\1')) +
                                   atom("trak", atom("mdia", atom("mdhd", QByteArray(12, '\1')) + atom("minf", stbl)))),
                  &dump);
    EXPECT_EQ(t.record[RowSampleRate].size, 0u);
    EXPECT_EQ(t.record[RowDuration].size, 0u);
    EXPECT_FALSE(t.record[RowCodec].present());
    EXPECT_TRUE(dump.contains("'mvhd' 10:\r\n"));

    // The wrong block count of a later table is marked.
    const QByteArray stts = QByteArray("\0\0\0\0\0\0\0\1\0\0\0\x0a\0\0\x04\0", 16);
    const QByteArray stsz = QByteArray("\0\0\0\0\0\0\0\x10\0\0\0\x0b", 12);
    dump.clear();
    readBytes(atom("moov", atom("stbl", atom("stts", stts) + atom("stsz", stsz))), &dump);
    expectContains(dump, {" 10(blk)*1024(S/blk)=10240Samples\r\n", " 11blks,total=176bytes ?total_blks=11?\r\n"});

    EXPECT_EQ(readMp4File(nullptr, "/nonexistent/x.m4a", &t), Mp4CannotOpen);
}

} // namespace
