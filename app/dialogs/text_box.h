#pragma once
// A resizable read-only text viewer with a heading, up to two answer buttons, a copy button and a
// font choice. Size and font are remembered for the rest of the run.

#include <QDialog>
#include <QFont>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vn {

inline constexpr int TextBoxFirst = 1;
inline constexpr int TextBoxClosed = 2;
inline constexpr int TextBoxSecond = 6203;

// Returns 1 (first button), 6203 (second button) or 2 (closed, Escape). An empty button text shows
// that button disabled. body uses "\r\n" line breaks.
int TextBox(QWidget* owner, const QString& title, const QString& heading, const QString& body,
            const QString& firstText = {}, const QString& secondText = {});

// What the text box remembers between openings.
QSize textBoxClientSize();
QFont textBoxBodyFont();
// Back to the start-up size and font.
void resetTextBoxMemory();

// Chooses a font starting from the given one; nullopt when the user cancels. Replaceable by tests.
using FontChooser = std::function<std::optional<QFont>(QWidget* parent, const QFont& initial)>;
void setTextBoxFontChooser(FontChooser chooser);

class TextBoxDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int FontChanged = 4;

    TextBoxDialog(QWidget* owner, const QString& title, const QString& heading, const QString& body,
                  const QString& firstText, const QString& secondText);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void chooseFont();

    QString body_;
    QLabel* heading_;
    QPlainTextEdit* text_;
    QPushButton* first_;
    QPushButton* second_;
    QPushButton* copy_;
    QPushButton* font_;
};

} // namespace vn
