#include "container_fixtures.h"
#include "containers/crc.h"
#include "containers/matroska.h"
#include "containers/matroska_writer.h"
#include "media/field_to_text.h"
#include "media/packed_tags.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

QByteArray raw(const ContainerTags& t, int row)
{
    return QByteArray(reinterpret_cast<const char*>(t.record[size_t(row)].data), t.record[size_t(row)].size);
}

const char* const TagsXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<Tags>
  <Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>
    <Simple><Name>TITLE</Name><String>The Album</String></Simple>
    <Simple><Name>PART_NUMBER</Name><String>2</String></Simple>
    <Simple><Name>ARTIST</Name><String>Album Artist</String></Simple>
  </Tag>
  <Tag><Targets><TargetTypeValue>30</TargetTypeValue></Targets>
    <Simple><Name>title</Name><String>Track Title</String></Simple>
    <Simple><Name>artist</Name><String>Track Artist</String></Simple>
    <Simple><Name>part_number</Name><String>7</String></Simple>
    <Simple><Name>DATE_RECORDED</Name><String>1999</String></Simple>
    <Simple><Name>genre</Name><String>Jazz</String></Simple>
    <Simple><Name>COMMENT</Name><String>Cömment</String></Simple>
    <Simple><Name>COMPOSER</Name><String>Comp</String></Simple>
    <Simple><Name>ENCODER</Name><String>Enc</String></Simple>
    <Simple><Name>MCDI</Name><String>3+96+2D2B</String></Simple>
  </Tag>
</Tags>
)";

// mkvinfo's full listing, which also reports structural errors.
ProcessResult mkvinfo(const QString& path)
{
    return runProcess("mkvinfo", {"--all", "--ui-language", "en_US", path});
}

void expectToolsAccept(const QString& path)
{
    const ProcessResult info = mkvinfo(path);
    EXPECT_EQ(info.exitCode, 0) << info.out.constData() << info.err.constData();
    EXPECT_FALSE(info.out.contains("rror")) << info.out.constData();
    const ProcessResult probe = runProcess("ffprobe", {"-v", "error", "-show_format", path});
    EXPECT_EQ(probe.exitCode, 0);
    EXPECT_TRUE(probe.err.isEmpty()) << probe.err.constData();
}

QString dumpOf(const QString& path)
{
    MatroskaJob job;
    job.dumpFlags = MkvDumpText;
    MatroskaResult result;
    EXPECT_EQ(processMatroska(path, job, result), MkvOk);
    return result.dump;
}

// The SeekHead's Tags entry must point at the Tags element, and every CRC-32 must hold.
void expectSeekAndCrcs(const QString& path)
{
    const QString dump = dumpOf(path);
    EXPECT_FALSE(dump.contains(QStringLiteral("Not match"))) << qPrintable(dump);
    const auto seek = QRegularExpression(QStringLiteral("<SeekID> 1254c367 <Tags>\r\n.*target=([0-9a-f]+)")).match(dump);
    ASSERT_TRUE(seek.hasMatch()) << qPrintable(dump);
    EXPECT_TRUE(dump.contains(QStringLiteral("\n%1 _1254c367 ").arg(seek.captured(1).rightJustified(8, u'0'))))
        << qPrintable(dump);
}

QStringList rows(const QString& album, const QString& title)
{
    QStringList t;
    for (int row = 0; row < TagRowCount; ++row)
        t << QString();
    t[RowAlbum] = album;
    t[RowArtist] = QStringLiteral("Artist");
    t[RowAlbumArtist] = QStringLiteral("Album Artist");
    t[RowTitle] = title;
    t[RowTrack] = QStringLiteral("5");
    t[RowDisc] = QStringLiteral("1");
    t[RowYear] = QStringLiteral("2004");
    t[RowGenre] = QStringLiteral("Rock");
    t[RowComment] = QStringLiteral("Note");
    t[RowComposer] = QStringLiteral("Writer");
    t[RowEncodedBy] = QStringLiteral("Us");
    return t;
}

int writeTags(const QString& path, const QStringList& texts, const QString& cover = {}, const QString& output = {})
{
    MatroskaJob job;
    job.writeFlags = MkvWriteTags | (cover.isEmpty() ? 0 : MkvWriteCover);
    job.tagTexts = texts;
    job.coverPath = cover;
    job.outputPath = output;
    job.cdIdentifier = QStringLiteral("3+96+2D2B");
    MatroskaResult result;
    return processMatroska(path, job, result);
}

