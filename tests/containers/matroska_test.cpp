#include "container_fixtures.h"
#include "containers/crc.h"
#include "containers/matroska.h"
#include "containers/matroska_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

// mkvmerge's tag file: an album-level Tag (target 50) and a track-level one (target 30).
QByteArray tagsXml()
{
    const auto tag = [](const char* target, std::initializer_list<std::pair<const char*, const char*>> simples) {
        QByteArray x = QByteArray("<Tag><Targets><TargetTypeValue>") + target + "</TargetTypeValue></Targets>\n";
        for (const auto& [name, text] : simples)
            x += QByteArray("<Simple><Name>") + name + "</Name><String>" + text + "</String></Simple>\n";
        return x + "</Tag>\n";
    };
    return "<Tags>\n" + tag("50", {{"TITLE", "The Album"}, {"PART_NUMBER", "2"}, {"ARTIST", "Album Artist"}}) +
           tag("30", {{"title", "Track Title"}, {"artist", "Track Artist"}, {"part_number", "7"},
                      {"DATE_RECORDED", "1999"}, {"genre", "Jazz"}, {"COMMENT", "Cömment"}, {"COMPOSER", "Comp"},
                      {"ENCODER", "Enc"}, {"MCDI", "3+96+2D2B"}}) +
           "</Tags>\n";
}

QString dumpOf(const QString& path)
{
    MatroskaJob job;
    job.dumpFlags = MkvDumpText;
    MatroskaResult result;
    EXPECT_EQ(processMatroska(path, job, result), MkvOk);
    EXPECT_FALSE(result.dump.contains("Not match")) << qPrintable(result.dump); // every CRC-32 holds
    return result.dump;
}

