#pragma once
// Shared by the Encoding B tests: CD images written by ffmpeg with their cue sheets, A folders of
// MP3 files tagged by mutagen (or M4A files), an in-process run of Encoding B, and what ffmpeg,
// flac and mutagen read back from the files it wrote.

#include "config/settings.h"
#include "encode/encoding_b.h"
#include "session/compare.h"
#include "support/test_support.h"
#include "util/feedback.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <vector>

namespace vn::test {

// Sample frames: one stereo 16-bit pair, 588 to a sector.
inline constexpr int SectorBytes = 2352;

struct TestImage {
    QString cue;
    QString image;
    QByteArray pcm;                   // every sample frame of the image, as ffmpeg wrote them
    std::vector<qsizetype> startByte; // each track's first byte in pcm, then pcm's size
    QByteArray trackPcm(int track) const // track from 1
    {
        return pcm.mid(startByte[size_t(track - 1)], startByte[size_t(track)] - startByte[size_t(track - 1)]);
    }
};

// The PCM of seconds of noise with a tone, stereo 16-bit 44.1 kHz, by ffmpeg.
inline QByteArray ffmpegPcm(double seconds, int seed)
{
    const ProcessResult r = runProcess(
        "ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                   QStringLiteral("anoisesrc=d=%1:a=0.2:seed=%2").arg(seconds).arg(seed), "-f", "lavfi", "-i",
                   QStringLiteral("sine=f=%1:d=%2").arg(220 + 110 * seed).arg(seconds), "-filter_complex",
                   "amix=inputs=2", "-ac", "2", "-ar", "44100", "-f", "s16le", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out;
}

inline QString msf(qsizetype sectors)
{
    return QString::asprintf("%02d:%02d:%02d", int(sectors / 75 / 60), int(sectors / 75 % 60), int(sectors % 75));
}

// An image of tracks of the given lengths in sectors; the last track has extraFrames more, so the
// image does not end on a sector. wav: a canonical WAV image (by ffmpeg), else a raw ".bin".
inline TestImage writeImage(const QString& folder, const QString& stem, const std::vector<int>& sectors, bool wav,
                            int extraFrames = 0, const QString& discTitle = "Test Disc")
{
    TestImage t;
    qsizetype total = 0;
    for (int s : sectors) {
        t.startByte.push_back(total);
        total += qsizetype(s) * SectorBytes;
    }
    total += qsizetype(extraFrames) * 4;
    t.startByte.push_back(total);
    t.pcm = ffmpegPcm(double(total / 4 + 1) / 44100.0, int(sectors.size()));
    EXPECT_GE(t.pcm.size(), total);
    t.pcm.truncate(total);
    const QString raw = QDir(folder).filePath(stem + ".raw");
    writeFile(raw, t.pcm);
    t.image = QDir(folder).filePath(stem + (wav ? ".wav" : ".bin"));
    if (wav) {
        const ProcessResult r = runProcess("ffmpeg", {"-v", "error", "-y", "-f", "s16le", "-ar", "44100", "-ac", "2", "-i",
                                                      raw, "-c:a", "pcm_s16le", "-fflags", "+bitexact", "-flags:a",
                                                      "+bitexact", t.image});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        QFile::remove(raw);
    } else {
        QFile::rename(raw, t.image);
    }
    QString cue = QStringLiteral("PERFORMER \"Test Artist\"\nTITLE \"%1\"\nFILE \"%2\" %3\n")
                      .arg(discTitle, QFileInfo(t.image).fileName(), wav ? "WAVE" : "BINARY");
    for (size_t k = 0; k < sectors.size(); ++k) {
        cue += QString::asprintf("  TRACK %02d AUDIO\n    TITLE \"Song %d\"\n    PERFORMER \"Player %d\"\n", int(k + 1),
                                 int(k + 1), int(k + 1));
        cue += QStringLiteral("    INDEX 01 %1\n").arg(msf(t.startByte[k] / SectorBytes));
    }
    t.cue = QDir(folder).filePath(stem + ".cue");
    writeFile(t.cue, cue.toUtf8());
    return t;
}

// A folder of count short MP3 files, tagged by mutagen with the given ID3v2 version: title
// "Title i", album, artist, track "i/count", a comment and, with a picture, that PNG as front cover.
inline void writeMp3Folder(const QString& folder, int count, int version, const QString& picture = QString())
{
    QDir().mkpath(folder);
    const QString wav = QDir(folder).filePath("src.wav.tmp");
    ASSERT_EQ(runProcess("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=f=500:d=0.2", "-ac", "2", "-f",
                                    "wav", wav})
                  .exitCode,
              0);
    const QString base = QDir(folder).filePath("base.mp3.tmp");
    ASSERT_EQ(runProcess("lame", {"--quiet", "-b", "128", wav, base}).exitCode, 0);
    const ProcessResult r = runPython(R"(
import sys, shutil
from mutagen.id3 import ID3, TIT2, TALB, TPE1, TRCK, COMM, APIC, TCON
folder, count, version, picture, base = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
for i in range(1, count + 1):
    path = "%s/%02d Title %d.mp3" % (folder, i, i)
    shutil.copyfile(base, path)
    t = ID3()
    t.add(TIT2(encoding=3 if version == 4 else 1, text=["Title %d \u00e9" % i]))
    t.add(TALB(encoding=0, text=["Album"]))
    t.add(TPE1(encoding=0, text=["Artist"]))
    t.add(TRCK(encoding=0, text=["%d/%d" % (i, count)]))
    t.add(TCON(encoding=0, text=["Jazz"]))
    t.add(COMM(encoding=0, lang="eng", desc="", text=["comment %d" % i]))
    if picture:
        t.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=open(picture, "rb").read()))
    t.save(path, v2_version=version)
)",
                                      {folder, QString::number(count), QString::number(version), picture, base});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QFile::remove(wav);
    QFile::remove(base);
}

