#pragma once
// The controls above the list: the two path rows (Folder A and Backup/Output; Folder B or the CD
// image and the TempFile folder) and the row of commands with the three number boxes. The frame
// builds them; the features read and set them.

#include <QString>

class QFont;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace vn {

class CommandRouter;
struct Settings;

struct WindowControls {
    QLabel* labelA = nullptr;
    QLabel* labelTemp = nullptr;
    QLineEdit* editA = nullptr;
    QLineEdit* editB = nullptr;
    QLineEdit* editBackup = nullptr;
    QLineEdit* editTemp = nullptr;
    QLineEdit* editOffset = nullptr;
    QLineEdit* editBlock = nullptr;
    QLineEdit* editPadding = nullptr;
    QToolButton* browseA = nullptr;
    QToolButton* exploreA = nullptr;
    QToolButton* browseB = nullptr;
    QToolButton* exploreB = nullptr;
    QToolButton* browseBackup = nullptr;
    QToolButton* exploreBackup = nullptr;
    QToolButton* browseTemp = nullptr;
    QToolButton* exploreTemp = nullptr;
    QPushButton* modeB = nullptr;
    QPushButton* modeBackup = nullptr;
    QPushButton* repeat = nullptr;
    QPushButton* abortBatch = nullptr;
};

// Builds every control on client at its place, each button bound to its command number. The list's
// font sizes the labels.
WindowControls buildWindowControls(QWidget* client, const QFont& listFont, const Settings& settings,
                                   CommandRouter& router);

// Wider windows give both path columns half the width beyond 800 pixels.
void layoutPathRows(const WindowControls& controls, int width);

// A bitmap button's picture, remembered in its "bitmapId" property.
void setBitmap(QToolButton* button, int bitmapId);

// The number in a number box (decimal; what is not a number counts as 0).
int numberInBox(const QLineEdit* box);

} // namespace vn
