// Compare A/B and File Properties from the window: the list, its colours, the buttons it enables,
// the error boxes and the properties text box.
#include "app/app_fixture.h"
#include "app/command_ids.h"
#include "app/comparison_model.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTableView>

namespace vn::test {
namespace {

class CompareWindowTest : public WindowTest {
protected:
    QString sides;

    void SetUp() override
    {
        WindowTest::SetUp();
        if (!haveProgram(QStringLiteral("lame")) || !haveProgram(QStringLiteral("ffmpeg")))
            GTEST_SKIP() << "lame or ffmpeg missing";
        sides = home.filePath(QStringLiteral("sides"));
        QDir(sides).mkpath(QStringLiteral("A"));
        QDir(sides).mkpath(QStringLiteral("B"));
        const QString wav = home.filePath(QStringLiteral("s.wav"));
        ASSERT_EQ(runProcess("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=duration=2", "-ac", "2",
                                        "-ar", "44100", wav})
                      .exitCode,
                  0);
        for (int i = 1; i <= 2; ++i) {
            const QString n = QString::number(i);
            ASSERT_EQ(runProcess("lame", {"--quiet", "-b", "160", "--tt", "Song " + n, "--ta", "Artist", "--tl",
                                          "Album", "--tn", n, wav, sides + "/A/0" + n + ".mp3"})
                          .exitCode,
                      0);
            ASSERT_EQ(runProcess("lame", {"--quiet", "-V", "4", "--add-id3v2", "--tt", i == 1 ? "Song 1" : "Other",
                                          "--ta", "Artist", wav, sides + "/B/0" + n + ".mp3"})
                          .exitCode,
                      0);
        }
        writeIni("Path_A=" + (sides + "/A").toUtf8() + "\nPath_B=" + (sides + "/B").toUtf8() + "\n");
    }
};

TEST_F(CompareWindowTest, FillsTheListAndEnablesTheButtons)
{
    MainWindow& w = open();
    child<QLineEdit>(&w, QStringLiteral("editTrackOffset"))->setText(QStringLiteral("0"));
    w.runCommand(BtnCompare);
    const ComparisonModel& model = *w.comparisonModel();
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.text(0, 0), QStringLiteral("A1"));
    EXPECT_EQ(model.text(0, 3 + RowAlbum), QStringLiteral("Album"));
    EXPECT_EQ(model.text(1, 0), QStringLiteral("B1"));
    EXPECT_EQ(model.text(3, 3 + RowTitle), QStringLiteral("Other"));
    // B's title equal to A's is not marked; a different one, and B's missing album, are.
    const auto background = [&](int row, int column) {
        return model.data(model.index(row, column), Qt::BackgroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(background(1, 3 + RowTitle), ComparisonModel::rowBColour());
    EXPECT_EQ(background(3, 3 + RowTitle), ComparisonModel::changedColour());
    EXPECT_EQ(background(1, 3 + RowAlbum), ComparisonModel::changedColour());
    EXPECT_TRUE(child<QWidget>(&w, BtnReplace)->isEnabled());
    EXPECT_FALSE(child<QWidget>(&w, BtnMoveFiles)->isEnabled());
    EXPECT_TRUE(child<QWidget>(&w, BtnProp)->isEnabled());
    EXPECT_TRUE(action(CmdReplace)->isEnabled());

    // The Prop button describes the selected row's file in the text box.
    w.listView()->setCurrentIndex(model.index(2, 1));
    QString title, body;
    onNextModal([&](QWidget* dialog) {
        title = dialog->windowTitle();
        if (auto* edit = dialog->findChild<QPlainTextEdit*>())
            body = edit->toPlainText();
        dialog->close();
    });
    w.runCommand(BtnProp);
    EXPECT_EQ(title, QStringLiteral("MP3 File Properties"));
    EXPECT_TRUE(body.contains(QStringLiteral("02.mp3"))) << body.toStdString();
    EXPECT_TRUE(body.contains(QStringLiteral("Song 2"))) << body.toStdString();

    // A mode switch clears the list and the comparison.
    w.runCommand(BtnModeB);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(w.comparison().a.count(), 0);
    EXPECT_FALSE(child<QWidget>(&w, BtnProp)->isEnabled());
}

TEST_F(CompareWindowTest, ErrorsShowTheirBoxAndListNothing)
{
    writeIni("Path_A=" + (sides + "/A").toUtf8() + "\nPath_B=" + home.filePath("none").toUtf8() + "\n");
    MainWindow& w = open();
    QString text, title;
    onNextModal([&](QWidget* dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            text = box->text();
            title = box->windowTitle();
        }
        dialog->close();
    });
    w.runCommand(CmdCompare);
    EXPECT_EQ(text, QStringLiteral("Error : Folder-B not exists"));
    EXPECT_EQ(title, QStringLiteral("Error : No audio file"));
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    EXPECT_FALSE(child<QWidget>(&w, BtnProp)->isEnabled());
}

TEST_F(CompareWindowTest, EncodingBNeedsAnEncoderInCdImageMode)
{
    // A one-track image of the same audio.
    QFile image(sides + QStringLiteral("/disc.bin"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    ASSERT_TRUE(image.resize(2352 * 150));
    image.close();
    writeFile(sides + QStringLiteral("/disc.cue"), "FILE disc.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    writeIni("Path_A=" + (sides + "/A").toUtf8() + "\nPath_Cue=" + (sides + "/disc.cue").toUtf8() + "\n");
    MainWindow& w = open(EncoderAvailability{});
    w.runCommand(BtnModeB);
    w.runCommand(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    EXPECT_EQ(w.comparisonModel()->text(1, 3 + RowTitle), QStringLiteral("Track 01 00:00 / 00:02"));
    EXPECT_FALSE(child<QWidget>(&w, BtnReplace)->isEnabled());

    QString title;
    onNextModal([&](QWidget* dialog) {
        title = dialog->windowTitle();
        dialog->close();
    });
    w.listView()->setCurrentIndex(w.comparisonModel()->index(1, 0));
    w.runCommand(BtnProp);
    EXPECT_EQ(title, QStringLiteral("Image File Properties"));
}

} // namespace
} // namespace vn::test
