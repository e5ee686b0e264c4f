#include "app/dialogs/text_box.h"

#include "app/dialogs/clipboard.h"

#include <QFontDatabase>
#include <QFontDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>

namespace vn {

namespace {

QFont defaultBodyFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(16);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

struct TextBoxMemory {
    QSize clientSize{400, 400};
    std::optional<QFont> bodyFont; // made on first use: fonts need the application object
};

TextBoxMemory& memory()
{
    static TextBoxMemory m;
    return m;
}

FontChooser& fontChooser()
{
    static FontChooser chooser;
    return chooser;
}

QFont uiFont(const char* family)
{
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(16);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

QSize textBoxClientSize()
{
    return memory().clientSize;
}

QFont textBoxBodyFont()
{
    if (!memory().bodyFont)
        memory().bodyFont = defaultBodyFont();
    return *memory().bodyFont;
}

void resetTextBoxMemory()
{
    memory() = TextBoxMemory{};
}

void setTextBoxFontChooser(FontChooser chooser)
{
    fontChooser() = std::move(chooser);
}

TextBoxDialog::TextBoxDialog(QWidget* owner, const QString& title, const QString& heading, const QString& body,
                             const QString& firstText, const QString& secondText)
    : QDialog(owner), body_(body)
{
    setObjectName(QStringLiteral("TEXTBOX_DLG"));
    setWindowTitle(title);
    setSizeGripEnabled(true);

    heading_ = new QLabel(heading, this);
    heading_->setObjectName(QStringLiteral("6201"));
    heading_->setFont(uiFont("Meiryo UI"));

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("6202"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(textBoxBodyFont());
    QPalette pal = text_->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    text_->setPalette(pal);
    QString shown = body;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text_->setPlainText(shown);

    auto makeButton = [this](const QString& text, const char* id) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QString::fromLatin1(id));
        button->setFont(uiFont("Arial"));
        button->setAutoDefault(false);
        return button;
    };
    first_ = makeButton(firstText, "1");
    second_ = makeButton(secondText, "6203");
    copy_ = makeButton(QStringLiteral("Copy to Clipboard"), "6204");
    font_ = makeButton(QStringLiteral("Font"), "6205");
    first_->setEnabled(!firstText.isEmpty());
    second_->setEnabled(!secondText.isEmpty());
    first_->setDefault(!firstText.isEmpty());

    connect(first_, &QPushButton::clicked, this, [this] { done(TextBoxFirst); });
    connect(second_, &QPushButton::clicked, this, [this] { done(TextBoxSecond); });
    // The caller's text, with its own line breaks, not what the viewer shows.
    connect(copy_, &QPushButton::clicked, this, [this] { putWideTextOnClipboard(body_); });
    connect(font_, &QPushButton::clicked, this, &TextBoxDialog::chooseFont);

    resize(textBoxClientSize());
}

void TextBoxDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    memory().clientSize = QSize(w, h);
    heading_->setGeometry(5, 4, w - 10, 18);
    text_->setGeometry(5, 22, w - 10, h - 52);
    const int y = h - 26;
    first_->setGeometry(w - 345, y, 80, 22);
    second_->setGeometry(w - 260, y, 80, 22);
    copy_->setGeometry(w - 175, y, 120, 22);
    font_->setGeometry(w - 50, y, 40, 22);
}

void TextBoxDialog::chooseFont()
{
    std::optional<QFont> chosen;
    if (fontChooser()) {
        chosen = fontChooser()(this, textBoxBodyFont());
    } else {
        bool ok = false;
        QFont font = QFontDialog::getFont(&ok, textBoxBodyFont(), this, QString(),
                                          QFontDialog::ScalableFonts | QFontDialog::NonScalableFonts |
                                              QFontDialog::MonospacedFonts | QFontDialog::ProportionalFonts);
        if (ok)
            chosen = font;
    }
    if (!chosen)
        return;
    memory().bodyFont = *chosen;
    // Reopened by TextBox with the new font at the size the user left.
    done(FontChanged);
}

int TextBox(QWidget* owner, const QString& title, const QString& heading, const QString& body, const QString& firstText,
            const QString& secondText)
{
    for (;;) {
        TextBoxDialog dialog(owner, title, heading, body, firstText, secondText);
        const int result = dialog.exec();
        if (result == TextBoxDialog::FontChanged)
            continue;
        if (result == TextBoxFirst || result == TextBoxSecond)
            return result;
        return TextBoxClosed;
    }
}

} // namespace vn
