// The same-recording check on albums it has never seen: one album encoded by different encoders
// matches pair by pair; the same album shifted by a track, and another album, do not; a CD image's
// tracks match their MP3 encodings; a second of silence before B does not matter. Side by side gives
// what one at a time gives, and an abort leaves the rest unchecked.
#include "album_fixtures.h"

#include "config/settings.h"
#include "session/compare.h"
#include "util/feedback.h"
#include "verify/same_recording.h"

namespace vn::test {
namespace {

struct Checked {
    std::vector<RecordingPair> pairs;
    std::vector<PairMatch> matches;
    std::vector<int> similarities() const
    {
        std::vector<int> out;
        for (const PairMatch& m : matches)
            out.push_back(m.similarity);
        return out;
    }
};

Checked check(const QString& a, const QString& b, int offset = 0, int jobs = 0, Feedback* given = nullptr)
{
    ComparisonState state;
    state.folderA = a;
    state.folderB = b;
    state.folderBMode = !b.endsWith(QStringLiteral(".cue"));
    state.trackOffsetB = offset;
    SilentFeedback silent;
    Feedback& feedback = given ? *given : silent;
    EXPECT_EQ(compareAB(state, splitExtPriority(defaultSettings(QString()).FileExtPriority), 0, silent), CompareOk);
    Checked c;
    c.pairs = listPairs(state);
    checkRecordings(c.pairs, state.cue ? &*state.cue : nullptr, feedback, jobs, c.matches);
    EXPECT_EQ(c.matches.size(), c.pairs.size());
    return c;
}

void expectAll(const Checked& c, size_t pairs, int atLeast, int below)
{
    ASSERT_EQ(c.pairs.size(), pairs);
    for (size_t i = 0; i < c.matches.size(); ++i) {
        const PairMatch& m = c.matches[i];
        EXPECT_TRUE(m.problem.isEmpty()) << pairLine(c.pairs[i], m).toStdString();
        EXPECT_GE(m.similarity, atLeast) << pairLine(c.pairs[i], m).toStdString();
        EXPECT_LT(m.similarity, below) << pairLine(c.pairs[i], m).toStdString();
    }
}

TEST(SameRecording, OneAlbumByDifferentEncodersMatchesPairByPair)
{
    const Albums& x = albums();
    expectAll(check(x.mp3, x.m4a), AlbumTracks, 90, 101);  // lame V2 and ffmpeg's AAC
    expectAll(check(x.mp3, x.flac), AlbumTracks, 90, 101); // lame V2 and flac
    expectAll(check(x.m4a, x.flac), AlbumTracks, 90, 101);
    expectAll(check(x.mp3b, x.mp3), AlbumTracks, 90, 101); // CBR 128 and V2
}

TEST(SameRecording, AShiftedAlbumAndAnotherAlbumFallBelowTheThreshold)
{
    const Albums& x = albums();
    expectAll(check(x.mp3, x.m4a, 1), AlbumTracks - 1, 0, DefaultMatchThreshold);
    expectAll(check(x.mp3, x.flac, -1), AlbumTracks - 1, 0, DefaultMatchThreshold);
    expectAll(check(x.mp3, x.other), AlbumTracks, 0, DefaultMatchThreshold);
    expectAll(check(x.other, x.flac), AlbumTracks, 0, DefaultMatchThreshold);
}

TEST(SameRecording, CdImageTracksMatchTheirMp3Encodings)
{
    const Albums& x = albums();
    const Checked same = check(x.mp3, x.cue);
    expectAll(same, AlbumTracks, 90, 101);
    EXPECT_EQ(same.pairs[2].bName, QStringLiteral("track 3"));
    EXPECT_TRUE(same.pairs[2].bPath.isEmpty());
    EXPECT_EQ(same.pairs[2].listRow, 5);
    expectAll(check(x.mp3, x.cue, 1), AlbumTracks - 1, 0, DefaultMatchThreshold);
    expectAll(check(x.other, x.cue), AlbumTracks, 0, DefaultMatchThreshold);
}

TEST(SameRecording, ASecondOfSilenceBeforeBStillMatches)
{
    const Albums& x = albums();
    expectAll(check(x.mp3, x.silence), AlbumTracks, 90, 101);
    expectAll(check(x.flac, x.silence), AlbumTracks, 90, 101);
}

TEST(SameRecording, SideBySideGivesWhatOneAtATimeGives)
{
    const Albums& x = albums();
    const Checked one = check(x.mp3, x.cue, 0, 1);
    const Checked four = check(x.mp3, x.cue, 0, 4);
    EXPECT_EQ(one.similarities(), four.similarities());
    const Checked shiftedOne = check(x.m4a, x.other, -1, 1);
    EXPECT_EQ(shiftedOne.similarities(), check(x.m4a, x.other, -1, 3).similarities());
}

// Asks for an abort at the first pump and counts what it was shown.
struct AbortingFeedback : SilentFeedback {
    void setStatus(int part, const QString& text) override
    {
        if (!text.isEmpty())
            shown << QStringLiteral("%1:%2").arg(part).arg(text);
    }
    void pumpMessages() override { ++pumps; }
    bool abortRequested() const override { return pumps > 0; }
    int pumps = 0;
    QStringList shown;
};

TEST(SameRecording, AnAbortLeavesThePairsNotComparedUnchecked)
{
    const Albums& x = albums();
    AbortingFeedback feedback;
    const Checked c = check(x.mp3, x.flac, 0, 1, &feedback);
    EXPECT_EQ(feedback.pumps, 1);
    EXPECT_EQ(feedback.shown.value(0), QStringLiteral("2:Verify recordings...."));
    int unchecked = 0;
    for (const PairMatch& m : c.matches) {
        if (m.similarity < 0) {
            ++unchecked;
            EXPECT_EQ(m.problem, QStringLiteral("not checked"));
        }
    }
    EXPECT_GE(unchecked, AlbumTracks - 1); // the one worker had a file or two in hand at most
    EXPECT_EQ(mismatchedPairs(c.matches, 0).size(), size_t(unchecked));
}

TEST(SameRecording, TheQuestionNamesTheMismatchedPairs)
{
    const Albums& x = albums();
    const Checked c = check(x.mp3, x.m4a, 1);
    const std::vector<int> mismatched = mismatchedPairs(c.matches, DefaultMatchThreshold);
    ASSERT_EQ(mismatched.size(), size_t(AlbumTracks - 1));
    const QString text = mismatchQuestion(c.pairs, c.matches, mismatched, 2);
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 5) << text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("3 of 3 pairs do not sound like the same recording. Continue?"));
    EXPECT_TRUE(lines[1].isEmpty());
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("02 track.mp3 <-> 01 track.m4a: "))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" %")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("03 track.mp3 <-> 02 track.m4a: ")));
    EXPECT_EQ(lines[4], QStringLiteral("... and 1 more"));
}

} // namespace
} // namespace vn::test
