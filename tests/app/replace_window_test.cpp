// Replace Tags and Move Files from the window: the files written, the buttons each step enables,
// the pre-check box, Output mode, and the list cleared after the move.
#include "app/app_fixture.h"
#include "app/window/command_ids.h"
#include "app/widgets/comparison_model.h"
#include "encode/encode_fixtures.h"

#include <QLineEdit>
#include <QMessageBox>

namespace vn::test {
namespace {

class ReplaceWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QDir(home.path()).mkpath("A");
        QDir(home.path()).mkpath("B");
        for (const char* name : {"1.mp3", "2.mp3"}) {
            writeMp3(home.filePath("A"), QLatin1String(name), 3, rowFrame(3, RowTitle, name), cbrFrames(1));
            writeMp3(home.filePath("B"), QLatin1String(name), 3, rowFrame(3, RowEncodedBy, "b"), cbrFrames(2));
        }
        QByteArray ini = "BkupFldr_Level=0\n";
        for (auto [key, folder] : {std::pair{"Path_A", "A"}, {"Path_B", "B"}, {"Path_Temp", "temp"}, {"Path_Bkup", "bkup"}, {"Path_Otpt", "output"}})
            ini += QByteArray(key) + "=" + home.filePath(folder).toUtf8() + "\n";
        writeIni(ini);
    }
};

TEST_F(ReplaceWindowTest, ReplaceThenMoveLeavesTheNewFilesInAAndClearsTheList)
{
    MainWindow& w = open();
    child<QLineEdit>(&w, QStringLiteral("editBlockSize"))->setText(QStringLiteral("16"));
    w.runCommand(BtnCompare);
    w.runCommand(BtnReplace);
    const QByteArray made = readFile(home.filePath("temp/2.mp3")), originalA = readFile(home.filePath("A/2.mp3"));
    EXPECT_EQ(splitMp3(made).audio, cbrFrames(2));
    EXPECT_EQ((10 + splitMp3(made).body.size()) % 16, 0); // the block size box was read
    EXPECT_TRUE(enabled(BtnMoveFiles) && action(CmdMoveFiles)->isEnabled());
    w.runCommand(BtnMoveFiles);
    EXPECT_EQ(readFile(home.filePath("A/2.mp3")), made);
    EXPECT_EQ(readFile(home.filePath("bkup/A/2.mp3")), originalA);
    for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnProp})
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_FALSE(action(CmdReplace)->isEnabled() || action(CmdMoveFiles)->isEnabled());
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
}

TEST_F(ReplaceWindowTest, ThePreCheckBoxStopsAMixedSideAndWritesNothing)
{
    writeMp3(home.filePath("B"), "2.mp3", 4, rowFrame(4, RowEncodedBy, "b"), cbrFrames(2));
    MainWindow& w = open();
    w.runCommand(BtnCompare);
    EXPECT_EQ(boxOf(BtnReplace), "Error in Replace Tags|Folder-B : Inconsistent Tag Version");
    EXPECT_FALSE(enabled(BtnMoveFiles));
    EXPECT_TRUE(QDir(home.filePath("temp")).isEmpty());
}

TEST_F(ReplaceWindowTest, OutputModeWritesIntoTheLevelFolderAndNeverOverItsFiles)
{
    MainWindow& w = open();
    w.runCommand(BtnModeBackup);
    w.runCommand(BtnCompare);
    w.runCommand(BtnReplace);
    EXPECT_TRUE(QFileInfo::exists(home.filePath("output/A/1.mp3")));
    EXPECT_FALSE(enabled(BtnMoveFiles));
    // A second run finds a file of someone else's there and says so instead of replacing it (one
    // that holds exactly what the run writes is its own, from a run stopped part way).
    ASSERT_TRUE(writeFile(home.filePath("output/A/1.mp3"), "someone else's file"));
    EXPECT_TRUE(boxOf(BtnReplace).startsWith("Error in Replace Tags|"));
    EXPECT_EQ(readFile(home.filePath("output/A/1.mp3")), "someone else's file");
}

TEST_F(ReplaceWindowTest, CdImageModeOffersEncodingBOnlyAfterACompare)
{
    MainWindow& w = open();
    w.runCommand(BtnModeB);
    EXPECT_EQ(child<QAbstractButton>(&w, BtnReplace)->text(), QStringLiteral("Encoding B"));
    EXPECT_FALSE(enabled(BtnReplace));
}

// Replace Tags pumps events between files, so a click can arrive while B's audio is read ahead on a
// thread of its own; a Compare then must neither clear nor rebuild the comparison under it.
TEST_F(ReplaceWindowTest, ClicksDuringARunningReplaceAreRefusedAndTheRunCompletes)
{
    for (int i = 3; i <= 40; ++i) {
        const QString name = QStringLiteral("%1.mp3").arg(i);
        writeMp3(home.filePath("A"), name, 3, rowFrame(3, RowTitle, name.toLatin1()), cbrFrames(1));
        writeMp3(home.filePath("B"), name, 3, rowFrame(3, RowEncodedBy, "b"), cbrFrames(50));
    }
    MainWindow& w = open();
    w.runCommand(BtnCompare);
    const int rows = w.comparisonModel()->rowCount();
    ASSERT_EQ(rows, 80);

    QStringList seenDuringRun;
    int clicks = 0;
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (!w.session().busy())
            return;
        ++clicks;
        seenDuringRun << QStringLiteral("compare enabled %1, mode enabled %2, abort enabled %3")
                             .arg(enabled(BtnCompare))
                             .arg(enabled(BtnModeB))
                             .arg(enabled(BtnAbortBatch));
        click(BtnCompare);
        w.runCommand(CmdCompare);
        w.runCommand(BtnModeB);
        action(CmdExit)->trigger();
    });
    clicker.start(0);
    w.runCommand(BtnReplace);
    clicker.stop();

    ASSERT_GT(clicks, 0) << "no click reached the window during the run";
    EXPECT_EQ(seenDuringRun.first(), "compare enabled 0, mode enabled 0, abort enabled 1");
    EXPECT_TRUE(w.modes().folderBMode);
    EXPECT_EQ(w.comparisonModel()->rowCount(), rows);
    EXPECT_EQ(w.session().state().a.count(), 40);
    // Every file was written, each over its own B's audio; the buttons are back as a finished run leaves them.
    for (int i = 1; i <= 40; ++i) {
        const QByteArray made = readFile(home.filePath(QStringLiteral("temp/%1.mp3").arg(i)));
        EXPECT_EQ(splitMp3(made).audio, cbrFrames(i <= 2 ? 2 : 50)) << i;
    }
    EXPECT_TRUE(enabled(BtnCompare) && enabled(BtnModeB) && enabled(BtnMoveFiles));
    EXPECT_FALSE(enabled(BtnAbortBatch));
    // The close asked during the run stopped nothing and closed nothing: the window still answers.
    w.runCommand(BtnCompare);
    EXPECT_EQ(w.comparisonModel()->rowCount(), rows);
}

} // namespace
} // namespace vn::test
