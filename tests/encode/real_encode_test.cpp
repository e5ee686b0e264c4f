// The real opusenc and FFmpeg on real input: every track of a WAV and of a raw CD image encoded to
// Opus, AAC in M4A, Opus in Matroska, FLAC and MP3 with the tags and the picture of ID3v2.3 A files,
// each output read back by mutagen, mkvextract and ffprobe; a B-tags run; and a title full of
// shell syntax that reaches the file exactly while nothing in it runs.

#include "cli_tool_fixtures.h"
#include "encode/cli_encoders.h"
#include "encode/encoder_availability.h"
#include "encode/tool_probe.h"

#include <QCryptographicHash>
#include <QFile>
#include <cmath>

namespace vn {
namespace {

using test::cdImages;
using test::TestDiscToc;
using test::TrackFrames;

// Everything a reader outside the program finds in one output, as JSON: title, artist, album,
// track, cdtoc, encoder (Matroska), the SHA-1 of the picture and its type, and the duration ffprobe
// gives (less a positive start time, the encoder delay an MP3 declares).
const char ReadBack[] = R"PY(
import base64, hashlib, json, os, subprocess, sys, tempfile
import xml.etree.ElementTree as ET
import mutagen
from mutagen.flac import Picture

def duration(p):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=start_time,duration", "-of", "json", p],
                         capture_output=True, text=True).stdout
    f = json.loads(out)["format"]
    return float(f["duration"]) - max(float(f.get("start_time", 0)), 0.0)

def first(v):
    if v is None:
        return None
    if isinstance(v, list):
        return str(v[0]) if v else None
    return str(v)

def sha(data):
    return hashlib.sha1(data).hexdigest() if data else None

result = {}
for p in sys.argv[1:]:
    ext = os.path.splitext(p)[1]
    r = {"duration": duration(p)}
    if ext in (".mka", ".webm"):
        with tempfile.TemporaryDirectory() as d:
            x = os.path.join(d, "tags.xml")
            subprocess.run(["mkvextract", p, "tags", x], check=True, capture_output=True)
            tags = {}
            for tag in ET.parse(x).getroot().findall("Tag"):
                level = tag.find("Targets/TargetTypeValue")
                level = int(level.text) if level is not None else 50
                for s in tag.findall("Simple"):
                    value = s.find("String")
                    tags[(level, s.find("Name").text)] = value.text if value is not None else ""
            r.update(title=tags.get((30, "TITLE")), artist=tags.get((30, "ARTIST")), album=tags.get((50, "TITLE")),
                     track=tags.get((30, "PART_NUMBER")), cdtoc=tags.get((50, "MCDI")),
                     encoder=tags.get((30, "ENCODER")))
            info = json.loads(subprocess.run(["mkvmerge", "-J", p], capture_output=True, text=True).stdout)
            attachments = info.get("attachments", [])
            if attachments:
                pic = os.path.join(d, "pic")
                subprocess.run(["mkvextract", p, "attachments", "%d:%s" % (attachments[0]["id"], pic)], check=True,
                               capture_output=True)
                r["picture"] = sha(open(pic, "rb").read())
                r["picture_type"] = attachments[0]["content_type"]
    else:
        m = mutagen.File(p)
        t = m.tags
        if ext in (".opus", ".flac"):
            r.update(title=first(t.get("title")), artist=first(t.get("artist")), album=first(t.get("album")),
                     track=first(t.get("tracknumber")), cdtoc=first(t.get("cdtoc")))
            if ext == ".flac":
                r["picture"] = sha(m.pictures[0].data) if m.pictures else None
            elif t.get("metadata_block_picture"):
                r["picture"] = sha(Picture(base64.b64decode(t["metadata_block_picture"][0])).data)
        elif ext == ".m4a":
            trkn = t.get("trkn")
            r.update(title=first(t.get("\xa9nam")), artist=first(t.get("\xa9ART")), album=first(t.get("\xa9alb")),
                     track=("%d/%d" % trkn[0]) if trkn else None,
                     cdtoc=bytes(t["----:com.apple.iTunes:CDTOC"][0]).decode() if t.get("----:com.apple.iTunes:CDTOC") else None)
            r["picture"] = sha(bytes(t["covr"][0])) if t.get("covr") else None
        elif ext == ".mp3":
            def text(k):
                return str(t[k].text[0]) if k in t else None
            pics = t.getall("APIC")
            r.update(title=text("TIT2"), artist=text("TPE1"), album=text("TALB"), track=text("TRCK"),
                     cdtoc=text("TXXX:CDTOC"), picture=sha(pics[0].data) if pics else None)
    result[p] = r
print(json.dumps(result))
)PY";

QJsonObject readBack(const QStringList& files)
{
    const test::ProcessResult r = test::runPython(QString::fromUtf8(ReadBack), files);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

// The PCM FFmpeg decodes from a lossless output.
QByteArray decoded(const QString& path)
{
    return test::runProcess("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a", "-f", "s16le", "-"}).out;
}

struct Encoding {
    CliTool tool;
    const char* options; // FFmpeg_Options
    const char* extension;
    double frameSeconds; // one codec frame
};

