#pragma once
// Folder and file choosers that start where the setting points and refuse results that do not fit.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace vn {

// Extra browse flag: the new-style dialog (with its "make new folder" button).
inline constexpr int BrowseNewStyle = 0x40;

// Shows the folder chooser starting at startFolder. Returns 1 and sets result when a folder was
// chosen whose path is shorter than capacity; otherwise 0 and result is left alone. Callers may pass
// the same string as startFolder and result.
int BrowseFolder(QWidget* owner, const QString& title, const QString& startFolder, QString& result, int capacity,
                 int flags = 0);

// The open-file dialog: an existing file matching one of the filters ("Cue files {*.cue} (*.cue)").
// Returns true and sets fileName (shorter than capacity) when one was chosen.
bool OpenFileDialog(QWidget* owner, const QString& title, const QStringList& filters, QString& fileName, int capacity);

// Replaceable by tests: each returns the chosen path, or an empty text for a cancel.
using FolderChooser = std::function<QString(QWidget* owner, const QString& title, const QString& start)>;
using FileChooser =
    std::function<QString(QWidget* owner, const QString& title, const QString& start, const QStringList& filters)>;
void setFolderChooser(FolderChooser chooser);
void setFileChooser(FileChooser chooser);

} // namespace vn
