#pragma once
// The dialog of the playlist extension replacement: the base folder and the new extension.

#include "util/playlist_ext.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace vn {

// Returns 1 for OK, 2 for Cancel, Escape or the close box. Either way the folder and the extension
// shown when it closed are stored into params, so the next opening offers them again.
int PlaylistExtDialog(QWidget* owner, PlaylistExtParams& params);

// The dialog itself, for the function above and for tests that drive it.
class PlaylistExtDialogWindow : public QDialog {
    Q_OBJECT
public:
    PlaylistExtDialogWindow(QWidget* owner, const PlaylistExtParams& params);

    // What the controls hold: the folder (cut to the buffer's size) and the selected index, -1 for none.
    PlaylistExtParams values() const;

private:
    void browse();

    QLineEdit* folder_;
    QToolButton* browse_;
    QComboBox* extension_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

} // namespace vn
