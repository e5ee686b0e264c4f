// The batch runner in process: the stop request between pairs, Auto CDDB kept off for the run, a
// pair that no longer loads, tracks an earlier run finished, and an A file numbered 00.
#include "batch/batch_runner.h"
#include "encode/image_fixtures.h"
#include "session/session.h"

#include <QDirIterator>

namespace vn::test {
namespace {

struct PartStatus : SilentFeedback {
    void setStatus(int part, const QString& text) override { statuses << QStringLiteral("%1:%2").arg(part).arg(text); }
    bool abortRequested() const override { return stop; }
    int message(const QString& text, const QString&, MessageButtons, MessageIcon) override
    {
        messages << text;
        return AnswerOk;
    }
    QStringList statuses, messages;
    bool stop = false;
};

class BatchRunner : public ImageEncode {
protected:
    void SetUp() override
    {
        ImageEncode::SetUp();
        image = writeImage(dir.path(), "disc", {20, 15, 25}, true);
        writeMp3Folder(a, 3, 3);
        settings.EncoderIndex = EncoderFlac;
        settings.BkupFldr_Level = 1;
        settings.BkupFldr_Exist = 1;
        settings.Path_Otpt = dir.filePath("output");
    }
    // A copy of A under a name of its own.
    QString albumCopy(const QString& name)
    {
        const QString to = dir.filePath("albums/" + name);
        QDir().mkpath(to);
        for (const QString& f : QDir(a).entryList(QDir::Files))
            EXPECT_TRUE(QFile::copy(QDir(a).filePath(f), QDir(to).filePath(f)));
        return to;
    }
    BatchList validList(const QStringList& folders, const QString& items = "T 1:1 2:2 3:3")
    {
        QByteArray text;
        for (const QString& f : folders)
            text += "A  3 \"" + f.toUtf8() + "\"\nM  3 \"" + image.cue.toUtf8() + "\"\n" + items.toUtf8() + "\n\n";
        BatchList list;
        QString errors;
        EXPECT_EQ(validateBatchListText(".mp3", text, list, errors), 0) << errors.toStdString();
        return list;
    }
    QString outputOf(const QString& folder, const QString& name) const
    {
        return dir.filePath("output/albums/" + QDir(folder).dirName() + "/" + name);
    }

