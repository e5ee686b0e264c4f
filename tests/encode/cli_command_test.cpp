// The command lines of the four tools against their formats, the tag arguments from A's record and
// from the list (a double quote in both), the picture file types, the FFmpeg option and container
// cases, and the qaac and fdkaac runs through stand-ins: what they receive, a failing tool in the
// log, a hanging one aborted, a missing one, an output already there, and no temporary file left.

#include "cli_tool_fixtures.h"
#include "encode/cli_encoders.h"
#include "encode/encoder_availability.h"
#include "encode/track_cut.h"
#include "support/mp3_fixtures.h"

#include <QFile>

namespace vn {
namespace {

using test::cdImages;
using test::TestDiscToc;
using test::TrackFrames;

class CliCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(cdImages().wav.isEmpty()) << "ffmpeg could not make the test images";
        for (const char* f : {"temp", "out", "tools"})
            QDir(dir.path()).mkpath(QLatin1String(f));
        settings = defaultSettings(dir.path());
        settings.Path_Temp = path("temp");
        settings.Batch_Log_EncCmdLn = path("cmdline.log");
        tags.title = "Say \"Hi\"";
        tags.track = "2/3";
        tags.picture = test::testPicture("png");
        ASSERT_FALSE(tags.picture.isEmpty());
        ASSERT_TRUE(test::writeAFile(path("a.mp3"), tags));
        ASSERT_TRUE(test::readAFile(path("a.mp3"), aFile));
        ASSERT_EQ(aFile.header.version, 3);
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    CliTrackJob job(const QString& image, int track, const QString& output) const
    {
        CliTrackJob j;
        j.imagePath = image;
        j.first = cdImages().first(track);
        j.last = cdImages().last(track);
        j.outputPath = output;
        j.record = &aFile.record;
        j.kind = aFile.header.version;
        j.discToc = TestDiscToc;
        return j;
    }

    // The tags of the A file as qaac's format shows them, before the picture.
    QString qaacTags() const
    {
        return QStringLiteral(" --album \"Test Album\" --artist \"Test Artist\" --band \"Test Band\" --title \"Say "
                              "\\\"Hi\\\"\" --track \"2/3\" --date \"1999\" --genre \"Rock\" --comment \"A comment\" "
                              "--composer \"Test Composer\" --long-tag \"CDTOC:3+96+12C+19D+259\"");
    }

