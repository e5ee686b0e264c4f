// Batch Re-encode in the window: the three steps of the wizard with their controls and texts, the
// pre-check that opens the list for editing on every try, and a run over a real album to FLAC.
#include "app/app_fixture.h"
#include "app/dialogs/batch_match_dialog.h"
#include "app/dialogs/browse_folder.h"
#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "encode/image_fixtures.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace vn::test {
namespace {

using Step = std::function<void(QWidget*)>;

// Answers the modal dialogs that open one after another, each by its own step. A dialog already
// answered is not taken for the next one, even while it is still closing.
void answerModals(std::vector<Step> steps)
{
    auto* timer = new QTimer;
    auto next = std::make_shared<size_t>(0);
    auto deadline = std::make_shared<QDeadlineTimer>(60000);
    QObject::connect(timer, &QTimer::timeout, [timer, next, deadline, steps] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool fresh = modal && modal->isVisible() && !modal->property("answered").toBool();
        if (!fresh && !deadline->hasExpired())
            return;
        if (fresh) {
            modal->setProperty("answered", true);
            steps[*next](modal);
            *deadline = QDeadlineTimer(60000);
        }
        if (!fresh || ++*next == steps.size()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
}

QString bodyOf(QWidget* box)
{
    return box->windowTitle() + '|' + child<QLabel>(box, 6201)->text() + '|' + child<QPlainTextEdit>(box, 6202)->toPlainText();
}

void press(QWidget* dialog, int id)
{
    child<QAbstractButton>(dialog, id)->click();
}

class BatchWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        writeIni("Path_Otpt=" + path("output").toUtf8() + "\nPath_Temp=" + path("temp").toUtf8() + "\n");
        setShellOpener([this](const QString& file) { opened << file; });
    }
    void TearDown() override
    {
        setShellOpener({});
        WindowTest::TearDown();
    }
    QString path(const QString& name) const { return home.filePath(name); }

    // One album without a table of contents and the image it came from, named alike.
    void makeCollection()
    {
        QDir().mkpath(path("cues"));
        image = writeImage(path("cues"), "Artist Album", {20, 15, 25}, false);
        writeMp3Folder(path("music/Artist/Album"), 3, 3);
    }

    static EncoderAvailability flacOnly()
    {
        EncoderAvailability e;
        e.flac = true;
        e.flacVersion = "1.4.3";
        return e;
    }

    // Step 1 filled in and sent with the given button.
    Step step1(int button, const QString& list)
    {
        return [this, button, list](QWidget* d) {
            EXPECT_EQ(d->objectName(), "SET_MP3VSCUE_DIALOG");
            EXPECT_EQ(d->windowTitle(), "Batch Re-encode Setting STEP-1 : Mp3 vs Cue Maching Option");
            child<QLineEdit>(d, 6302)->setText(path("music"));
            child<QPlainTextEdit>(d, 6304)->setPlainText(path("cues"));
            child<QLineEdit>(d, 6306)->setText(list);
            press(d, button);
        };
    }

    TestImage image;
    QStringList opened;
};

TEST_F(BatchWindowTest, WithoutAnyEncoderThereIsNothingToDo)
{
    open(EncoderAvailability{});
    EXPECT_EQ(boxOf(CmdBatchReencode), "Batch Error|No encoder installed.");
}

TEST_F(BatchWindowTest, StepOneShowsItsSettingsAndSkipWantsAnExistingList)
{
    MainWindow& w = open(flacOnly());
    w.settings().CueMatch_Extension = ".flac";
    w.settings().CueMatch_FldrCue = "/one;/two";
    w.settings().CueMatch_MciCueT = 12;
    bool stayedOpen = false;
    QStringList lines;
    answerModals({[&](QWidget* d) {
        EXPECT_EQ(child<QComboBox>(d, 6301)->currentText(), ".flac");
        EXPECT_EQ(child<QComboBox>(d, 6301)->count(), 6);
        EXPECT_EQ(child<QPlainTextEdit>(d, 6304)->toPlainText(), "/one\n/two");
        EXPECT_EQ(child<QLineEdit>(d, 6315)->text(), "12");
        for (int id : {6303, 6305, 6307, 6309, 6310, 6316, 6318, 6319, 6321, 6322, 6308})
            EXPECT_NE(child(d, id), nullptr) << id;
        // The browse button adds a folder as a line of its own.
        setFolderChooser([](QWidget*, const QString& title, const QString& start) {
            return title == "Select a Cue Folder to be added to the list" && start == "/two" ? QStringLiteral("/three")
                                                                                             : QString();
        });
        press(d, 6305);
        EXPECT_EQ(child<QPlainTextEdit>(d, 6304)->toPlainText(), "/one\n/two\n/three");
        child<QLineEdit>(d, 6306)->setText(path("no-such-list.txt"));
        press(d, 5);
        stayedOpen = d->isVisible();
        press(d, 2);
    }});
    w.runCommand(CmdBatchReencode);
    setFolderChooser({});
    EXPECT_TRUE(stayedOpen);
    // Skip stored the extension and the list; Cancel stores nothing more.
    EXPECT_EQ(w.settings().CueMatch_FileLst, path("no-such-list.txt"));
    EXPECT_EQ(w.settings().CueMatch_FldrCue, "/one;/two");
}

TEST_F(BatchWindowTest, GenerateThenThePreCheckOpensTheListOnEveryRetry)
{
    makeCollection();
    MainWindow& w = open(flacOnly());
    const QString list = path("list.txt");
    QString first, second;
    answerModals({step1(1, list),
                  [&](QWidget* box) {
                      first = bodyOf(box);
                      press(box, 1); // Retry
                  },
                  [&](QWidget* box) {
                      second = bodyOf(box);
                      press(box, 6203); // Cancel
                  }});
    w.runCommand(CmdBatchReencode);
    EXPECT_EQ(w.settings().CueMatch_FldrMp3, path("music"));
    EXPECT_EQ(w.settings().CueMatch_FldrCue, path("cues"));
    // The name-matched block waits for its track list.
    EXPECT_EQ(first, "Batch Re-encode Setting STEP-2 : Pre-check Error|Pre-check Error Result|"
                     "Error in line 3. Track Correspondence List not found.\nTotal Error Count 1\n");
    EXPECT_EQ(second, first);
    EXPECT_EQ(opened, QStringList({list, list}));
    EXPECT_TRUE(readFile(list).contains("*  3 \"" + image.cue.toUtf8() + "\""));
}

TEST_F(BatchWindowTest, AValidListRunsToFlacInOutputMode)
{
    makeCollection();
    const QString list = path("list.txt");
    const QString album = path("music/Artist/Album");
    ASSERT_TRUE(writeFile(list, "A  3 \"" + album.toUtf8() + "\"\r\n*  3 \"" + image.cue.toUtf8() + "\" 1.000\r\nT 1:1 2:2 3:3\r\n"));
    MainWindow& w = open(flacOnly());
    QString report;
    QStringList encoderLines;
    answerModals({step1(5, list),
                  [&](QWidget* box) {
                      report = bodyOf(box);
                      press(box, 1); // Next
                  },
                  [&](QWidget* d) {
                      EXPECT_EQ(d->objectName(), "SET_BATCH_DIALOG");
                      EXPECT_EQ(d->windowTitle(), "Batch Re-encode Setting STEP-3 : Encoding Option");
                      auto* encoders = child<QListWidget>(d, 6401);
                      for (int i = 0; i < encoders->count(); ++i)
                          encoderLines << encoders->item(i)->text();
                      encoders->setCurrentRow(0);
                      EXPECT_EQ(child<QPushButton>(d, 6403)->text(), "Backup Folder Mode");
                      press(d, 6403);
                      EXPECT_EQ(child<QPushButton>(d, 6403)->text(), "Output Folder Mode");
                      EXPECT_EQ(child<QLineEdit>(d, 6404)->text(), path("output"));
                      child<QComboBox>(d, 6406)->setCurrentIndex(0);
                      press(d, 1);
                  }});
    w.runCommand(CmdBatchReencode);
    EXPECT_EQ(report, "Batch Re-encode Setting STEP-2 : Pre-check Ok|Pre-check Result|1\n" + album + "\n" + image.cue +
                          "\n 1.1:1 2.2:2 3.3:3\n");
    EXPECT_EQ(encoderLines, QStringList{"FLAC / libFLAC 1.4.3"});
    EXPECT_EQ(w.settings().EncoderIndex, 2);
    EXPECT_FALSE(w.modes().backupMode);
    EXPECT_EQ(w.statusText(1), "Batch processing completed");
    EXPECT_EQ(w.statusText(0), "");
    EXPECT_FALSE(w.modes().folderBMode); // the run showed the CD image side
    EXPECT_EQ(edit("editA")->text(), w.settings().Path_A); // the user's paths again after the run
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(flacDecode(path(QStringLiteral("output/Album/%1 Title %2.flac").arg(k, 2, 10, QLatin1Char('0')).arg(k))),
                  image.trackPcm(k));
    EXPECT_FALSE(w.router().jobRunning());
}

TEST_F(BatchWindowTest, WithOnlyFFmpegStepThreeListsItsVersionAndTheBatchRunsWithIt)
{
    makeCollection();
    const QString list = path("list.txt");
    ASSERT_TRUE(writeFile(list, "A  3 \"" + path("music/Artist/Album").toUtf8() + "\"\n*  3 \"" + image.cue.toUtf8() +
                                    "\" 1.000\nT 1:1 2:2 3:3\n"));
    EncoderAvailability tools;
    tools.ffmpegVersion = "ffmpeg version 6.1.1";
    MainWindow& w = open(tools);
    // FFmpeg's own FLAC encoder, so that what it made can be compared sample for sample.
    w.settings().FFmpeg_Exe = "ffmpeg";
    w.settings().FFmpeg_Options = "flac";
    w.settings().EncoderIndex = 1; // not usable here: step 3 offers what is
    QStringList encoderLines;
    answerModals({step1(5, list), [&](QWidget* box) { press(box, 1); },
                  [&](QWidget* d) {
                      auto* encoders = child<QListWidget>(d, 6401);
                      for (int i = 0; i < encoders->count(); ++i)
                          encoderLines << encoders->item(i)->text();
                      EXPECT_EQ(encoders->currentRow(), 0);
                      press(d, 6403);
                      child<QComboBox>(d, 6406)->setCurrentIndex(0);
                      press(d, 1);
                  }});
    w.runCommand(CmdBatchReencode);
    EXPECT_EQ(encoderLines, QStringList{"ffmpeg version 6.1.1"});
    EXPECT_EQ(w.settings().EncoderIndex, 6);
    EXPECT_EQ(w.statusText(1), "Batch processing completed");
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(flacDecode(path(QStringLiteral("output/Album/%1 Title %2.flac").arg(k, 2, 10, QLatin1Char('0')).arg(k))),
                  image.trackPcm(k));
}

} // namespace
} // namespace vn::test
