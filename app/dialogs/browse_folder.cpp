#include "app/dialogs/browse_folder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace vn {

namespace {

FolderChooser& folderChooser()
{
    static FolderChooser chooser;
    return chooser;
}

FileChooser& fileChooser()
{
    static FileChooser chooser;
    return chooser;
}

} // namespace

void setFolderChooser(FolderChooser chooser)
{
    folderChooser() = std::move(chooser);
}
void setFileChooser(FileChooser chooser)
{
    fileChooser() = std::move(chooser);
}

int BrowseFolder(QWidget* owner, const QString& title, const QString& startFolder, QString& result, int capacity,
                 int flags)
{
    QString chosen;
    if (folderChooser()) {
        chosen = folderChooser()(owner, title, startFolder);
    } else {
        QFileDialog::Options options = QFileDialog::ShowDirsOnly;
        if (!(flags & BrowseNewStyle))
            options |= QFileDialog::ReadOnly; // the old style offers no "new folder"
        chosen = QFileDialog::getExistingDirectory(owner, title, startFolder, options);
    }
    if (chosen.isEmpty())
        return 0;
    chosen = QDir::toNativeSeparators(QDir::cleanPath(chosen));
    if (chosen.size() >= capacity)
        return 0;
    result = chosen;
    return 1;
}

bool OpenFileDialog(QWidget* owner, const QString& title, const QStringList& filters, QString& fileName, int capacity)
{
    // The setting may hold a pattern ("…/*.cue"): start in its folder.
    QFileInfo current(fileName);
    QString start =
        fileName.contains(QLatin1Char('*')) || fileName.contains(QLatin1Char('?')) ? current.absolutePath() : fileName;
    QString chosen;
    if (fileChooser()) {
        chosen = fileChooser()(owner, title, start, filters);
    } else {
        chosen = QFileDialog::getOpenFileName(owner, title, start, filters.join(QStringLiteral(";;")));
    }
    if (chosen.isEmpty() || !QFileInfo(chosen).isFile())
        return false;
    chosen = QDir::toNativeSeparators(QDir::cleanPath(chosen));
    if (chosen.size() >= capacity)
        return false;
    fileName = chosen;
    return true;
}

} // namespace vn
