// The playback state machine with players that only record what they are asked and report what
// the test tells them to: row rules, repeat, pause, stop, the play time and failures. The real
// players are exercised on a real sound server in play_audio_test.cpp.
#include "play/playback.h"
#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

struct FakeRecord {
    QString path;      // file players
    bool image = false;
    PlayerState state = PlayerState::Closed;
    PlayerEventFn events;
    std::vector<FrameRange> frames;
    int toggles = 0;
    int stops = 0;
    bool shutDown = false;
    bool destroyed = false;
    // Anything asked of the player after it was shut down.
    int callsAfterShutDown = 0;
    std::optional<qint64> position;
};

class FakePlayer final : public Player {
public:
    FakePlayer(std::shared_ptr<FakeRecord> record, int openResult) : r_(std::move(record)), openResult_(openResult) {}
    ~FakePlayer() override { r_->destroyed = true; }

    int open() override
    {
        touch();
        if (openResult_ == PlayerOk)
            r_->state = r_->image ? PlayerState::Ready : PlayerState::OpenPending;
        return openResult_;
    }
    PlayerState state() const override { return r_->state; }
    PlayerState toggle() override
    {
        touch();
        ++r_->toggles;
        const PlayerState before = r_->state;
        if (before == PlayerState::Started)
            r_->state = PlayerState::Paused;
        else if (before == PlayerState::Paused)
            r_->state = PlayerState::Started;
        return before;
    }
    int stop() override
    {
        touch();
        ++r_->stops;
        if (r_->state != PlayerState::Started && r_->state != PlayerState::Paused)
            return PlayerInvalidRequest;
        r_->state = PlayerState::Stopped;
        return PlayerOk;
    }
    void shutDown() override
    {
        r_->shutDown = true;
        r_->state = PlayerState::Closed;
    }
    std::optional<qint64> positionMs() const override { return r_->state == PlayerState::Started ? r_->position : std::nullopt; }
    int playFrames(FrameRange frames) override
    {
        touch();
        r_->frames.push_back(frames);
        r_->state = PlayerState::Started;
        return PlayerOk;
    }

private:
    void touch()
    {
        if (r_->shutDown)
            ++r_->callsAfterShutDown;
    }
    std::shared_ptr<FakeRecord> r_;
    int openResult_;
};

struct PlaybackFixture : ::testing::Test {
    QTemporaryDir dir;
    ComparisonState state;
    RecordingFeedback feedback;
    std::vector<std::shared_ptr<FakeRecord>> players;
    int nextOpenResult = PlayerOk;
    qint64 clock = 1000;
    std::unique_ptr<Playback> playback;

    PlayerFactory fakes()
    {
        PlayerFactory f;
        f.file = [this](const QString& path, PlayerEventFn events) -> std::unique_ptr<Player> {
            auto r = std::make_shared<FakeRecord>();
            r->path = path;
            r->events = std::move(events);
            players.push_back(r);
            return std::make_unique<FakePlayer>(r, nextOpenResult);
        };
        f.image = [this](const CueSheet&, PlayerEventFn events) -> std::unique_ptr<Player> {
            auto r = std::make_shared<FakeRecord>();
            r->image = true;
            r->events = std::move(events);
            players.push_back(r);
            return std::make_unique<FakePlayer>(r, nextOpenResult);
        };
        return f;
    }

    void make() { playback = std::make_unique<Playback>(state, feedback, fakes(), [this] { return clock; }); }

    // Folder B mode: A files a1.mp3.., B files b1.mp3.., the rows as Compare A/B fills them.
    void folders(int countA, int countB, int offset)
    {
        state.folderBMode = true;
        state.folderA = "/music/A";
        state.folderB = "/music/B";
        state.trackOffsetB = offset;
        for (int i = 1; i <= countA; ++i)
            state.a.names.push_back(QStringLiteral("a%1.mp3").arg(i));
        for (int i = 1; i <= countB; ++i)
            state.b.names.push_back(QStringLiteral("b%1.mp3").arg(i));
        state.a.files.resize(size_t(countA));
        state.b.files.resize(size_t(countB));
        state.rows.resize(size_t(2 * std::max(countA, countB + offset)));
        make();
    }