class MatroskaTest : public FfmpegFolderTest {
protected:
    void SetUp() override
    {
        FfmpegFolderTest::SetUp();
        VN_REQUIRE_PROGRAM("mkvmerge");
        VN_REQUIRE_PROGRAM("mkvinfo");
    }
};

TEST_F(MatroskaTest, MkvmergeTagsAndCoverReadBack)
{
    ASSERT_TRUE(ffmpegSine(path("s.flac"), {"-c:a", "flac"}, 0.5, 44100, 2));
    ASSERT_TRUE(ffmpegSine(path("s.opus"), {"-c:a", "libopus"}, 0.5, 48000, 2));
    ASSERT_TRUE(ffmpegImage(path("cover.jpg"), "red", 20));
    ASSERT_TRUE(writeFile(path("tags.xml"), TagsXml));
    ProcessResult r = runProcess("mkvmerge", {"-q", "-o", path("x.mka"), "--global-tags", path("tags.xml"),
                                              "--attachment-mime-type", "image/jpeg", "--attach-file",
                                              path("cover.jpg"), "--no-track-tags", path("s.flac")});
    ASSERT_LE(r.exitCode, 1) << r.out.constData();
    r = runProcess("mkvmerge", {"-q", "--webm", "-o", path("x.webm"), "--global-tags", path("tags.xml"),
                                "--no-track-tags", path("s.opus")});
    ASSERT_LE(r.exitCode, 1) << r.out.constData();

    for (const QString& name : {QStringLiteral("x.mka"), QStringLiteral("x.webm")}) {
        SCOPED_TRACE(qPrintable(name));
        ContainerTags t;
        ASSERT_EQ(readMatroskaTags(path(name), t), MkvOk);
        const bool webm = name.endsWith(u"webm");
        EXPECT_EQ(t.header.version, webm ? KindWebm : KindMatroska);
        // TITLE and ARTIST go by target type; names in lower case match.
        EXPECT_EQ(rowText(t, RowAlbum), QStringLiteral("The Album"));
        EXPECT_EQ(rowText(t, RowAlbumArtist), QStringLiteral("Album Artist"));
        // mkvmerge leaves out a TargetTypeValue of 50, its default; a Tag without one counts as 0,
        // where PART_NUMBER is the track number, and the target-30 one written after it wins.
        EXPECT_FALSE(t.record[RowDisc].present());
        EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Track Title"));
        EXPECT_EQ(rowText(t, RowArtist), QStringLiteral("Track Artist"));
        EXPECT_EQ(rowText(t, RowTrack), QStringLiteral("7"));
        EXPECT_EQ(rowText(t, RowYear), QStringLiteral("1999"));
        EXPECT_EQ(rowText(t, RowGenre), QStringLiteral("Jazz"));
        EXPECT_EQ(rowText(t, RowComment), QStringLiteral("Cömment"));
        EXPECT_EQ(rowText(t, RowComposer), QStringLiteral("Comp"));
        EXPECT_EQ(rowText(t, RowEncodedBy), QStringLiteral("Enc"));
        EXPECT_EQ(rowText(t, RowCdIdentifier), QStringLiteral("3+96+2D2B"));
        if (!webm) {
            EXPECT_EQ(rowText(t, RowPicture), QStringLiteral("image/jpeg %1 bytes").arg(QFile(path("cover.jpg")).size()));
            PictureRef picture;
            QString ignored;
            fieldToText(ignored, 256, t.record, RowPicture, t.header.version, &picture);
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(picture.data), picture.size), readFile(path("cover.jpg")));
        } else {
            EXPECT_FALSE(t.record[RowPicture].present());
        }
        const Probe probe = ffprobe(path(name));
        EXPECT_EQ(raw(t, RowSampleRate), QByteArray::number(probeInt(probe.audio, "sample_rate")));
        EXPECT_NEAR(raw(t, RowDuration).toDouble(), probeDouble(probe.format, "duration"), 0.0015);
        EXPECT_TRUE(raw(t, RowDuration).contains('.') && raw(t, RowDuration).split('.').last().size() == 3);

        // The dump lists the same simple tags as mkvinfo, and every CRC-32 holds.
        const QString dump = dumpOf(path(name));
        EXPECT_TRUE(dump.startsWith(path(name) + QStringLiteral(" (%1 bytes)\r\n").arg(QFile(path(name)).size())));
        EXPECT_TRUE(dump.endsWith(QStringLiteral("%1 (total file size)\r\n\r\n")
                                      .arg(QFile(path(name)).size(), 8, 16, QChar(u'0'))));
        EXPECT_FALSE(dump.contains(QStringLiteral("Not match"))) << qPrintable(dump);
        EXPECT_TRUE(dump.contains(QString::fromLatin1(webm ? "<DocType> 'webm'" : "<DocType> 'matroska'")));
        const QString info = QString::fromUtf8(mkvinfo(path(name)).out);
        EXPECT_EQ(dump.count(QStringLiteral("<SimpleTag>")), info.count(QStringLiteral("+ Simple\n")));
        EXPECT_EQ(dump.count(QStringLiteral("<Cluster>")), info.count(QStringLiteral("+ Cluster\n")));
        for (const auto& m : QRegularExpression(QStringLiteral("\\+ Name: (.*)\n")).globalMatch(info))
            EXPECT_TRUE(dump.contains(QStringLiteral("<TagName> '%1'").arg(m.captured(1)))) << qPrintable(m.captured(1));
    }
}

