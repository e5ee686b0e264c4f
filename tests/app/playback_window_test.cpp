// Listening from the window: "Audio play", "pause"/"resume" and "stop" with their captions, tooltips
// and gray states, the row and the play time in the status bar, both repeat modes, and playback
// ending before a new compare and when the list is cleared; then the window in a process without
// any sound server. Sound goes to a private sound server whose null sink the test can ask about.
//
// Qt Multimedia keeps to the sound server a process first talks to, so each test runs again in a
// process of its own, with the sound server (or none) it sets up there.
#include "app/app_fixture.h"
#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "support/sound_server.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTableView>
#include <QThread>

namespace vn::test {
namespace {

constexpr const char* OwnProcessVariable = "VORNELIC_TEST_OWN_PROCESS";

// In the process of the test run: runs the current test again in a new process of this program
// and checks that it passed there; false. In that new process: true, and the test goes on.
bool inOwnProcess()
{
    if (qEnvironmentVariableIsSet(OwnProcessVariable))
        return true;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(OwnProcessVariable), QStringLiteral("1"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--gtest_filter=%1.%2").arg(QLatin1String(info->test_suite_name()), QLatin1String(info->name()))});
    EXPECT_TRUE(p.waitForStarted(10000)) << p.errorString().toStdString();
    const bool finished = p.waitForFinished(300000);
    if (!finished) {
        p.kill();
        p.waitForFinished(10000);
    }
    const QByteArray out = p.readAll();
    EXPECT_TRUE(finished) << "the test's own process did not end:\n" << out.toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << out.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test.")) << out.toStdString();
    return false;
}

// Runs the event loop until done() holds, for at most a generous time; done()'s last answer.
template <typename Done>
bool waitFor(Done done)
{
    const QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

const QRegularExpression PlayTime(QStringLiteral("^\\d\\d:\\d\\d\\.\\d$"));
const QString PauseTip = QStringLiteral("オーディオファイルの再生を一時停止します");
const QString ResumeTip = QStringLiteral("オーディオファイルの再生を再開します");

class PlaybackWindowTest : public WindowTest {
protected:
    void TearDown() override
    {
        // The window lets go of its players while their sound server still runs.
        WindowTest::TearDown();
        server.reset();
    }

    // Two one-second MP3s on each side with full tags, and a two-second CD image.
    void makeCollection()
    {
        // Installed by scripts/install-deps: their absence is a broken set-up, not a reason to skip.
        ASSERT_TRUE(haveProgram("lame") && haveProgram("ffmpeg"));
        QDir(home.path()).mkpath("A");
        QDir(home.path()).mkpath("B");
        const QString wav = home.filePath("s.wav");
        ASSERT_EQ(0, runProcess("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1",
                                           "-ac", "2", wav})
                         .exitCode);
        for (const QString side : {"A", "B"}) {
            for (const QString n : {"1", "2"}) {
                ASSERT_EQ(0, runProcess("lame", {"--quiet", "-b", "128", "--tt", "Song " + n, "--ta", "Artist", "--tl",
                                                 "Album", "--tn", n, wav, home.filePath(side + "/0" + n + ".mp3")})
                                 .exitCode);
            }
        }
        ASSERT_TRUE(writeFile(home.filePath("disc.bin"), QByteArray(2352 * 150, '\1')));
        ASSERT_TRUE(writeFile(home.filePath("disc.cue"), "FILE disc.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
        writeIni(QStringLiteral("Path_A=%1\nPath_B=%2\nPath_Cue=%3\n")
                     .arg(home.filePath("A"), home.filePath("B"), home.filePath("disc.cue"))
                     .toUtf8());
    }

    QString status(int part) const { return window->statusText(part); }
    QStringList statusParts() const
    {
        QStringList parts;
        for (int part = 0; part <= 5; ++part)
            parts << status(part);
        return parts;
    }
    QAbstractButton* pauseButton() const { return child<QAbstractButton>(window.get(), BtnPause); }
    void select(int row) const { window->listView()->setCurrentIndex(window->comparisonModel()->index(row, 1)); }
    // The three playback buttons: play, pause, stop.
    std::array<bool, 3> buttons() const { return {enabled(BtnPlay), enabled(BtnPause), enabled(BtnStop)}; }
    static constexpr std::array<bool, 3> Playing{false, true, true};
    static constexpr std::array<bool, 3> Stopped{true, false, false};
    static constexpr std::array<bool, 3> NothingToPlay{false, false, false};

    // Until the playing file shows its time, which it does only once the player has started.
    bool untilTimeShows() const
    {
        return waitFor([this] { return PlayTime.match(status(5)).hasMatch(); });
    }
    // Until the file playing now starts again or another one starts: the time empties between them
    // or goes back.
    bool untilNextStart() const
    {
        QString last = status(5);
        return waitFor([this, &last] {
            const QString now = status(5);
            if (now.isEmpty() || now < last)
                return true;
            last = now;
            return false;
        });
    }

    std::unique_ptr<SoundServer> server;
};

TEST_F(PlaybackWindowTest, ButtonsStatusAndRepeatFollowPlaybackWhichStopsForACompareOrAClearedList)
{
    if (!inOwnProcess())
        return;
    server = std::make_unique<SoundServer>();
    QString error;
    ASSERT_TRUE(server->start(error)) << error.toStdString();
    qputenv("PULSE_SERVER", server->address().toUtf8());
    makeCollection();
    MainWindow& w = open();
    EXPECT_EQ(buttons(), NothingToPlay);
    click(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    EXPECT_EQ(buttons(), Stopped);

    // The selected row plays: its number, artist, album, track and title, then the time.
    select(2);
    click(BtnPlay);
    EXPECT_EQ(buttons(), Playing);
    EXPECT_EQ(pauseButton()->text(), "pause");
    EXPECT_EQ(pauseButton()->toolTip(), PauseTip);
    EXPECT_EQ(statusParts(), QStringList({"A2", "Artist", "Album", "2", "Song 2", ""}));
    ASSERT_TRUE(untilTimeShows()) << status(4).toStdString();
    EXPECT_GT(server->playbackStreams(), 0);

    click(BtnPause);
    EXPECT_EQ(pauseButton()->text(), "resume");
    EXPECT_EQ(pauseButton()->toolTip(), ResumeTip);
    EXPECT_EQ(buttons(), Playing);
    click(BtnPause);
    EXPECT_EQ(pauseButton()->text(), "pause");
    EXPECT_EQ(pauseButton()->toolTip(), PauseTip);

    // Album repeat: after the last A row comes the first.
    ASSERT_TRUE(waitFor([this] { return status(0) == "A1"; })) << status(0).toStdString();
    EXPECT_EQ(status(4), "Song 1");
    ASSERT_TRUE(untilTimeShows());
    // Track repeat: the same row again.
    click(BtnRepeat);
    EXPECT_EQ(child<QAbstractButton>(&w, BtnRepeat)->text(), "Track repeat");
    ASSERT_TRUE(untilNextStart());
    EXPECT_EQ(status(0), "A1");
    EXPECT_EQ(buttons(), Playing);
    click(BtnRepeat);

    // A new compare stops the playback before it reads the folders again.
    ASSERT_TRUE(untilTimeShows());
    click(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    EXPECT_EQ(buttons(), Stopped);
    EXPECT_EQ(status(0), "");
    EXPECT_EQ(status(5), "");
    EXPECT_TRUE(waitFor([this] { return server->playbackStreams() == 0; }));

    // B rows of a folder are files too; album repeat goes round side B.
    select(3);
    click(BtnPlay);
    EXPECT_EQ(status(0), "B2");
    ASSERT_TRUE(waitFor([this] { return status(0) == "B1"; })) << status(0).toStdString();
    ASSERT_TRUE(untilTimeShows());
    click(BtnStop);
    EXPECT_EQ(buttons(), Stopped);
    EXPECT_EQ(statusParts(), QStringList({"", "", "", "", "", ""}));
    EXPECT_EQ(pauseButton()->text(), "pause");
    EXPECT_TRUE(waitFor([this] { return server->playbackStreams() == 0; }));

    // Nothing selected plays the first row; a mode switch clears the list and stops it.
    w.listView()->setCurrentIndex(QModelIndex());
    click(BtnPlay);
    EXPECT_EQ(status(0), "A1");
    ASSERT_TRUE(untilTimeShows());
    click(BtnModeB);
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    EXPECT_EQ(buttons(), NothingToPlay);
    EXPECT_EQ(status(5), "");
    EXPECT_TRUE(waitFor([this] { return server->playbackStreams() == 0; }));
}

// The window as the program opens it (outside tools probed), with PULSE_SERVER naming a socket
// nobody listens on: it starts, and Play says why nothing plays instead of waiting for a device.
TEST_F(PlaybackWindowTest, WithoutAnySoundServerTheWindowStartsAndPlayReportsIt)
{
    if (!inOwnProcess())
        return;
    qputenv("PULSE_SERVER", (QStringLiteral("unix:") + home.filePath("nobody-listens")).toUtf8());
    makeCollection();
    MainWindow& w = open(std::nullopt);
    w.show();
    QCoreApplication::processEvents();
    click(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    for (int row : {0, 3}) {
        SCOPED_TRACE(row);
        select(row);
        click(BtnPlay);
        EXPECT_EQ(status(4), "No audio output device");
        EXPECT_EQ(buttons(), Stopped);
        EXPECT_EQ(status(5), "");
    }

    // The image player's device too.
    click(BtnModeB);
    EXPECT_EQ(buttons(), NothingToPlay);
    click(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    select(1);
    click(BtnPlay);
    EXPECT_EQ(status(4), "No audio output device");
    EXPECT_EQ(buttons(), Stopped);
    QCoreApplication::processEvents();
    EXPECT_EQ(buttons(), Stopped);
}

} // namespace
} // namespace vn::test
