// MP3 output: the tag mutagen reads back (A's frames in A's version, or the list's texts in 2.3,
// and the encoder's TENC, TSSE, TLEN and MCDI), and a gapless decoder giving exactly each track's
// sample count through the LAME tag.
#include "encode/image_fixtures.h"
#include "encode/lame_encoder.h"
#include "encode/lame_id3_tag.h"
#include "support/mp3_fixtures.h"

#include <QJsonArray>

namespace vn::test {
namespace {

// "LAME 64bits version 3.100 (...)" -> "LAME3.100", what the same library calls itself.
QString lameToolVersionText()
{
    const QList<QByteArray> words = runProcess("lame", {"--version"}).out.split('\n').value(0).split(' ');
    const qsizetype at = words.indexOf("version");
    return at >= 0 ? "LAME" + QString::fromLatin1(words.value(at + 1)) : QString();
}

TEST(LameSettingsText, TheWorkedExamples)
{
    const QString version = lameVersionText(lameLibrary());
    ASSERT_TRUE(lameLibrary().available);
    EXPECT_EQ(version, lameToolVersionText());

    Settings s = defaultSettings(QStringLiteral("/nowhere"));
    EXPECT_EQ(lameSettingsText(s, version), version + " --preset fast standard");
    s.Lame_Preset = 9; // ABR
    s.Lame_bps_ABR = 150;
    EXPECT_EQ(lameSettingsText(s, version), version + " ABR150");
    s.Lame_Preset = 10; // CBR
    s.Lame_bps_CBR = 9;
    EXPECT_TRUE(lameSettingsText(s, version).endsWith(" CBR160"));
    s.Lame_Preset = 0; // (No preset)
    s.Lame_Bitrate_Mode = 0;
    s.Lame_VBR_Method = 0;
    s.Lame_VBR_Quality = 2;
    s.Lame_Quality = 3;
    EXPECT_EQ(lameSettingsText(s, version), version + " (No preset) V2 q3");
}

TEST(LameConfig, QualityTravelsWithItsComplementOnlyWithoutPreset)
{
    Settings s = defaultSettings(QStringLiteral("/nowhere"));
    EXPECT_EQ(lameConfigFrom(s, 44100).nQuality, 0);
    s.Lame_Preset = 0;
    s.Lame_Quality = 3;
    const LameConfig c = lameConfigFrom(s, 44100);
    EXPECT_EQ(c.nQuality, 0xFC03);
    EXPECT_EQ(c.nPreset, -1);
    s.Lame_Preset = 10; // CBR at index 9: 160 kbit/s, no VBR
    s.Lame_Bitrate_Mode = 2;
    s.Lame_bps_CBR = 9;
    const LameConfig cbr = lameConfigFrom(s, 44100);
    EXPECT_EQ(cbr.dwBitrate, 160u);
    EXPECT_EQ(cbr.bEnableVBR, 0);
    EXPECT_EQ(cbr.nVbrMethod, -1);
    EXPECT_EQ(cbr.nQuality, 0);
}

// The encoder's own frames in each tag version: 2.2 frame headers, 2.3 sizes, 2.4 sync-safe sizes
// (a CD identifier of a long disc is well over 127 bytes).
TEST(LameId3Tag, EncoderFramesReadBackInEveryVersion)
{
    QTemporaryDir dir;
    QByteArray toc = "63";
    for (int k = 0; k <= 99; ++k)
        toc += '+' + QByteArray::number(150 + 4000 * k, 16).toUpper();
    for (const uint8_t version : {2, 3, 4}) {
        SCOPED_TRACE(int(version));
        LameTagSource source;
        source.version = version;
        source.encodedBy = "LAME3.100";
        source.encoderSettings = "LAME3.100 --preset fast standard";
        source.length = "10000";
        source.discToc = toc;
        const QByteArray tag = lameId3Tag(source, 0, 100);
        const QString path = dir.filePath(QStringLiteral("v%1.mp3").arg(version));
        ASSERT_TRUE(writeFile(path, tag + cbrFrames(4)));
        const QJsonObject read = mutagenId3(path);
        EXPECT_EQ(read["version"].toString(), QStringLiteral("2.%1").arg(version));
        EXPECT_EQ(read["TENC"].toString(), "LAME3.100");
        EXPECT_EQ(read["TSSE"].toString(), "LAME3.100 --preset fast standard");
        EXPECT_EQ(read["TLEN"].toString(), "10000");
        EXPECT_EQ(read["MCDI"].toString(), QString::fromLatin1(toc + '\0'));
        // The audio starts where the tag says: all four frames are found.
        const ProcessResult packets = runProcess("ffprobe", {"-v", "error", "-count_packets", "-show_entries",
                                                             "stream=nb_read_packets", "-of", "csv=p=0", path});
        EXPECT_EQ(packets.out.trimmed(), "4");
    }
}

class LameEncode : public ImageEncode {};

TEST_F(LameEncode, AFramesKeepAVersionAndTheEncoderFramesAreAdded)
{
    const QString png = writePicture(dir.filePath("cover.png"));
    const TestImage image = writeImage(dir.path(), "disc", {150, 101}, true, 77);
    for (const int version : {3, 4}) {
        SCOPED_TRACE(version);
        QDir(a).removeRecursively();
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        writeMp3Folder(a, 2, version, png);
        const EncodeOutcome outcome = encode(image.cue, EncoderLame);
        ASSERT_EQ(outcome.code, 0) << feedback.messages.join("\n").toStdString();
        ASSERT_EQ(outcome.written.size(), 2);
        for (int t = 1; t <= 2; ++t) {
            const QString file = outcome.written[t - 1];
            EXPECT_EQ(file, output(QStringLiteral("0%1 Title %1.mp3").arg(t)));
            const QJsonObject tag = mutagenId3(file);
            EXPECT_EQ(tag["version"].toString(), QStringLiteral("2.%1").arg(version));
            EXPECT_EQ(tag["TIT2"].toString(), QStringLiteral("Title %1 \u00e9").arg(t));
            EXPECT_EQ(tag["TALB"].toString(), "Album");
            EXPECT_EQ(tag["TRCK"].toString(), QStringLiteral("%1/2").arg(t));
            EXPECT_EQ(tag["COMM"].toObject()["text"].toString(), QStringLiteral("comment %1").arg(t));
            EXPECT_EQ(tag["APIC"].toObject()["size"].toInt(), readFile(png).size());
            EXPECT_EQ(tag["TENC"].toString(), lameToolVersionText());
            EXPECT_EQ(tag["TSSE"].toString(), lameToolVersionText() + " --preset fast standard");
            EXPECT_EQ(tag["MCDI"].toString(), QString::fromLatin1(state.cue->discToc + '\0'));
            // A decoder that reads the LAME tag gives back exactly the track's samples.
            const QByteArray decoded = ffmpegDecode(file);
            EXPECT_EQ(decoded.size(), image.trackPcm(t).size());
            EXPECT_EQ(tag["TLEN"].toString().toLongLong(), (decoded.size() / 4 * 1000 + 22050) / 44100);
        }
    }
    // ffprobe reads the same tag.
    const ProcessResult probe = runProcess("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of", "json",
                                                       output("02 Title 2.mp3")});
    const QJsonObject tags = QJsonDocument::fromJson(probe.out).object()["format"].toObject()["tags"].toObject();
    EXPECT_EQ(tags["title"].toString(), QStringLiteral("Title 2 \u00e9"));
    EXPECT_EQ(tags["encoded_by"].toString(), lameToolVersionText());
}

TEST_F(LameEncode, AnM4aFileGivesListTextsAndItsPictureInVersion23)
{
    const QString png = writePicture(dir.filePath("cover.png"));
    const QString m4a = QDir(a).filePath("x.m4a");
    ASSERT_EQ(runProcess("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=d=0.2", "-c:a", "aac", m4a}).exitCode, 0);
    ASSERT_EQ(runPython("import sys\nfrom mutagen.mp4 import MP4, MP4Cover\nf = MP4(sys.argv[1])\n"
                        "f['\\xa9nam'] = ['\u6625\u306e\u6b4c']\nf['\\xa9alb'] = ['Plain Album']\n"
                        "f['\\xa9cmt'] = ['\u30b3\u30e1\u30f3\u30c8']\n"
                        "f['covr'] = [MP4Cover(open(sys.argv[2], 'rb').read(), MP4Cover.FORMAT_PNG)]\nf.save()\n",
                        {m4a, png})
                  .exitCode,
              0);
    const TestImage image = writeImage(dir.path(), "disc", {60}, false);
    const EncodeOutcome outcome = encode(image.cue, EncoderLame);
    ASSERT_EQ(outcome.code, 0) << feedback.messages.join("\n").toStdString();
    ASSERT_EQ(outcome.written, QStringList{output("x.mp3")});
    const QJsonObject tag = mutagenId3(output("x.mp3"));
    EXPECT_EQ(tag["version"].toString(), "2.3");
    EXPECT_EQ(tag["TIT2"].toString(), QString::fromUtf8("\xe6\x98\xa5\xe3\x81\xae\xe6\xad\x8c"));
    EXPECT_EQ(tag["TALB"].toString(), "Plain Album");
    const QJsonObject comment = tag["COMM"].toObject();
    EXPECT_EQ(comment["lang"].toString(), "jpn");
    EXPECT_EQ(comment["desc"].toString(), "");
    EXPECT_EQ(comment["text"].toString(), QString::fromUtf8("\xe3\x82\xb3\xe3\x83\xa1\xe3\x83\xb3\xe3\x83\x88"));
    const QJsonObject apic = tag["APIC"].toObject();
    EXPECT_EQ(apic["mime"].toString(), "image/png");
    EXPECT_EQ(apic["type"].toInt(), 3);
    EXPECT_EQ(apic["size"].toInt(), readFile(png).size());
    EXPECT_EQ(ffmpegDecode(output("x.mp3")).size(), image.pcm.size());
}

