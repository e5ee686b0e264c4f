// The text box the window shows file properties in. The input box is driven through the window's
// option commands.

#include "app_fixture.h"

#include "app/dialogs/text_box.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>

namespace vn::test {
namespace {

class TextBoxTest : public ::testing::Test {
protected:
    void SetUp() override { resetTextBoxMemory(); }
    void TearDown() override
    {
        setTextBoxFontChooser({});
        resetTextBoxMemory();
    }
};

TEST_F(TextBoxTest, ButtonsAnswerCopyAndACancelledFontKeepItOpenAndMissingSecondTextDisablesIt)
{
    const QString body = "line 1\r\nline 2 日本語\r\n";
    onNextModal([&body](QWidget* dialog) {
        auto* edit = child<QPlainTextEdit>(dialog, 6202);
        EXPECT_EQ(edit->toPlainText(), "line 1\nline 2 日本語\n");
        EXPECT_TRUE(edit->isReadOnly());
        child<QAbstractButton>(dialog, 6204)->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), body); // the caller's text, not the shown one
        EXPECT_TRUE(dialog->isVisible());
        child<QAbstractButton>(dialog, 6203)->click();
    });
    EXPECT_EQ(TextBox(nullptr, "t", "h", body, "Yes", "No"), TextBoxSecond);

    onNextModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "File Property");
        EXPECT_EQ(child<QLabel>(dialog, 6201)->text(), "heading");
        EXPECT_TRUE(child(dialog, 1)->isEnabled());
        EXPECT_FALSE(child(dialog, 6203)->isEnabled());
        child<QAbstractButton>(dialog, 6205)->click();
        EXPECT_TRUE(dialog->isVisible());
        pressEscape(dialog);
    });
    setTextBoxFontChooser([](QWidget*, const QFont&) { return std::optional<QFont>(); });
    EXPECT_EQ(TextBox(nullptr, "File Property", "heading", "body", "OK"), TextBoxClosed);
}

TEST_F(TextBoxTest, FontChangeReopensWithSameTextsAtTheSizeLeft)
{
    QFont chosen("Serif");
    chosen.setPixelSize(21);
    setTextBoxFontChooser([&chosen](QWidget*, const QFont&) { return std::optional<QFont>(chosen); });
    QRect firstButton;
    onNextModal([&firstButton](QWidget* dialog) {
        dialog->resize(520, 300);
        firstButton = child(dialog, 1)->geometry();
        child<QAbstractButton>(dialog, 6205)->click();
    });
    // The box comes back laid out as it was left: check it, then close it with its first button.
    bool reopened = false;
    QTimer::singleShot(0, [&reopened, &firstButton] {
        onNextModal([&reopened, &firstButton](QWidget* second) {
            reopened = true;
            EXPECT_EQ(second->size(), QSize(520, 300));
            EXPECT_EQ(child<QLabel>(second, 6201)->text(), "head");
            EXPECT_EQ(child<QPlainTextEdit>(second, 6202)->toPlainText(), "text");
            EXPECT_EQ(child(second, 6202)->font().pixelSize(), 21);
            EXPECT_EQ(child(second, 1)->geometry(), firstButton);
            EXPECT_TRUE(QRect(QPoint(0, 0), second->size()).contains(firstButton));
            child<QAbstractButton>(second, 1)->click();
        });
    });
    EXPECT_EQ(TextBox(nullptr, "t", "head", "text", "OK"), TextBoxFirst);
    EXPECT_TRUE(reopened);
    EXPECT_EQ(textBoxBodyFont().pixelSize(), 21);
}

} // namespace
} // namespace vn::test
