#include "util/misc_copy.h"

#include "util/file_name.h"

#include "util/safe_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <sys/stat.h>

namespace vn {

namespace {

struct TreeCopy {
    QString sourceRoot;      // canonical
    QString destinationRoot; // canonical
    bool failIfExists;
    Feedback& feedback;
    MiscCopyResult& result;
    QSet<QString> visited;
    bool stopped = false;
};

bool insideTree(const QString& root, const QString& canonical)
{
    return !canonical.isEmpty()
           && (canonical == root || root == u'/' || canonical.startsWith(root + u'/'));
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa, sb;
    return ::stat(pathBytes(a).constData(), &sa) == 0 && ::stat(pathBytes(b).constData(), &sb) == 0
           && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void copyOne(TreeCopy& run, const QString& from, const QString& to)
{
    if (sameFile(from, to))
        return; // a tree copied into itself
    if (run.failIfExists && nameTaken(to))
        return;
    if (copyFileAtomically(from, to, !run.failIfExists)) {
        ++run.result.copied;
    } else {
        const int error = errno;
        if (!(run.failIfExists && nameTaken(to))) {
            run.result.failed.append(from);
            run.result.failedCauses.append(systemErrorText(error));
        }
    }
}

void copyTree(TreeCopy& run, const QString& source, const QString& destination)
{
    if (!QFileInfo(destination).isDir())
        return;
    const QString canonical = QFileInfo(source).canonicalFilePath();
    if (canonical.isEmpty() || run.visited.contains(canonical))
        return;
    run.visited.insert(canonical);
    // The listing is taken whole first, so the files being copied in never show up in it.
    const QFileInfoList entries =
        QDir(source).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (run.stopped)
            return;
        const QString name = entry.fileName();
        const QString target = destination + u'/' + name;
        if (entry.isDir()) {
            const QFileInfo into(target);
            // A link may lead anywhere; it is followed only while it stays in its tree.
            if ((entry.isSymLink() && !insideTree(run.sourceRoot, entry.canonicalFilePath())) || !into.isDir()
                || (into.isSymLink() && !insideTree(run.destinationRoot, into.canonicalFilePath())))
                continue;
            copyTree(run, entry.filePath(), target);
            continue;
        }
        // Pipes, sockets and devices are no files to copy; a link to nothing is, and fails.
        if (name.startsWith(u'.') || isMusicFileName(name) || (!entry.isFile() && entry.exists()))
            continue;
        run.feedback.pumpMessages();
        if (run.feedback.abortRequested()) {
            run.stopped = true;
            return;
        }
        copyOne(run, entry.filePath(), target);
    }
}

} // namespace

bool isMusicFileName(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QStringView extension = name.sliced(dot);
    for (const char* music : MiscCopyMusicExtensions) {
        if (extension.compare(QLatin1String(music), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

MiscCopyResult copyMiscFiles(const QString& sourceFolder, const QString& destinationFolder, bool failIfExists,
                             Feedback& feedback)
{
    MiscCopyResult result;
    if (sourceFolder.isEmpty() || destinationFolder.isEmpty())
        return result;
    TreeCopy run{QFileInfo(sourceFolder).canonicalFilePath(), QFileInfo(destinationFolder).canonicalFilePath(),
                 failIfExists, feedback, result, {}};
    copyTree(run, sourceFolder, destinationFolder);
    return result;
}

QString miscCopyResultText(const MiscCopyResult& result)
{
    QString text = QStringLiteral("%1 files copied").arg(result.copied);
    if (!result.failed.isEmpty())
        text += QStringLiteral("\n%1 files could not be copied").arg(result.failed.size());
    return text;
}

unsigned runMiscFileCopy(const MiscCopyParams& params, Feedback& feedback)
{
    const MiscCopyResult result =
        copyMiscFiles(params.sourceFolder, params.destinationFolder, params.failIfExists, feedback);
    feedback.message(miscCopyResultText(result), QLatin1String(MiscCopyResultTitle), MessageButtons::Ok,
                     result.failed.isEmpty() ? MessageIcon::Information : MessageIcon::Warning);
    return result.copied;
}

} // namespace vn