TEST_F(LameEncode, TenSecondsOfFramesGiveTlen10000)
{
    writeMp3Folder(a, 1, 3);
    const TestImage image = writeImage(dir.path(), "disc", {751}, false);
    std::vector<BatchEntry> entries{{1, 1, 0, 440999, 2}, {}};
    size_t cursor = 0;
    BatchRun batch{&entries, &cursor};
    EncodeOptions options;
    options.batch = &batch;
    ASSERT_EQ(encode(image.cue, EncoderLame, 2, 0, options).code, 0);
    EXPECT_EQ(mutagenId3(output("01 Title 1.mp3"))["TLEN"].toString(), "10000");
    EXPECT_EQ(ffmpegDecode(output("01 Title 1.mp3")).size(), 441000 * 4);
}

// "Mono" with a stereo image: the encoder mixes the two channels down (the stereo samples are not
// taken for twice as many mono ones), so the track keeps its length.
TEST_F(LameEncode, MonoModeMixesTheImageDownAndKeepsTheLength)
{
    writeMp3Folder(a, 1, 3);
    const TestImage image = writeImage(dir.path(), "disc", {120}, true);
    settings.Lame_Preset = 0;
    settings.Lame_Bitrate_Mode = 2;
    settings.Lame_Channel_Mode = 3;
    ASSERT_EQ(encode(image.cue, EncoderLame).code, 0);
    const ProcessResult probe = runProcess("ffprobe", {"-v", "error", "-show_entries", "stream=channels,bit_rate", "-of",
                                                       "json", output("01 Title 1.mp3")});
    const QJsonObject stream = QJsonDocument::fromJson(probe.out).object()["streams"].toArray().at(0).toObject();
    EXPECT_EQ(stream["channels"].toInt(), 1);
    EXPECT_EQ(stream["bit_rate"].toString(), "160000"); // the CBR bit rate of the defaults
    EXPECT_EQ(ffmpegDecode(output("01 Title 1.mp3")).size(), image.pcm.size());
    EXPECT_EQ(mutagenId3(output("01 Title 1.mp3"))["TSSE"].toString(), lameToolVersionText() + " (No preset) cbr160 q3");
}

