// "Verify recordings" and "Undo last Move Files" in the window: the menu check and its setting, each
// pair's similarity in the B row's tooltip, mismatched pairs coloured, the question before Replace
// Tags and Move Files (No writes nothing), and the moves of the last Move Files undone from the menu.
#include "app/app_fixture.h"
#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "verify/album_fixtures.h"

#include <QLineEdit>
#include <QMessageBox>

namespace vn::test {
namespace {

class VerifyWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        const Albums& x = albums();
        for (auto [from, to] : {std::pair{x.mp3, "A"}, {x.mp3b, "B"}}) {
            QDir(home.path()).mkpath(QLatin1String(to));
            for (const QString& name : QDir(from).entryList(QDir::Files))
                ASSERT_TRUE(QFile::copy(QDir(from).filePath(name), home.filePath(QLatin1String(to) + '/' + name)));
        }
    }
    void settingsWith(const QByteArray& extra)
    {
        QByteArray ini = "BkupFldr_Level=0\n";
        for (auto [key, folder] : {std::pair{"Path_A", "A"}, {"Path_B", "B"}, {"Path_Temp", "temp"}, {"Path_Bkup", "bkup"}})
            ini += QByteArray(key) + "=" + home.filePath(folder).toUtf8() + "\n";
        writeIni(ini + extra);
    }
    void compare(int offset)
    {
        edit("editTrackOffset")->setText(QString::number(offset));
        window->runCommand(BtnCompare);
    }
    // Runs the command and answers the box it opens; the box's text, or nothing when none came.
    // (The watch ends with the command, so a command that opens nothing leaves nothing waiting.)
    QString answering(int id, QMessageBox::StandardButton answer)
    {
        QString seen;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            watch.stop();
            auto* box = qobject_cast<QMessageBox*>(dialog);
            seen = dialog->windowTitle() + '|' + (box ? box->text() : QString());
            if (box && box->button(answer))
                box->button(answer)->click();
            else
                dialog->close();
        });
        watch.start(5);
        window->runCommand(id);
        return seen;
    }
    QString tip(int row, int column = 1) const
    {
        ComparisonModel* m = window->comparisonModel();
        return m->data(m->index(row, column), Qt::ToolTipRole).toString();
    }
    QColor background(int row, int column = 5) const
    {
        ComparisonModel* m = window->comparisonModel();
        return m->data(m->index(row, column), Qt::BackgroundRole).value<QBrush>().color();
    }
    QStringList filesIn(const char* folder) const { return QDir(home.filePath(QLatin1String(folder))).entryList(QDir::Files); }
};

TEST_F(VerifyWindowTest, ShiftedPairsAreColouredAndReplaceTagsAsksFirst)
{
    settingsWith("[Verify]\nVerify_Recordings=1\n");
    open();
    EXPECT_TRUE(action(CmdVerifyRecordings)->isCheckable() && action(CmdVerifyRecordings)->isChecked());
    EXPECT_EQ(action(CmdVerifyRecordings)->text(), QStringLiteral("Verify recordings"));

    compare(0);
    ASSERT_EQ(window->comparisonModel()->rowCount(), 2 * AlbumTracks);
    for (int row = 1; row < 2 * AlbumTracks; row += 2) {
        const QString match = tip(row).section(QLatin1Char('\n'), -1);
        ASSERT_TRUE(match.startsWith(QStringLiteral("Match with A: "))) << tip(row).toStdString();
        EXPECT_GE(match.mid(14).section(QLatin1Char(' '), 0, 0).toInt(), 90) << match.toStdString();
        EXPECT_TRUE(tip(row).startsWith(window->comparisonModel()->text(row, 1))); // the cell's own text stays
        EXPECT_NE(background(row), ComparisonModel::mismatchColour());
        EXPECT_NE(background(row - 1), ComparisonModel::mismatchColour());
    }
    EXPECT_FALSE(tip(0).contains(QStringLiteral("Match")));
    // Every pair the same recording: no question.
    EXPECT_TRUE(answering(BtnReplace, QMessageBox::No).isEmpty());
    EXPECT_EQ(filesIn("temp").size(), AlbumTracks);
    QDir(home.filePath("temp")).removeRecursively();
    QDir(home.path()).mkpath("temp");

    compare(1);
    ASSERT_EQ(window->comparisonModel()->rowCount(), 2 * (AlbumTracks + 1));
    EXPECT_NE(background(0), ComparisonModel::mismatchColour()); // A1 has no partner
    for (int row = 3; row < 2 * AlbumTracks; row += 2) {
        EXPECT_EQ(background(row), ComparisonModel::mismatchColour()) << row;
        EXPECT_EQ(background(row - 1, 0), ComparisonModel::mismatchColour()) << row;
        EXPECT_LT(tip(row, 0).section(QStringLiteral("Match with A: "), 1).section(QLatin1Char(' '), 0, 0).toInt(), 70);
    }
    const QString question = answering(BtnReplace, QMessageBox::No);
    const QStringList lines = question.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2 + AlbumTracks - 1) << question.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Verify recordings|3 of 3 pairs do not sound like the same recording. Continue?"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("02 track.mp3 <-> 01 track.mp3: ")));
    EXPECT_TRUE(filesIn("temp").isEmpty());
    EXPECT_FALSE(enabled(BtnMoveFiles));
    // Yes: written as asked.
    EXPECT_FALSE(answering(BtnReplace, QMessageBox::Yes).isEmpty());
    EXPECT_EQ(filesIn("temp").size(), AlbumTracks - 1);
    EXPECT_TRUE(enabled(BtnMoveFiles));
    // Move Files asks as well; No moves nothing.
    const QStringList a = filesIn("A");
    const QByteArray first = readFile(home.filePath("A/02 track.mp3"));
    EXPECT_TRUE(answering(BtnMoveFiles, QMessageBox::No).contains(QStringLiteral("3 of 3 pairs")));
    EXPECT_EQ(readFile(home.filePath("A/02 track.mp3")), first);
    EXPECT_EQ(filesIn("temp").size(), AlbumTracks - 1);
}

