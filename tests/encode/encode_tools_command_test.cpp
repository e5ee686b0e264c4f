// The encode command with the outside tools that are installed here, run for real: opusenc and
// FFmpeg write files that other readers find A's tags in, the same files whatever the number of
// tracks at once, and a tool that fails leaves no file and says so.
#include "encode/image_fixtures.h"

#include <QJsonArray>
#include <map>

namespace vn::test {
namespace {

class EncodeWithTools : public ImageEncode {
protected:
    ProcessResult cli(const QStringList& args) { return runCli(args, CliRun{dir.path()}); }
    // The two tools by their names on PATH, with the extra lines of each section.
    void writeIni(const QByteArray& opusEnc, const QByteArray& ffmpeg, const QByteArray& batch = {})
    {
        ASSERT_TRUE(writeFile(dir.filePath("Vornelic.ini"), "[OpusEnc]\r\nOpusEnc_Exe=opusenc\r\n" + opusEnc +
                                                                "[FFmpeg]\r\nFFmpeg_Exe=ffmpeg\r\n" + ffmpeg +
                                                                "[BatchProcess]\r\n" + batch));
    }
    std::map<QString, QByteArray> filesIn(const QString& folder)
    {
        std::map<QString, QByteArray> files;
        for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            files[name] = readFile(QDir(folder).filePath(name));
        return files;
    }
    // Runs the command into a new folder; the files it printed, in order.
    QStringList encodeInto(const QString& folder, const QStringList& options)
    {
        QDir().mkpath(folder);
        const ProcessResult r = cli(QStringList{"encode", a, image.cue, "--temp", folder} + options);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        const QString out = QString::fromUtf8(r.out);
        return out.split('\n', Qt::SkipEmptyParts);
    }