// The Segment's children as mkvinfo lists them: name, position and size with the header.
struct MkvElement {
    QString name;
    qint64 at = -1, size = 0;
};
struct MkvLayout {
    QList<MkvElement> children;
    qint64 tagsSeek = -1; // where the SeekHead says the Tags are, from the file's start
    MkvElement last(const QString& name) const
    {
        MkvElement found;
        for (const MkvElement& e : children)
            if (e.name == name)
                found = e;
        return found;
    }
};
MkvLayout mkvLayout(const QString& path)
{
    const ProcessResult r = runProcess("mkvinfo", {"-v", "-v", "-z", "--ui-language", "en_US", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    MkvLayout layout;
    qint64 segmentData = 0;
    bool tagsSeekNext = false;
    static const QRegularExpression segment(QStringLiteral("^\\+ Segment: size (\\d+) at (\\d+) size (\\d+)")),
        child(QStringLiteral("^\\|\\+ ([^:]+?)(?::.*?)? at (\\d+) size (\\d+)")),
        seekPosition(QStringLiteral("^\\|  \\+ Seek position: (\\d+)"));
    for (const QString& line : QString::fromUtf8(r.out).split(u'\n')) {
        if (const auto m = segment.match(line); m.hasMatch())
            segmentData = m.captured(2).toLongLong() + m.captured(3).toLongLong() - m.captured(1).toLongLong();
        else if (const auto c = child.match(line); c.hasMatch())
            layout.children.append({c.captured(1), c.captured(2).toLongLong(), c.captured(3).toLongLong()});
        else if (const auto p = seekPosition.match(line); p.hasMatch() && tagsSeekNext)
            layout.tagsSeek = segmentData + p.captured(1).toLongLong();
        tagsSeekNext = line.contains("(KaxTags)");
    }
    return layout;
}

// mkvinfo and ffprobe read a written file without complaint, ffprobe shows each "KEY=value" among the
// file's and streams' tags, the audio decodes as before and the SeekHead's Tags entry points at the
// Tags mkvinfo finds.
MkvLayout expectWrittenWell(const QString& path, const QStringList& tags, const QByteArray& md5)
{
    const ProcessResult info = runProcess("mkvinfo", {"--all", "--ui-language", "en_US", path}); // reports errors too
    EXPECT_EQ(info.exitCode, 0) << info.err.constData();
    EXPECT_FALSE(info.out.contains("rror")) << info.out.constData();
    const ProcessResult probe = runProcess("ffprobe", {"-v", "error", "-show_format", "-show_streams", path});
    EXPECT_EQ(probe.exitCode, 0);
    EXPECT_TRUE(probe.err.isEmpty()) << probe.err.constData();
    for (const QString& tag : tags)
        EXPECT_TRUE(QString::fromUtf8(probe.out).contains("TAG:" + tag + "\n")) << qPrintable(tag);
    EXPECT_EQ(audioMd5(path), md5);
    dumpOf(path);
    const MkvLayout layout = mkvLayout(path);
    EXPECT_EQ(layout.tagsSeek, layout.last("Tags").at);
    return layout;
}

// Texts for the writer in row order, from the album to the encoded-by row.
QStringList rows(const QString& title)
{
    return {"Album", "Artist", "Album Artist", title, "5", "1", "2004", "Rock", "Note", "Writer", "Us"};
}

int writeTags(const QString& path, const QString& title, const QString& cover = {}, const QString& output = {})
{
    MatroskaJob job;
    job.writeFlags = MkvWriteTags | (cover.isEmpty() ? 0 : MkvWriteCover);
    job.tagTexts = rows(title);
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

TEST_F(MatroskaTest, MkvmergeFilesReadAsMkvinfoAndFfprobeShowThem)
{
    ASSERT_TRUE(ffmpegSine(path("s.flac"), {"-c:a", "flac"}, 0.5, 44100, 2));
    ASSERT_TRUE(ffmpegSine(path("s.opus"), {"-c:a", "libopus"}, 0.5, 48000, 2));
    ASSERT_TRUE(ffmpegImage(path("cover.jpg"), "red", 20));
    ASSERT_TRUE(writeFile(path("tags.xml"), tagsXml()));
    const auto mkvmerge = [&](const QStringList& args, const char* input) {
        const QStringList common{"-q", "--global-tags", path("tags.xml"), "--no-track-tags", path(input)};
        return runProcess("mkvmerge", args + common).exitCode;
    };
    const QStringList attach{"--attachment-mime-type", "image/jpeg", "--attach-file", path("cover.jpg")};
    ASSERT_LE(mkvmerge(QStringList{"-o", path("x.mka")} + attach, "s.flac"), 1);
    ASSERT_LE(mkvmerge({"--webm", "-o", path("x.webm")}, "s.opus"), 1);

    for (const char* name : {"x.mka", "x.webm"}) [&] {
        SCOPED_TRACE(name);
        const QString file = path(name);
        const bool webm = file.endsWith(u"webm");
        ContainerTags t;
        ASSERT_EQ(readMatroskaTags(file, t), MkvOk);
        EXPECT_EQ(t.header.version, webm ? KindWebm : KindMatroska);
        // TITLE and ARTIST go by target type; names in lower case match. mkvmerge leaves out a
        // TargetTypeValue of 50, its default; a Tag without one counts as 0, where PART_NUMBER is the
        // track number, and the target-30 one written after it wins.
        expectRows(t, {{RowAlbum, "The Album"}, {RowAlbumArtist, "Album Artist"}, {RowDisc, ""},
                       {RowTitle, "Track Title"}, {RowArtist, "Track Artist"}, {RowTrack, "7"}, {RowYear, "1999"},
                       {RowGenre, "Jazz"}, {RowComment, "Cömment"}, {RowComposer, "Comp"}, {RowEncodedBy, "Enc"},
                       {RowCdIdentifier, "3+96+2D2B"}});
        const QByteArray cover = webm ? QByteArray() : readFile(path("cover.jpg"));
        QByteArray picture;
        EXPECT_EQ(rowText(t, RowPicture, &picture), webm ? "" : QString("image/jpeg %1 bytes").arg(cover.size()));
        EXPECT_EQ(picture, cover);
        const Probe probe = ffprobe(file);
        EXPECT_EQ(bytesOf(t.record[RowSampleRate]), QByteArray::number(probeNumber(probe.audio, "sample_rate")));
        const QByteArray duration = bytesOf(t.record[RowDuration]);
        EXPECT_NEAR(duration.toDouble(), probeNumber(probe.format, "duration"), 0.0015);
        EXPECT_EQ(duration.size() - duration.indexOf('.'), 4) << duration.constData(); // three decimals

        // The dump lists the same simple tags and clusters as mkvinfo.
        const QString dump = dumpOf(file);
        const QString info = QString::fromUtf8(runProcess("mkvinfo", {"--all", "--ui-language", "en_US", file}).out);
        EXPECT_EQ(dump.count(QStringLiteral("<SimpleTag>")), info.count(QStringLiteral("+ Simple\n")));
        EXPECT_EQ(dump.count(QStringLiteral("<Cluster>")), info.count(QStringLiteral("+ Cluster\n")));
        for (const auto& m : QRegularExpression(QStringLiteral("\\+ Name: (.*)\n")).globalMatch(info))
            EXPECT_TRUE(dump.contains("<TagName> '" + m.captured(1) + "'")) << qPrintable(m.captured(1));
    }();
}

class MatroskaWriterTest : public MatroskaTest {
protected:
    void SetUp() override
    {
        MatroskaTest::SetUp();
        ASSERT_TRUE(ffmpegSine(mka, {"-c:a", "flac", "-metadata", "title=Old"}, 0.5));
        ASSERT_TRUE(ffmpegImage(path("c.png"), "blue", 12));
        md5 = audioMd5(mka);
        size = QFileInfo(mka).size();
    }
    // Writes the title (with the cover when asked), checks the file and how much it grew.
    qint64 write(const char* title, bool cover)
    {
        SCOPED_TRACE(title);
        EXPECT_EQ(writeTags(mka, title, cover ? path("c.png") : QString()), MkvOk);
        QStringList shown{"TITLE=" + QString::fromUtf8(title), "COMPOSER=Writer", "GENRE=Rock"};
        if (cover)
            shown << "filename=c.png" << "mimetype=image/png";
        layout = expectWrittenWell(mka, shown, md5);
        ContainerTags t;
        EXPECT_EQ(readMatroskaTags(mka, t), MkvOk);
        expectRows(t, {{RowTitle, title}, {RowAlbum, "Album"}, {RowDisc, "1"}, {RowTrack, "5"},
                       {RowCdIdentifier, "3+96+2D2B"}});
        QByteArray picture;
        rowText(t, RowPicture, &picture);
        EXPECT_EQ(picture, cover ? readFile(path("c.png")) : QByteArray());
        const qint64 growth = QFileInfo(mka).size() - size;
        size += growth;
        return growth;
    }
    const QString mka = path("w.mka");
    QByteArray md5;
    qint64 size = 0;
    MkvLayout layout;
};

TEST_F(MatroskaWriterTest, PlacesTagsWhereTheyFitAndAppendsThemWhereTheyDoNot)
{
    // Larger than the old Tags: appended at the end, the old one becomes a Void.
    const qint64 appended = write("A much longer title than before", false);
    EXPECT_EQ(appended, layout.last("Tags").size);
    EXPECT_EQ(layout.last("Tags").at + layout.last("Tags").size, size);
    // The same size: in place, nothing else moves.
    EXPECT_EQ(write("A much longer title than befor!", false), 0);
    // Smaller by 2 or more with the Tags at the end of the file: the file is shortened.
    EXPECT_EQ(write("Shorter title", false), -18);
}

TEST_F(MatroskaWriterTest, ACoverGoesAfterTheTagsAndSmallerTagsLeaveAVoidBehindThem)
{
    write("Shorter title", false);
    const qint64 withCover = write("Shorter title", true);
    EXPECT_EQ(withCover, layout.last("Attachments").size);
    EXPECT_EQ(write("Short", true), 0);
    const MkvElement tags = layout.last("Tags");
    const auto after = std::find_if(layout.children.begin(), layout.children.end(),
                                    [&](const MkvElement& e) { return e.at == tags.at + tags.size; });
    ASSERT_NE(after, layout.children.end());
    EXPECT_EQ(after->name, "EBML void");
    EXPECT_EQ(after->size, 8);
    // One byte less than the Tags and their Void: no room for a Void, so appended.
    const qint64 appended = write("Short1234567", true);
    EXPECT_EQ(appended, layout.last("Tags").size);
}

TEST_F(MatroskaWriterTest, FailuresLeaveTheFileWholeAndNoTemporaryFileBehind)
{
    const QByteArray written = readFile(mka);
    EXPECT_EQ(writeTags(mka, "T", {}, path("no/such/folder/out.mka")), MkvCannotWrite);
    EXPECT_EQ(writeTags(mka, "T", path("missing.jpg")), MkvCannotReadCover);
    EXPECT_EQ(writeTags(path("absent.mka"), "T"), MkvCannotOpen);
    EXPECT_EQ(readFile(mka), written);
    // Bytes after the Segment: appending there would put the new elements outside it.
    ASSERT_TRUE(writeFile(mka, written + "trailing"));
    EXPECT_EQ(writeTags(mka, "T"), MkvNotRewritable);
    EXPECT_EQ(readFile(mka), written + "trailing");
    EXPECT_EQ(folderEntries(dir.path()), (QStringList{"c.png", "w.mka"}));
}

TEST_F(MatroskaWriterTest, WithAnOutputPathTheInputIsLeftAsItWas)
{
    const QByteArray written = readFile(mka);
    EXPECT_EQ(writeTags(mka, "T", {}, path("out.mka")), MkvOk);
    EXPECT_EQ(readFile(mka), written);
    ContainerTags t;
    ASSERT_EQ(readMatroskaTags(path("out.mka"), t), MkvOk);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("T"));
}

// A live recording has a Segment of unknown size, so new elements go at the end of the file. Cut
// short (an interrupted download), its last Cluster claims bytes it does not hold: what was
// appended would become part of it, so the file is refused and stays as it was.
TEST_F(MatroskaTest, ALiveRecordingTakesTagsAtItsEndUnlessItWasCutShort)
{
    const QString live = path("live.mka"), cut = path("cut.mka");
    ASSERT_TRUE(ffmpegSine(live, {"-c:a", "pcm_s16le", "-live", "1", "-metadata", "title=Old"}, 1.0));
    const QByteArray whole = readFile(live);
    ASSERT_TRUE(writeFile(cut, whole.left(whole.size() - 300)));

    ASSERT_EQ(writeTags(live, "Live title"), MkvOk);
    const ProcessResult probe = runProcess(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format_tags=title", "-of",
                                                                       "default=nw=1:nk=1", live});
    EXPECT_EQ(probe.out.trimmed(), "Live title") << probe.err.toStdString();
    ContainerTags t;
    ASSERT_EQ(readMatroskaTags(live, t), MkvOk);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Live title"));
    // Its own output takes new tags again.
    ASSERT_EQ(writeTags(live, "Second title"), MkvOk);
    ASSERT_EQ(readMatroskaTags(live, t), MkvOk);
    EXPECT_EQ(rowText(t, RowTitle), QStringLiteral("Second title"));

    EXPECT_EQ(writeTags(cut, "Cut title"), MkvNotRewritable);
    EXPECT_EQ(readFile(cut), whole.left(whole.size() - 300));
}

TEST_F(MatroskaTest, CliAddsCoverToWebm)
{
    const QString webm = path("c.webm");
    ASSERT_TRUE(ffmpegSine(webm, {"-c:a", "libopus"}, 0.5, 48000, 2));
    ASSERT_TRUE(ffmpegImage(path("Front.JPG"), "yellow", 16));
    const QByteArray md5 = audioMd5(webm);
    const ProcessResult r =
        runProcess(cliPath(), {"mkv-tags", webm, "--title", "Wébm", "--album", "Al", "--cover", path("Front.JPG")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, (webm + ": tags written\n").toUtf8());
    expectWrittenWell(webm, {"TITLE=Wébm", "filename=Front.JPG", "mimetype=image/jpeg"}, md5);
    // Usage errors exit with 2, a file that cannot be read with 1.
    EXPECT_EQ(runProcess(cliPath(), {"mkv-tags"}).exitCode, 2);
    EXPECT_EQ(runProcess(cliPath(), {"mkv-tags", webm, "--title"}).exitCode, 2);
    EXPECT_EQ(runProcess(cliPath(), {"mkv-tags", path("none.mka")}).exitCode, 1);
}

// A file whose Segment size field is one byte and whose SeekHead has no room to grow: the size field
// is widened and the grown seek list goes to a second SeekHead. Without a Segment nothing is written.
TEST(MatroskaWriter, NarrowSegmentSizeFullSeekHeadAndNoSegment)
{
    const QByteArray ebml = ebmlElement(mkv::Ebml, ebmlElement(mkv::DocType, "matroska"));
    const QByteArray link = ebmlElement(mkv::SeekId, ebmlId(mkv::Info)) + ebmlUInt(mkv::SeekPosition, 28);
    const QByteArray seekHead = ebmlElement(mkv::SeekHead, ebmlElement(mkv::Seek, link));
    const QByteArray voidAfter = QByteArray("\xEC\x87", 2) + QByteArray(7, '\0'); // room for one link only
    ASSERT_EQ(seekHead.size() + voidAfter.size(), 28);
    const QByteArray payload = seekHead + voidAfter + ebmlElement(mkv::Info, ebmlUInt(0x2AD7B1, 1000000));
    const QByteArray file = ebml + ebmlElement(mkv::Segment, payload);
    ASSERT_EQ(uint8_t(file[ebml.size() + 4]), 0x80 | payload.size()); // one-byte size field

    MatroskaScan scan;
    scanMatroska(file, scan, nullptr);
    QByteArray out;
    ASSERT_EQ(rewriteMatroska(file, scan, buildMatroskaTags(rows("Title"), "x"), {}, out), MkvOk);
    QString dump;
    MatroskaScan again;
    scanMatroska(out, again, &dump);
    EXPECT_EQ(again.segmentSizeLength, 8);
    EXPECT_EQ(uint64_t(again.segmentDataPos) + again.segmentSize, uint64_t(out.size()));
    EXPECT_EQ(again.tagValues[RowTitle], "Title");
    EXPECT_FALSE(dump.contains("Not match")) << qPrintable(dump);
    // The first SeekHead points at the second, which lists Info and Tags.
    ASSERT_EQ(again.seeks.size(), 1u);
    EXPECT_EQ(again.seeks[0].id, mkv::SeekHead);
    EXPECT_EQ(out.mid(again.segmentDataPos + qint64(again.seeks[0].position), 4), ebmlId(mkv::SeekHead));
    EXPECT_EQ(dump.count(QStringLiteral("<SeekID> 1254c367 <Tags>")), 1);

    MatroskaScan none;
    scanMatroska(ebml, none, nullptr);
    EXPECT_EQ(rewriteMatroska(ebml, none, buildMatroskaTags({}, {}), {}, out), MkvNotRewritable);
}

TEST(MatroskaWriter, ChecksumsSizesMediaTypesAndLongTexts)
{
    EXPECT_EQ(crc32Iso3309("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32Iso3309("6789", crc32Iso3309("12345")), 0xCBF43926u);
    EXPECT_EQ(ebmlSize(126), QByteArray("\xFE", 1));
    EXPECT_EQ(ebmlSize(127), QByteArray("\x40\x7F", 2)); // 0xFF would mean "unknown"
    EXPECT_EQ(ebmlSize(16383), QByteArray("\x20\x3F\xFF", 3));

    // The name's extension goes before the picture's signature.
    EXPECT_EQ(coverMediaType("a.jpeg", "\x89PNG\r\n"), "image/jpeg");
    EXPECT_EQ(coverMediaType("noext", "\x89PNG\r\n"), "image/png");

    // Texts are cut to 255 bytes without splitting a character.
    MatroskaScan scan;
    scanMatroska(ebmlElement(mkv::Segment, buildMatroskaTags(rows(QString(200, QChar(0x00E9))), {})), scan, nullptr);
    EXPECT_EQ(scan.tagValues[RowTitle], QString(127, QChar(0x00E9)).toUtf8());
}

} // namespace
