// FLAC output is lossless, so it is checked exactly: flac's own decoder gives back the image's
// samples of each track, and metaflac reads the comments, the picture and the padding written.
#include "encode/flac_encoder.h"
#include "encode/image_fixtures.h"
#include "util/byte_reader.h"
#include <QtEndian>
#include "util/safe_file.h"

namespace vn::test {
namespace {

QByteArray metaflac(const QStringList& args)
{
    const ProcessResult r = runProcess("metaflac", args);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out;
}

// "flac 1.4.2" -> "1.4.2"
QByteArray flacToolVersion()
{
    return runProcess("flac", {"--version"}).out.trimmed().split(' ').value(1);
}

class FlacEncode : public ImageEncode {};

TEST_F(FlacEncode, EveryTrackDecodesToTheImageSamplesOfWavAndBinImages)
{
    const QString png = writePicture(dir.filePath("cover.png"));
    writeMp3Folder(a, 3, 3, png);
    settings.Flac_Meta_Pad = 300;
    settings.Flac_Block_Size = 1000; // slices that do not divide the tracks
    for (const bool wav : {true, false}) {
        SCOPED_TRACE(wav ? "wav image" : "bin image");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        // The last track ends 123 frames after a sector boundary: it must be encoded to the last frame.
        const TestImage image = writeImage(dir.path(), wav ? "disc" : "raw", {150, 75, 110}, wav, 123);
        const EncodeOutcome outcome = encode(image.cue, EncoderFlac);
        ASSERT_EQ(outcome.code, 0) << feedback.messages.join("\n").toStdString();
        ASSERT_EQ(outcome.written.size(), 3);
        for (int t = 1; t <= 3; ++t) {
            const QString file = output(QStringLiteral("%1 Title %2.flac").arg(t, 2, 10, QLatin1Char('0')).arg(t));
            EXPECT_EQ(outcome.written[t - 1], file);
            const QByteArray decoded = flacDecode(file);
            EXPECT_EQ(decoded.size(), image.trackPcm(t).size()) << "track " << t;
            EXPECT_TRUE(decoded == image.trackPcm(t)) << "track " << t;
        }
    }

    const QString first = output("01 Title 1.flac");
    const QByteArray tags = metaflac({"--export-tags-to=-", first});
    for (const char* line : {"TITLE=Title 1 \xc3\xa9", "ALBUM=Album", "ARTIST=Artist", "TRACKNUMBER=1/3",
                             "GENRE=Jazz", "COMMENT=comment 1"})
        EXPECT_TRUE(tags.split('\n').contains(QByteArray(line))) << line << "\n" << tags.constData();
    // A has no encoder or CD identifier frame, so neither comment is written.
    EXPECT_FALSE(tags.contains("ENCODER=")) << tags.constData();
    EXPECT_FALSE(tags.contains("CDTOC=")) << tags.constData();
    EXPECT_EQ(metaflac({"--export-picture-to=-", first}), readFile(png));
    const QByteArray list = metaflac({"--list", "--block-type=PICTURE,PADDING", first});
    EXPECT_TRUE(list.contains("MIME type: image/png")) << list.constData();
    EXPECT_TRUE(list.contains("description: Front Cover")) << list.constData();
    EXPECT_TRUE(list.contains("type: 1 (PADDING)\n  is last: true\n  length: 300\n")) << list.constData();
}

TEST_F(FlacEncode, EncoderAndCdIdentifierOfAGoInAsThisEncoderAndThisDisc)
{
    writeMp3Folder(a, 1, 4);
    ASSERT_EQ(runPython("import sys\nfrom mutagen.id3 import ID3, TENC, MCDI\nt = ID3(sys.argv[1])\n"
                        "t.add(TENC(encoding=0, text=['someone']))\nt.add(MCDI(data=b'1+96+2F0'))\nt.save(v2_version=4)\n",
                        {QDir(a).filePath("01 Title 1.mp3")})
                  .exitCode,
              0);
    const TestImage image = writeImage(dir.path(), "disc", {40}, true);
    ASSERT_EQ(encode(image.cue, EncoderFlac).code, 0);
    const QByteArray tags = metaflac({"--export-tags-to=-", output("01 Title 1.flac")});
    EXPECT_TRUE(tags.contains("ENCODER=libFLAC " + flacToolVersion() + "\n")) << tags.constData();
    EXPECT_TRUE(tags.contains("CDTOC=" + state.cue->discToc + "\n")) << tags.constData();
}

TEST_F(FlacEncode, BTagsRunTakesTheImageOwnTextsAndAnEmptyPicture)
{
    writeMp3Folder(a, 2, 3, writePicture(dir.filePath("cover.png")));
    const TestImage image = writeImage(dir.path(), "live", {40, 40}, false, 0, "Live Disc");
    EncodeOptions options;
    options.bTags = true;
    options.backupMode = false;
    const EncodeOutcome outcome = encode(image.cue, EncoderFlac, 2, 0, options);
    ASSERT_EQ(outcome.code, 0);
    ASSERT_EQ(outcome.written.size(), 2);
    // Named after the track rows, in a folder of album artist and album (as ASCII names) under the
    // Output folder.
    EXPECT_EQ(outcome.written[1], settings.Path_Otpt + "/Test_Artist/Live_Disc/02_live.flac");
    const QByteArray tags = metaflac({"--export-tags-to=-", outcome.written[1]});
    for (const QByteArray& line : {QByteArray("TITLE=Song 2"), QByteArray("ARTIST=Player 2"),
                                   QByteArray("ALBUMARTIST=Test Artist"), QByteArray("ALBUM=Live Disc"),
                                   QByteArray("TRACKNUMBER=2"), "ENCODER=libFLAC " + flacToolVersion(),
                                   "CDTOC=" + state.cue->discToc})
        EXPECT_TRUE(tags.split('\n').contains(line)) << line.constData() << "\n" << tags.constData();
    const QByteArray picture = metaflac({"--list", "--block-type=PICTURE", outcome.written[1]});
    EXPECT_TRUE(picture.contains("MIME type: \n")) << picture.constData();
    EXPECT_TRUE(picture.contains("data length: 0\n")) << picture.constData();
    EXPECT_EQ(flacDecode(outcome.written[1]), image.trackPcm(2));
}

TEST_F(FlacEncode, ABitmapPictureStopsTheRunWith24AndWritesNothing)
{
    writeMp3Folder(a, 2, 3);
    ASSERT_EQ(runPython("import sys\nfrom mutagen.id3 import ID3, APIC\nt = ID3(sys.argv[1])\n"
                        "t.add(APIC(encoding=0, mime='image/bmp', type=3, desc='', data=b'BM' + bytes(60)))\n"
                        "t.save(v2_version=3)\n",
                        {QDir(a).filePath("01 Title 1.mp3")})
                  .exitCode,
              0);
    const TestImage image = writeImage(dir.path(), "disc", {40, 40}, true);
    const EncodeOutcome outcome = encode(image.cue, EncoderFlac);
    EXPECT_EQ(outcome.code, FlacPictureRefused);
    EXPECT_EQ(feedback.messages, QStringList{"Encode Error|Encode Error 24\n"});
    EXPECT_TRUE(outcome.written.isEmpty());
    EXPECT_TRUE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST_F(FlacEncode, RangesOutsideTheImageAreReportedAndLeaveNoFile)
{
    writeMp3Folder(a, 1, 3);
    const TestImage image = writeImage(dir.path(), "disc", {40}, true);
    const uint32_t frames = uint32_t(image.pcm.size() / 4);
    struct Case {
        uint32_t first, last;
        int code;
    };
    for (const Case c : {Case{frames, frames + 10, FlacBadFormat}, Case{frames - 10, frames + 10, FlacImageEnded}}) {
        std::vector<BatchEntry> entries{{1, 1, c.first, c.last, 2}, {}};
        size_t cursor = 0;
        BatchRun batch{&entries, &cursor};
        EncodeOptions options;
        options.batch = &batch;
        EXPECT_EQ(encode(image.cue, EncoderFlac, 1, 0, options).code, c.code);
        EXPECT_EQ(cursor, 2u);
        EXPECT_TRUE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
}

// Images of other sample widths, encoded whole, decode to their own bytes: 8-bit samples are
// unsigned, 24-bit ones take their sign from the top byte.
TEST_F(FlacEncode, EightAndTwentyFourBitSamplesRoundTrip)
{
    struct Width {
        const char* codec;
        QByteArray extremes; // one stereo frame at the edges of the range
    };
    for (const Width& w : {Width{"pcm_u8", QByteArray("\x00\xff", 2)},
                          Width{"pcm_s24le", QByteArray("\x00\x00\x80\xff\xff\x7f", 6)}}) {
        SCOPED_TRACE(w.codec);
        // ffmpeg writes samples wider than 16 bits with an extensible header; the canonical header
        // an image has goes in front of its samples.
        const ProcessResult pcm = runProcess("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "anoisesrc=d=0.3:a=0.5", "-ac",
                                                        "2", "-c:a", w.codec, "-f", QString(w.codec).mid(4), "-"});
        ASSERT_EQ(pcm.exitCode, 0) << pcm.err.constData();
        QByteArray samples = pcm.out;
        samples.replace(6 * w.extremes.size(), w.extremes.size(), w.extremes);
        QByteArray bytes = canonicalWavHeader(2, 44100, w.codec[5] == '2' ? 24 : 8);
        qToLittleEndian<uint32_t>(uint32_t(36 + samples.size()), bytes.data() + 4);
        qToLittleEndian<uint32_t>(uint32_t(samples.size()), bytes.data() + 40);
        bytes += samples;
        const QString wav = dir.filePath(QStringLiteral("%1.wav").arg(w.codec));
        writeFile(wav, bytes);
        writeFile(dir.filePath("w.cue"), QStringLiteral("FILE \"%1\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n")
                                             .arg(QFileInfo(wav).fileName())
                                             .toUtf8());
        CueSheet cue;
        ASSERT_EQ(parseCueSheet(dir.filePath("w.cue"), CueTrackLimit, 0, cue), 1);
        FlacImage image;
        ASSERT_EQ(openFlacImage(cue, image), 0);
        const QString flac = dir.filePath(QStringLiteral("%1.flac").arg(w.codec));
        NewFile file(flac);
        ASSERT_TRUE(file.open());
        ASSERT_EQ(encodeFlacTrack(image, file, 0, 0, FlacTags{}, FlacParameters{}, TrackProgress{}), 0);
        ASSERT_TRUE(file.commit());
        const ProcessResult r = runProcess("flac", {"-d", "-s", "-c", "--force-raw-format", "--endian=little",
                                                    "--sign=" + QString(w.codec[4] == 'u' ? "unsigned" : "signed"), flac});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.out == bytes.mid(44)) << r.out.size() << " vs " << bytes.size() - 44;
    }
}

TEST(CheckWavHeader, CanonicalRawAndInconsistentHeaders)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("t.wav");
    ASSERT_EQ(runProcess("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=d=0.1", "-ac", "2", "-c:a",
                                    "pcm_s16le", "-fflags", "+bitexact", "-flags:a", "+bitexact", wav})
                  .exitCode,
              0);
    const QByteArray canonical = readFile(wav).left(44);
    QByteArray h = canonical;
    EXPECT_EQ(checkWavHeader(h), 44);
    EXPECT_EQ(h, canonical);