    // CD image mode: tracks of one second each over an image of exactly that many frames (or fewer).
    void image(int countA, int tracks, int offset, uint32_t imageFrames = 0)
    {
        state.folderBMode = false;
        state.folderA = "/music/A";
        state.trackOffsetB = offset;
        for (int i = 1; i <= countA; ++i)
            state.a.names.push_back(QStringLiteral("a%1.mp3").arg(i));
        state.a.files.resize(size_t(countA));
        CueSheet cue;
        cue.trackCount = tracks;
        for (int t = 0; t <= tracks; ++t)
            cue.trackStarts[size_t(t)] = uint32_t(t) * 44100;
        cue.imagePath = dir.filePath("image.bin");
        cue.wavHeader = canonicalWavHeader(2, 44100, 16);
        const uint32_t frames = imageFrames ? imageFrames : uint32_t(tracks) * 44100;
        writeFile(cue.imagePath, QByteArray(qsizetype(frames) * 4, '\0'));
        state.folderB = dir.filePath("image.cue");
        state.cue = cue;
        state.rows.resize(size_t(2 * std::max(countA, tracks + offset)));
        make();
    }

    FakeRecord& last() { return *players.back(); }
    void send(FakeRecord& r, int result, PlayerState s) { r.events(result, s); }
    // The file player reporting that it plays, then that the file ended.
    void started(FakeRecord& r)
    {
        r.state = PlayerState::Started;
        send(r, PlayerOk, PlayerState::Started);
    }
    void ended(FakeRecord& r)
    {
        r.state = PlayerState::Stopped;
        send(r, PlayerOk, PlayerState::Stopped);
    }
    void deviceOpen(FakeRecord& r) { send(r, PlayerOk, PlayerState::Ready); }
    void trackDone(FakeRecord& r)
    {
        r.state = PlayerState::Stopped;
        send(r, PlayerOk, PlayerState::Stopped);
    }
    QString shownTime()
    {
        playback->tick();
        return feedback.parts[PlayTimePart];
    }
};

TEST_F(PlaybackFixture, RowsMapToSidesThroughTheOffset)
{
    // A has 12 files, B 10, offset 2: B's first file stands in list row 5.
    folders(12, 10, 2);
    playback->play(3); // B item -1
    EXPECT_TRUE(players.empty());
    EXPECT_EQ(playback->playState(), PlayIdle);
    playback->play(5);
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(last().path, QDir("/music/B").filePath("b1.mp3"));
    EXPECT_EQ(playback->playState(), PlayFile);
    playback->play(24); // past A's last file
    EXPECT_EQ(players.size(), 1u);
    EXPECT_EQ(playback->playState(), PlayIdle);
    playback->play(-1); // nothing selected: the first A file
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(last().path, QDir("/music/A").filePath("a1.mp3"));
    EXPECT_EQ(playback->currentRow(), 0);
}

TEST_F(PlaybackFixture, ImageRowOutsideTheTrackTableDoesNothing)
{
    image(4, 3, 2);
    playback->play(3); // B item -1
    playback->play(11); // B item 3 of 0..2
    EXPECT_TRUE(players.empty());
    EXPECT_EQ(playback->playState(), PlayIdle);
    EXPECT_EQ(int(feedback.statuses.size()), 0);
    // With no A file and nothing selected there is nothing to play.
    ComparisonState empty;
    Playback none(empty, feedback, fakes());
    none.play(-1);
    EXPECT_TRUE(players.empty());
}

TEST_F(PlaybackFixture, AlbumRepeatCyclesThroughOneSide)
{
    folders(3, 3, 1);
    playback->play(4); // the last A row
    started(last());
    ended(last());
    EXPECT_TRUE(players[0]->shutDown);
    EXPECT_EQ(playback->currentRow(), 0);
    EXPECT_EQ(last().path, QDir("/music/A").filePath("a1.mp3"));
    EXPECT_EQ(playback->playState(), PlayFile);

    // The last B row (entry 2 at list row 7) is followed by the first (entry 0 at row 3).
    playback->play(7);
    started(last());
    ended(last());
    EXPECT_EQ(playback->currentRow(), 3);
    EXPECT_EQ(last().path, QDir("/music/B").filePath("b1.mp3"));
}

