#pragma once
// A one-line dialog that edits a text setting in place.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vn {

// Returns 1 when the first button closed the box (value takes the typed text, at most capacity - 1
// characters), 2 for the second button, Escape or the close box (value unchanged).
int InputBox(QWidget* owner, const QString& title, const QString& prompt, QString& value, int capacity,
             const QString& okText, const QString& cancelText);

// The dialog itself, for the function above and for tests that drive it.
class InputBoxDialog : public QDialog {
    Q_OBJECT
public:
    InputBoxDialog(QWidget* owner, const QString& title, const QString& prompt, const QString& value, int capacity,
                   const QString& okText, const QString& cancelText);
    QString text() const;

private:
    QLabel* prompt_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

} // namespace vn
