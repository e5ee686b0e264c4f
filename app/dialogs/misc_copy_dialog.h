#pragma once
// The dialog of the misc file copy: the source and the destination folders.

#include "util/misc_copy.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QToolButton;

namespace vn {

// Returns 1 for OK, 2 for Cancel, Escape or the close box. Either way the two folders shown when it
// closed are stored into params, so the next opening offers them again.
int MiscCopyDialog(QWidget* owner, MiscCopyParams& params);

// The dialog itself, for the function above and for tests that drive it.
class MiscCopyDialogWindow : public QDialog {
    Q_OBJECT
public:
    MiscCopyDialogWindow(QWidget* owner, const MiscCopyParams& params);

    // The block with the two folders the edits hold (each cut to the buffer's size).
    MiscCopyParams values() const;

private:
    void browse(QLineEdit* edit, const QString& title);

    MiscCopyParams params_;
    QLineEdit* source_;
    QToolButton* browseSource_;
    QLineEdit* destination_;
    QToolButton* browseDestination_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

} // namespace vn
