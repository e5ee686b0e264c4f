// The shared dialogs: input box, text box, folder chooser and the clipboard writers.

#include "app_fixture.h"

#include "app/browse_folder.h"
#include "app/clipboard.h"
#include "app/input_box.h"
#include "app/text_box.h"
#include "util/text_codec.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace vn::test {
namespace {

void pressEscape(QWidget* widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
}

TEST(InputBoxTest, FirstButtonTakesTextCutToCapacityOthersLeaveValue)
{
    QString value = QStringLiteral("old");
    onNextModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->size(), QSize(620, 130));
        EXPECT_EQ(child(dialog, QStringLiteral("6207"))->geometry(), QRect(10, 32, 580, 20));
        EXPECT_EQ(child<QLineEdit>(dialog, QStringLiteral("6207"))->text(), QStringLiteral("old"));
        EXPECT_EQ(child<QAbstractButton>(dialog, QStringLiteral("2"))->text(), QStringLiteral("Later"));
        child<QLineEdit>(dialog, QStringLiteral("6207"))->setText(QStringLiteral("abcdefghij"));
        child<QAbstractButton>(dialog, QStringLiteral("1"))->click();
    });
    EXPECT_EQ(InputBox(nullptr, QStringLiteral("T"), QStringLiteral("P"), value, 6, QStringLiteral("Go"),
                       QStringLiteral("Later")),
              1);
    EXPECT_EQ(value, QStringLiteral("abcde"));

    for (int how = 0; how < 3; ++how) {
        onNextModal([how](QWidget* dialog) {
            child<QLineEdit>(dialog, QStringLiteral("6207"))->setText(QStringLiteral("changed"));
            if (how == 0)
                child<QAbstractButton>(dialog, QStringLiteral("2"))->click();
            else if (how == 1)
                pressEscape(dialog);
            else
                dialog->close();
        });
        EXPECT_EQ(InputBox(nullptr, QStringLiteral("T"), QStringLiteral("P"), value, 100, QStringLiteral("Ok"),
                           QStringLiteral("Cancel")),
                  2)
            << how;
        EXPECT_EQ(value, QStringLiteral("abcde")) << how;
    }
}

class TextBoxTest : public ::testing::Test {
protected:
    void SetUp() override { resetTextBoxMemory(); }
    void TearDown() override
    {
        setTextBoxFontChooser({});
        resetTextBoxMemory();
    }
};

TEST_F(TextBoxTest, MissingSecondButtonTextDisablesItAndEscapeReturnsTwo)
{
    onNextModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("File Property"));
        EXPECT_EQ(child<QLabel>(dialog, QStringLiteral("6201"))->text(), QStringLiteral("heading"));
        EXPECT_TRUE(child(dialog, QStringLiteral("1"))->isEnabled());
        EXPECT_FALSE(child(dialog, QStringLiteral("6203"))->isEnabled());
        EXPECT_EQ(dialog->size(), QSize(400, 400));
        // Buttons sit on one row near the bottom, right-aligned as laid out.
        EXPECT_EQ(child(dialog, QStringLiteral("6205"))->geometry(), QRect(350, 374, 40, 22));
        EXPECT_EQ(child(dialog, QStringLiteral("6202"))->geometry(), QRect(5, 22, 390, 348));
        pressEscape(dialog);
    });
    EXPECT_EQ(TextBox(nullptr, QStringLiteral("File Property"), QStringLiteral("heading"), QStringLiteral("body"),
                      QStringLiteral("OK")),
              TextBoxClosed);
}

TEST_F(TextBoxTest, ButtonsAnswerAndCopyPutsCallersText)
{
    const QString body = QStringLiteral("line 1\r\nline 2 日本語\r\n");
    onNextModal([&body](QWidget* dialog) {
        EXPECT_EQ(child<QPlainTextEdit>(dialog, QStringLiteral("6202"))->toPlainText(),
                  QStringLiteral("line 1\nline 2 日本語\n"));
        EXPECT_TRUE(child<QPlainTextEdit>(dialog, QStringLiteral("6202"))->isReadOnly());
        child<QAbstractButton>(dialog, QStringLiteral("6204"))->click();
        if (QGuiApplication::clipboard()) {
            EXPECT_EQ(QGuiApplication::clipboard()->text(), body);
        }
        EXPECT_TRUE(dialog->isVisible()); // copying keeps the box open
        child<QAbstractButton>(dialog, QStringLiteral("6203"))->click();
    });
    EXPECT_EQ(
        TextBox(nullptr, QStringLiteral("t"), QStringLiteral("h"), body, QStringLiteral("Yes"), QStringLiteral("No")),
        TextBoxSecond);

    onNextModal([](QWidget* dialog) { child<QAbstractButton>(dialog, QStringLiteral("1"))->click(); });
    EXPECT_EQ(TextBox(nullptr, QStringLiteral("t"), QStringLiteral("h"), body, QStringLiteral("Yes")), TextBoxFirst);
}