TEST_F(LameEncode, BTagsRunWritesTheTrackRowsInVersion23WithoutPicture)
{
    writeMp3Folder(a, 1, 4, writePicture(dir.filePath("cover.png")));
    const TestImage image = writeImage(dir.path(), "disc", {40, 40, 40}, true, 0, "Own Disc");
    EncodeOptions options;
    options.bTags = true;
    options.backupMode = false;
    const EncodeOutcome outcome = encode(image.cue, EncoderLame, 2, 0, options);
    ASSERT_EQ(outcome.code, 0);
    ASSERT_EQ(outcome.written.size(), 3); // every track, though A has one file
    const QJsonObject tag = mutagenId3(outcome.written[2]);
    EXPECT_TRUE(outcome.written[2].endsWith("/Test_Artist/Own_Disc/03_disc.mp3")) << outcome.written[2].toStdString();
    EXPECT_EQ(tag["version"].toString(), "2.3");
    EXPECT_EQ(tag["TIT2"].toString(), "Song 3");
    EXPECT_EQ(tag["TPE1"].toString(), "Player 3");
    EXPECT_EQ(tag["TPE2"].toString(), "Test Artist");
    EXPECT_EQ(tag["TALB"].toString(), "Own Disc");
    EXPECT_EQ(tag["TRCK"].toString(), "3");
    EXPECT_FALSE(tag.contains("APIC"));
    EXPECT_EQ(tag["TENC"].toString(), lameToolVersionText());
}

} // namespace
} // namespace vn::test