    TestImage image;
};

// The tags as mutagen reads them (Ogg Opus, FLAC) with lower-case keys, whether a picture is there,
// and the duration in seconds.
QJsonObject tagsOf(const QString& path)
{
    const ProcessResult r = runPython(R"(
import sys, json, mutagen
f = mutagen.File(sys.argv[1])
out = {k.lower(): v[0] for k, v in f.tags.items() if k.lower() != "metadata_block_picture"}
out["picture"] = bool(getattr(f, "pictures", None)) or "metadata_block_picture" in [k.lower() for k in f.tags.keys()]
out["length"] = f.info.length
print(json.dumps(out))
)",
                                      {path});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

TEST_F(EncodeWithTools, OpusEncAndFFmpegWriteATagsAndTheTrackAudio)
{
    writeMp3Folder(a, 3, 3, writePicture(dir.filePath("cover.png")));
    image = writeImage(dir.path(), "disc", {60, 45, 90}, true, 11);
    struct Case {
        const char* encoder;
        QByteArray options;
        const char* extension;
    };
    for (const Case& c : {Case{"opusenc", "", ".opus"}, Case{"ffmpeg", "FFmpeg_Options=flac\r\n", ".flac"}}) {
        SCOPED_TRACE(std::string(c.encoder) + c.extension);
        writeIni({}, c.options);
        const QString to = dir.filePath(QStringLiteral("%1%2").arg(c.encoder, c.extension));
        const QStringList written = encodeInto(to, {"--encoder", c.encoder});
        ASSERT_EQ(written.size(), 3);
        for (int t = 1; t <= 3; ++t) {
            const QString path = written[t - 1];
            EXPECT_EQ(path, QDir(to).filePath(
                                QStringLiteral("%1 Title %2%3").arg(t, 2, 10, QChar('0')).arg(t).arg(c.extension)));
            const QJsonObject tags = tagsOf(path);
            EXPECT_EQ(tags["title"].toString(), QStringLiteral("Title %1 é").arg(t));
            EXPECT_EQ(tags["album"].toString(), "Album");
            EXPECT_EQ(tags["artist"].toString(), "Artist");
            EXPECT_TRUE(tags["cdtoc"].toString().startsWith("3+96+")) << tags["cdtoc"].toString().toStdString();
            EXPECT_TRUE(tags["picture"].toBool());
            if (c.extension == QByteArray(".flac")) {
                EXPECT_TRUE(flacDecode(path) == image.trackPcm(t)); // lossless: the track exactly
            } else {                                                // within one Opus frame of the track
                EXPECT_NEAR(tags["length"].toDouble(), double(image.trackPcm(t).size() / 4) / 44100, 0.021);
            }
        }
        // Nothing but the three files: no temporary name stays.
        EXPECT_EQ(filesIn(to).size(), 3u);
    }
}

// One track at a time and two at once give the same files. opusenc gives every stream a random
// serial number (and the page checksums follow it), so two runs differ in those bytes alone: with
// "--serial" fixed the files are equal byte for byte; without it the decoded audio and the tags are.
TEST_F(EncodeWithTools, OneAtATimeAndSideBySideGiveTheSameFiles)
{
    writeMp3Folder(a, 4, 4);
    image = writeImage(dir.path(), "disc", {40, 30, 50, 20}, false);
    struct Case {
        const char* encoder;
        QByteArray opusEnc, ffmpeg;
        bool sameBytes;
    };
    for (const Case& c : {Case{"opusenc", "OpusEnc_Options=--bitrate 96 --serial 7\r\n", {}, true},
                          Case{"opusenc", {}, {}, false}, Case{"ffmpeg", {}, "FFmpeg_Options=aac -q:a 1\r\n", true}}) {
        SCOPED_TRACE(std::string(c.encoder) + c.opusEnc.constData() + c.ffmpeg.constData());
        writeIni(c.opusEnc, c.ffmpeg);
        std::map<QString, QByteArray> runs[2];
        QStringList lines[2];
        for (const int jobs : {1, 2}) {
            const QString to = dir.filePath(QStringLiteral("%1-%2-%3").arg(c.encoder).arg(int(c.sameBytes)).arg(jobs));
            lines[jobs - 1] = encodeInto(to, {"--encoder", c.encoder, "--jobs", QString::number(jobs)});
            for (QString& line : lines[jobs - 1])
                line = QFileInfo(line).fileName();
            runs[jobs - 1] = filesIn(to);
        }
        EXPECT_EQ(lines[0], lines[1]);
        ASSERT_EQ(runs[0].size(), 4u);
        ASSERT_EQ(runs[1].size(), 4u);
        if (c.sameBytes) {
            EXPECT_TRUE(runs[0] == runs[1]);
            continue;
        }
        for (const auto& [name, bytes] : runs[0]) {
            const QString one = dir.filePath(QStringLiteral("opusenc-0-1/") + name);
            const QString two = dir.filePath(QStringLiteral("opusenc-0-2/") + name);
            EXPECT_EQ(bytes.size(), runs[1][name].size());
            EXPECT_TRUE(ffmpegDecode(one) == ffmpegDecode(two)) << name.toStdString();
            EXPECT_EQ(tagsOf(one), tagsOf(two)) << name.toStdString();
        }
    }
}

// A tool that fails on every track: each is logged and named on stderr, no file stays behind, and
// the run is a failure though it went through every track.
TEST_F(EncodeWithTools, AFailingToolLeavesNothingAndSaysSo)
{
    writeMp3Folder(a, 2, 3);
    image = writeImage(dir.path(), "disc", {20, 20}, true);
    const QString log = dir.filePath("enc-err.log");
    writeIni({}, "FFmpeg_Options=no_such_encoder\r\n", "Batch_Log_EncErr=" + log.toUtf8() + "\r\n");
    const QString to = dir.filePath("failed");
    QDir().mkpath(to);
    const ProcessResult r = cli({"encode", a, image.cue, "--temp", to, "--encoder", "ffmpeg"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    QByteArray expected;
    for (int t = 1; t <= 2; ++t)
        expected += QStringLiteral("\"%1\" Not Created by FFmpeg\n")
                        .arg(QDir(to).filePath(QStringLiteral("0%1 Title %1.m4a").arg(t)))
                        .toUtf8();
    EXPECT_EQ(readFile(log), expected);
    EXPECT_TRUE(r.err.contains(expected)) << r.err.constData();
    EXPECT_TRUE(filesIn(to).empty());
}

} // namespace
} // namespace vn::test