TEST_F(TextBoxTest, FontChangeReopensWithSameTextsAtTheSizeLeft)
{
    QFont chosen(QStringLiteral("Serif"));
    chosen.setPixelSize(21);
    setTextBoxFontChooser([&chosen](QWidget*, const QFont&) { return std::optional<QFont>(chosen); });

    onNextModal([](QWidget* dialog) {
        dialog->resize(520, 300);
        child<QAbstractButton>(dialog, QStringLiteral("6205"))->click();
    });
    // The box comes back: check it, then close it with its first button.
    bool reopened = false;
    QTimer::singleShot(0, [&reopened] {
        onNextModal([&reopened](QWidget* second) {
            reopened = true;
            EXPECT_EQ(second->size(), QSize(520, 300));
            EXPECT_EQ(child<QLabel>(second, QStringLiteral("6201"))->text(), QStringLiteral("head"));
            EXPECT_EQ(child<QPlainTextEdit>(second, QStringLiteral("6202"))->toPlainText(), QStringLiteral("text"));
            EXPECT_EQ(child(second, QStringLiteral("6202"))->font().pixelSize(), 21);
            EXPECT_EQ(child(second, QStringLiteral("1"))->geometry(), QRect(520 - 345, 274, 80, 22));
            child<QAbstractButton>(second, QStringLiteral("1"))->click();
        });
    });
    EXPECT_EQ(
        TextBox(nullptr, QStringLiteral("t"), QStringLiteral("head"), QStringLiteral("text"), QStringLiteral("OK")),
        TextBoxFirst);
    EXPECT_TRUE(reopened);
    EXPECT_EQ(textBoxBodyFont().pixelSize(), 21);

    // A cancelled font dialog keeps the box open with the old font.
    setTextBoxFontChooser([](QWidget*, const QFont&) { return std::optional<QFont>(); });
    onNextModal([](QWidget* dialog) {
        child<QAbstractButton>(dialog, QStringLiteral("6205"))->click();
        EXPECT_TRUE(dialog->isVisible());
        dialog->close();
    });
    EXPECT_EQ(TextBox(nullptr, QStringLiteral("t"), QStringLiteral("h"), QStringLiteral("b")), TextBoxClosed);
}

TEST(BrowseFolderTest, StartsAtFolderAndRejectsWhatDoesNotFit)
{
    QString seenStart;
    QString answer = QStringLiteral("/music/albums");
    setFolderChooser([&](QWidget*, const QString&, const QString& start) {
        seenStart = start;
        return answer;
    });
    QString path = QStringLiteral("/music");
    EXPECT_EQ(BrowseFolder(nullptr, QStringLiteral("Select"), path, path, 260), 1);
    EXPECT_EQ(seenStart, QStringLiteral("/music"));
    EXPECT_EQ(path, QStringLiteral("/music/albums"));

    EXPECT_EQ(BrowseFolder(nullptr, QStringLiteral("Select"), path, path, 13), 0); // 13 characters need 14
    EXPECT_EQ(path, QStringLiteral("/music/albums"));
    EXPECT_EQ(BrowseFolder(nullptr, QStringLiteral("Select"), path, path, 14), 1);

    answer.clear();
    EXPECT_EQ(BrowseFolder(nullptr, QStringLiteral("Select"), path, path, 260), 0);
    EXPECT_EQ(path, QStringLiteral("/music/albums"));
    setFolderChooser({});
}

TEST(BrowseFolderTest, OpenFileStartsInPatternFolderAndNeedsAnExistingFile)
{
    QTemporaryDir dir;
    const QString cue = dir.filePath(QStringLiteral("a.cue"));
    ASSERT_TRUE(writeFile(cue, "x"));
    QString seenStart, answer = dir.filePath(QStringLiteral("missing.cue"));
    setFileChooser([&](QWidget*, const QString&, const QString& start, const QStringList&) {
        seenStart = start;
        return answer;
    });
    QString name = dir.filePath(QStringLiteral("*.cue"));
    EXPECT_FALSE(OpenFileDialog(nullptr, QStringLiteral("t"), {}, name, 260));
    EXPECT_EQ(seenStart, dir.path());
    EXPECT_EQ(name, dir.filePath(QStringLiteral("*.cue")));
    answer = cue;
    EXPECT_TRUE(OpenFileDialog(nullptr, QStringLiteral("t"), {}, name, 260));
    EXPECT_EQ(name, cue);
    setFileChooser({});
}

TEST(ClipboardTest, WritesWideAndAnsiText)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        GTEST_SKIP() << "no clipboard on this platform";
    putWideTextOnClipboard(QStringLiteral("wide 日本"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("wide 日本"));
    const int saved = ansiCodePage();
    setAnsiCodePage(932);
    putAnsiTextOnClipboard(QByteArray("\x83\x65\x83\x58\x83\x67")); // テスト in Shift_JIS
    EXPECT_EQ(clipboard->text(), QStringLiteral("テスト"));
    setAnsiCodePage(saved);
}

} // namespace
} // namespace vn::test