TEST_F(PlaybackFixture, AlbumRepeatOnTheLastImageTrackStartsTheFirstOnTheSameDevice)
{
    image(2, 3, 1);
    playback->play(7); // track 3, the last
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(playback->playState(), PlayTrack);
    EXPECT_TRUE(last().frames.empty()) << "the track waits for the open device";
    deviceOpen(last());
    ASSERT_EQ(last().frames.size(), 1u);
    EXPECT_EQ(last().frames[0].first, 2u * 44100);
    EXPECT_EQ(last().frames[0].end, 3u * 44100);
    trackDone(last());
    EXPECT_EQ(players.size(), 1u) << "one device for every track";
    EXPECT_EQ(playback->currentRow(), 3);
    ASSERT_EQ(last().frames.size(), 2u);
    EXPECT_EQ(last().frames[1].first, 0u);
    EXPECT_EQ(last().frames[1].end, 44100u);
    EXPECT_EQ(playback->playState(), PlayTrack);
}

TEST_F(PlaybackFixture, TrackRepeatPlaysTheSameRowAgain)
{
    folders(3, 3, 0);
    playback->albumRepeat = false;
    playback->play(2);
    started(last());
    ended(last());
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(players[1]->path, players[0]->path);
    EXPECT_EQ(playback->currentRow(), 2);
}

TEST_F(PlaybackFixture, TrackRepeatPlaysTheSameImageTrackAgain)
{
    image(0, 2, 0);
    playback->albumRepeat = false;
    playback->play(3);
    deviceOpen(last());
    trackDone(last());
    ASSERT_EQ(last().frames.size(), 2u);
    EXPECT_EQ(last().frames[1].first, last().frames[0].first);
    EXPECT_EQ(last().frames[1].end, last().frames[0].end);
}

TEST_F(PlaybackFixture, NextRowWrapsToTheFirstRowShownOfItsSide)
{
    EXPECT_EQ(nextRow(4, 3, 3, 1), 0);
    EXPECT_EQ(nextRow(7, 3, 3, 1), 3);
    // A negative offset hides B's first entry: rows 1 and 3 show entries 1 and 2.
    EXPECT_EQ(nextRow(3, 3, 3, -1), 1);
    EXPECT_EQ(nextRow(1, 3, 3, -1), 3);
}

TEST_F(PlaybackFixture, PausingAnImageTrackKeepsItsTimeContinuous)
{
    image(1, 2, 0);
    playback->play(1);
    clock = 5000;
    deviceOpen(last());
    clock = 6500;
    EXPECT_EQ(shownTime(), "00:01.5");
    playback->pauseOrResume();
    EXPECT_EQ(playback->playState(), PlayTrackPaused);
    EXPECT_EQ(last().toggles, 1);
    EXPECT_EQ(pauseButtonCaption(playback->playState()), "resume");
    EXPECT_EQ(pauseButtonToolTip(playback->playState()), "オーディオファイルの再生を再開します");
    clock = 60000;
    EXPECT_EQ(shownTime(), "00:01.5") << "the time stands while paused";
    playback->pauseOrResume();
    EXPECT_EQ(playback->playState(), PlayTrack);
    EXPECT_EQ(pauseButtonCaption(playback->playState()), "pause");
    EXPECT_EQ(pauseButtonToolTip(playback->playState()), "オーディオファイルの再生を一時停止します");
    clock = 60700;
    EXPECT_EQ(shownTime(), "00:02.2");
}

