#pragma once
// Opening files and folders with the desktop's own handlers, and the tooltips of the window's
// controls.

#include <QString>
#include <functional>

class QWidget;

namespace vn {

// Shows a folder in the file manager; a missing folder is left to the file manager to report.
void exploreFolder(const QString& folder);
// Opens a file with the desktop's handler for its type.
void openWithShell(const QString& file);

// Replaceable by tests: receives every path handed to the desktop.
using ShellOpener = std::function<void(const QString& path)>;
void setShellOpener(ShellOpener opener);

// Gives the control its tooltip: wrapped at 250 pixels and shown for 32.767 seconds. Calling it again
// replaces the text.
void AddToolTip(QWidget* control, const QString& text);

// Lets the window stay responsive inside a long job: handles every pending event, then returns.
void PumpMessages();

} // namespace vn
