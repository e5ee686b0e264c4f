#include "container_fixtures.h"
#include "containers/flac_reader.h"

#include <QDataStream>
#include <QRegularExpression>
#include <QtEndian>
#include <gtest/gtest.h>
#include <memory>

using namespace vn;
using namespace vn::test;

namespace {

QByteArray block(uint8_t first, const QByteArray& body)
{
    QByteArray h(4, '\0');
    qToBigEndian(uint32_t(body.size()), h.data());
    h[0] = char(first);
    return h + body;
}

// A VORBIS_COMMENT body: the vendor, the count and the comments, lengths in 32-bit little-endian.
QByteArray comments(const QList<QByteArray>& list)
{
    QByteArray b;
    QDataStream out(&b, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << QByteArray("vendor") << quint32(list.size());
    for (const QByteArray& c : list)
        out << c;
    return b;
}

int readBytes(const QByteArray& bytes, ContainerTags& t, QString* dump = nullptr)
{
    return readFromBuffer(bytes, [&](QIODevice& d) { return readFlacDevice(dump, d, "x.flac", &t); });
}

class FlacReaderTest : public FfmpegFolderTest {};

TEST_F(FlacReaderTest, FlacAndMetaflacFilesReadBackAsMetaflacReports)
{
    VN_REQUIRE_PROGRAM("flac");
    VN_REQUIRE_PROGRAM("metaflac");
    const QString flac = path("out.flac");
    const QString jpg = path("cover.jpg");
    ASSERT_TRUE(ffmpegSine(path("in.wav"), {"-c:a", "pcm_s24le"}, 0.5, 48000, 2));
    ASSERT_TRUE(ffmpegImage(jpg, "green", 24));
    const ProcessResult r = runProcess(
        "flac", {"-s", "-f", "--padding=1000", "-S", "10x", "-T", "album=Lower album", "-T", "AlbumArtist=Mixed Case",
                 "-T", "TITLE=first", "-T", "title=second", "-T", "CDTOC=3+96+2D2B", "--picture=3||front||" + jpg,
                 "-o", flac, path("in.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    // A tag added afterwards by metaflac is read as well.
    ASSERT_EQ(runProcess("metaflac", {"--set-tag=ARTIST=Artist", flac}).exitCode, 0);
    const auto show = [&](const char* what) { return runProcess("metaflac", {what, flac}).out.trimmed(); };

    ContainerTags t;
    ASSERT_EQ(readFlacFile(nullptr, flac, &t), FlacOk);
    EXPECT_EQ(t.header.version, KindFlac);
    // Names match ignoring case; of two TITLE comments the later wins.
    expectRows(t, {{RowAlbum, "Lower album"}, {RowAlbumArtist, "Mixed Case"}, {RowArtist, "Artist"},
                   {RowTitle, "second"}, {RowCdIdentifier, "3+96+2D2B"}});
    QByteArray picture;
    EXPECT_EQ(rowText(t, RowPicture, &picture), QString("image/jpeg %1 bytes").arg(QFile(jpg).size()));
    EXPECT_EQ(picture, readFile(jpg));
    EXPECT_EQ(bytesOf(t.record[RowCodec]), show("--show-vendor-tag"));
    EXPECT_EQ(t.record[RowBitsPerSample].size, show("--show-bps").toUInt());
    EXPECT_EQ(t.record[RowSampleRate].size, show("--show-sample-rate").toUInt());
    EXPECT_EQ(t.record[RowDuration].size, show("--show-total-samples").toUInt());

    // The dump lists every block as metaflac does; only STREAMINFO, VORBIS_COMMENT and PICTURE are
    // kept, and the audio starts after the last block.
    QString dump;
    ASSERT_EQ(readFlacFile(&dump, flac, nullptr), FlacOk);
    QStringList dumped;
    const QRegularExpression dumpLine(QStringLiteral("Type-(\\d+)\\(.*\\) (\\d+) bytes <(\\d)>\r\n"));
    for (const auto& m : dumpLine.globalMatch(dump))
        dumped << m.captured(1) + ' ' + m.captured(2) + ' ' + m.captured(3);
    const QString listing = QString::fromUtf8(runProcess("metaflac", {"--list", flac}).out);
    const QRegularExpression block(
        QStringLiteral("block #\\d+\n  type: (\\d+) .*\n  is last: (\\w+)\n  length: (\\d+)\n"));
    QStringList listed;
    qint64 metadataEnd = 4;
    qint64 keptBytes = 0;
    for (const auto& m : block.globalMatch(listing)) {
        listed << m.captured(1) + ' ' + m.captured(3) + (m.captured(2) == u"true" ? " 1" : " 0");
        metadataEnd += 4 + m.captured(3).toInt();
        keptBytes += QStringList{"0", "4", "6"}.contains(m.captured(1)) ? m.captured(3).toInt() : 0;
    }
    ASSERT_GE(listed.size(), 5) << qPrintable(listing);
    EXPECT_EQ(dumped, listed) << qPrintable(dump);
    EXPECT_EQ(t.buffer.size(), keptBytes);
    EXPECT_EQ(t.audioOffset, metadataEnd);
    EXPECT_EQ(t.audioSize, QFile(flac).size() - metadataEnd);
    EXPECT_EQ(qint64(t.record[RowDataSize].size), t.audioSize);
    expectContains(dump, {"Type-3(Seektable)", " Sample rate = 48000 Hz\r\n Channels = 2\r\n Bits per sample = 24\r\n",
                          " Comment-00:'album=Lower album'\r\n", " description:'front'\r\n width :24 pixels\r\n"});
}

const QByteArray StreamInfo = QByteArray::fromHex("100010000000000e00000ac442f00000ac44") + QByteArray(16, '\0');

TEST(FlacReader, CommentsMatchByWholeNameAndMalformedOnesAreSkipped)
{
    // A comment without "=" is skipped; names match whole; rows without a Vorbis name never match.
    const QByteArray file = "fLaC" + block(0, StreamInfo) +
                            block(0x84, comments({"ALBUM", "album=Kept", "ALBUMARTISTX=no", "=empty", "TSSE=no"})) +
                            QByteArray(10, 'a');
    ContainerTags t;
    QString dump;
    ASSERT_EQ(readBytes(file, t, &dump), FlacOk);
    EXPECT_EQ(rowText(t, RowAlbum), QStringLiteral("Kept"));
    EXPECT_FALSE(t.record[RowAlbumArtist].present());
    EXPECT_FALSE(t.record[RowEncoderSettings].present());
    EXPECT_EQ(t.record[RowSampleRate].size, 44100u);
    EXPECT_EQ(t.record[RowBitsPerSample].size, 16u);
    EXPECT_EQ(t.record[RowDuration].size, 44100u);
    EXPECT_EQ(t.audioSize, 10);
    EXPECT_TRUE(dump.contains(" Comment-00:'ALBUM'\r\n"));

    // The record holds its values itself: a copy outlives the original, and rewriting a buffer
    // changes no record.
    auto original = std::make_unique<ContainerTags>(t);
    const ContainerTags copy = *original;
    original->buffer.fill('x');
    original.reset();
    t.buffer.fill('y');
    EXPECT_EQ(rowText(copy, RowAlbum), QStringLiteral("Kept"));
    EXPECT_EQ(rowText(t, RowAlbum), QStringLiteral("Kept"));
}

TEST(FlacReader, ABlockRunningPastTheFileIsReadAsFarAsItGoes)
{
    QByteArray file = "fLaC" + block(0, StreamInfo) + block(0x84, comments({"TITLE=abc"}));
    file.chop(3);
    ContainerTags t;
    ASSERT_EQ(readBytes(file, t), FlacOk);
    EXPECT_EQ(t.audioSize, 0);
    EXPECT_FALSE(t.record[RowTitle].present());
    EXPECT_EQ(t.record[RowSampleRate].size, 44100u);
}

TEST(FlacReader, UnknownBlocksAreNamedAndABadPictureIsNotKept)
{
    const QByteArray badPicture = QByteArray::fromHex("000000037fffffff") + "image/png"; // lengths run past it
    ContainerTags t;
    QString dump;
    ASSERT_EQ(readBytes("fLaC" + block(9, "xyz") + block(127, "") + block(0x86, badPicture), t, &dump), FlacOk);
    expectContains(dump, {"Type-9(Reserved) 3 bytes <0>\r\n", "Type-127(Invalid) 0 bytes <0>\r\n"});
    EXPECT_FALSE(t.record[RowPicture].present());
    EXPECT_EQ(t.buffer.size(), badPicture.size());
    EXPECT_EQ(readBytes("OggS....", t), FlacNotFlac);
    EXPECT_EQ(readFlacFile(nullptr, "/nonexistent.flac", &t), FlacCannotOpen);
}

} // namespace