// Opus frames are 20 ms; AAC 1024 and MP3 1152 samples; FFmpeg's FLAC blocks 4608.
constexpr Encoding Encodings[] = {
    {CliTool::OpusEnc, "", ".opus", 0.020},
    {CliTool::FFmpeg, "aac -q:a 1", ".m4a", 1024 / 44100.0},
    {CliTool::FFmpeg, "libopus -b:a 96k", ".mka", 0.020},
    {CliTool::FFmpeg, "flac", ".flac", 4608 / 44100.0},
    {CliTool::FFmpeg, "libmp3lame -q:a 2", ".mp3", 1152 / 44100.0},
};

class RealEncode : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(cdImages().wav.isEmpty()) << "ffmpeg could not make the test images";
        dir = new QTemporaryDir;
        picture = new QByteArray(test::testPicture("jpg"));
        ASSERT_FALSE(picture->isEmpty());
        for (int t = 1; t <= 3; ++t) {
            test::AFileTags tags;
            tags.title = t == 2 ? trickyTitle() : QStringLiteral("Track %1 title").arg(t);
            tags.track = QStringLiteral("%1/3").arg(t);
            tags.picture = *picture;
            tags.pictureMime = "image/jpeg";
            const QString a = dir->filePath(QStringLiteral("a%1.mp3").arg(t));
            ASSERT_TRUE(test::writeAFile(a, tags));
            ASSERT_TRUE(test::readAFile(a, aFiles[t - 1]));
        }
    }
    static void TearDownTestSuite()
    {
        delete dir;
        delete picture;
        for (FileTags& f : aFiles)
            f = FileTags();
    }

    // Quotes, a backslash, command substitution in two spellings, a line break and Japanese.
    static QString trickyTitle()
    {
        return QStringLiteral("He said \"hi\" \\ $(touch %1) `touch %1`; touch %1\n二行目の日本語")
            .arg(dir->filePath("PWNED"));
    }

    void SetUp() override
    {
        for (const char* f : {"temp", "out"})
            QDir(work.path()).mkpath(QLatin1String(f));
        settings = defaultSettings(work.path());
        settings.Path_Temp = work.filePath("temp");
        settings.Batch_Log_EncCmdLn = work.filePath("cmdline.log");
        settings.OpusEnc_Exe = "opusenc";
        settings.FFmpeg_Exe = "ffmpeg";
        test::ToolFeedback quiet;
        probeOutsideTools(settings, tools, quiet);
        ASSERT_FALSE(tools.opusEncVersion.isEmpty());
        ASSERT_FALSE(tools.ffmpegVersion.isEmpty());
    }

    CliTrackJob job(const QString& image, int track, const QString& output) const
    {
        CliTrackJob j;
        j.imagePath = image;
        j.first = cdImages().first(track);
        j.last = cdImages().last(track);
        j.outputPath = output;
        j.record = &aFiles[size_t(track - 1)].record;
        j.kind = aFiles[size_t(track - 1)].header.version;
        j.discToc = TestDiscToc;
        return j;
    }

    static inline QTemporaryDir* dir = nullptr;
    static inline QByteArray* picture = nullptr;
    static inline std::array<FileTags, 3> aFiles;
    QTemporaryDir work;
    Settings settings;
    EncoderAvailability tools;
};

