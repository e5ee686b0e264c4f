#include "media/folder_scan.h"

#include "util/file_name.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace vn {

QStringList listFolderAudio(const QString& folder, const QStringList& extPriorityList)
{
    // One listing serves every extension. The platform this program comes from matches "*.mp3"
    // without regard to case, so a name matches by its ending in any case.
    const QStringList all = listFiles(folder);
    for (const QString& ext : extPriorityList) {
        QStringList names;
        for (const QString& name : all) {
            if (name.endsWith(ext, Qt::CaseInsensitive))
                names << name;
        }
        if (names.isEmpty())
            continue;
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            const int c = a.compare(b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        });
        return names;
    }
    return {};
}

int loadSideTags(const QString& folder, const QStringList& extPriorityList, FileList& side)
{
    side = FileList{};
    if (!isDirectory(folder))
        return 1;
    const QStringList names = listFolderAudio(folder, extPriorityList);
    if (names.isEmpty())
        return 2;
    for (const QString& name : names) {
        FileTags file;
        if (!readId3TagOnly(QDir(folder).filePath(name), file))
            file.header = TagHeader{KindUnreadable, 0, 0};
        side.names.push_back(name);
        side.files.push_back(std::move(file));
    }
    return 0;
}

} // namespace vn
