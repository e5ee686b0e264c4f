// Cutting tracks out of the images ffmpeg made: WAV tracks (the last one whole) with their own
// header as ffprobe reads it, headerless raw tracks, and every failure code leaving no file.

#include "cli_tool_fixtures.h"
#include "encode/track_cut.h"

#include <QFile>

namespace vn {
namespace {

using test::cdImages;
using test::TrackFrames;

struct StreamFacts {
    QString codec;
    int channels = 0;
    int sampleRate = 0;
    qint64 durationTs = -1;
};

StreamFacts probeWav(const QString& path)
{
    const test::ProcessResult r = test::runProcess(
        "ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,channels,sample_rate,duration_ts", "-of", "json", path});
    const QJsonObject s = QJsonDocument::fromJson(r.out).object()["streams"].toArray().at(0).toObject();
    return {s["codec_name"].toString(), s["channels"].toInt(), s["sample_rate"].toString().toInt(),
            qint64(s["duration_ts"].toDouble(-1))};
}

TEST(CutTrack, WavTracksCarryTheirOwnHeaderAndTheLastIsCutWhole)
{
    const auto& images = cdImages();
    ASSERT_FALSE(images.wav.isEmpty()) << "ffmpeg could not make the test images";
    QTemporaryDir dir;
    const QByteArray image = test::readFile(images.wav);
    for (int t = 1; t <= 3; ++t) [&] {
        const QString out = dir.filePath(QStringLiteral("track%1.wav").arg(t));
        ASSERT_EQ(cutTrack(images.wav, out, images.first(t), images.last(t)), CutOk) << t;
        const StreamFacts facts = probeWav(out);
        EXPECT_EQ(facts.codec, "pcm_s16le");
        EXPECT_EQ(facts.channels, 2);
        EXPECT_EQ(facts.sampleRate, 44100);
        EXPECT_EQ(facts.durationTs, qint64(TrackFrames[size_t(t - 1)])) << t;
        const QByteArray cut = test::readFile(out);
        ASSERT_EQ(cut.size(), 44 + qsizetype(TrackFrames[size_t(t - 1)]) * 4);
        EXPECT_TRUE(cut.mid(44) == image.mid(44 + qsizetype(images.first(t)) * 4, cut.size() - 44)) << t;
    }();
    // The last track ends at the image's last frame: nothing of it is left out.
    EXPECT_EQ(44 + (qsizetype(images.last(3)) + 1) * 4, image.size());
}

TEST(CutTrack, RawTracksAreHeaderless)
{
    const auto& images = cdImages();
    ASSERT_FALSE(images.bin.isEmpty());
    QTemporaryDir dir;
    for (int t = 1; t <= 3; ++t) [&] {
        const QString out = dir.filePath(QStringLiteral("track%1.bin").arg(t));
        ASSERT_EQ(cutTrack(images.bin, out, images.first(t), images.last(t)), CutOk);
        EXPECT_TRUE(test::readFile(out) ==
                    images.pcm.mid(qsizetype(images.first(t)) * 4, qsizetype(TrackFrames[size_t(t - 1)]) * 4))
            << t;
    }();
    // A range inside a track, one frame long.
    const QString one = dir.filePath("one.bin");
    ASSERT_EQ(cutTrack(images.bin, one, 1000, 1000), CutOk);
    EXPECT_EQ(test::readFile(one), images.pcm.mid(4000, 4));
}

TEST(CutTrack, FailuresHaveTheirCodesAndLeaveNoFile)
{
    const auto& images = cdImages();
    ASSERT_FALSE(images.wav.isEmpty());
    QTemporaryDir dir;
    const QString out = dir.filePath("out.wav");
    const uint32_t frames = images.last(3) + 1;

    EXPECT_EQ(cutTrack(dir.filePath("missing.wav"), out, 0, 10), CutImageUnreadable);
    EXPECT_EQ(cutTrack(images.wav, out, 0, frames), CutRangePastAudio);
    EXPECT_EQ(cutTrack(images.bin, out, frames - 10, frames), CutRangePastAudio);
    EXPECT_EQ(cutTrack(images.wav, out, 20, 10), CutRangePastAudio);
    EXPECT_EQ(cutTrack(images.wav, dir.filePath("no/folder/out.wav"), 0, 10), CutCannotCreate);

    // A byte more than the RIFF size tells; a data size beyond the file; a file shorter than a header.
    QByteArray wav = test::readFile(images.wav);
    const QString longer = dir.filePath("longer.wav");
    ASSERT_TRUE(test::writeFile(longer, wav + 'x'));
    EXPECT_EQ(cutTrack(longer, out, 0, 10), CutWavSizeWrong);
    QByteArray lying = wav;
    lying[42] = char(0x7f); // data size now far beyond the file, RIFF size still right
    const QString lyingPath = dir.filePath("lying.wav");
    ASSERT_TRUE(test::writeFile(lyingPath, lying));
    EXPECT_EQ(cutTrack(lyingPath, out, 0, 10), CutWavSizeWrong);
    const QString stub = dir.filePath("stub.WAV");
    ASSERT_TRUE(test::writeFile(stub, wav.left(20)));
    EXPECT_EQ(cutTrack(stub, out, 0, 0), CutWavSizeWrong);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(test::folderEntries(dir.path()), (QStringList{"longer.wav", "lying.wav", "stub.WAV"}));

    // A file already there is never replaced.
    ASSERT_TRUE(test::writeFile(out, "mine"));
    EXPECT_EQ(cutTrack(images.wav, out, 0, 10), CutCannotCreate);
    EXPECT_EQ(test::readFile(out), QByteArray("mine"));
}

} // namespace
} // namespace vn