// A PNG (or any picture format ffmpeg writes) of one colour.
inline QString writePicture(const QString& path)
{
    EXPECT_EQ(runProcess("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1",
                                    path})
                  .exitCode,
              0);
    return path;
}

// The ID3v2 tag of an MP3 as mutagen reads it: version and the frames' texts by key.
inline QJsonObject mutagenId3(const QString& path)
{
    const ProcessResult r = runPython(R"(
import sys, json
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
out = {"version": "%d.%d" % t.version[:2]}
for key, frame in t.items():
    if key.startswith("APIC"):
        out["APIC"] = {"mime": frame.mime, "type": int(frame.type), "size": len(frame.data)}
    elif key.startswith("MCDI"):
        out["MCDI"] = frame.data.decode("latin-1")
    elif key.startswith("COMM"):
        out["COMM"] = {"lang": frame.lang, "desc": frame.desc, "text": str(frame.text[0])}
    else:
        out[key] = str(frame.text[0]) if hasattr(frame, "text") else str(frame)
print(json.dumps(out))
)",
                                      {path});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

// What ffmpeg decodes from a file, as 16-bit stereo PCM (a decoder that honours the gapless
// information of the LAME tag).
inline QByteArray ffmpegDecode(const QString& path)
{
    const ProcessResult r = runProcess("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out;
}

// flac's own decoding of a FLAC file into raw little-endian samples.
inline QByteArray flacDecode(const QString& path)
{
    const ProcessResult r = runProcess("flac", {"-d", "-s", "-c", "--force-raw-format", "--endian=little",
                                                "--sign=signed", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out;
}

struct RecordingStatus : SilentFeedback {
    void setStatus(int part, const QString& text) override { statuses << QStringLiteral("%1:%2").arg(part).arg(text); }
    int message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) override
    {
        messages << title + QLatin1Char('|') + text;
        return SilentFeedback::message(text, title, buttons, icon);
    }
    QStringList statuses;
    QStringList messages;
};

// A temporary folder with A, the image and an output folder, settings pointing at them, and an
// in-process Encoding B run.
class ImageEncode : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        a = dir.filePath("A");
        out = dir.filePath("out");
        QDir().mkpath(a);
        QDir().mkpath(out);
        settings = defaultSettings(dir.path());
        settings.ExtPriorityList = splitExtPriority(settings.FileExtPriority);
        settings.Path_Temp = out;
        settings.Path_Otpt = dir.filePath("output");
        settings.ID3_Blk = 0;
        settings.ID3_Pad = 64;
    }

    // Compare A/B against the cue sheet, then Encoding B with the given encoder into out.
    EncodeOutcome encode(const QString& cue, int encoderIndex, int jobs = 2, int offset = 0,
                         const EncodeOptions& given = {})
    {
        state = ComparisonState{};
        state.folderA = a;
        state.folderB = cue;
        state.folderBMode = false;
        state.trackOffsetB = offset;
        SilentFeedback quiet; // the statuses under test are the encoder's
        EXPECT_EQ(compareAB(state, settings.ExtPriorityList, 0, quiet), CompareOk);
        settings.EncoderIndex = encoderIndex;
        EncodeOptions options = given;
        options.jobs = jobs;
        EncodeOutcome outcome;
        encodeImage(state, settings, options, feedback, pairs, outcome);
        return outcome;
    }
    QString output(const QString& name) const { return QDir(out).filePath(name); }

    QTemporaryDir dir;
    QString a, out;
    Settings settings;
    ComparisonState state;
    PairList pairs;
    RecordingStatus feedback;
};

} // namespace vn::test