TEST_F(PlaybackFixture, AnImageTrackPausedBeforeItsDeviceOpensWaitsAtItsStart)
{
    image(1, 2, 0);
    playback->play(1);
    playback->pauseOrResume();
    EXPECT_EQ(playback->playState(), PlayTrackPaused);
    clock = 3000;
    deviceOpen(last());
    ASSERT_EQ(last().frames.size(), 1u);
    EXPECT_EQ(last().state, PlayerState::Paused);
    clock = 9000;
    playback->pauseOrResume();
    EXPECT_EQ(last().state, PlayerState::Started);
    clock = 9400;
    EXPECT_EQ(shownTime(), "00:00.4");
}

TEST_F(PlaybackFixture, PausingAFileStopsTheTimer)
{
    folders(1, 0, 0);
    playback->play(0);
    EXPECT_TRUE(playback->timerActive());
    playback->pauseOrResume(); // still opening: nothing to pause
    EXPECT_EQ(playback->playState(), PlayFile);
    started(last());
    last().position = 61234;
    EXPECT_EQ(shownTime(), "01:01.2");
    playback->pauseOrResume();
    EXPECT_EQ(playback->playState(), PlayFilePaused);
    EXPECT_FALSE(playback->timerActive());
    playback->pauseOrResume();
    EXPECT_EQ(playback->playState(), PlayFile);
    EXPECT_TRUE(playback->timerActive());
}

TEST_F(PlaybackFixture, TimePastOneHundredMinutesStartsOverAtZero)
{
    EXPECT_EQ(playTimeText(0), "00:00.0");
    EXPECT_EQ(playTimeText(59999), "99:59.9");
    EXPECT_EQ(playTimeText(60000), "00:00.0");

    image(1, 2, 0);
    playback->play(1);
    deviceOpen(last());
    clock += (100 * 60 + 62) * 1000 + 300;
    EXPECT_EQ(shownTime(), "01:02.3");

    folders(1, 0, 0);
    playback->play(0);
    started(last());
    last().position = qint64(100 * 60 + 12) * 1000 + 300;
    EXPECT_EQ(shownTime(), "00:12.3");
}

TEST_F(PlaybackFixture, StatusShowsTheRowsNumberArtistAlbumTrackAndTitle)
{
    folders(1, 1, 0);
    ListRow& row = state.rows[1];
    row[0] = "B1";
    row[3] = "Album";
    row[4] = "Artist";
    row[6] = QString(2000, QLatin1Char('t'));
    row[7] = "7";
    playback->play(1);
    EXPECT_EQ(feedback.parts[0], "B1");
    EXPECT_EQ(feedback.parts[1], "Artist");
    EXPECT_EQ(feedback.parts[2], "Album");
    EXPECT_EQ(feedback.parts[3], "7");
    EXPECT_EQ(feedback.parts[4], QString(1024, QLatin1Char('t')));
    playback->stop();
    for (int part = 0; part <= PlayTimePart; ++part)
        EXPECT_TRUE(feedback.parts[size_t(part)].isEmpty()) << part;
}

TEST_F(PlaybackFixture, StopDuringAFileOpeningIgnoresALateReady)
{
    folders(2, 0, 0);
    playback->play(0);
    FakeRecord& file = last();
    playback->stop();
    EXPECT_TRUE(file.shutDown);
    EXPECT_TRUE(playback->stopRequested());
    const int writes = int(feedback.statuses.size());
    started(file); // the open completes after all
    ended(file);
    EXPECT_EQ(playback->playState(), PlayIdle);
    EXPECT_FALSE(playback->timerActive());
    EXPECT_EQ(players.size(), 1u) << "nothing started in its place";
    EXPECT_EQ(int(feedback.statuses.size()), writes);
    // Nor is the next file's player taken for it.
    playback->play(2);
    FakeRecord& next = last();
    ended(file);
    EXPECT_EQ(players.size(), 2u);
    EXPECT_EQ(playback->currentRow(), 2);
    EXPECT_EQ(playback->playState(), PlayFile);
    EXPECT_FALSE(next.shutDown);
}