TEST_F(VerifyWindowTest, TheMenuCheckIsASettingAndTurnedOnLateItChecksBeforeWriting)
{
    settingsWith(QByteArray());
    open();
    EXPECT_FALSE(action(CmdVerifyRecordings)->isChecked()); // off by default
    compare(1);
    for (int row = 0; row < window->comparisonModel()->rowCount(); ++row) {
        EXPECT_FALSE(tip(row).contains(QStringLiteral("Match")));
        EXPECT_NE(background(row), ComparisonModel::mismatchColour());
    }
    action(CmdVerifyRecordings)->trigger();
    EXPECT_TRUE(action(CmdVerifyRecordings)->isChecked());
    EXPECT_TRUE(answering(BtnReplace, QMessageBox::No).contains(QStringLiteral("3 of 3 pairs")));
    EXPECT_TRUE(filesIn("temp").isEmpty());
    EXPECT_EQ(background(3), ComparisonModel::mismatchColour());
    window->close();
    window.reset();
    EXPECT_TRUE(readFile(home.filePath("Vornelic.ini")).contains("[Verify]\r\nVerify_Recordings=1\r\nVerify_Threshold=70\r\n"));

    // Off again: no question, the files are written.
    open();
    action(CmdVerifyRecordings)->trigger();
    compare(1);
    EXPECT_TRUE(answering(BtnReplace, QMessageBox::No).isEmpty());
    EXPECT_EQ(filesIn("temp").size(), AlbumTracks - 1);
}

TEST_F(VerifyWindowTest, UndoLastMoveFilesPutsTheFilesBack)
{
    settingsWith(QByteArray());
    open();
    EXPECT_EQ(action(CmdUndoMoveFiles)->text(), QStringLiteral("Undo last Move Files"));
    EXPECT_EQ(boxOf(CmdUndoMoveFiles), QStringLiteral("Undo last Move Files|There is no Move Files to undo."));
    std::map<QString, QByteArray> before;
    for (const QString& name : filesIn("A"))
        before[name] = readFile(home.filePath("A/" + name));
    compare(0);
    window->runCommand(BtnReplace);
    window->runCommand(BtnMoveFiles);
    ASSERT_EQ(filesIn("bkup/A").size(), AlbumTracks);
    EXPECT_EQ(boxOf(CmdUndoMoveFiles), QStringLiteral("Undo last Move Files|%1 files were moved back.").arg(2 * AlbumTracks));
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(readFile(home.filePath("A/" + name)), bytes) << name.toStdString();
    EXPECT_EQ(filesIn("temp").size(), AlbumTracks);
    EXPECT_TRUE(filesIn("bkup/A").isEmpty());
    EXPECT_TRUE(boxOf(CmdUndoMoveFiles).contains(QStringLiteral("has been undone already")));
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(readFile(home.filePath("A/" + name)), bytes) << name.toStdString();
}

} // namespace
} // namespace vn::test