    QTemporaryDir dir;
    Settings settings;
    test::AFileTags tags;
    FileTags aFile;
    EncoderAvailability tools;
};

TEST_F(CliCommand, QaacReadsTheImageItselfWithItsRange)
{
    settings.Qaac_Exe = "/opt/my tools/qaac";
    settings.Qaac_Options = "--tvbr 91";
    TrackTempFiles temp;
    int cut = -1;
    const QString out = path("out/x.m4a");
    const ToolCommand c = buildCliCommand(CliTool::Qaac, job(cdImages().bin, 2, out), out, settings, temp, cut);
    EXPECT_EQ(cut, CutOk);
    EXPECT_FALSE(temp.cut);
    ASSERT_TRUE(temp.picture);
    EXPECT_TRUE(temp.picturePath().endsWith(u".png"));
    EXPECT_EQ(c.text,
              QStringLiteral("\"/opt/my tools/qaac\" -R \"%1\" --start 88200s --end 154643s -o \"%2\" --tvbr 91")
                      .arg(cdImages().bin, out) +
                  qaacTags() + QStringLiteral(" --artwork \"%1\"").arg(temp.picturePath()));
    EXPECT_EQ(c.program, settings.Qaac_Exe);
    EXPECT_EQ(c.arguments.mid(0, 10),
              (QStringList{"-R", cdImages().bin, "--start", "88200s", "--end", "154643s", "-o", out, "--tvbr", "91"}));
    EXPECT_TRUE(c.arguments.contains("Say \"Hi\""));

    // A WAV image has no "-R"; empty options leave their blank.
    settings.Qaac_Options.clear();
    TrackTempFiles temp2;
    const ToolCommand w = buildCliCommand(CliTool::Qaac, job(cdImages().wav, 3, out), out, settings, temp2, cut);
    EXPECT_TRUE(w.text.startsWith(
        QStringLiteral("\"/opt/my tools/qaac\" \"%1\" --start 154644s --end 265187s -o \"%2\"  --album")
            .arg(cdImages().wav, out)))
        << w.text.toStdString();
}

TEST_F(CliCommand, FdkaacReadsTheCutTrack)
{
    settings.Fdkaac_Exe = "/usr/bin/fdkaac";
    settings.Fdkaac_Options.clear();
    const QString out = path("out/x.m4a");
    TrackTempFiles temp;
    int cut = -1;
    const ToolCommand f = buildCliCommand(CliTool::Fdkaac, job(cdImages().wav, 1, out), out, settings, temp, cut);
    EXPECT_EQ(cut, CutOk);
    ASSERT_TRUE(temp.cut && temp.picture);
    EXPECT_TRUE(temp.cutPath().startsWith(settings.Path_Temp + "/_tmp"));
    EXPECT_TRUE(temp.cutPath().endsWith(u".wav"));
    EXPECT_EQ(QFileInfo(temp.cutPath()).size(), 44 + qint64(TrackFrames[0]) * 4);
    EXPECT_TRUE(temp.picturePath().startsWith(settings.Path_Temp + "/_tmppict"));
    EXPECT_EQ(f.text, QStringLiteral("/usr/bin/fdkaac -m5 \"%1\" -o \"%2\"").arg(temp.cutPath(), out) +
                          QString(qaacTags()).replace("--band", "--album-artist") +
                          QStringLiteral(" --tag-from-file covr:\"%1\"").arg(temp.picturePath()));
    EXPECT_EQ(f.arguments.last(), "covr:" + temp.picturePath());
}

TEST_F(CliCommand, OpusencReadsTheCutTrackRawFromABinImageAndIsQuietUnlessAMessageModeIsSet)
{
    settings.OpusEnc_Exe = "/usr/bin/opusenc";
    const QString out = path("out/x.opus");
    int cut = -1;
    TrackTempFiles temp2;
    const ToolCommand o = buildCliCommand(CliTool::OpusEnc, job(cdImages().bin, 2, out), out, settings, temp2, cut);
    ASSERT_TRUE(temp2.cut && temp2.picture);
    EXPECT_TRUE(temp2.cutPath().endsWith(u".bin"));
    EXPECT_EQ(o.text, QString(
                          "/usr/bin/opusenc --bitrate 192 --comment \"ALBUM=Test Album\" --comment \"ARTIST=Test "
                          "Artist\" --comment \"ALBUMARTIST=Test Band\" --comment \"TITLE=Say \\\"Hi\\\"\" --comment "
                          "\"TRACKNUMBER=2/3\" --comment \"DATE=1999\" --comment \"GENRE=Rock\" --comment "
                          "\"COMMENT=A comment\" --comment \"COMPOSER=Test Composer\" --comment "
                          "\"CDTOC=3+96+12C+19D+259\" --picture \"%1\" --quiet --raw --raw-rate 44100 \"%2\" \"%3\"")
                          .arg(temp2.picturePath(), temp2.cutPath(), out));
    // Any message mode drops --quiet.
    settings.OpusEnc_Msg = "hide";
    TrackTempFiles temp3;
    const ToolCommand loud = buildCliCommand(CliTool::OpusEnc, job(cdImages().wav, 2, out), out, settings, temp3, cut);
    EXPECT_TRUE(loud.text.endsWith(
        QStringLiteral("--picture \"%1\" \"%2\" \"%3\"").arg(temp3.picturePath(), temp3.cutPath(), out)));
}

TEST_F(CliCommand, FfmpegOptionsChooseTheContainer)
{
    struct Case {
        const char* options;
        const char* container;
    };
    for (const Case& k :
         {Case{"flac", ".flac"}, Case{"libmp3lame -q:a 2", ".mp3"}, Case{"", ".m4a"}, Case{"libopus -b:a 192k", ".mka"},
          Case{"aac -q:a 1", ".m4a"}, Case{"libvorbis", ".mka"}, Case{"pcm_s16le", ".m4a"}}) {
        settings.FFmpeg_Options = QString::fromLatin1(k.options);
        EXPECT_EQ(ffmpegContainerFor(settings), QLatin1String(k.container)) << k.options;
    }
    settings.FFmpeg_Containers = "  .bad opus.webm  flac.flac";
    settings.FFmpeg_Options = "libopus";
    EXPECT_EQ(ffmpegContainerFor(settings), ".webm");
}

TEST_F(CliCommand, FfmpegCommandsCarryThePictureAndTagsAsTheContainerTakesThem)
{
    settings.FFmpeg_Exe = "ffmpeg";

    const QString tagsText = QString(
        " -metadata album=\"Test Album\" -metadata artist=\"Test Artist\" -metadata album_artist=\"Test Band\" "
        "-metadata "
        "title=\"Say \\\"Hi\\\"\" -metadata track=\"2/3\" -metadata date=\"1999\" -metadata genre=\"Rock\" -metadata "
        "comment=\"A comment\" -metadata composer=\"Test Composer\" -metadata CDTOC=\"3+96+12C+19D+259\"");
    auto command = [&](const QString& options, const QString& image, TrackTempFiles& temp) {
        settings.FFmpeg_Options = options;
        const QString out = path("out/x") + ffmpegContainerFor(settings);
        int cut = -1;
        ToolCommand c = buildCliCommand(CliTool::FFmpeg, job(image, 1, out), out, settings, temp, cut);
        EXPECT_EQ(cut, CutOk);
        return c;
    };

    // flac from a WAV image: the picture as a second input, attached.
    TrackTempFiles t1;
    const ToolCommand flac = command("flac", cdImages().wav, t1);
    EXPECT_EQ(flac.text,
              QStringLiteral("ffmpeg -i \"%1\" -i \"%2\" -map 0:a -map 1:v -c:a flac -c:v copy -disposition:1 "
                             "attached_pic")
                      .arg(t1.cutPath(), t1.picturePath()) +
                  tagsText + QStringLiteral(" -hide_banner -y \"%1\"").arg(path("out/x.flac")));

    // libmp3lame from a raw image: the raw input described, ID3v2.3 asked for.
    TrackTempFiles t2;
    const ToolCommand mp3 = command("libmp3lame -q:a 2", cdImages().bin, t2);
    EXPECT_EQ(mp3.text, QStringLiteral("ffmpeg -f s16le -ar 44100 -ac 2 -i \"%1\" -i \"%2\" -map 0:a -map 1:v -c:a "
                                       "libmp3lame -q:a 2 -c:v copy -disposition:1 attached_pic")
                                .arg(t2.cutPath(), t2.picturePath()) +
                            tagsText +
                            QStringLiteral(" -id3v2_version 3 -hide_banner -y \"%1\"").arg(path("out/x.mp3")));
    EXPECT_EQ(mp3.arguments.mid(0, 6), (QStringList{"-f", "s16le", "-ar", "44100", "-ac", "2"}));

    // Empty options: the default encoder and its options, into .m4a.
    TrackTempFiles t3;
    const ToolCommand m4a = command(QString(), cdImages().wav, t3);
    EXPECT_TRUE(m4a.text.contains(" -map 0:a -map 1:v -c:a aac -q:a 1 -c:v copy"));
    EXPECT_TRUE(m4a.text.endsWith(QStringLiteral(" -hide_banner -y \"%1\"").arg(path("out/x.m4a"))));
    EXPECT_FALSE(m4a.text.contains(u"id3v2_version"));

    // Matroska attaches the picture with its own type; WebM gets it from the tag writer later.
    TrackTempFiles t4;
    const ToolCommand mka = command("libopus -b:a 192k", cdImages().wav, t4);
    EXPECT_EQ(mka.text, QStringLiteral("ffmpeg -i \"%1\" -c:a libopus -b:a 192k -attach \"%2\" -metadata:s:t "
                                       "mimetype=image/png")
                                .arg(t4.cutPath(), t4.picturePath()) +
                            tagsText + QStringLiteral(" -hide_banner -y \"%1\"").arg(path("out/x.mka")));
    settings.FFmpeg_Containers = "opus.webm";
    TrackTempFiles t5;
    const ToolCommand webm = command("libopus", cdImages().wav, t5);
    EXPECT_TRUE(t5.picture);
    EXPECT_EQ(webm.text, QStringLiteral("ffmpeg -i \"%1\" -c:a libopus").arg(t5.cutPath()) + tagsText +
                             QStringLiteral(" -hide_banner -y \"%1\"").arg(path("out/x.webm")));

    // An extension in FFmpeg_Omit_Pict gets no picture, and no picture file is written.
    settings.FFmpeg_Containers = "vorbis.ogg";
    TrackTempFiles t6;
    const ToolCommand ogg = command("libvorbis", cdImages().wav, t6);
    EXPECT_FALSE(t6.picture);
    EXPECT_EQ(ogg.text, QStringLiteral("ffmpeg -i \"%1\" -c:a libvorbis").arg(t6.cutPath()) + tagsText +
                            QStringLiteral(" -hide_banner -y \"%1\"").arg(path("out/x.ogg")));
}

TEST_F(CliCommand, OmitPictureMatchesPrefixesAndTheLastItemWhole)
{
    EXPECT_TRUE(omitPicture(settings, ".ogg"));
    EXPECT_TRUE(omitPicture(settings, ".OGG"));
    EXPECT_FALSE(omitPicture(settings, ".ogg2"));
    EXPECT_FALSE(omitPicture(settings, ".mka"));
    settings.FFmpeg_Omit_Pict = ".og  .wv";
    EXPECT_TRUE(omitPicture(settings, ".ogg")); // begins with the first item
    EXPECT_TRUE(omitPicture(settings, ".Oga"));
    EXPECT_TRUE(omitPicture(settings, ".WV"));
    EXPECT_FALSE(omitPicture(settings, ".wvx")); // the last item must match whole
    settings.FFmpeg_Omit_Pict.clear();
    EXPECT_FALSE(omitPicture(settings, ".ogg"));
    EXPECT_FALSE(omitPicture(settings, QString()));
}

TEST_F(CliCommand, PictureTypesComeFromTheMimeOrFormat)
{
    EXPECT_EQ(pictureExtension("image/png 1234 bytes"), "png");
    EXPECT_EQ(pictureExtension("PNG 1234 bytes"), "png");
    EXPECT_EQ(pictureExtension("image/jpeg 10 bytes"), "jpg");
    EXPECT_EQ(pictureExtension("JPG 10 bytes"), "jpg");
    EXPECT_EQ(pictureExtension("jpeg"), "jpg");
    EXPECT_EQ(pictureExtension("image/gif 1 bytes"), "gif");
    EXPECT_EQ(pictureExtension("gif"), "gif");
    EXPECT_EQ(pictureExtension("image/PNG"), "jpg"); // containment counts case
    EXPECT_EQ(pictureExtension("image/bmp 1 bytes"), "jpg");
    EXPECT_EQ(pictureExtension(QString()), "jpg");
}

TEST_F(CliCommand, PictureFilesAreWrittenFromTheTagsOwnPictureWithItsType)
{
    // From the files' own tags: the ID3v2.3 A file (image/png), an ID3v2.2 file (PNG), an unknown type.
    TrackTempFiles temp;
    ASSERT_EQ(writePictureFile(aFile.record, aFile.header.version, settings.Path_Temp, temp), 1);
    EXPECT_TRUE(temp.picturePath().endsWith(u".png"));
    EXPECT_EQ(test::readFile(temp.picturePath()), tags.picture);

    const QByteArray png = tags.picture;
    const QByteArray v22 = test::id3Frame(2, "TT2", QByteArray(1, '\0') + "Old") +
                           test::id3Frame(2, "PIC", QByteArray(1, '\0') + "PNG" + '\x03' + QByteArray(1, '\0') + png);
    ASSERT_TRUE(test::writeFile(path("v22.mp3"), test::id3Tag(2, v22) + test::cbrFrames(2)));
    FileTags old;
    ASSERT_TRUE(test::readAFile(path("v22.mp3"), old));
    ASSERT_EQ(old.header.version, 2);
    TrackTempFiles temp22;
    ASSERT_EQ(writePictureFile(old.record, old.header.version, settings.Path_Temp, temp22), 1);
    EXPECT_TRUE(temp22.picturePath().endsWith(u".png"));
    EXPECT_EQ(test::readFile(temp22.picturePath()), png);

    test::AFileTags bmp;
    bmp.picture = "BM-not-really-a-bitmap";
    bmp.pictureMime = "image/bmp";
    ASSERT_TRUE(test::writeAFile(path("bmp.mp3"), bmp));
    FileTags b;
    ASSERT_TRUE(test::readAFile(path("bmp.mp3"), b));
    TrackTempFiles tempB;
    ASSERT_EQ(writePictureFile(b.record, b.header.version, settings.Path_Temp, tempB), 1);
    EXPECT_TRUE(tempB.picturePath().endsWith(u".jpg"));

    // No picture, or a TempFile folder that cannot take one: no file, no option.
    test::AFileTags plain;
    plain.picture.clear();
    ASSERT_TRUE(test::writeAFile(path("plain.mp3"), plain));
    FileTags p;
    ASSERT_TRUE(test::readAFile(path("plain.mp3"), p));
    TrackTempFiles none;
    EXPECT_EQ(writePictureFile(p.record, p.header.version, settings.Path_Temp, none), 0);
    EXPECT_EQ(writePictureFile(aFile.record, aFile.header.version, path("no/such/folder"), none), 0);
    EXPECT_FALSE(none.picture);
    settings.OpusEnc_Exe = "opusenc";
    int cut = -1;
    const QString out = path("out/x.opus");
    CliTrackJob j = job(cdImages().wav, 1, out);
    settings.Path_Temp = path("temp");
    j.record = &p.record;
    TrackTempFiles t;
    EXPECT_FALSE(buildCliCommand(CliTool::OpusEnc, j, out, settings, t, cut).text.contains(u"--picture"));
    temp = {};
    temp22 = {};
    tempB = {};
    t = {};
    EXPECT_TRUE(test::folderEntries(settings.Path_Temp).isEmpty());
}

TEST_F(CliCommand, ListTagsEscapeQuotesAndAlwaysCarryTheDiscToc)
{
    ListRow row;
    row[size_t(3 + RowAlbum)] = "Sine Album";
    row[size_t(3 + RowTitle)] = "A \"B\"";
    row[size_t(3 + RowTrack)] = "2";
    row[size_t(3 + RowEncodedBy)] = "LPCM"; // not a text the tools take
    CliTrackJob j = job(cdImages().wav, 2, path("out/x"));
    j.bTagsRun = true;
    j.listRow = &row;

    struct Case {
        CliTool tool;
        QString expected;
    };
    const Case cases[] = {
        {CliTool::Qaac, QStringLiteral(" --album \"Sine Album\" --title \"A \\\"B\\\"\" --track \"2\" --long-tag "
                                       "\"CDTOC:3+96+12C+19D+259\"")},
        {CliTool::Fdkaac, QStringLiteral(" --album \"Sine Album\" --title \"A \\\"B\\\"\" --track \"2\" --long-tag "
                                         "\"CDTOC:3+96+12C+19D+259\"")},
        {CliTool::OpusEnc, QStringLiteral(" --comment \"ALBUM=Sine Album\" --comment \"TITLE=A \\\"B\\\"\" --comment "
                                          "\"TRACKNUMBER=2\" --comment \"CDTOC=3+96+12C+19D+259\"")},
        {CliTool::FFmpeg, QStringLiteral(" -metadata album=\"Sine Album\" -metadata title=\"A \\\"B\\\"\" -metadata "
                                         "track=\"2\" -metadata CDTOC=\"3+96+12C+19D+259\"")},
    };
    for (const Case& k : cases) {
        ToolCommand c = toolCommand("tool");
        tagArgsFromList(c, k.tool, j.discToc, row);
        EXPECT_EQ(c.text, "tool" + k.expected) << cliToolName(k.tool).toStdString();
        EXPECT_TRUE(c.arguments.contains("A \"B\"") ||
                    c.arguments.contains("TITLE=A \"B\"") ||
                    c.arguments.contains("title=A \"B\""));
    }
    // A B-tags run adds no picture, whatever A holds.
    settings.FFmpeg_Exe = "ffmpeg";
    settings.FFmpeg_Options = "flac";
    TrackTempFiles temp;
    int cut = -1;
    const ToolCommand f = buildCliCommand(CliTool::FFmpeg, j, path("out/x.flac"), settings, temp, cut);
    EXPECT_FALSE(temp.picture);
    EXPECT_FALSE(f.text.contains(u"attached_pic"));
}

TEST_F(CliCommand, StandInsReceiveEveryTagAsOneArgumentAndTheirOutputsTakeTheName)
{
    const QString log = path("calls.log");
    settings.Qaac_Exe = test::writeStandIn(path("tools"), "qaac", log);
    settings.Fdkaac_Exe = test::writeStandIn(path("tools"), "fdkaac", log);
    for (const CliTool tool : {CliTool::Qaac, CliTool::Fdkaac}) {
        for (const QString& image : {cdImages().wav, cdImages().bin}) [&] {
            const QString out = path("out/%1-%2.m4a").arg(cliToolName(tool), QFileInfo(image).suffix());
            EXPECT_EQ(encodeCliTrack(tool, job(image, 2, out), settings, tools, nullptr), CliEncodeDone);
            const QJsonObject got = QJsonDocument::fromJson(test::readFile(out)).object();
            QStringList argv;
            for (const QJsonValue& v : got.value("argv").toArray())
                argv << v.toString();
            const qsizetype title = argv.indexOf("--title");
            ASSERT_GE(title, 0);
            EXPECT_EQ(argv.value(title + 1), "Say \"Hi\"");
            EXPECT_EQ(argv.value(argv.indexOf("--long-tag") + 1),
                      "CDTOC:3+96+12C+19D+259");
            // The picture existed while the tool ran, whole.
            EXPECT_EQ(got.value("artwork_size").toInt(), tags.picture.size());
            if (tool == CliTool::Fdkaac) {
                const bool wav = image.endsWith(u".wav");
                EXPECT_EQ(got.value("input_size").toInt(), (wav ? 44 : 0) + int(TrackFrames[1]) * 4);
            } else {
                EXPECT_EQ(argv.value(argv.indexOf("--start") + 1), "88200s");
            }
            EXPECT_EQ(QFileInfo(out).permissions() & QFileDevice::ReadOther, QFileDevice::ReadOther);
        }();
    }
    EXPECT_EQ(test::standInCalls(log).size(), 4);
    EXPECT_TRUE(test::folderEntries(settings.Path_Temp).isEmpty());
    EXPECT_EQ(test::folderEntries(path("out")),
              (QStringList{"fdkaac-bin.m4a", "fdkaac-wav.m4a", "qaac-bin.m4a", "qaac-wav.m4a"}));
    EXPECT_FALSE(QFile::exists(settings.Batch_Log_EncCmdLn));
}

class FailingTool : public CliCommand {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(test::folderEntries(path("out")).isEmpty() || test::folderEntries(path("out")) == QStringList{"x.m4a"});
        EXPECT_TRUE(test::folderEntries(settings.Path_Temp).isEmpty());
    }
    const QString log = path("calls.log"), out = path("out/x.m4a");
};