TEST_F(PlaybackFixture, StopDuringAnImageDeviceOpeningIgnoresALateReady)
{
    image(0, 2, 0);
    playback->play(1);
    FakeRecord& device = last();
    playback->stop();
    deviceOpen(device);
    EXPECT_TRUE(device.frames.empty());
    EXPECT_EQ(device.callsAfterShutDown, 0);
    EXPECT_EQ(playback->playState(), PlayIdle);
    playback->play(3);
    FakeRecord& nextDevice = last();
    deviceOpen(device);
    EXPECT_TRUE(nextDevice.frames.empty()) << "a track started before its device was open";
    deviceOpen(nextDevice);
    EXPECT_EQ(nextDevice.frames.size(), 1u);
    playback->stop();

    // Released players are destroyed from the event loop, never inside their own event.
    EXPECT_FALSE(device.destroyed);
    QCoreApplication::processEvents();
    EXPECT_TRUE(device.destroyed);
}

TEST_F(PlaybackFixture, AFileThatCannotBeOpenedLeavesPlaybackIdle)
{
    folders(2, 0, 0);
    nextOpenResult = PlayerCannotOpen;
    playback->play(0);
    EXPECT_EQ(playback->playState(), PlayIdle);
    EXPECT_FALSE(playback->timerActive());
    EXPECT_EQ(feedback.parts[PlayMessagePart], "Unsupported media format in MF");
    EXPECT_TRUE(feedback.parts[0].isEmpty()) << "the row is not shown";
    EXPECT_TRUE(players[0]->shutDown);

    // Found out only after the open returned.
    nextOpenResult = PlayerOk;
    feedback.parts = {};
    playback->play(2);
    EXPECT_EQ(playback->playState(), PlayFile);
    send(last(), PlayerCannotOpen, PlayerState::Closed);
    EXPECT_EQ(playback->playState(), PlayIdle);
    EXPECT_FALSE(playback->timerActive());
    EXPECT_EQ(feedback.parts[PlayMessagePart], "Unsupported media format in MF");
    EXPECT_TRUE(feedback.messages.isEmpty());

    nextOpenResult = PlayerNoOutput;
    playback->play(0);
    EXPECT_EQ(playback->playState(), PlayIdle);
    EXPECT_EQ(feedback.parts[PlayMessagePart], "No audio output device");
    EXPECT_EQ(playback->failure(), "No audio output device");
}

TEST_F(PlaybackFixture, AnErrorWhilePlayingIsShownThenStops)
{
    folders(1, 0, 0);
    playback->play(0);
    started(last());
    send(last(), PlayerPlayError, PlayerState::Started);
    ASSERT_EQ(feedback.messages.size(), 1);
    EXPECT_TRUE(feedback.messages[0].startsWith("Media Foundation Error|Media Foundation Error. (0x")) << feedback.messages[0].toStdString();
    EXPECT_EQ(feedback.icons[0], MessageIcon::Error);
    EXPECT_EQ(playback->playState(), PlayIdle);
    EXPECT_TRUE(last().shutDown);

    // A state outside the seven is an error too.
    playback->play(0);
    send(last(), PlayerOk, PlayerState(9));
    EXPECT_EQ(feedback.messages.size(), 2);
    EXPECT_EQ(playback->playState(), PlayIdle);
}

TEST_F(PlaybackFixture, AnImageShorterThanItsTableStaysSilentUntilStop)
{
    image(0, 3, 0, 2 * 44100); // three tracks listed, two in the file
    playback->play(1);
    deviceOpen(last());
    EXPECT_TRUE(last().frames.empty());
    EXPECT_EQ(playback->playState(), PlayTrack);
    EXPECT_FALSE(playback->timerActive());
    EXPECT_FALSE(playback->failure().isEmpty());
    playback->stop();
    EXPECT_EQ(playback->playState(), PlayIdle);
}

TEST_F(PlaybackFixture, PlayingOnceStopsAtTheEnd)
{
    folders(2, 0, 0);
    playback->stopAtEnd = true;
    int changes = 0;
    playback->onChanged = [&] { ++changes; };
    playback->play(0);
    started(last());
    ended(last());
    EXPECT_EQ(playback->playState(), PlayIdle);
    EXPECT_EQ(players.size(), 1u);
    EXPECT_GE(changes, 2);
}

} // namespace
