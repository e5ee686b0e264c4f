// The Encoding B driver: which A file takes which part of the image, the status texts, the order
// of failures and files when tracks run side by side, and the loop of the outside tools.
#include "encode/cli_tool_fixtures.h"
#include "encode/encoder_availability.h"
#include "encode/encoding_b_tools.h"
#include "encode/flac_encoder.h"
#include "encode/image_fixtures.h"
#include "encode/lame_encoder.h"

#include <QRegularExpression>

namespace vn::test {
namespace {

class EncodingB : public ImageEncode {
protected:
    QStringList entries() const
    {
        return QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }
};

TEST_F(EncodingB, BatchRangesOfTracksAndSectors)
{
    const TestImage image = writeImage(dir.path(), "disc", {30, 40, 50, 60, 70}, false);
    CueSheet cue;
    ASSERT_EQ(parseCueSheet(image.cue, CueTrackLimit, 0, cue), 5);
    // Tracks 3 to 4 (numbered from 1) as one file; sectors 0 to 99; a second folder's list after the end mark.
    std::vector<BatchEntry> list{{2, 1, 3, 4, 0}, {1, 2, 0, 99, 1}, {}, {3, 1, 1, 1, 0}, {}};
    size_t cursor = 0;
    BatchRun batch{&list, &cursor, 7, 20};
    const ImagePairing first = imagePairs(4, cue, 0, false, &batch, 0);
    ASSERT_EQ(first.pairs.size(), 2u);
    EXPECT_EQ(cursor, 3u);
    EXPECT_EQ(first.base, 0);
    EXPECT_EQ(first.total, 2);
    uint64_t s = 0, e = 0;
    EXPECT_EQ(first.pairs[0].aIndex, 1);
    trackRange(first.pairs[0], cue, s, e);
    EXPECT_EQ(s, uint64_t(image.startByte[2] / 4));
    EXPECT_EQ(e, uint64_t(image.startByte[4] / 4 - 1));
    trackRange(first.pairs[1], cue, s, e);
    EXPECT_EQ(s, 0u);
    EXPECT_EQ(e, 58799u);

    const ImagePairing second = imagePairs(4, cue, 0, false, &batch, 1);
    ASSERT_EQ(second.pairs.size(), 1u);
    EXPECT_EQ(cursor, 5u);
    EXPECT_EQ(second.base, 7); // the batch's running numbers when Batch_TrkCount is set
    EXPECT_EQ(second.total, 20);

    // A track beyond the sheet stands for the end of the image, never for memory past its table.
    trackRange(TrackPair{0, 4, 200, 0}, cue, s, e);
    EXPECT_EQ(s, uint64_t(image.startByte[4] / 4));
    EXPECT_EQ(e, uint64_t(image.pcm.size() / 4 - 1));
}

TEST_F(EncodingB, OffsetMinusOnePairsAFileIWithTrackIPlusOne)
{
    writeMp3Folder(a, 12, 3);
    std::vector<int> sectors(12, 8);
    const TestImage image = writeImage(dir.path(), "disc", sectors, true, 5);
    const EncodeOutcome outcome = encode(image.cue, EncoderFlac, 2, -1);
    ASSERT_EQ(outcome.code, 0);
    ASSERT_EQ(outcome.written.size(), 11);
    for (int i = 1; i <= 11; ++i) {
        const QString file = output(QStringLiteral("%1 Title %2.flac").arg(i, 2, 10, QLatin1Char('0')).arg(i));
        EXPECT_EQ(outcome.written[i - 1], file);
        EXPECT_TRUE(flacDecode(file) == image.trackPcm(i + 1)) << "A file " << i;
    }
    EXPECT_FALSE(QFile::exists(output("12 Title 12.flac")));
}

TEST_F(EncodingB, StatusTextsRestartPerFolderUnlessTheBatchCountsOn)
{
    writeMp3Folder(a, 2, 3);
    const TestImage image = writeImage(dir.path(), "disc", {10, 10}, true);
    std::vector<BatchEntry> list{{1, 1, 1, 1, 0}, {2, 2, 2, 2, 0}, {}, {1, 1, 2, 2, 0}, {}};
    for (const int trackCount : {0, 1}) {
        SCOPED_TRACE(trackCount);
        settings.Batch_TrkCount = trackCount;
        size_t cursor = 0;
        BatchRun batch{&list, &cursor};
        EncodeOptions options;
        options.batch = &batch;
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        batch.trackBase = 0;
        batch.trackTotal = 3;
        feedback.statuses.clear();
        ASSERT_EQ(encode(image.cue, EncoderFlac, 1, 0, options).code, 0);
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        batch.trackBase = 2;
        ASSERT_EQ(encode(image.cue, EncoderFlac, 1, 0, options).code, 0);
        const QStringList expected =
            trackCount == 0
                ? QStringList{"2:Track 1/2 Encoding (Flac)....", "3:1", "4:01 Title 1", "2:Track 2/2 Encoding (Flac)....",
                              "3:2", "4:02 Title 2", "2:Track 2/2 Encoding completed", "3:", "4:",
                              "2:Track 1/1 Encoding (Flac)....", "3:1", "4:01 Title 1", "2:Track 1/1 Encoding completed",
                              "3:", "4:"}
                : QStringList{"2:Track 1/3 Encoding (Flac)....", "3:1", "4:01 Title 1", "2:Track 2/3 Encoding (Flac)....",
                              "3:2", "4:02 Title 2", "2:Track 2/3 Encoding completed", "3:", "4:",
                              "2:Track 3/3 Encoding (Flac)....", "3:1", "4:01 Title 1", "2:Track 3/3 Encoding completed",
                              "3:", "4:"};
        EXPECT_EQ(feedback.statuses, expected);
    }
}

TEST_F(EncodingB, SideBySideTheStatusShowsTheLastFinishedTrackAndTheCount)
{
    writeMp3Folder(a, 4, 3);
    const TestImage image = writeImage(dir.path(), "disc", {10, 10, 10, 10}, true);
    ASSERT_EQ(encode(image.cue, EncoderFlac, 2).code, 0);
    const QStringList& s = feedback.statuses;
    ASSERT_FALSE(s.isEmpty());
    EXPECT_EQ(s.mid(s.size() - 4), (QStringList{"2:Track 4/4 Encoding completed", "3:", "4:", "5:"}));
    EXPECT_TRUE(s.contains("3:4"));          // four tracks counted done
    EXPECT_TRUE(s.contains("5:100%"));
    EXPECT_EQ(s.filter(QRegularExpression("^3:")).size(), s.filter(QRegularExpression("^4:")).size());
}

// A file already standing under a track's name stops the run there, as a one-at-a-time run would:
// earlier tracks keep their files, the file found is left alone, later tracks get none, and no
// temporary file is left behind.
TEST_F(EncodingB, FirstFailureInTrackOrderWithTracksSideBySide)
{
    writeMp3Folder(a, 4, 3);
    const TestImage image = writeImage(dir.path(), "disc", {20, 20, 20, 20}, true);
    struct Encoder {
        int index;
        const char* extension;
        int code;
    };
    for (const Encoder e : {Encoder{EncoderFlac, ".flac", FlacCannotCreate}, Encoder{EncoderLame, ".mp3", LameOutputNotCreated}}) {
        for (const int jobs : {1, 2}) {
            SCOPED_TRACE(QStringLiteral("%1 jobs %2").arg(e.extension).arg(jobs).toStdString());
            QDir(out).removeRecursively();
            QDir().mkpath(out);
            const QString taken = output(QStringLiteral("02 Title 2%1").arg(e.extension));
            writeFile(taken, "the user's own file");
            feedback.messages.clear();
            const EncodeOutcome outcome = encode(image.cue, e.index, jobs);
            EXPECT_EQ(outcome.code, e.code);
            EXPECT_EQ(outcome.failedPath, taken);
            EXPECT_EQ(feedback.messages, QStringList{QStringLiteral("Encode Error|Encode Error %1\n").arg(e.code)});
            EXPECT_EQ(outcome.written, QStringList{output(QStringLiteral("01 Title 1%1").arg(e.extension))});
            EXPECT_EQ(entries(), (QStringList{QStringLiteral("01 Title 1%1").arg(e.extension),
                                              QStringLiteral("02 Title 2%1").arg(e.extension)}));
            EXPECT_EQ(readFile(taken), "the user's own file");
        }
    }
}

// Stand-ins for an outside tool: one that is not installed (writes nothing), one that writes its
// output file.
OutsideTools standInTools(bool writes, QStringList* seen)
{
    OutsideTools tools;
    tools.extension = [](int, const Settings&) { return QStringLiteral(".m4a"); };
    tools.encode = [writes, seen](const OutsideToolTrack& track, const Settings&, QString& made) {
        if (seen)
            *seen << QStringLiteral("%1 %2-%3").arg(track.a ? "A" : "B").arg(track.first).arg(track.last);
        if (!writes)
            return 2;
        made = QFileInfo(track.outputPath).dir().filePath(QStringLiteral(".vornelic-%1.m4a").arg(track.first));
        writeFile(made, QByteArray::number(qulonglong(track.last - track.first + 1)));
        return 0;
    };
    return tools;
}

TEST_F(EncodingB, AMissingToolLogsEveryTrackAndTheRunCompletes)
{
    writeMp3Folder(a, 3, 3);
    const TestImage image = writeImage(dir.path(), "disc", {10, 10, 10}, true);
    settings.Batch_Log_EncErr = dir.filePath("enc-err.log");
    const OutsideTools tools = standInTools(false, nullptr);
    EncodeOptions options;
    options.tools = &tools;
    const EncodeOutcome outcome = encode(image.cue, EncoderFdkaac, 2, 0, options);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_TRUE(feedback.messages.isEmpty()) << feedback.messages.join("\n").toStdString();
    EXPECT_TRUE(outcome.written.isEmpty());
    QByteArray expected;
    for (int t = 1; t <= 3; ++t)
        expected += QStringLiteral("\"%1\" Not Created by fdkaac\n").arg(output(QStringLiteral("0%1 Title %1.m4a").arg(t))).toUtf8();
    EXPECT_EQ(readFile(settings.Batch_Log_EncErr), expected);
    EXPECT_TRUE(feedback.statuses.contains("2:Track 3/3 Encoding completed"));
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(EncodingB, AToolOutputIsNamedInTrackOrderAndItsTemporaryNameGoes)
{
    writeMp3Folder(a, 3, 3);
    const TestImage image = writeImage(dir.path(), "disc", {10, 20, 30}, true);
    QStringList seen;
    const OutsideTools tools = standInTools(true, &seen);
    EncodeOptions options;
    options.tools = &tools;
    const EncodeOutcome outcome = encode(image.cue, EncoderOpusEnc, 1, 0, options);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(seen, (QStringList{"A 0-5879", "A 5880-17639", "A 17640-35279"}));
    EXPECT_EQ(outcome.written, (QStringList{output("01 Title 1.m4a"), output("02 Title 2.m4a"), output("03 Title 3.m4a")}));
    EXPECT_EQ(readFile(output("03 Title 3.m4a")), "17640");
    EXPECT_EQ(entries().size(), 3);

    // Without the tools this build cannot run the encoder: "Encode Error 1".
    feedback.messages.clear();
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    EXPECT_EQ(encode(image.cue, EncoderQaac).code, EncodeNoEncoder);
    EXPECT_EQ(feedback.messages, QStringList{"Encode Error|Encode Error 1\n"});
}

// Tools that never end are stopped when the user aborts: no track starts after that, nothing stands
// under a track's name, no temporary file stays, and what the user stopped is not logged as a tool
// failure.
TEST_F(EncodingB, AnAbortStopsHangingToolsAndStartsNoFurtherTrack)
{
    writeMp3Folder(a, 3, 3);
    const TestImage image = writeImage(dir.path(), "disc", {10, 10, 10}, true);
    const QString calls = dir.filePath("calls.log");
    settings.Qaac_Exe = writeStandIn(dir.path(), "qaac", calls, StandIn::Hang);
    settings.Batch_Log_EncErr = dir.filePath("enc-err.log");
    EncoderAvailability available;
    available.qaacVersion = "qaac 2.80";
    const OutsideTools tools = outsideTools(available);
    EncodeOptions options;
    options.tools = &tools;
    // The abort comes once both workers' tools have started.
    struct AbortOnceStarted : RecordingStatus {
        QString log;
        bool abortRequested() const override { return standInCalls(log).size() >= 2; }
    };
    AbortOnceStarted aborting;
    aborting.log = calls;

    state = ComparisonState{};
    state.folderA = a;
    state.folderB = image.cue;
    state.folderBMode = false;
    SilentFeedback quiet;
    ASSERT_EQ(compareAB(state, settings.ExtPriorityList, 0, quiet), CompareOk);
    settings.EncoderIndex = EncoderQaac;
    options.jobs = 2;
    EncodeOutcome outcome;
    encodeImage(state, settings, options, aborting, pairs, outcome);

    EXPECT_TRUE(outcome.aborted);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(standInCalls(calls).size(), 2);
    EXPECT_TRUE(outcome.written.isEmpty());
    EXPECT_TRUE(outcome.notCreated.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(settings.Batch_Log_EncErr));
    EXPECT_TRUE(entries().isEmpty()) << entries().join(' ').toStdString();
    EXPECT_TRUE(aborting.statuses.contains("2:Encoding aborted"));
    EXPECT_FALSE(aborting.statuses.contains("2:Track 3/3 Encoding completed"));
    EXPECT_TRUE(aborting.messages.isEmpty());
}

TEST_F(EncodingB, PrecheckRefusesAFolderOfMixedKinds)
{
    writeMp3Folder(a, 1, 3);
    writeMp3Folder(dir.filePath("v4"), 1, 4);
    QFile::rename(dir.filePath("v4/01 Title 1.mp3"), QDir(a).filePath("02 Other.mp3"));
    const TestImage image = writeImage(dir.path(), "disc", {10, 10}, true);
    const EncodeOutcome outcome = encode(image.cue, EncoderFlac);
    EXPECT_EQ(outcome.precheck, 1);
    EXPECT_EQ(feedback.messages, QStringList{"Error in Encoding B|Folder-A : Inconsistent Tag Version"});
    EXPECT_TRUE(entries().isEmpty());
}

} // namespace
} // namespace vn::test