    TestImage image;
    ComparisonSession session;
    BatchOutcome outcome;
    PartStatus status;
};

TEST_F(BatchRunner, StopDuringPairThreeOfTenStartsNoFurtherPair)
{
    QStringList folders;
    for (int i = 0; i < 10; ++i)
        folders << albumCopy(QStringLiteral("a%1").arg(i));
    const BatchList list = validList(folders);
    settings.Cddb_CDimg = 1;
    int started = 0;
    bool cddbOffMeanwhile = true;
    BatchRunOptions options;
    options.backupMode = false;
    options.beforePair = [&](const MatchPair&) {
        if (++started == 3)
            status.stop = true; // the "Abort Batch" button, pressed while pair 3 runs
    };
    options.compared = [&](const ComparisonState&) { cddbOffMeanwhile = cddbOffMeanwhile && settings.Cddb_CDimg == 0; };
    const int tracks = runBatchReencode(list, settings, session, options, status, outcome);
    EXPECT_EQ(started, 3);
    ASSERT_EQ(outcome.pairs.size(), 3u);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(tracks, 9);
    // The pair that was running when the stop came finished whole.
    EXPECT_EQ(flacDecode(outputOf(folders[2], "03 Title 3.flac")), image.trackPcm(3));
    EXPECT_FALSE(QDir(dir.filePath("output/albums/a3")).exists());
    EXPECT_TRUE(cddbOffMeanwhile);
    EXPECT_EQ(settings.Cddb_CDimg, 1);
    EXPECT_TRUE(status.statuses.contains("1:Folder 3/10"));
    EXPECT_FALSE(status.statuses.contains("1:Folder 4/10"));
    EXPECT_EQ(status.statuses.first(), "0:Batch");
    EXPECT_EQ(status.statuses.mid(status.statuses.size() - 2), QStringList({"0:", "1:Batch processing completed"}));
}

TEST_F(BatchRunner, APairThatNoLongerLoadsIsSkippedAndLogged)
{
    const QString gone = albumCopy("gone");
    const BatchList list = validList({albumCopy("first"), gone, albumCopy("last")});
    ASSERT_TRUE(QDir(gone).removeRecursively());
    settings.Batch_Log_EncErr = dir.filePath("errors.log");
    BatchRunOptions options;
    options.backupMode = false;
    runBatchReencode(list, settings, session, options, status, outcome);
    ASSERT_EQ(outcome.pairs.size(), 3u);
    EXPECT_EQ(outcome.pairs[1].compareCode, CompareNoFolderA);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.pairs[2].written.size(), 3);
    EXPECT_EQ(readFile(settings.Batch_Log_EncErr),
              "\"" + gone.toUtf8() + "\" \"" + image.cue.toUtf8() + "\" Skipped: Error : Folder-A not exists\n");
}

TEST_F(BatchRunner, FinishedTracksAreKeptAndNamesakesFromElsewhereAreNot)
{
    const QString album = albumCopy("album");
    const BatchList list = validList({album});
    BatchRunOptions options;
    options.backupMode = false;
    runBatchReencode(list, settings, session, options, status, outcome);
    ASSERT_EQ(outcome.pairs[0].written.size(), 3);

    // A run stopped after its first two tracks: the third is made, the two are left as they are.
    const QString second = outputOf(album, "02 Title 2.flac");
    const QString third = outputOf(album, "03 Title 3.flac");
    const QByteArray secondBytes = readFile(second);
    ASSERT_TRUE(QFile::remove(third));
    runBatchReencode(list, settings, session, options, status, outcome);
    EXPECT_EQ(outcome.pairs[0].alreadyDone, 2);
    EXPECT_EQ(outcome.pairs[0].written, QStringList{third});
    EXPECT_EQ(readFile(second), secondBytes);
    EXPECT_EQ(flacDecode(third), image.trackPcm(3));

    // A file of the same name from another album is no finished track: the run stops at it and
    // leaves it alone.
    ASSERT_TRUE(QFile::remove(second));
    const ProcessResult other = runProcess("flac", {"-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed",
                                                    "--channels=2", "--bps=16", "--sample-rate=44100",
                                                    "--tag=ALBUM=Another", "--tag=TITLE=Title 2", "-o", second, "-"},
                                           image.trackPcm(1));
    ASSERT_EQ(other.exitCode, 0) << other.err.constData();
    const QByteArray namesake = readFile(second);
    runBatchReencode(list, settings, session, options, status, outcome);
    EXPECT_EQ(outcome.pairs[0].alreadyDone, 2); // tracks 1 and 3
    EXPECT_NE(outcome.pairs[0].encodeCode, 0);
    EXPECT_EQ(readFile(second), namesake);
}

TEST_F(BatchRunner, AnAFileNumberedZeroIsEncodedLikeAnyOther)
{
    const QString album = albumCopy("zero");
    ASSERT_TRUE(QFile::rename(QDir(album).filePath("01 Title 1.mp3"), QDir(album).filePath("00 Intro.mp3")));
    const BatchList list = validList({album}, "T 0:1 2:2 3:3");
    ASSERT_EQ(list.entries.front().aTrack, 0);
    BatchRunOptions options;
    options.backupMode = false;
    runBatchReencode(list, settings, session, options, status, outcome);
    ASSERT_EQ(outcome.pairs.size(), 1u);
    EXPECT_EQ(outcome.pairs[0].tracks, 3);
    EXPECT_EQ(flacDecode(outputOf(album, "00 Intro.flac")), image.trackPcm(1));
    EXPECT_EQ(flacDecode(outputOf(album, "03 Title 3.flac")), image.trackPcm(3));
}

} // namespace
} // namespace vn::test