TEST_F(FailingTool, AFailingToolIsLoggedWithItsCommandLineAndLeavesNoOutput)
{
    settings.Fdkaac_Exe = test::writeStandIn(path("tools"), "fdkaac", log, test::StandIn::Fail3);
    EXPECT_EQ(encodeFdkaacTrack(job(cdImages().bin, 1, out), settings, tools, nullptr), CliEncodeToolFailed);
    const QByteArray entry = test::readFile(settings.Batch_Log_EncCmdLn);
    EXPECT_TRUE(entry.startsWith("Commandline error Exit Code=3\n" + settings.Fdkaac_Exe.toUtf8() + " -m5 -R \""))
        << entry.constData();
    EXPECT_TRUE(entry.contains(" --title \"Say \\\"Hi\\\"\"")) << entry.constData();
    EXPECT_TRUE(entry.endsWith("\"\n"));
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(FailingTool, AHangingToolIsStoppedByTheAbort)
{
    settings.Qaac_Exe = test::writeStandIn(path("tools"), "qaac", log, test::StandIn::Hang);
    test::ToolFeedback feedback;
    feedback.abortAfterMarks = 2;
    EXPECT_EQ(encodeQaacTrack(job(cdImages().wav, 1, out), settings, tools, &feedback), CliEncodeAborted);
    EXPECT_EQ(feedback.statuses.value(0), "  *");
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(FailingTool, AToolThatIsNotThereFails)
{
    settings.OpusEnc_Exe = path("tools/no-opusenc");
    EXPECT_EQ(encodeOpusEncTrack(job(cdImages().wav, 1, path("out/x.opus")), settings, tools, nullptr), CliEncodeToolFailed);
    settings.FFmpeg_Exe.clear();
    EXPECT_EQ(encodeFfmpegTrack(job(cdImages().wav, 1, out), settings, tools, nullptr), CliEncodeToolFailed);
}

TEST_F(FailingTool, ARangePastTheImageRunsNothing)
{
    settings.Fdkaac_Exe = test::writeStandIn(path("tools"), "fdkaac", log);
    CliTrackJob past = job(cdImages().bin, 3, out);
    past.last += 1;
    EXPECT_EQ(encodeFdkaacTrack(past, settings, tools, nullptr), CliEncodeCutFailed);
    EXPECT_TRUE(test::standInCalls(log).isEmpty());
}

TEST_F(FailingTool, AFileAlreadyUnderTheOutputNameIsTheUsersAndNoToolRuns)
{
    settings.Fdkaac_Exe = test::writeStandIn(path("tools"), "fdkaac", log);
    ASSERT_TRUE(test::writeFile(out, "mine"));
    EXPECT_EQ(encodeFdkaacTrack(job(cdImages().bin, 1, out), settings, tools, nullptr), CliEncodeOutputTaken);
    EXPECT_EQ(test::readFile(out), QByteArray("mine"));
    EXPECT_TRUE(test::standInCalls(log).isEmpty());
}

} // namespace
} // namespace vn