TEST_F(MatroskaTest, WriterPlacementCasesKeepTheAudio)
{
    const QString mka = path("w.mka");
    ASSERT_TRUE(ffmpegSine(mka, {"-c:a", "flac", "-metadata", "title=Old"}, 0.5));
    ASSERT_TRUE(ffmpegImage(path("c.png"), "blue", 12));
    const QByteArray md5 = audioMd5(mka);
    auto check = [&](const QString& title) {
        expectToolsAccept(mka);
        expectSeekAndCrcs(mka);
        EXPECT_EQ(audioMd5(mka), md5);
        ContainerTags t;
        ASSERT_EQ(readMatroskaTags(mka, t), MkvOk);
        EXPECT_EQ(rowText(t, RowTitle), title);
        EXPECT_EQ(rowText(t, RowAlbum), QStringLiteral("Album"));
        EXPECT_EQ(rowText(t, RowDisc), QStringLiteral("1"));
        EXPECT_EQ(rowText(t, RowTrack), QStringLiteral("5"));
        EXPECT_EQ(rowText(t, RowCdIdentifier), QStringLiteral("3+96+2D2B"));
    };

    // Larger than the old Tags: appended at the end, the old one becomes a Void.
    const qint64 before = QFileInfo(mka).size();
    ASSERT_EQ(writeTags(mka, rows("Album", "A much longer title than before")), MkvOk);
    const qint64 grown = QFileInfo(mka).size();
    const qint64 tagsSize = buildMatroskaTags(rows("Album", "A much longer title than before"), "3+96+2D2B").size();
    EXPECT_EQ(grown, before + tagsSize);
    check(QStringLiteral("A much longer title than before"));
    {
        const ProcessResult probe = runProcess("ffprobe", {"-v", "error", "-show_format", mka});
        EXPECT_TRUE(probe.out.contains("TAG:TITLE=A much longer title than before"));
        EXPECT_TRUE(probe.out.contains("TAG:COMPOSER=Writer"));
        EXPECT_TRUE(probe.out.contains("TAG:GENRE=Rock"));
    }

    // The same size: in place, nothing else moves.
    ASSERT_EQ(writeTags(mka, rows("Album", "A much longer title than befor!")), MkvOk);
    EXPECT_EQ(QFileInfo(mka).size(), grown);
    check(QStringLiteral("A much longer title than befor!"));

    // Smaller by 2 or more with the Tags at the end of the file: the file is shortened.
    ASSERT_EQ(writeTags(mka, rows("Album", "Shorter title")), MkvOk);
    EXPECT_EQ(QFileInfo(mka).size(), grown - 18);
    check(QStringLiteral("Shorter title"));

    // A cover after the Tags; then smaller Tags leave a Void behind them and the size stays.
    ASSERT_EQ(writeTags(mka, rows("Album", "Shorter title"), path("c.png")), MkvOk);
    const qint64 withCover = QFileInfo(mka).size();
    ASSERT_EQ(writeTags(mka, rows("Album", "Short"), path("c.png")), MkvOk);
    EXPECT_EQ(QFileInfo(mka).size(), withCover);
    check(QStringLiteral("Short"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("_1254c367 [^\n]*\n(?:[^\n]*__[^\n]*\n)*[0-9a-f]{8} _ec 0x6\\(6\\)"))
                    .match(dumpOf(mka))
                    .hasMatch());

    // One byte less than the Tags and their 8-byte Void: no room for a Void, so appended.
    ASSERT_EQ(writeTags(mka, rows("Album", "Short1234567"), path("c.png")), MkvOk);
    EXPECT_EQ(QFileInfo(mka).size(), withCover + buildMatroskaTags(rows("Album", "Short1234567"), "3+96+2D2B").size());
    check(QStringLiteral("Short1234567"));
    const ProcessResult attachments = runProcess("mkvmerge", {"-i", mka});
    EXPECT_TRUE(attachments.out.contains("type 'image/png'")) << attachments.out.constData();
}

