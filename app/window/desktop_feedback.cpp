#include "app/window/desktop_feedback.h"

#include "app/dialogs/input_box.h"
#include "app/widgets/shell.h"

#include <QMessageBox>

namespace vn {

int showMessage(QWidget* owner, const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::None:
        break;
    }
    QMessageBox::StandardButtons standard;
    QMessageBox::StandardButton escape = QMessageBox::NoButton;
    switch (buttons) {
    case MessageButtons::Ok:
        standard = QMessageBox::Ok;
        escape = QMessageBox::Ok;
        break;
    case MessageButtons::OkCancel:
        standard = QMessageBox::Ok | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case MessageButtons::YesNo:
        standard = QMessageBox::Yes | QMessageBox::No;
        escape = QMessageBox::No;
        break;
    case MessageButtons::YesNoCancel:
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(standard);
    box.setEscapeButton(escape);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return AnswerYes;
    case QMessageBox::No:
        return AnswerNo;
    case QMessageBox::Cancel:
        return AnswerCancel;
    case QMessageBox::Ok:
        return AnswerOk;
    default:
        // Closed without a button: the box's cancelling answer.
        return buttons == MessageButtons::YesNo ? AnswerNo : buttons == MessageButtons::Ok ? AnswerOk : AnswerCancel;
    }
}

void DesktopFeedback::setStatus(int part, const QString& text)
{
    if (sink_)
        sink_(part, text);
}

void DesktopFeedback::pumpMessages()
{
    PumpMessages();
}

int DesktopFeedback::message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon)
{
    return showMessage(owner_, text, title, buttons, icon);
}

int DesktopFeedback::inputBox(const QString& title, const QString& prompt, QString& value, int capacity,
                              const QString& okText, const QString& cancelText)
{
    return InputBox(owner_, title, prompt, value, capacity, okText, cancelText);
}

} // namespace vn
