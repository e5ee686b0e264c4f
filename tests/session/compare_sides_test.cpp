// Compare A/B reads its two folders on two threads: the count of files read it shows, an abort in the
// middle of either side, and a B side that a negative offset leaves partly without rows.
#include "session/compare.h"
#include "support/mp3_fixtures.h"
#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

const QStringList Mp3Only = {".mp3"};

struct CompareSides : ::testing::Test {
    QTemporaryDir dir;
    ComparisonState state;

    // countA files in A, countB in B, each an ID3v2.3 title and two frames of audio.
    void makeSides(int countA, int countB)
    {
        state.folderA = dir.filePath("A");
        state.folderB = dir.filePath("B");
        ASSERT_TRUE(QDir().mkpath(state.folderA) && QDir().mkpath(state.folderB));
        for (const auto& [folder, count] : {std::pair{state.folderA, countA}, std::pair{state.folderB, countB}})
            for (int i = 0; i < count; ++i) {
                const QByteArray title = QByteArray::number(i);
                ASSERT_TRUE(writeFile(QStringLiteral("%1/%2.mp3").arg(folder).arg(i, 3, 10, QLatin1Char('0')),
                                      id3Tag(3, id3Frame(3, "TIT2", '\0' + title)) + cbrFrames(2)));
            }
    }
};

TEST_F(CompareSides, TheCountOfFilesReadRisesToEveryFileOfBothSidesAndIsClearedAtTheEnd)
{
    makeSides(40, 40);
    RecordingFeedback feedback;
    QStringList counts; // part 3 as each pump finds it
    feedback.onPump = [&](int) { counts << feedback.parts[3]; };
    ASSERT_EQ(compareAB(state, Mp3Only, 0, feedback), CompareOk);
    ASSERT_EQ(state.rows.size(), 80u);
    EXPECT_EQ(state.rows[79][1], "039.mp3");

    static const QRegularExpression count(QStringLiteral("^(\\d+)/80$"));
    int last = 0;
    for (const QString& text : counts) {
        const QRegularExpressionMatch m = count.match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        EXPECT_GE(m.captured(1).toInt(), last);
        last = m.captured(1).toInt();
    }
    EXPECT_EQ(last, 80);
    EXPECT_GE(counts.size(), 2); // pumped while the files were read, not only at the end
    EXPECT_TRUE(feedback.parts[2].isEmpty() && feedback.parts[3].isEmpty());
}

TEST_F(CompareSides, AnAbortWhileEitherSideIsReadClearsTheComparison)
{
    // The abort comes at the third file the calling thread takes: among B's files while the worker
    // reads others, or among A's.
    for (const auto& [countA, countB, pumps] : {std::tuple{2, 3000, 2}, std::tuple{300, 2, 10}}) {
        SCOPED_TRACE(countA);
        state = ComparisonState{};
        QDir(dir.filePath("A")).removeRecursively();
        QDir(dir.filePath("B")).removeRecursively();
        makeSides(countA, countB);
        RecordingFeedback feedback;
        feedback.abortAfterPumps = pumps;
        EXPECT_EQ(compareAB(state, Mp3Only, 0, feedback), CompareAborted);
        EXPECT_TRUE(state.rows.empty());
        EXPECT_TRUE(state.a.files.empty() && state.b.files.empty());
        EXPECT_TRUE(feedback.parts[2].isEmpty() && feedback.parts[3].isEmpty());
    }
}

TEST_F(CompareSides, ANegativeOffsetStillReadsTheBFilesWithoutRowsSoReplaceTagsTakesTheFolder)
{
    makeSides(3, 5);
    state.trackOffsetB = -2; // A1 pairs with B3: B1 and B2 have no row
    RecordingFeedback feedback;
    ASSERT_EQ(compareAB(state, Mp3Only, 0, feedback), CompareOk);
    ASSERT_EQ(state.rows.size(), 6u);
    EXPECT_EQ(state.rows[1][1], "002.mp3");
    for (const FileTags& f : state.b.files)
        EXPECT_TRUE(isId3Kind(f.header.version));
    EXPECT_EQ(checkTagVersions(state), 0); // no "Folder-B : Inconsistent Tag Version"
}

} // namespace
