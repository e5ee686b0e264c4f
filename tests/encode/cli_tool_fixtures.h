#pragma once
// Shared by the outside-encoder tests: a feedback that records the runner's marks and pumps and can
// ask for an abort, stand-in scripts for the tools that cannot be installed here (qaac, fdkaac),
// CD images made by ffmpeg, and A files tagged by mutagen.

#include "config/settings.h"
#include "media/cue_sheet.h"
#include "media/id3v2_reader.h"
#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <gtest/gtest.h>

namespace vn::test {

// Counts the runner's marks (status part 5) and can ask for an abort after some of them.
struct ToolFeedback : RecordingFeedback {
    void setStatus(int part, const QString& text) override
    {
        RecordingFeedback::setStatus(part, text);
        if (part == 5)
            ++marks;
    }
    void pumpMessages() override
    {
        marksAtPump << marks;
        RecordingFeedback::pumpMessages();
    }
    bool abortRequested() const override
    {
        return (abortAfterMarks >= 0 && marks >= abortAfterMarks) || RecordingFeedback::abortRequested();
    }

    int marks = 0;
    QList<int> marksAtPump;
    int abortAfterMarks = -1; // abortRequested once this many marks were shown
};

// How a stand-in behaves when asked to encode.
enum class StandIn { Encode, Fail3, Hang };

// A stand-in for qaac or fdkaac (name "qaac" or "fdkaac"): answers "--check" or "-h" as the tool
// does, appends every command line it gets to logPath (one JSON array per line), and otherwise
// writes the file after "-o" holding a JSON object: its arguments ("argv"), and the size of its input
// file and of the artwork file it was given, read while it ran ("input_size", "artwork_size").
QString writeStandIn(const QString& folder, const QString& name, const QString& logPath,
                     StandIn behaviour = StandIn::Encode);
// The command lines a stand-in recorded.
QList<QStringList> standInCalls(const QString& logPath);

// Frames of the three tracks of the test images: 150, 113 and 188 sectors.
inline constexpr std::array<uint32_t, 3> TrackFrames = {150 * 588, 113 * 588, 188 * 588};
// The disc TOC of those tracks: the count, the starts plus 150 and the end plus 150, in sectors.
inline constexpr char TestDiscToc[] = "3+96+12C+19D+259";

struct CdImages {
    QString wav, bin, wavCue, binCue;
    QByteArray pcm;                  // the images' audio, 16-bit stereo
    uint32_t first(int track) const; // first frame of track 1..3
    uint32_t last(int track) const;  // last frame, inclusive
};
// Made once per test program by ffmpeg: three sine tones of different pitch, one after the other,
// as a canonical WAV image and as a raw .bin image, each with its cue sheet.
const CdImages& cdImages();

// A picture made by ffmpeg: a small PNG or JPEG.
QByteArray testPicture(const char* format);

// An MP3 A file with an ID3v2.3 tag written by mutagen: album, artist, album artist, title, track,
// year, genre, comment, composer and the picture (with the MIME type given).
struct AFileTags {
    QString album = QStringLiteral("Test Album");
    QString artist = QStringLiteral("Test Artist");
    QString albumArtist = QStringLiteral("Test Band");
    QString title = QStringLiteral("Test Title");
    QString track = QStringLiteral("1/3");
    QString year = QStringLiteral("1999");
    QString genre = QStringLiteral("Rock");
    QString comment = QStringLiteral("A comment");
    QString composer = QStringLiteral("Test Composer");
    QByteArray picture;
    QString pictureMime = QStringLiteral("image/png");
};
bool writeAFile(const QString& path, const AFileTags& tags);
// Reads an A file's tag as the comparison does.
bool readAFile(const QString& path, FileTags& file);

} // namespace vn::test