TEST_F(MatroskaTest, CliAddsCoverToWebm)
{
    if (!QFileInfo::exists(cliPath()))
        GTEST_SKIP() << "vornelic-cli is not built";
    const QString webm = path("c.webm");
    ASSERT_TRUE(ffmpegSine(webm, {"-c:a", "libopus"}, 0.5, 48000, 2));
    ASSERT_TRUE(ffmpegImage(path("Front.JPG"), "yellow", 16));
    const QByteArray md5 = audioMd5(webm);
    const ProcessResult r = runProcess(cliPath(), {"mkv-tags", webm, "--title", "Wébm", "--album", "Al", "--cover",
                                                   path("Front.JPG")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, (webm + QStringLiteral(": tags written\n")).toUtf8());
    expectToolsAccept(webm);
    expectSeekAndCrcs(webm);
    EXPECT_EQ(audioMd5(webm), md5);
    const Probe probe = ffprobe(webm);
    bool attachment = false;
    for (const auto& s : probe.streams) {
        const QJsonObject tags = s.toObject().value(QStringLiteral("tags")).toObject();
        if (tags.value(QStringLiteral("mimetype")).toString() == u"image/jpeg" &&
            tags.value(QStringLiteral("filename")).toString() == u"Front.JPG")
            attachment = true;
    }
    EXPECT_TRUE(attachment);
    EXPECT_EQ(probe.format.value(QStringLiteral("tags")).toObject().value(QStringLiteral("TITLE")).toString(),
              QStringLiteral("Wébm"));
    ContainerTags t;
    ASSERT_EQ(readMatroskaTags(webm, t), MkvOk);
    EXPECT_EQ(t.header.version, KindWebm);
    EXPECT_EQ(rowText(t, RowPicture), QStringLiteral("image/jpeg %1 bytes").arg(QFile(path("Front.JPG")).size()));

    EXPECT_EQ(runProcess(cliPath(), {"mkv-tags"}).exitCode, 2);
    EXPECT_EQ(runProcess(cliPath(), {"mkv-tags", webm, "--title"}).exitCode, 2);
    EXPECT_EQ(runProcess(cliPath(), {"mkv-tags", path("none.mka")}).exitCode, 1);
}

TEST_F(MatroskaTest, FailuresLeaveTheOriginalWhole)
{
    const QString mka = path("f.mka");
    ASSERT_TRUE(ffmpegSine(mka, {"-c:a", "flac"}, 0.2));
    const QByteArray original = readFile(mka);
    EXPECT_EQ(writeTags(mka, rows("A", "T"), {}, path("no/such/folder/out.mka")), MkvCannotWrite);
    EXPECT_EQ(writeTags(mka, rows("A", "T"), path("missing.jpg")), MkvCannotReadCover);
    EXPECT_EQ(readFile(mka), original);
    // Bytes after the Segment: appending there would put the new elements outside it.
    ASSERT_TRUE(writeFile(mka, original + "trailing"));
    EXPECT_EQ(writeTags(mka, rows("A", "T")), MkvNotRewritable);
    EXPECT_EQ(readFile(mka), original + "trailing");
    EXPECT_EQ(writeTags(path("absent.mka"), rows("A", "T")), MkvCannotOpen);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("f.mka")}); // no temporary left

    // The output path is written, the input left as it was.
    ASSERT_TRUE(writeFile(mka, original));
    EXPECT_EQ(writeTags(mka, rows("A", "T"), {}, path("out.mka")), MkvOk);
    EXPECT_EQ(readFile(mka), original);
    ContainerTags t;
    ASSERT_EQ(readMatroskaTags(path("out.mka"), t), MkvOk);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("T"));
}

