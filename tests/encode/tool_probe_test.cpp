// The start-up probes: the worked version examples, the real opusenc and FFmpeg, the failures that
// leave an encoder unavailable (and qaac's box), FFmpeg's encoder list and its check, and the order
// the probes run in.

#include "cli_tool_fixtures.h"
#include "encode/encoder_availability.h"
#include "encode/tool_probe.h"

#include <QFile>
#include <QRegularExpression>

namespace vn {
namespace {

using test::ToolFeedback;

// A tool that appends its name and arguments to log and prints text (on stderr when toStderr).
QString printingTool(const QString& folder, const QString& name, const QByteArray& text, const QString& log,
                     bool toStderr = false)
{
    const QString path = QDir(folder).filePath(name);
    const QByteArray script = "#!/usr/bin/python3\nimport json, sys\n"
                              "open(" +
                              QJsonDocument(QJsonArray{log}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
                              ", 'a').write(json.dumps([" +
                              QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
                              "] + sys.argv[1:]) + '\\n')\n" + (toStderr ? "sys.stderr" : "sys.stdout") +
                              ".buffer.write(bytes.fromhex('" + text.toHex() + "'))\n";
    if (!test::writeFile(path, script))
        return {};
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

TEST(ProbeTool, WorkedExamplesGiveTheirVersionTexts)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("calls.log");
    ToolFeedback feedback;
    QByteArray version = "stale";

    const QString qaac = printingTool(dir.path(), "qaac",
                                      "qaac 2.80, CoreAudioToolbox 7.10.9.0\r\nmore text\n", log, true);
    EXPECT_EQ(probeTool(qaac, "--check", "qaac", {}, version, QaacVersionSize, true, &feedback), 1);
    EXPECT_EQ(version, QByteArray("qaac 2.80"));

    const QString opusenc =
        printingTool(dir.path(), "opusenc",
                     "opusenc opus-tools 0.2 (using libopus 1.3.1)\nCopyright (C) 2008-2018\n", log);
    EXPECT_EQ(probeTool(opusenc, "--version", "libopus", "OpusEnc", version, OpusEncVersionSize, false,
                        &feedback),
              1);
    EXPECT_EQ(version, QByteArray("OpusEnc 1.3.1"));

    const QString ffmpeg = printingTool(dir.path(), "ffmpeg",
                                        "ffmpeg version 4.4\n  libavutil      56. 70.100 / 56. 70.100\n"
                                        "  libavformat    58. 76.100 / 58. 76.100\n",
                                        log);
    EXPECT_EQ(probeTool(ffmpeg, "-version", "libavformat", "FFmpeg", version, FfmpegVersionSize, false,
                        &feedback),
              1);
    EXPECT_EQ(version, QByteArray("FFmpeg 58.76.100"));

    // Longer than its 16 bytes: cut to 15.
    const QString longer = printingTool(dir.path(), "qaac-long", "qaac 2.80.1234567890 (x64)\n", log);
    EXPECT_EQ(probeTool(longer, "--check", "qaac", {}, version, QaacVersionSize, true, &feedback), 1);
    EXPECT_EQ(version, QByteArray("qaac 2.80.12345"));

    EXPECT_TRUE(feedback.messages.isEmpty());
    const QList<QStringList> calls = test::standInCalls(log);
    ASSERT_EQ(calls.size(), 4);
    EXPECT_EQ(calls[0], (QStringList{"qaac", "--check"}));
    EXPECT_EQ(calls[1], (QStringList{"opusenc", "--version"}));
    EXPECT_EQ(calls[2], (QStringList{"ffmpeg", "-version"}));
}

// What the installed tools say about themselves, read here without the program's probes: the
// libopus version opusenc names, libavformat's version as ffprobe gives it in numbers, and the
// audio encoders of ffmpeg's listing below its legend.
QByteArray opusencVersion()
{
    const QByteArray banner = test::runProcess("opusenc", {"--version"}).out;
    const auto opus = QRegularExpression("using libopus ([0-9][0-9A-Za-z.~+-]*)").match(QString::fromLatin1(banner));
    EXPECT_TRUE(opus.hasMatch()) << banner.constData();
    return ("OpusEnc " + opus.captured(1)).toLatin1().left(OpusEncVersionSize - 1);
}
QByteArray ffmpegVersion()
{
    const QJsonArray libraries =
        QJsonDocument::fromJson(
            test::runProcess("ffprobe", {"-v", "quiet", "-show_library_versions", "-of", "json"}).out)
            .object()["library_versions"]
            .toArray();
    for (const QJsonValue& v : libraries) {
        const QJsonObject o = v.toObject();
        if (o["name"].toString() == u"libavformat")
            return QStringLiteral("FFmpeg %1.%2.%3").arg(o["major"].toInt()).arg(o["minor"].toInt()).arg(o["micro"].toInt()).toLatin1();
    }
    ADD_FAILURE() << "ffprobe names no libavformat";
    return {};
}
QList<QByteArray> ffmpegAudioEncoders()
{
    const test::ProcessResult python = test::runPython(
        "import re, subprocess\n"
        "out = subprocess.run(['ffmpeg', '-hide_banner', '-encoders'], capture_output=True, text=True).stdout\n"
        "out = out.split('------', 1)[1]\n"
        "print('\\n'.join(m.group(1) for m in re.finditer(r'^ A[A-Z.]{5} (\\S+)', out, re.M)))");
    EXPECT_EQ(python.exitCode, 0) << python.err.constData();
    return python.out.trimmed().split('\n');
}

TEST(ProbeTool, RealOpusencAndFfmpegAnswer)
{
    QByteArray version;
    ASSERT_EQ(probeTool("opusenc", "--version", "libopus", "OpusEnc", version, OpusEncVersionSize, false, nullptr), 1);
    EXPECT_EQ(version, opusencVersion());
    ASSERT_EQ(probeTool("ffmpeg", "-version", "libavformat", "FFmpeg", version, FfmpegVersionSize, false, nullptr), 1);
    EXPECT_EQ(version, ffmpegVersion());
}

TEST(ProbeTool, AToolThatDoesNotAnswerStaysUnavailableAndOnlyQaacSaysSo)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("calls.log");
    ToolFeedback feedback;
    QByteArray version = "stale";

    EXPECT_EQ(probeTool(QString(), "--check", "qaac", {}, version, QaacVersionSize, true, &feedback),
              0);
    EXPECT_TRUE(version.isEmpty());
    EXPECT_EQ(probeTool(dir.filePath("missing"), "--check", "qaac", {}, version,
                        QaacVersionSize, true, &feedback),
              0);
    const QString silent = printingTool(dir.path(), "silent", "", log);
    EXPECT_EQ(probeTool(silent, "--check", "qaac", {}, version, QaacVersionSize, true, &feedback), 0);
    EXPECT_TRUE(feedback.messages.isEmpty());

    // Something answered, but not qaac: its libraries are what is missing.
    const QString broken =
        printingTool(dir.path(), "broken", "error while loading shared libraries\n", log);
    EXPECT_EQ(probeTool(broken, "--check", "qaac", {}, version, QaacVersionSize, true, &feedback), 0);
    EXPECT_TRUE(version.isEmpty());
    ASSERT_EQ(feedback.messages.size(), 1);
    EXPECT_EQ(
        feedback.messages[0],
        QStringLiteral("Error : Specified module could not be found|Dynamic link libraries required by qaac not "
                       "found.\nPlease check the EnvVarPATH parameter in the configuration file \"Vornelic.ini\"."));
    EXPECT_EQ(probeTool(broken, "-h", "fdkaac", {}, version, FdkaacVersionSize, false, &feedback), 0);
    EXPECT_EQ(feedback.messages.size(), 1);
}

TEST(FfmpegEncoders, TheListHoldsTheAudioEncodersFfmpegNames)
{
    const QList<QByteArray> list = listFfmpegEncoders("ffmpeg");
    for (const char* name : {"aac", "flac", "libmp3lame", "libopus", "pcm_s16le", "alac"})
        EXPECT_TRUE(list.contains(name)) << name;
    for (const char* name : {"=", "libx264", "png", "mjpeg", "srt"})
        EXPECT_FALSE(list.contains(name)) << name;
    EXPECT_EQ(list, ffmpegAudioEncoders());
    EXPECT_TRUE(listFfmpegEncoders(QString()).isEmpty());
    EXPECT_TRUE(listFfmpegEncoders("/nonexistent/ffmpeg").isEmpty());
}

TEST(FfmpegEncoders, TheCheckTellsWhenTheOptionsNameAnEncoderFfmpegLacks)
{
    const QList<QByteArray> list = {"aac", "flac", "libmp3lame", "libopus"};
    ToolFeedback feedback;
    EXPECT_TRUE(checkFfmpegEncoder(list, "flac", feedback));
    EXPECT_TRUE(checkFfmpegEncoder(list, "libmp3lame -q:a 2", feedback));
    // Empty options encode with "aac -q:a 1", which is what is checked.
    EXPECT_TRUE(checkFfmpegEncoder(list, QString(), feedback));
    EXPECT_TRUE(feedback.messages.isEmpty());
    // Case counts: FLAC is not flac.
    EXPECT_FALSE(checkFfmpegEncoder(list, "FLAC", feedback));
    EXPECT_FALSE(checkFfmpegEncoder(list, "libfdk_aac -vbr 4", feedback));
    EXPECT_EQ(
        feedback.messages,
        (QStringList{QStringLiteral("FFmpeg does not support the Encoder|The specified encoder 'FLAC' is not "
                                    "installed in the current version of FFmpeg."),
                     QStringLiteral("FFmpeg does not support the Encoder|The specified encoder 'libfdk_aac' is not "
                                    "installed in the current version of FFmpeg.")}));
}

TEST(ProbeOutsideTools, RunsInStartUpOrderAndFillsTheVersionsAndTheList)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("calls.log");
    Settings settings = defaultSettings(dir.path());
    settings.Qaac_Exe = test::writeStandIn(dir.path(), "qaac", log);
    settings.Fdkaac_Exe = test::writeStandIn(dir.path(), "fdkaac", log);
    settings.OpusEnc_Exe =
        printingTool(dir.path(), "opusenc", "opusenc opus-tools 0.2 (using libopus 1.3.1)\n", log);
    settings.FFmpeg_Exe =
        printingTool(dir.path(), "ffmpeg",
                     "  libavformat    58. 76.100 / 58. 76.100\nEncoders:\n A..... = Audio\n"
                     " ------\n V....D libx264   H.264\n A....D aac       AAC\n A..... flac      FLAC\n",
                     log);
    settings.FFmpeg_Options = "libopus -b:a 192k";
    EncoderAvailability available;
    ToolFeedback feedback;
    probeOutsideTools(settings, available, feedback);

