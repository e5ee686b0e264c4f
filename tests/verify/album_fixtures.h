#pragma once
// Albums made at test time for the same-recording check: short pieces of distinct character (a
// melody of its own over pink noise each), rendered by ffmpeg and encoded by lame, ffmpeg's AAC and
// flac, laid out as the folders and the CD image the check compares, with the same piece in the
// other formats the check decodes. Rendering them takes most of a minute, and CTest runs every test
// in a process of its own, so the first process keeps them in the build tree for the others; a new
// recipe takes a new folder name.

#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace vn::test {

inline constexpr int AlbumTracks = 4;
inline constexpr int TrackSeconds = 33;

// Runs ffmpeg quietly; the test fails when it does.
inline void ffmpeg(const QStringList& args)
{
    const ProcessResult r = runProcess(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
}

// One piece: a melody whose notes, tempo and register follow the seed, a bass line, pink noise.
inline void renderPiece(const QString& wav, double seed, int notesPerSecond, int noiseSeed, int seconds = TrackSeconds)
{
    const QString melody =
        QStringLiteral("aevalsrc=0.35*sin(2*PI*t*220*pow(2\\,floor(24*abs(sin(%1*floor(t*%2))))/12))"
                       "+0.2*sin(2*PI*t*110*pow(2\\,floor(12*abs(sin(%3*floor(t*%2/4))))/12)):s=44100:d=%4")
            .arg(seed)
            .arg(notesPerSecond)
            .arg(seed * 1.7)
            .arg(seconds);
    ffmpeg({"-f", "lavfi", "-i", melody, "-f", "lavfi", "-i",
            QStringLiteral("anoisesrc=color=pink:a=0.05:d=%1:seed=%2").arg(seconds).arg(noiseSeed), "-filter_complex",
            "amix=inputs=2:normalize=0,aformat=channel_layouts=stereo", "-ar", "44100", "-c:a", "pcm_s16le",
            "-bitexact", "-map_metadata", "-1", wav});
}

inline void lame(const QString& wav, const QString& mp3, const QStringList& options, const QString& title)
{
    const ProcessResult r = runProcess(QStringLiteral("lame"), QStringList{"--quiet", "--add-id3v2", "--tt", title}
                                                                   + options + QStringList{wav, mp3});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
}

struct Albums {
    QString root;
    QString src, mp3, mp3b, m4a, flac, other, silence, cue;
    QStringList wavs; // the album's pieces, in track order

    QString path(const char* name) const { return QDir(root).filePath(QLatin1String(name)); }

    // Into root, already made or made now.
    void open()
    {
        const QString store = QStringLiteral(VORNELIC_BIN_DIR "/../test-fixtures");
        root = QDir(store).filePath(QStringLiteral("verify-albums-2"));
        name();
        if (QFileInfo::exists(path("done")))
            return;
        QDir().mkpath(store);
        QTemporaryDir making(QDir(store).filePath(QStringLiteral("making-XXXXXX")));
        ASSERT_TRUE(making.isValid());
        const QString finished = root;
        root = making.path();
        name();
        make();
        ASSERT_TRUE(writeFile(path("done"), "made\n"));
        // Another test process may have finished first; then its albums are used.
        if (QDir().rename(making.path(), finished))
            making.setAutoRemove(false);
        root = finished;
        name();
        ASSERT_TRUE(QFileInfo::exists(path("done")));
    }

private:
    void name()
    {
        src = path("src");
        mp3 = path("mp3");
        mp3b = path("mp3b");
        m4a = path("m4a");
        flac = path("flac");
        other = path("other");
        silence = path("silence");
        cue = path("image/disc.cue");
        wavs.clear();
        for (int i = 0; i < AlbumTracks; ++i)
            wavs << QDir(src).filePath(QStringLiteral("p%1.wav").arg(i));
    }

    void make()
    {
        for (const char* f : {"src", "mp3", "mp3b", "m4a", "flac", "other", "silence", "image", "formats"})
            QDir(root).mkpath(QLatin1String(f));
        const double seeds[] = {1.3, 2.7, 3.9, 5.1, 7.3, 8.9, 11.1, 13.7};
        const int tempi[] = {4, 3, 5, 2};
        for (int i = 0; i < 2 * AlbumTracks; ++i) {
            const QString wav = QDir(src).filePath(QStringLiteral("p%1.wav").arg(i));
            renderPiece(wav, seeds[i], tempi[i % 4], i + 1);
            const QString name = QStringLiteral("%1 track").arg(i % AlbumTracks + 1, 2, 10, QLatin1Char('0'));
            if (i >= AlbumTracks) {
                lame(wav, QDir(other).filePath(name + ".mp3"), {"-V2"}, name);
                continue;
            }
            lame(wav, QDir(mp3).filePath(name + ".mp3"), {"-V2"}, name);
            lame(wav, QDir(mp3b).filePath(name + ".mp3"), {"-b", "128"}, name);
            ffmpeg({"-i", wav, "-c:a", "aac", "-b:a", "160k", QDir(m4a).filePath(name + ".m4a")});
            ffmpeg({"-i", wav, "-c:a", "flac", QDir(flac).filePath(name + ".flac")});
            ffmpeg({"-i", wav, "-af", "adelay=1000|1000", "-c:a", "aac", "-b:a", "128k",
                    QDir(silence).filePath(name + ".m4a")});
        }
        // The CD image: the pieces one after another in one WAV, each a whole number of sectors.
        QStringList inputs;
        for (const QString& wav : wavs)
            inputs << "-i" << wav;
        ffmpeg(inputs + QStringList{"-filter_complex", QStringLiteral("concat=n=%1:v=0:a=1").arg(AlbumTracks), "-c:a",
                                    "pcm_s16le", "-bitexact", "-map_metadata", "-1", path("image/disc.wav")});
        QByteArray sheet = "FILE \"disc.wav\" WAVE\n";
        for (int t = 0; t < AlbumTracks; ++t) {
            const int seconds = t * TrackSeconds;
            sheet += QStringLiteral("  TRACK %1 AUDIO\n    INDEX 01 %2:%3:00\n")
                         .arg(t + 1, 2, 10, QLatin1Char('0'))
                         .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                         .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                         .toLatin1();
        }
        ASSERT_TRUE(writeFile(cue, sheet));

        // One piece in the other formats, and two files that are not of a kind the check reads.
        const QString wav = wavs[1];
        auto out = [&](const char* name) { return QDir(path("formats")).filePath(QLatin1String(name)); };
        ffmpeg({"-i", wav, "-c:a", "libopus", "-b:a", "128k", out("opus.mka")});
        ffmpeg({"-i", wav, "-c:a", "libvorbis", out("vorbis.webm")});
        ffmpeg({"-i", wav, "-c:a", "libopus", out("opus.ogg")});
        ffmpeg({"-i", wav, "-c:a", "alac", out("alac.m4a")});
        ffmpeg({"-i", wav, "-c:a", "pcm_s24le", out("s24.wav")});
        ffmpeg({"-i", wav, "-ac", "1", "-ar", "22050", "-c:a", "pcm_u8", out("u8-mono.wav")});
        ffmpeg({"-i", wav, "-ar", "88200", "-c:a", "pcm_s16le", out("s16-88k.wav")});
        ffmpeg({"-i", wav, "-ar", "22050", "-c:a", "pcm_f32le", out("f32-22k.wav")});
        ffmpeg({"-i", wav, "-ar", "48000", "-c:a", "flac", out("48k.flac")});
        ffmpeg({"-i", wav, "-c:a", "adpcm_ima_wav", out("adpcm.wav")});
        ffmpeg({"-f", "lavfi", "-i", "testsrc=d=2:s=64x64", "-c:v", "ffv1", out("video.mkv")});
    }
};

// The albums, made on first use.
inline const Albums& albums()
{
    static Albums made;
    static const bool once = (made.open(), true);
    (void)once;
    return made;
}

} // namespace vn::test