// A file whose Segment size field is one byte and whose SeekHead has no Void after it: the size
// field is widened and the grown seek list goes to a second SeekHead.
TEST(MatroskaWriter, NarrowSegmentSizeAndFullSeekHead)
{
    const QByteArray ebml = ebmlElement(mkv::Ebml, ebmlElement(mkv::DocType, "matroska"));
    const QByteArray info = ebmlElement(mkv::Info, ebmlUInt(0x2AD7B1, 1000000));
    // Room for a SeekHead holding one link, not for the grown list: a 9-byte Void after it.
    const QByteArray voidAfter = QByteArray("\xEC\x87", 2) + QByteArray(7, '\0');
    const QByteArray seekHead = ebmlElement(
        mkv::SeekHead, ebmlElement(mkv::Seek, ebmlElement(mkv::SeekId, ebmlId(mkv::Info)) + ebmlUInt(mkv::SeekPosition, 28)));
    ASSERT_EQ(seekHead.size() + voidAfter.size(), 28);
    const QByteArray payload = seekHead + voidAfter + info;
    const QByteArray file = ebml + ebmlElement(mkv::Segment, payload);
    ASSERT_EQ(uint8_t(file[ebml.size() + 4]), 0x80 | payload.size()); // one-byte size field

    MatroskaScan scan;
    scanMatroska(file, scan, nullptr);
    QByteArray out;
    ASSERT_EQ(rewriteMatroska(file, scan, buildMatroskaTags(rows("Big album", "Title"), "x"), {}, out), MkvOk);
    QString dump;
    MatroskaScan again;
    scanMatroska(out, again, &dump);
    EXPECT_EQ(again.segmentSizeLength, 8);
    EXPECT_EQ(uint64_t(again.segmentDataPos) + again.segmentSize, uint64_t(out.size()));
    EXPECT_EQ(again.tagValues[RowTitle], "Title");
    EXPECT_FALSE(dump.contains(QStringLiteral("Not match"))) << qPrintable(dump);
    // The first SeekHead points at the second, which lists Info and Tags.
    ASSERT_EQ(again.seeks.size(), 1u);
    EXPECT_EQ(again.seeks[0].id, mkv::SeekHead);
    const qint64 second = again.segmentDataPos + qint64(again.seeks[0].position);
    EXPECT_EQ(out.mid(second, 4), ebmlId(mkv::SeekHead));
    EXPECT_EQ(dump.count(QStringLiteral("<SeekID> 1254c367 <Tags>")), 1);

    // A Segment missing altogether cannot be rewritten.
    MatroskaScan none;
    scanMatroska(ebml, none, nullptr);
    EXPECT_EQ(rewriteMatroska(ebml, none, buildMatroskaTags({}, {}), {}, out), MkvNotRewritable);
}

TEST(MatroskaWriter, ChecksumsEncodingsAndMediaTypes)
{
    EXPECT_EQ(crc32Iso3309("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32Iso3309("6789", crc32Iso3309("12345")), 0xCBF43926u);
    EXPECT_EQ(crc64We("123456789"), 0x62EC59E3F1A4F00Aull);

    EXPECT_EQ(ebmlSize(0), QByteArray("\x80", 1));
    EXPECT_EQ(ebmlSize(126), QByteArray("\xFE", 1));
    EXPECT_EQ(ebmlSize(127), QByteArray("\x40\x7F", 2)); // 0xFF would mean "unknown"
    EXPECT_EQ(ebmlSize(16383), QByteArray("\x20\x3F\xFF", 3));
    EXPECT_EQ(ebmlId(mkv::Tags), QByteArray("\x12\x54\xC3\x67", 4));
    EXPECT_EQ(ebmlUInt(mkv::TargetTypeValue, 300), QByteArray("\x68\xCA\x82\x01\x2C", 5));

    EXPECT_EQ(coverMediaType("Front.JPG", {}), "image/jpeg");
    EXPECT_EQ(coverMediaType("a.jpeg", {}), "image/jpeg");
    EXPECT_EQ(coverMediaType("a.png", {}), "image/png");
    EXPECT_EQ(coverMediaType("a.longext", {}), "image/longe");
    EXPECT_EQ(coverMediaType("noext", "\x89PNG\r\n"), "image/png");

    // The attachment's FileUID is the CRC-64 of the data, most significant byte first.
    const QByteArray picture = "not really a picture";
    const QByteArray attachments = buildMatroskaAttachments(picture, "p.png");
    const uint64_t uid = crc64We(picture);
    QByteArray uidBytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        uidBytes[i] = char(uid >> (56 - 8 * i));
    EXPECT_TRUE(attachments.contains(ebmlId(mkv::FileUid) + QByteArray("\x88", 1) + uidBytes));
    EXPECT_TRUE(attachments.contains(ebmlElement(mkv::FileMediaType, "image/png")));

    // Texts are cut to 255 bytes without splitting a character.
    QStringList texts = rows("x", QString(200, QChar(0x00E9)));
    MatroskaScan scan;
    const QByteArray tags = buildMatroskaTags(texts, {});
    scanMatroska(QByteArray(ebmlElement(mkv::Segment, tags)), scan, nullptr);
    EXPECT_EQ(scan.tagValues[RowTitle], QString(127, QChar(0x00E9)).toUtf8());
}

} // namespace