    EXPECT_EQ(available.qaacVersion, QByteArray("qaac 2.80"));
    EXPECT_EQ(available.fdkaacVersion, QByteArray("fdkaac 1.0.2"));
    EXPECT_EQ(available.opusEncVersion, QByteArray("OpusEnc 1.3.1"));
    EXPECT_EQ(available.ffmpegVersion, QByteArray("FFmpeg 58.76.100"));
    EXPECT_EQ(available.ffmpegEncoders, (QList<QByteArray>{"aac", "flac"}));
    const QList<QStringList> calls = test::standInCalls(log);
    ASSERT_EQ(calls.size(), 5);
    EXPECT_EQ(calls[0], (QStringList{"--check"}));
    EXPECT_EQ(calls[1], (QStringList{"-h"}));
    EXPECT_EQ(calls[2], (QStringList{"opusenc", "--version"}));
    EXPECT_EQ(calls[3], (QStringList{"ffmpeg", "-version"}));
    EXPECT_EQ(calls[4], (QStringList{"ffmpeg", "-encoders"}));
    // libopus is not in this FFmpeg's list.
    EXPECT_EQ(feedback.messages,
              QStringList(QStringLiteral("FFmpeg does not support the Encoder|The specified encoder 'libopus' is not "
                                         "installed in the current version of FFmpeg.")));

}

TEST(ProbeOutsideTools, ChangedOptionsAreCheckedAgainstTheListWhenThereIsOne)
{
    Settings settings = defaultSettings(QDir::tempPath());
    EncoderAvailability available;
    available.ffmpegEncoders = {"aac", "flac"};
    ToolFeedback feedback;
    settings.FFmpeg_Options = "flac";
    ffmpegOptionsChanged(settings, available, feedback);
    settings.FFmpeg_Options = "libopus";
    ffmpegOptionsChanged(settings, available, feedback);
    EXPECT_EQ(feedback.messages.size(), 1);
    available.ffmpegEncoders.clear();
    settings.FFmpeg_Options = "nothing";
    ffmpegOptionsChanged(settings, available, feedback);
    EXPECT_EQ(feedback.messages.size(), 1);
}

TEST(ProbeOutsideTools, WithNothingSetEveryToolIsUnavailableAndNothingIsSaid)
{
    QTemporaryDir dir;
    EncoderAvailability none;
    ToolFeedback quiet;
    probeOutsideTools(defaultSettings(dir.path()), none, quiet);
    EXPECT_TRUE(none.qaacVersion.isEmpty() && none.fdkaacVersion.isEmpty() && none.opusEncVersion.isEmpty() &&
                none.ffmpegVersion.isEmpty() && none.ffmpegEncoders.isEmpty());
    EXPECT_TRUE(quiet.messages.isEmpty());
}

TEST(EncodersCommand, PrintsEachEncoderWithItsVersionAndFfmpegsAudioEncoders)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("Vornelic.ini");
    ASSERT_TRUE(test::writeFile(ini, "[OpusEnc]\r\nOpusEnc_Exe=opusenc\r\n[FFmpeg]\r\nFFmpeg_Exe=ffmpeg\r\n"
                                     "FFmpeg_Options=libopus -b:a 192k\r\n[qaac]\r\nQaac_Exe=" +
                                         dir.filePath("no-qaac").toUtf8() + "\r\n"));
    const test::ProcessResult r = test::runCli({"--ini", ini, "encoders"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    // The configured qaac does not exist: unavailable without a box; libopus is in this FFmpeg.
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_GE(lines.size(), 8);
    EXPECT_TRUE(lines[0].startsWith("LAME\t"));
    EXPECT_TRUE(lines[1].startsWith("FLAC\t"));
    EXPECT_EQ(lines.mid(2, 5), (QList<QByteArray>{"qaac\tunavailable", "fdkaac\tunavailable", "opusenc\t" + opusencVersion(),
                                                  "FFmpeg\t" + ffmpegVersion(), "FFmpeg audio encoders:"}));
    QList<QByteArray> listed;
    for (qsizetype i = 7; i < lines.size() && !lines[i].isEmpty(); ++i)
        listed << lines[i].trimmed();
    EXPECT_EQ(listed, ffmpegAudioEncoders());
    EXPECT_EQ(test::runCli({"--ini", ini, "encoders", "extra"}).exitCode, 2);
}

} // namespace
} // namespace vn
