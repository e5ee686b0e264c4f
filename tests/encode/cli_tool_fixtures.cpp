#include "cli_tool_fixtures.h"

#include <QFile>

namespace vn::test {

namespace {

// The stand-in itself: Python, so it can record its arguments exactly as it received them.
const char StandInScript[] = R"PY(#!/usr/bin/python3
import json, os, sys, time
NAME, LOG, MODE = %1, %2, %3
args = sys.argv[1:]
with open(LOG, "a", encoding="utf-8") as log:
    log.write(json.dumps(args) + "\n")
if args == ["--check"] and NAME == "qaac":
    sys.stderr.write("qaac 2.80, CoreAudioToolbox 7.10.9.0\n")
    sys.exit(0)
if args == ["-h"] and NAME == "fdkaac":
    print("fdkaac 1.0.2\nusage: fdkaac [options] input_file")
    sys.exit(0)
if MODE == "hang":
    time.sleep(600)
if MODE == "fail3":
    sys.exit(3)
def after(flag):
    return args[args.index(flag) + 1] if flag in args else None
def size(path):
    return os.path.getsize(path) if path and os.path.exists(path) else -1
out = after("-o")
# qaac takes the image itself, fdkaac the cut track: the quoted path just before "-o".
source = args[args.index("-o") - 1] if NAME == "fdkaac" else None
artwork = after("--artwork")
covr = after("--tag-from-file")
if covr and covr.startswith("covr:"):
    artwork = covr[5:]
with open(out, "w", encoding="utf-8") as f:
    json.dump({"argv": args, "input_size": size(source), "artwork_size": size(artwork)}, f)
)PY";

QString pyString(const QString& text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

QByteArray ffmpegPcm(const QString& source, uint32_t frames)
{
    const ProcessResult r = runProcess("ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i", source,
                                                  "-ac", "2", "-f", "s16le", "-"});
    return r.exitCode == 0 ? r.out.left(qsizetype(frames) * 4) : QByteArray();
}

} // namespace

QString writeStandIn(const QString& folder, const QString& name, const QString& logPath, StandIn behaviour)
{
    const QString mode = behaviour == StandIn::Hang    ? QStringLiteral("hang")
                         : behaviour == StandIn::Fail3 ? QStringLiteral("fail3")
                                                       : QStringLiteral("encode");
    const QString path = QDir(folder).filePath(name);
    const QString script = QString::fromUtf8(StandInScript).arg(pyString(name), pyString(logPath), pyString(mode));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(script.toUtf8()) < 0)
        return {};
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QList<QStringList> standInCalls(const QString& logPath)
{
    QList<QStringList> calls;
    for (const QByteArray& line : readFile(logPath).split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList args;
        for (const QJsonValue& v : QJsonDocument::fromJson(line).array())
            args << v.toString();
        calls << args;
    }
    return calls;
}

uint32_t CdImages::first(int track) const
{
    uint32_t start = 0;
    for (int t = 1; t < track; ++t)
        start += TrackFrames[size_t(t - 1)];
    return start;
}

uint32_t CdImages::last(int track) const
{
    return first(track) + TrackFrames[size_t(track - 1)] - 1;
}