TEST_F(RealEncode, EveryTrackOfBothImagesCarriesItsTagsPictureAndLength)
{
    QStringList outputs;
    QHash<QString, std::pair<int, const Encoding*>> made;
    for (const QString& image : {cdImages().wav, cdImages().bin}) {
        for (const Encoding& e : Encodings) [&] {
            settings.FFmpeg_Options = QString::fromLatin1(e.options);
            if (e.tool == CliTool::FFmpeg) {
                ASSERT_EQ(ffmpegContainerFor(settings), QLatin1String(e.extension));
            }
            for (int t = 1; t <= 3; ++t) {
                const QString out = work.filePath(QStringLiteral("out/%1-%2-%3%4")
                                                      .arg(QFileInfo(image).suffix())
                                                      .arg(QString::fromLatin1(e.options).section(u' ', 0, 0))
                                                      .arg(t)
                                                      .arg(QLatin1String(e.extension)));
                test::ToolFeedback feedback;
                ASSERT_EQ(encodeCliTrack(e.tool, job(image, t, out), settings, tools, &feedback), CliEncodeDone)
                    << out.toStdString() << "\n"
                    << test::readFile(settings.Batch_Log_EncCmdLn).constData();
                outputs << out;
                made.insert(out, {t, &e});
                EXPECT_TRUE(test::folderEntries(settings.Path_Temp).isEmpty());
            }
        }();
    }
    EXPECT_FALSE(QFile::exists(settings.Batch_Log_EncCmdLn));
    EXPECT_FALSE(QFile::exists(dir->filePath("PWNED")));
    EXPECT_FALSE(QFile::exists("PWNED"));

    const QString pictureSha =
        QString::fromLatin1(QCryptographicHash::hash(*picture, QCryptographicHash::Sha1).toHex());
    const QJsonObject found = readBack(outputs);
    ASSERT_EQ(found.size(), outputs.size());
    for (const QString& out : outputs) {
        const auto [t, e] = made.value(out);
        const QJsonObject r = found.value(out).toObject();
        SCOPED_TRACE(out.toStdString());
        EXPECT_EQ(r["title"].toString(),
                  t == 2 ? trickyTitle() : QStringLiteral("Track %1 title").arg(t));
        EXPECT_EQ(r["artist"].toString(), "Test Artist");
        EXPECT_EQ(r["album"].toString(), "Test Album");
        EXPECT_EQ(r["track"].toString(), QStringLiteral("%1/3").arg(t));
        EXPECT_EQ(r["cdtoc"].toString(), QLatin1String(TestDiscToc));
        EXPECT_EQ(r["picture"].toString(), pictureSha);
        if (QLatin1String(e->extension) == u".mka") {
            EXPECT_EQ(r["picture_type"].toString(), "image/jpeg");
            EXPECT_EQ(r["encoder"].toString(),
                      QString::fromLatin1(tools.ffmpegVersion) + " libopus -b:a 96k");
        }
        const double seconds = TrackFrames[size_t(t - 1)] / 44100.0;
        EXPECT_LE(std::abs(r["duration"].toDouble() - seconds), e->frameSeconds + 1e-6)
            << r["duration"].toDouble() << " vs " << seconds;
        // FLAC is lossless: the track's samples come back exactly.
        if (QLatin1String(e->extension) == u".flac") {
            EXPECT_TRUE(decoded(out) == cdImages().pcm.mid(qsizetype(cdImages().first(t)) * 4,
                                                           qsizetype(TrackFrames[size_t(t - 1)]) * 4));
        }
    }
}

TEST_F(RealEncode, ABTagsRunTakesTheListRowsAndNoPicture)
{
    CueSheet cue;
    ASSERT_EQ(parseCueSheet(cdImages().binCue, CueTrackLimit, 0, cue), 3);
    ASSERT_EQ(cue.discToc, QByteArray(TestDiscToc));
    QStringList outputs;
    std::array<ListRow, 3> rows;
    for (int t = 1; t <= 3; ++t) {
        rows[size_t(t - 1)] = buildCueTrackRow(t, 0, cue);
        for (const Encoding& e : {Encodings[0], Encodings[2]}) [&] {
            settings.FFmpeg_Options = QString::fromLatin1(e.options);
            const QString out = work.filePath(QStringLiteral("out/b%1%2").arg(t).arg(QLatin1String(e.extension)));
            CliTrackJob j = job(cue.imagePath, t, out);
            j.bTagsRun = true;
            j.listRow = &rows[size_t(t - 1)];
            j.discToc = cue.discToc;
            ASSERT_EQ(encodeCliTrack(e.tool, j, settings, tools, nullptr), CliEncodeDone);
            outputs << out;
        }();
    }
    const QJsonObject found = readBack(outputs);
    const char* titles[] = {"Low", "Middle", "High"};
    for (int i = 0; i < outputs.size(); ++i) {
        const int t = i / 2 + 1;
        const QJsonObject r = found.value(outputs[i]).toObject();
        SCOPED_TRACE(outputs[i].toStdString());
        EXPECT_EQ(r["title"].toString(), QLatin1String(titles[t - 1]));
        EXPECT_EQ(r["album"].toString(), "Sine Album");
        EXPECT_EQ(r["track"].toString(), QString::number(t));
        EXPECT_EQ(r["cdtoc"].toString(), QLatin1String(TestDiscToc));
        EXPECT_TRUE(r["picture"].isNull() || r["picture"].isUndefined());
    }
    EXPECT_TRUE(test::folderEntries(settings.Path_Temp).isEmpty());
}

TEST_F(RealEncode, AToolThatFailsOrIsMissingLeavesNoFile)
{
    // FFmpeg refusing its options: exit code logged with the command, no output.
    settings.FFmpeg_Options = "no_such_encoder -x";
    const QString out = work.filePath("out/x.m4a");
    EXPECT_EQ(encodeFfmpegTrack(job(cdImages().wav, 1, out), settings, tools, nullptr), CliEncodeToolFailed);
    const QByteArray log = test::readFile(settings.Batch_Log_EncCmdLn);
    EXPECT_TRUE(log.startsWith("Commandline error Exit Code=")) << log.constData();
    EXPECT_TRUE(log.contains(" -c:a no_such_encoder -x")) << log.constData();
    // opusenc missing from its path.
    settings.OpusEnc_Exe = work.filePath("nowhere/opusenc");
    EXPECT_EQ(encodeOpusEncTrack(job(cdImages().bin, 2, work.filePath("out/x.opus")), settings, tools,
                                 nullptr),
              CliEncodeToolFailed);
    EXPECT_TRUE(test::folderEntries(work.filePath("out")).isEmpty());
    EXPECT_TRUE(test::folderEntries(settings.Path_Temp).isEmpty());
}

} // namespace
} // namespace vn
