#include "container_fixtures.h"
#include "containers/flac_reader.h"
#include "media/field_to_text.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

QByteArray block(uint8_t first, const QByteArray& body)
{
    QByteArray h(4, '\0');
    h[0] = char(first);
    h[1] = char(body.size() >> 16);
    h[2] = char(body.size() >> 8);
    h[3] = char(body.size());
    return h + body;
}

QByteArray le32(uint32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray comments(const QList<QByteArray>& list)
{
    QByteArray b = le32(6) + "vendor" + le32(uint32_t(list.size()));
    for (const QByteArray& c : list)
        b += le32(uint32_t(c.size())) + c;
    return b;
}

int readBytes(const QByteArray& bytes, ContainerTags& t, QString* dump = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readFlacDevice(dump, buffer, QStringLiteral("x.flac"), &t);
}

struct ListedBlock {
    int type;
    bool last;
    int length;
};

// metaflac --list, reduced to each block's type, last flag and length.
QList<ListedBlock> metaflacBlocks(const QString& path)
{
    const ProcessResult r = runProcess("metaflac", {"--list", path});
    QList<ListedBlock> blocks;
    for (const QByteArray& raw : r.out.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("METADATA block #"))
            blocks.append({-1, false, 0});
        else if (line.startsWith("type: ") && !blocks.isEmpty() && blocks.last().type < 0)
            blocks.last().type = line.mid(6).split(' ').first().toInt(); // not the picture's own type line
        else if (line.startsWith("is last: ") && !blocks.isEmpty())
            blocks.last().last = line.endsWith("true");
        else if (line.startsWith("length: ") && !blocks.isEmpty() && blocks.last().length == 0)
            blocks.last().length = line.mid(8).toInt();
    }
    return blocks;
}

TEST(FlacReader, FlacAndMetaflacFilesReadBackAsTheyReport)
{
    VN_REQUIRE_PROGRAM("flac");
    VN_REQUIRE_PROGRAM("metaflac");
    QTemporaryDir dir;
    const QString wav = dir.filePath("in.wav");
    const QString flac = dir.filePath("out.flac");
    const QString jpg = dir.filePath("cover.jpg");
    ASSERT_TRUE(ffmpegSine(wav, {"-c:a", "pcm_s24le"}, 0.5, 48000, 2));
    ASSERT_TRUE(ffmpegImage(jpg, "green", 24));
    ProcessResult r = runProcess("flac", {"-s", "-f", "--padding=1000", "-S", "10x", "-T", "album=Lower album",
                                          "-T", "AlbumArtist=Mixed Case", "-T", "TITLE=first", "-T", "title=second",
                                          "-T", "CDTOC=3+96+2D2B", "--picture=3||front||" + jpg, "-o", flac, wav});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    // A tag added afterwards by the independent tool is read as well.
    r = runProcess("metaflac", {"--set-tag=ARTIST=Artist", flac});
    ASSERT_EQ(r.exitCode, 0);

    ContainerTags t;
    ASSERT_EQ(readFlacFile(nullptr, flac, &t), FlacOk);
    EXPECT_EQ(t.header.version, KindFlac);
    EXPECT_EQ(rowText(t, RowAlbum), QStringLiteral("Lower album"));
    EXPECT_EQ(rowText(t, RowAlbumArtist), QStringLiteral("Mixed Case"));
    EXPECT_EQ(rowText(t, RowArtist), QStringLiteral("Artist"));
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("second")); // the later comment wins
    EXPECT_EQ(rowText(t, RowCdIdentifier), QStringLiteral("3+96+2D2B"));
    EXPECT_EQ(rowText(t, RowPicture), QStringLiteral("image/jpeg %1 bytes").arg(QFile(jpg).size()));
    PictureRef picture;
    QString ignored;
    fieldToText(ignored, 1024, t.record, RowPicture, KindFlac, &picture);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(picture.data), picture.size), readFile(jpg));

    const QByteArray vendor = runProcess("metaflac", {"--show-vendor-tag", flac}).out.trimmed();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(t.record[RowCodec].data), t.record[RowCodec].size), vendor);
    EXPECT_EQ(t.record[RowBitsPerSample].size, runProcess("metaflac", {"--show-bps", flac}).out.trimmed().toUInt());
    EXPECT_EQ(t.record[RowSampleRate].size,
              runProcess("metaflac", {"--show-sample-rate", flac}).out.trimmed().toUInt());
    EXPECT_EQ(t.record[RowDuration].size,
              runProcess("metaflac", {"--show-total-samples", flac}).out.trimmed().toUInt());
    EXPECT_EQ(t.record[RowBitsPerSample].size, 24u);
    const Probe probe = ffprobe(flac);
    EXPECT_EQ(int(t.record[RowSampleRate].size), probeInt(probe.audio, "sample_rate"));
    EXPECT_NEAR(double(t.record[RowDuration].size) / 48000, probeDouble(probe.audio, "duration"), 0.001);

    // Every block is listed in order; only STREAMINFO, VORBIS_COMMENT and PICTURE are kept.
    const QList<ListedBlock> blocks = metaflacBlocks(flac);
    ASSERT_GE(blocks.size(), 5);
    QString dump;
    ASSERT_EQ(readFlacFile(&dump, flac, nullptr), FlacOk);
    const QRegularExpression line(QStringLiteral("^Type-(\\d+)\\((.*)\\) (\\d+) bytes <(\\d)>\r$"),
                                  QRegularExpression::MultilineOption);
    QList<ListedBlock> dumped;
    for (auto it = line.globalMatch(dump); it.hasNext();) {
        const auto m = it.next();
        dumped.append({m.captured(1).toInt(), m.captured(4) == u"1", m.captured(3).toInt()});
    }
    ASSERT_EQ(dumped.size(), blocks.size()) << qPrintable(dump);
    qint64 metadataEnd = 4;
    qint64 keptBytes = 0;
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(dumped[i].type, blocks[i].type);
        EXPECT_EQ(dumped[i].last, blocks[i].last);
        EXPECT_EQ(dumped[i].length, blocks[i].length);
        metadataEnd += 4 + blocks[i].length;
        if (blocks[i].type == 0 || blocks[i].type == 4 || blocks[i].type == 6)
            keptBytes += blocks[i].length;
    }
    EXPECT_TRUE(dump.contains(QStringLiteral("Type-3(Seektable)")));
    EXPECT_TRUE(dump.contains(QStringLiteral("Type-1(Padding) ")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" Sample rate = 48000 Hz\r\n Channels = 2\r\n Bits per sample = 24\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" Comment-00:'album=Lower album'\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral(" media type:'image/jpeg'\r\n description:'front'\r\n width :24 pixels\r\n")));
    EXPECT_EQ(t.buffer.size(), keptBytes);
    EXPECT_EQ(t.audioOffset, metadataEnd);
    EXPECT_EQ(t.audioSize, QFile(flac).size() - metadataEnd);
    EXPECT_EQ(qint64(t.record[RowDataSize].size), t.audioSize);
}