const CdImages& cdImages()
{
    static QTemporaryDir dir;
    static CdImages images;
    if (!images.wav.isEmpty())
        return images;
    const std::array<int, 3> pitches = {440, 660, 880};
    QByteArray pcm;
    for (size_t t = 0; t < 3; ++t) {
        const QByteArray piece = ffmpegPcm(QStringLiteral("sine=f=%1:r=44100:d=5").arg(pitches[t]), TrackFrames[t]);
        if (piece.size() != qsizetype(TrackFrames[t]) * 4)
            return images;
        pcm += piece;
    }
    const QString raw = dir.filePath(QStringLiteral("image.bin"));
    if (!writeFile(raw, pcm))
        return images;
    const QString wav = dir.filePath(QStringLiteral("image.wav"));
    // Bit-exact: a canonical 44-byte header without an INFO list.
    const ProcessResult r = runProcess("ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "s16le", "-ar", "44100",
                                                  "-ac", "2", "-i", raw, "-c:a", "pcm_s16le", "-fflags", "+bitexact",
                                                  "-flags:a", "+bitexact", "-map_metadata", "-1", "-y", wav});
    if (r.exitCode != 0 || QFileInfo(wav).size() != pcm.size() + 44)
        return images;
    for (const QString& image : {QStringLiteral("image.wav"), QStringLiteral("image.bin")}) {
        const QByteArray cue = "REM made for the encoder tests\r\nTITLE \"Sine Album\"\r\nPERFORMER \"Sine Band\"\r\n"
                               "FILE \"" +
                               image.toUtf8() + "\" " + (image.endsWith(u"wav") ? "WAVE" : "BINARY") +
                               "\r\n"
                               "  TRACK 01 AUDIO\r\n    TITLE \"Low\"\r\n    INDEX 01 00:00:00\r\n"
                               "  TRACK 02 AUDIO\r\n    TITLE \"Middle\"\r\n    INDEX 01 00:02:00\r\n"
                               "  TRACK 03 AUDIO\r\n    TITLE \"High\"\r\n    INDEX 01 00:03:38\r\n";
        // image-wav.cue, image-bin.cue
        if (!writeFile(
                dir.filePath(QString(image).replace(QLatin1Char('.'), QLatin1Char('-')) + QStringLiteral(".cue")), cue))
            return images;
    }
    images.pcm = pcm;
    images.bin = raw;
    images.binCue = dir.filePath(QStringLiteral("image-bin.cue"));
    images.wavCue = dir.filePath(QStringLiteral("image-wav.cue"));
    images.wav = wav;
    return images;
}

QByteArray testPicture(const char* format)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.") + QLatin1String(format));
    const ProcessResult r = runProcess("ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                                  "testsrc=s=32x32", "-frames:v", "1", "-y", path});
    return r.exitCode == 0 ? readFile(path) : QByteArray();
}

bool writeAFile(const QString& path, const AFileTags& tags)
{
    // A few frames of real MPEG audio under the tag, so the file is an MP3 to every reader.
    const ProcessResult audio = runProcess("ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                                      "sine=d=0.2", "-c:a", "libmp3lame", "-write_xing", "0",
                                                      "-id3v2_version", "0", "-f", "mp3", path});
    if (audio.exitCode != 0)
        return false;
    const QJsonObject o{{"TALB", tags.album}, {"TPE1", tags.artist},  {"TPE2", tags.albumArtist},
                        {"TIT2", tags.title}, {"TRCK", tags.track},   {"TYER", tags.year},
                        {"TCON", tags.genre}, {"TCOM", tags.composer}};
    const QString script = QStringLiteral(R"PY(
import json, sys
from mutagen.id3 import ID3, APIC, COMM, Frames
path, texts, comment, mime, picture = sys.argv[1], json.loads(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
t = ID3()
for key, value in texts.items():
    t.add(Frames[key](encoding=1, text=[value]))
t.add(COMM(encoding=1, lang="eng", desc="", text=[comment]))
if picture:
    t.add(APIC(encoding=0, mime=mime, type=3, desc="", data=open(picture, "rb").read()))
t.save(path, v2_version=3)
)PY");
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("picture"));
    if (!tags.picture.isEmpty() && !writeFile(picture, tags.picture))
        return false;
    const ProcessResult r =
        runPython(script, {path, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)), tags.comment,
                           tags.pictureMime, tags.picture.isEmpty() ? QString() : picture});
    return r.exitCode == 0;
}

bool readAFile(const QString& path, FileTags& file)
{
    return readId3TagOnly(path, file);
}

} // namespace vn::test
