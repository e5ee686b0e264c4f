// The openings the check hears, against ffmpeg's own decoding of the same files, and its
// fingerprints against fpcalc's; files that are damaged, cut short or not audio at all get a code,
// never a crash.
#include "album_fixtures.h"

#include "media/cue_sheet.h"
#include "util/feedback.h"
#include "util/file_name.h"
#include "verify/fingerprint.h"
#include "verify/opening_pcm.h"
#include "verify/same_recording.h"

#include <cmath>

namespace vn::test {
namespace {

// ffmpeg's own decoding of the file's first seconds, down-mixed and resampled as the check does.
std::vector<int16_t> ffmpegOpening(const QString& file, int seconds = OpeningSeconds)
{
    const ProcessResult r = runProcess(QStringLiteral("ffmpeg"),
                                       {"-v", "error", "-i", file, "-t", QString::number(seconds), "-ac", "1", "-ar",
                                        QString::number(OpeningRate), "-f", "s16le", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    std::vector<int16_t> samples(size_t(r.out.size() / 2));
    memcpy(samples.data(), r.out.constData(), samples.size() * 2);
    return samples;
}

// The normalised correlation of the two (their first ten seconds) at the best shift within a
// millisecond or two.
double correlation(const std::vector<int16_t>& x, const std::vector<int16_t>& y)
{
    double best = -1;
    for (int shift = -16; shift <= 16; ++shift) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i < std::min<size_t>(x.size(), 10 * OpeningRate); ++i) {
            const int64_t j = int64_t(i) + shift;
            if (j < 0 || j >= int64_t(y.size()))
                continue;
            xy += double(x[i]) * y[size_t(j)];
            xx += double(x[i]) * x[i];
            yy += double(y[size_t(j)]) * y[size_t(j)];
        }
        if (xx > 0 && yy > 0)
            best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best;
}

std::vector<uint32_t> fpcalc(const QString& file)
{
    const ProcessResult r = runProcess(QStringLiteral("fpcalc"), {"-raw", "-plain", "-length", "30", file});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    std::vector<uint32_t> items;
    for (const QByteArray& item : r.out.trimmed().split(','))
        items.push_back(item.toUInt());
    return items;
}

class Openings : public ::testing::Test {
protected:
    static QString formats(const char* name) { return QDir(albums().path("formats")).filePath(QLatin1String(name)); }
    static QString track(const QString& folder, int n, const char* extension)
    {
        return QDir(folder).filePath(QStringLiteral("%1 track.%2").arg(n, 2, 10, QLatin1Char('0')).arg(QLatin1String(extension)));
    }
};

TEST_F(Openings, EveryFormatDecodesAsFfmpegDecodesIt)
{
    const Albums& x = albums();
    const QStringList files = {track(x.mp3, 2, "mp3"),    track(x.m4a, 2, "m4a"),    track(x.flac, 2, "flac"),
                               formats("opus.mka"),        formats("vorbis.webm"),    formats("opus.ogg"),
                               formats("alac.m4a"),        formats("s24.wav"),        formats("u8-mono.wav"),
                               formats("s16-88k.wav"),     formats("f32-22k.wav"),    formats("48k.flac"),
                               x.wavs[1]};
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        std::vector<int16_t> ours;
        ASSERT_EQ(decodeOpening(file, OpeningSeconds, ours), OpeningOk);
        const std::vector<int16_t> theirs = ffmpegOpening(file);
        EXPECT_EQ(ours.size(), size_t(OpeningSeconds * OpeningRate));
        EXPECT_NEAR(double(ours.size()), double(theirs.size()), 0.002 * theirs.size());
        EXPECT_GT(correlation(ours, theirs), 0.99);
    }
    // Fewer seconds asked, fewer given.
    std::vector<int16_t> five;
    ASSERT_EQ(decodeOpening(track(x.flac, 1, "flac"), 5, five), OpeningOk);
    EXPECT_EQ(five.size(), size_t(5 * OpeningRate));
}

TEST_F(Openings, ImageTracksAreReadFromTheImagesSamples)
{
    const Albums& x = albums();
    CueSheet cue;
    ASSERT_EQ(parseCueSheet(x.cue, CueTrackLimit, 0, cue), AlbumTracks);
    for (int t = 1; t <= AlbumTracks; ++t) {
        std::vector<int16_t> ours;
        ASSERT_EQ(imageOpening(cue, trackFrames(cue, t), OpeningSeconds, ours), OpeningOk);
        EXPECT_EQ(ours.size(), size_t(OpeningSeconds * OpeningRate));
        EXPECT_GT(correlation(ours, ffmpegOpening(x.wavs[t - 1])), 0.99) << t;
    }
    // The last track's range ends with the image; a range past it holds nothing.
    std::vector<int16_t> samples;
    const FrameRange last = trackFrames(cue, AlbumTracks);
    EXPECT_EQ(imageOpening(cue, FrameRange{last.end, last.end + 44100}, 5, samples), OpeningNoSamples);
    EXPECT_EQ(imageOpening(cue, FrameRange{last.end - 4410, last.end}, 5, samples), OpeningOk);
    EXPECT_NEAR(double(samples.size()), OpeningRate / 10.0, 20);
    CueSheet gone = cue;
    gone.imagePath += QStringLiteral(".gone");
    EXPECT_EQ(imageOpening(gone, last, 5, samples), OpeningCannotOpen);
}

TEST_F(Openings, FingerprintsAgreeWithFpcalc)
{
    const Albums& x = albums();
    for (const QString& file : {track(x.mp3, 3, "mp3"), track(x.flac, 1, "flac"), formats("opus.mka")}) {
        std::vector<int16_t> samples;
        ASSERT_EQ(decodeOpening(file, OpeningSeconds, samples), OpeningOk);
        Fingerprint ours;
        ASSERT_TRUE(fingerprintOf(samples, ours));
        Fingerprint theirs{fpcalc(file), ours.itemMs};
        EXPECT_NEAR(double(ours.items.size()), double(theirs.items.size()), 3) << file.toStdString();
        EXPECT_GE(similarity(ours, theirs), 90) << file.toStdString();
    }
    // A fingerprint against itself, and against one a second later.
    std::vector<int16_t> samples;
    ASSERT_EQ(decodeOpening(track(x.flac, 2, "flac"), OpeningSeconds, samples), OpeningOk);
    Fingerprint whole;
    ASSERT_TRUE(fingerprintOf(samples, whole));
    EXPECT_EQ(similarity(whole, whole), 100);
    samples.erase(samples.begin(), samples.begin() + OpeningRate);
    Fingerprint later;
    ASSERT_TRUE(fingerprintOf(samples, later));
    EXPECT_GE(similarity(whole, later), 90);
    EXPECT_GE(similarity(later, whole), 90);
}

TEST_F(Openings, WhatIsNotAudioOfAKnownKindGetsACode)
{
    const Albums& x = albums();
    const QString dir = x.path("bad");
    QDir().mkpath(dir);
    auto file = [&](const char* name, const QByteArray& bytes) {
        const QString path = QDir(dir).filePath(QLatin1String(name));
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    };
    std::vector<int16_t> samples;
    EXPECT_EQ(decodeOpening(QDir(dir).filePath("missing.mp3"), 5, samples), OpeningCannotOpen);
    EXPECT_EQ(decodeOpening(file("empty.mp3", {}), 5, samples), OpeningNoAudio);
    EXPECT_EQ(decodeOpening(file("text.mp3", "just some words, no audio at all\n"), 5, samples), OpeningNoAudio);
    EXPECT_EQ(decodeOpening(formats("video.mkv"), 5, samples), OpeningNoAudio);
    EXPECT_EQ(decodeOpening(formats("adpcm.wav"), 5, samples), OpeningUnsupported);
    EXPECT_TRUE(samples.empty());
    // Cut short: what is there is heard.
    const QByteArray mp3 = readFile(track(x.mp3, 1, "mp3"));
    ASSERT_EQ(decodeOpening(file("half.mp3", mp3.left(mp3.size() / 8)), OpeningSeconds, samples), OpeningOk);
    EXPECT_GT(samples.size(), size_t(2 * OpeningRate));
    EXPECT_LT(samples.size(), size_t(6 * OpeningRate));
    // A playlist naming another file is not audio: nothing but the file itself is ever opened.
    const QByteArray flac = readFile(track(x.flac, 1, "flac"));
    EXPECT_EQ(decodeOpening(file("list.mp3", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + dir.toUtf8()
                                                 + "/half.mp3\n#EXT-X-ENDLIST\n"),
                            5, samples),
              OpeningNoAudio);

    // Damaged copies of every container: a code or samples, never a crash or a read outside.
    SplitMix random{7};
    for (const QString& source : {track(x.mp3, 1, "mp3"), track(x.m4a, 1, "m4a"), track(x.flac, 1, "flac"),
                                  formats("opus.mka"), formats("vorbis.webm"), formats("opus.ogg"), x.wavs[0]}) {
        const QByteArray original = readFile(source).left(160 * 1024);
        const QString ext = source.mid(source.lastIndexOf(QLatin1Char('.')));
        for (int m = 0; m < 12; ++m) {
            QByteArray bytes = original;
            const int flips = 1 + int(random.below(40));
            for (int f = 0; f < flips; ++f) {
                // Most damage near the front, where the headers and lengths are.
                const uint32_t at = random.below(random.below(2) ? 4096 : uint32_t(bytes.size()));
                bytes[qsizetype(at)] = char(random.below(256));
            }
            if (m % 3 == 0)
                bytes.truncate(qsizetype(random.below(uint32_t(bytes.size()))));
            const QString path = QDir(dir).filePath(QStringLiteral("m%1%2").arg(m).arg(ext));
            QFile::remove(path);
            ASSERT_TRUE(writeFile(path, bytes));
            const int code = decodeOpening(path, 5, samples);
            EXPECT_TRUE(code >= OpeningOk && code <= OpeningNoSamples) << code;
            EXPECT_EQ(code == OpeningOk, !samples.empty());
            EXPECT_LE(samples.size(), size_t(5 * OpeningRate));
        }
    }
}

TEST_F(Openings, PairsTooShortOrUnreadableCannotBeChecked)
{
    const Albums& x = albums();
    const QString dir = x.path("short");
    QDir().mkpath(dir);
    const QString a = QDir(dir).filePath("a.wav"), b = QDir(dir).filePath("b.flac");
    renderPiece(a, 1.3, 4, 1, 2);
    ffmpeg({"-i", a, "-c:a", "flac", b});
    std::vector<RecordingPair> pairs(3);
    pairs[0] = {a, b, {}, "a.wav", "b.flac", 1};
    pairs[1] = {track(x.mp3, 1, "mp3"), QDir(dir).filePath("gone.flac"), {}, "01 track.mp3", "gone.flac", 3};
    pairs[2] = {QDir(dir).filePath("gone.mp3"), track(x.mp3, 1, "mp3"), {}, "gone.mp3", "01 track.mp3", 5};
    SilentFeedback silent;
    std::vector<PairMatch> matches;
    EXPECT_TRUE(checkRecordings(pairs, nullptr, silent, 0, matches));
    ASSERT_EQ(matches.size(), 3u);
    EXPECT_EQ(matches[0].similarity, -1);
    EXPECT_EQ(matches[0].problem, QStringLiteral("too short to tell"));
    EXPECT_EQ(matchText(matches[1]), QStringLiteral("cannot be checked: B cannot be read"));
    EXPECT_EQ(matchText(matches[2]), QStringLiteral("cannot be checked: A cannot be read"));
    // Not proven the same recording, whatever the threshold.
    EXPECT_EQ(mismatchedPairs(matches, 0), (std::vector<int>{0, 1, 2}));
    // A pair of B image ranges without an image.
    pairs.resize(1);
    pairs[0].bPath.clear();
    EXPECT_TRUE(checkRecordings(pairs, nullptr, silent, 1, matches));
    EXPECT_EQ(matchText(matches[0]), QStringLiteral("cannot be checked: B cannot be read"));
}

} // namespace
} // namespace vn::test