    // 12 bits are stored in 16: the header is rounded up and then agrees with itself.
    h = canonical;
    h[34] = 12;
    EXPECT_EQ(checkWavHeader(h), 44);
    EXPECT_EQ(h, canonical);

    h = canonical;
    h[32] = 6; // block align of 24-bit stereo with 16-bit samples
    EXPECT_EQ(checkWavHeader(h), -1);
    h = canonical;
    h[28] = 0; // byte rate
    EXPECT_EQ(checkWavHeader(h), -1);
    h = canonical;
    h[22] = 0; // no channels: no frame size to count by
    h[32] = 0;
    h[28] = h[29] = h[30] = h[31] = 0;
    EXPECT_EQ(checkWavHeader(h), -1);

    // A header written with a LIST chunk before the data is not the canonical form: read as raw CD audio.
    const QString listed = dir.filePath("l.wav");
    ASSERT_EQ(runProcess("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=d=0.1", "-ac", "1", "-ar", "22050",
                                    "-c:a", "pcm_s16le", listed})
                  .exitCode,
              0);
    h = readFile(listed).left(44);
    ASSERT_NE(h.mid(36, 4), "data");
    EXPECT_EQ(checkWavHeader(h), 0);
    const ByteReader r(h);
    EXPECT_EQ(r.le16At(22), 2);
    EXPECT_EQ(r.le32At(24), 44100u);
    EXPECT_EQ(r.le32At(28), 176400u);
    EXPECT_EQ(r.le16At(32), 4);
    EXPECT_EQ(r.le16At(34), 16);
}

} // namespace
} // namespace vn::test
