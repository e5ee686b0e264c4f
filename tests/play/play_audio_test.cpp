// Playback through the real audio path: a private sound server with a null sink, the real players,
// and the sink's monitor recorded. MP3, M4A and FLAC files and a track of a raw CD image, made here
// by ffmpeg, lame and flac, must come out of the sink whole: not silent, as long as what was
// played, and for lossless sources sample for sample.
#include "media/cue_sheet.h"
#include "play/playback.h"
#include "support/sound_server.h"
#include "support/mp3_fixtures.h"
#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

// One track of the test image: 90 sectors, 1.2 s.
constexpr uint32_t TrackFrames = 90 * 588;
constexpr uint32_t FramesPer100Ms = SinkRate / 10;

// Runs the event loop for about ms milliseconds, or until done() holds.
template <typename Done>
void pump(int ms, Done done)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && !done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}
void pump(int ms)
{
    pump(ms, [] { return false; });
}

std::vector<int16_t> samplesOf(const QByteArray& bytes)
{
    std::vector<int16_t> s(size_t(bytes.size()) / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(uint16_t(uint8_t(bytes[qsizetype(2 * i)])) | uint16_t(uint8_t(bytes[qsizetype(2 * i + 1)])) << 8);
    return s;
}

// The frames of a recording in which anything sounds, in order.
std::vector<int16_t> audibleOnly(const std::vector<int16_t>& rec)
{
    std::vector<int16_t> out;
    for (size_t i = 0; i + 1 < rec.size(); i += 2) {
        if (rec[i] != 0 || rec[i + 1] != 0) {
            out.push_back(rec[i]);
            out.push_back(rec[i + 1]);
        }
    }
    return out;
}

class PlayAudio : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = new SoundServer;
        QString error;
        serverError_ = server_->start(error) ? QString() : error;
        // The players of this process and every program it starts play on the private server.
        qputenv("PULSE_SERVER", server_->address().toUtf8());
    }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(serverError_.isEmpty()) << serverError_.toStdString(); }

    QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    // Pink noise, different for each seed, as 16-bit stereo PCM.
    QByteArray noise(double seconds, int seed)
    {
        const ProcessResult r = runProcess("ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                                      QStringLiteral("anoisesrc=d=%1:c=pink:r=44100:a=0.3:seed=%2").arg(seconds).arg(seed),
                                                      "-ac", "2", "-f", "s16le", "-"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out;
    }
    QString wav(const QByteArray& pcm, const QString& name)
    {
        writeFile(path(name + ".raw"), pcm);
        const ProcessResult r = runProcess("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "s16le", "-ar",
                                                      "44100", "-ac", "2", "-i", path(name + ".raw"), path(name + ".wav")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return path(name + ".wav");
    }
    double probeSeconds(const QString& file)
    {
        const ProcessResult r = runProcess("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out.trimmed().toDouble();
    }
    // A raw image of three tracks of noise and its cue sheet; the PCM of each track.
    QString makeImage(std::array<QByteArray, 3>& tracks)
    {
        QByteArray image;
        for (int t = 0; t < 3; ++t) {
            tracks[size_t(t)] = noise(1.5, 11 + t).left(qsizetype(TrackFrames) * 4);
            EXPECT_EQ(tracks[size_t(t)].size(), qsizetype(TrackFrames) * 4);
            image += tracks[size_t(t)];
        }
        writeFile(path("image.bin"), image);
        writeFile(path("image.cue"), "FILE \"image.bin\" BINARY\r\n"
                                     "  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n    INDEX 01 00:00:00\r\n"
                                     "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    INDEX 01 00:01:15\r\n"
                                     "  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    INDEX 01 00:02:30\r\n");
        return path("image.cue");
    }
    // The players of every program this one starts play on the private server too (PULSE_SERVER).
    ProcessResult playCli(const QStringList& args) { return runCli(QStringList{"--ini", path("Vornelic.ini"), "play"} + args); }
    std::vector<int16_t> recordCli(const QStringList& args, ProcessResult& result)
    {
        QString error;
        EXPECT_TRUE(server_->startRecording(error)) << error.toStdString();
        result = playCli(args);
        // The last piece reaches the monitor a moment after the player let go of it.
        pump(300);
        return server_->stopRecording();
    }

    static SoundServer* server_;
    static QString serverError_;
    QTemporaryDir dir_;
};

SoundServer* PlayAudio::server_ = nullptr;
QString PlayAudio::serverError_;

TEST_F(PlayAudio, FilesOfEachFormatPlayToTheirEnd)
{
    const QByteArray pcm = noise(1.5, 3);
    const QString source = wav(pcm, "noise");
    ASSERT_EQ(runProcess("lame", {"--silent", "-b", "192", source, path("noise.mp3")}).exitCode, 0);
    ASSERT_EQ(runProcess("flac", {"-s", "-f", source, "-o", path("noise.flac")}).exitCode, 0);
    ASSERT_EQ(runProcess("ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", source, "-c:a", "aac", "-b:a", "192k",
                                    path("noise.m4a")})
                  .exitCode,
              0);
    for (const char* name : {"noise.mp3", "noise.m4a", "noise.flac"}) {
        SCOPED_TRACE(name);
        const QString file = path(name);
        ProcessResult r;
        const std::vector<int16_t> rec = recordCli({file}, r);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const size_t heard = audibleFrames(rec);
        const double seconds = probeSeconds(file);
        EXPECT_GT(heard, 0u) << "silent";
        EXPECT_NEAR(double(heard), seconds * SinkRate, double(FramesPer100Ms)) << "frames heard against ffprobe's length";
        if (QString(name).endsWith(".flac")) {
            // Lossless: the monitor carries the source's own samples from its first frame on.
            const std::vector<int16_t> want = samplesOf(pcm);
            const auto span = audibleSpan(rec);
            const size_t n = std::min(span.second - span.first + 1, want.size() / 2);
            EXPECT_TRUE(std::equal(rec.begin() + long(2 * span.first), rec.begin() + long(2 * (span.first + n)),
                                   want.begin()))
                << "the samples differ from the source";
        }
    }
}

TEST_F(PlayAudio, ImageTrackComesOutSampleForSample)
{
    std::array<QByteArray, 3> tracks;
    const QString cue = makeImage(tracks);
    ProcessResult r;
    const std::vector<int16_t> rec = recordCli({cue + "#2"}, r);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const std::vector<int16_t> want = samplesOf(tracks[1]);

    const long at = bestAlignment(rec, want, 256);
    ASSERT_GE(at, 0) << "the track is not in the recording";
    ASSERT_LE(size_t(at) * 2 + want.size(), rec.size()) << "the recording ends inside the track";
    EXPECT_TRUE(std::equal(want.begin(), want.end(), rec.begin() + 2 * at)) << "the samples differ from the track's";
    // Nothing before or after it: the first and the third track stay silent.
    EXPECT_EQ(audibleFrames(rec), audibleFrames(want));
}

TEST_F(PlayAudio, PausedImageTrackResumesWhereItStopped)
{
    std::array<QByteArray, 3> tracks;
    ComparisonState state;
    CueSheet sheet;
    ASSERT_EQ(parseCueSheet(makeImage(tracks), CueTrackLimit, 0, sheet), 3);
    state.folderBMode = false;
    state.cue = sheet;
    state.rows.resize(6);
    RecordingFeedback feedback;
    Playback playback(state, feedback);
    playback.stopAtEnd = true;

    QString error;
    ASSERT_TRUE(server_->startRecording(error)) << error.toStdString();
    playback.play(5); // track 3
    pump(10000, [&] { return playback.timerActive(); });
    ASSERT_TRUE(playback.timerActive()) << playback.failure().toStdString();
    pump(400);
    playback.pauseOrResume();
    EXPECT_EQ(playback.playState(), PlayTrackPaused);
    pump(400);
    playback.pauseOrResume();
    EXPECT_EQ(playback.playState(), PlayTrack);
    pump(20000, [&] { return playback.playState() == PlayIdle; });
    EXPECT_EQ(playback.playState(), PlayIdle);
    pump(300);
    const std::vector<int16_t> rec = server_->stopRecording();

    // The pause only adds silence: what sounds is the whole track, once, in order.
    const std::vector<int16_t> heard = audibleOnly(rec);
    const std::vector<int16_t> want = audibleOnly(samplesOf(tracks[2]));
    EXPECT_EQ(heard.size(), want.size());
    EXPECT_TRUE(heard == want) << "samples lost, doubled or changed across the pause";
    const auto span = audibleSpan(rec);
    EXPECT_GT(span.second - span.first + 1, heard.size() / 2) << "no pause in the recording";
}

TEST_F(PlayAudio, StopWhileOpeningPlaysNothing)
{
    const QString source = wav(noise(1.0, 5), "noise");
    ASSERT_EQ(runProcess("flac", {"-s", "-f", source, "-o", path("a.flac")}).exitCode, 0);
    ComparisonState state;
    state.folderA = dir_.path();
    state.a.names = {"a.flac"};
    state.a.files.resize(1);
    state.rows.resize(2);
    RecordingFeedback feedback;
    Playback playback(state, feedback);

    QString error;
    ASSERT_TRUE(server_->startRecording(error)) << error.toStdString();
    playback.play(0);
    EXPECT_EQ(playback.playState(), PlayFile);
    playback.stop();
    pump(1500);
    EXPECT_EQ(server_->playbackStreams(), 0);
    const std::vector<int16_t> rec = server_->stopRecording();
    EXPECT_EQ(playback.playState(), PlayIdle);
    EXPECT_FALSE(playback.timerActive());
    EXPECT_EQ(audibleFrames(rec), 0u);
}

TEST_F(PlayAudio, FilesThatCannotBePlayedLeavePlaybackIdle)
{
    SplitMix random{42};
    QByteArray junk(20000, '\0');
    for (char& c : junk)
        c = char(random.next());
    writeFile(path("junk.mp3"), junk);
    writeFile(path("text.flac"), "not a FLAC stream\n");
    ComparisonState state;
    state.folderA = dir_.path();
    state.a.names = {"junk.mp3", "text.flac", "missing.m4a"};
    state.a.files.resize(3);
    state.rows.resize(6);
    RecordingFeedback feedback;
    Playback playback(state, feedback);
    for (int row : {0, 2, 4}) {
        SCOPED_TRACE(row);
        feedback.parts = {};
        playback.play(row);
        pump(10000, [&] { return playback.playState() == PlayIdle; });
        EXPECT_EQ(playback.playState(), PlayIdle);
        EXPECT_FALSE(playback.timerActive());
        EXPECT_EQ(feedback.parts[PlayMessagePart], "Unsupported media format in MF");
    }
    EXPECT_TRUE(feedback.messages.isEmpty());
}

TEST_F(PlayAudio, PlaysForTheSecondsAskedAndPrintsTheTime)
{
    const QString source = wav(noise(4.0, 9), "long");
    ASSERT_EQ(runProcess("flac", {"-s", "-f", source, "-o", path("long.flac")}).exitCode, 0);
    ProcessResult r;
    const std::vector<int16_t> rec = recordCli({path("long.flac"), "--seconds", "2"}, r);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const size_t heard = audibleFrames(rec);
    EXPECT_GT(heard, 0u);
    EXPECT_LT(heard, 3u * SinkRate) << "played on past the seconds asked";
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    EXPECT_FALSE(lines.isEmpty());
    static const QRegularExpression timeLine("^\\d\\d:\\d\\d\\.\\d$");
    for (const QString& line : lines)
        EXPECT_TRUE(timeLine.match(line).hasMatch()) << line.toStdString();
}

// No sound server at all: the command reports it and ends instead of waiting.
TEST(PlayWithoutSound, ReportsThatThereIsNoOutput)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("image.bin"), QByteArray(4 * 44100, '\1'));
    writeFile(dir.filePath("image.cue"), "FILE \"image.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n");
    ASSERT_TRUE(writeTestWav(dir.filePath("a.wav"), 44100, 44100, 2));
    for (const QString& target : {dir.filePath("a.wav"), dir.filePath("image.cue") + "#1"}) [&] {
        SCOPED_TRACE(target.toStdString());
        QProcess p;
        p.setProcessEnvironment(environmentWithoutSoundServer(dir.path()));
        p.start(cliPath(), {"--ini", dir.filePath("Vornelic.ini"), "play", target});
        ASSERT_TRUE(p.waitForStarted(10000));
        ASSERT_TRUE(p.waitForFinished(60000)) << "still waiting for a sound server";
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(p.readAllStandardError().contains("No audio output device"));
    }();
}

TEST(PlayCommand, RejectsWhatItCannotPlay)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("image.bin"), QByteArray(4 * 44100, '\1'));
    writeFile(dir.filePath("image.cue"), "FILE \"image.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n");
    const QString ini = dir.filePath("Vornelic.ini");
    struct Case {
        QStringList args;
        int exitCode;
        const char* err;
    };
    const std::vector<Case> cases = {
        {{}, 2, "usage"},
        {{dir.filePath("image.cue"), "--seconds", "soon"}, 2, "--seconds"},
        {{dir.filePath("image.cue") + "#0"}, 1, "track"},
        {{dir.filePath("image.cue") + "#2"}, 1, "has no track 2"},
        {{dir.filePath("missing.mp3")}, 1, "cannot open"},
        {{dir.filePath("image.bin") + ".cue"}, 1, "Illegal Cue sheet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProcessResult r = runProcess(cliPath(), QStringList{"--ini", ini, "play"} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }
}

} // namespace