TEST(FlacReader, CraftedBlocks)
{
    const QByteArray streamInfo = QByteArray::fromHex("100010000000000e00000ac442f00000ac44") + QByteArray(16, '\0');
    ContainerTags t;
    QString dump;

    // A comment without "=" is skipped; names match whole and ignoring case; rows without a Vorbis
    // name never match.
    QByteArray file = "fLaC" + block(0, streamInfo) +
                      block(0x84, comments({"ALBUM", "album=Kept", "ALBUMARTISTX=no", "=empty", "TSSE=no"})) +
                      QByteArray(10, 'a');
    ASSERT_EQ(readBytes(file, t, &dump), FlacOk);
    EXPECT_EQ(rowText(t, RowAlbum), QStringLiteral("Kept"));
    EXPECT_FALSE(t.record[RowAlbumArtist].present());
    EXPECT_FALSE(t.record[RowEncoderSettings].present());
    EXPECT_EQ(t.record[RowSampleRate].size, 44100u);
    EXPECT_EQ(t.record[RowBitsPerSample].size, 16u);
    EXPECT_EQ(t.record[RowDuration].size, 44100u);
    EXPECT_EQ(t.audioSize, 10);
    EXPECT_TRUE(dump.contains(QStringLiteral(" Comment-00:'ALBUM'\r\n")));

    // A block running past the file: read as far as it goes, no audio after it.
    file = "fLaC" + block(0, streamInfo) + block(0x84, comments({"TITLE=abc"}));
    file.chop(3);
    dump.clear();
    ASSERT_EQ(readBytes(file, t, &dump), FlacOk);
    EXPECT_EQ(t.audioSize, 0);
    EXPECT_FALSE(t.record[RowTitle].present());
    EXPECT_EQ(t.record[RowSampleRate].size, 44100u);

    // Unknown block types are named and skipped; a PICTURE whose lengths run past it is not kept.
    QByteArray badPicture = QByteArray::fromHex("00000003") + QByteArray::fromHex("7fffffff") + "image/png";
    file = "fLaC" + block(9, "xyz") + block(127, "") + block(0x86, badPicture);
    dump.clear();
    ASSERT_EQ(readBytes(file, t, &dump), FlacOk);
    EXPECT_TRUE(dump.contains(QStringLiteral("Type-9(Reserved) 3 bytes <0>\r\n")));
    EXPECT_TRUE(dump.contains(QStringLiteral("Type-127(Invalid) 0 bytes <0>\r\n")));
    EXPECT_FALSE(t.record[RowPicture].present());
    EXPECT_EQ(t.buffer.size(), badPicture.size());

    EXPECT_EQ(readBytes("OggS....", t), FlacNotFlac);
    EXPECT_EQ(readFlacFile(nullptr, QStringLiteral("/nonexistent.flac"), &t), FlacCannotOpen);
}

} // namespace
