#include "app/dialogs/input_box.h"

#include "util/text_helpers.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vn {

InputBoxDialog::InputBoxDialog(QWidget* owner, const QString& title, const QString& prompt, const QString& value,
                               int capacity, const QString& okText, const QString& cancelText)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("INPUTBOX_DLG"));
    setWindowTitle(title);
    // Fixed pixel layout: the box only ever holds one line.
    setFixedSize(620, 130);

    prompt_ = new QLabel(prompt, this);
    prompt_->setObjectName(QStringLiteral("6206"));
    prompt_->setGeometry(10, 8, 580, 20);

    edit_ = new QLineEdit(value, this);
    edit_->setObjectName(QStringLiteral("6207"));
    edit_->setGeometry(10, 32, 580, 20);
    if (capacity > 1)
        edit_->setMaxLength(capacity - 1);

    ok_ = new QPushButton(okText, this);
    ok_->setObjectName(QStringLiteral("1"));
    ok_->setGeometry(20, 60, 40, 20);
    ok_->setDefault(true);
    ok_->setAutoDefault(true);

    cancel_ = new QPushButton(cancelText, this);
    cancel_->setObjectName(QStringLiteral("2"));
    cancel_->setGeometry(70, 60, 50, 20);
    cancel_->setAutoDefault(false);

    connect(ok_, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel_, &QPushButton::clicked, this, [this] { done(2); });
    edit_->setFocus();
    edit_->selectAll();
}

QString InputBoxDialog::text() const
{
    return edit_->text();
}

int InputBox(QWidget* owner, const QString& title, const QString& prompt, QString& value, int capacity,
             const QString& okText, const QString& cancelText)
{
    InputBoxDialog dialog(owner, title, prompt, value, capacity, okText, cancelText);
    // Escape and the close box reject with 0; both mean the second button.
    if (dialog.exec() != 1)
        return 2;
    value = capacity > 0 ? truncateToCapacity(dialog.text(), capacity) : dialog.text();
    return 1;
}

} // namespace vn
