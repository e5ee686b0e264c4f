#include "encode/move_files.h"

#include "config/settings.h"
#include "containers/read_file_tags.h"
#include "encode/finished_track.h"
#include "encode/move_journal.h"
#include "util/safe_file.h"
#include "util/ascii_name.h"
#include "util/file_name.h"
#include "util/feedback.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

namespace vn {

namespace {

constexpr int FolderExists = EEXIST;

// 0 when the folder was made, FolderExists when the name is taken, else the system's error number.
int createFolder(const QString& path)
{
    // The parent failing is never "the folder exists".
    const int parent = makeFolderPath(QFileInfo(path).absolutePath());
    if (parent != 0)
        return parent == EEXIST ? ENOTDIR : parent;
    if (::mkdir(pathBytes(path).constData(), 0777) == 0)
        return 0;
    return errno;
}

QString asciiFolderName(const QString& text, const char* fallback)
{
    const QString name = MakeAsciiName(QStringView(text).left(256), 257);
    return name.isEmpty() ? QString::fromLatin1(fallback) : name;
}

bool sameValue(const TagValue& x, const TagValue& y)
{
    if (x.present() != y.present())
        return false;
    return !x.present() || x.bytes() == y.bytes();
}

QString producedName(const QString& aName, const QString& extension)
{
    if (extension.isEmpty())
        return aName;
    const qsizetype dot = aName.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? aName.left(dot) : aName) + extension;
}

} // namespace

int makeLevelFolder(QString& path, const QString& base, const QString& folderA, int levels, bool reuseExisting,
                    Feedback& feedback, const LevelFolderNames* names)
{
    path.clear();
    QString tail;
    if (names) {
        for (int level = 2; level <= levels; ++level)
            tail += QLatin1Char('/') + asciiFolderName(names->genre, "undefined");
        if (levels >= 1)
            tail += QLatin1Char('/') + asciiFolderName(names->albumArtist, "unknown artist");
        if (levels >= 0)
            tail += QLatin1Char('/') + asciiFolderName(names->album, "unknown album");
    } else {
        const QString a = QDir::cleanPath(QDir::fromNativeSeparators(folderA));
        qsizetype at = a.size();
        for (int k = 0; k <= std::max(levels, 0); ++k) {
            at = at > 0 ? a.lastIndexOf(QLatin1Char('/'), at - 1) : -1;
            if (at < 0)
                return LevelTooFewLevels;
        }
        tail = a.mid(at);
        if (tail.size() < 2) // the root has no folder name to repeat
            return LevelTooFewLevels;
    }

    const QString wanted = QDir::cleanPath(base) + tail;
    for (int suffix = 0;; ++suffix) {
        const QString candidate = suffix ? QStringLiteral("%1_%2").arg(wanted).arg(suffix) : wanted;
        // Without a base the tail would land at the root of the file system.
        const int error = base.isEmpty() ? ENOENT : createFolder(candidate);
        if (error == 0 || (error == FolderExists && reuseExisting && isDirectory(candidate))) {
            path = candidate;
            return suffix;
        }
        if (error != FolderExists || suffix >= 99999) {
            path = candidate;
            feedback.message(QStringLiteral("Error (SHCreateDirectoryEx)\n System Error Code=%1\n\"%2\"\n")
                                 .arg(error)
                                 .arg(QDir::toNativeSeparators(candidate)),
                             QStringLiteral("Error : SHCreateDirectoryEx"), MessageButtons::Ok, MessageIcon::Error);
            return LevelCannotCreate;
        }
    }
}

bool producedFromA(const QString& path, const FileTags& a)
{
    FileTags produced;
    if (!readId3TagOnly(path, produced) || produced.header.version != a.header.version)
        return false;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        if (!rowFromB(row) && !sameValue(produced.record[size_t(row)], a.record[size_t(row)]))
            return false;
    }
    return true;
}

int moveFiles(const ComparisonState& state, const Settings& settings, bool backupMode, const PairList& pairs,
              int count, Feedback& feedback, std::vector<MoveStep>* steps, const QString& producedExtension)
{
    if (!backupMode)
        return 0; // the produced files are already where they belong
    QString backup;
    const int level = makeLevelFolder(backup, settings.Path_Bkup, state.folderA, settings.BkupFldr_Level,
                                      settings.BkupFldr_Exist != 0, feedback);
    if (level < 0)
        return level;

    auto note = [&](const QString& from, const QString& to, bool done, const QString& reason = QString(),
                    bool nothingProduced = false) {
        if (steps)
            steps->push_back(MoveStep{from, to, done, reason, nothingProduced});
    };
    // Each move is on the disk in the journal before it happens; the journal is made with the first.
    MoveJournal journal;
    bool journalFailed = false;
    auto journaled = [&](const QString& from, const QString& to) {
        if ((!journal.isOpen() && !journal.begin(settings.Path_Bkup)) || !journal.recordMove(from, to)) {
            journalFailed = true;
            return false;
        }
        return true;
    };
    auto move = [&](const QString& from, const QString& to, bool recorded) {
        if (moveFileNoReplace(from, to))
            return true;
        if (recorded)
            journal.recordFailed();
        return false;
    };
    // A run stopped between a track's two moves left A's file in the backup folder and its
    // replacement in the TempFile folder, and Folder A without the track: it is moved in first.
    // Only a replacement made for that very file, and only into a free place.
    for (const QString& name : listFiles(backup)) {
        const QString kept = QDir(backup).filePath(name);
        const QString pName = producedName(name, producedExtension);
        const QString produced = QDir(settings.Path_Temp).filePath(pName);
        const QString target = QDir(state.folderA).filePath(pName);
        if (journalFailed || nameTaken(QDir(state.folderA).filePath(name)) || nameTaken(target)
            || !isRegularFile(kept) || !isRegularFile(produced))
            continue;
        FileTags keptTags;
        QByteArray buffer;
        if (readFileTags(kept, keptTags, buffer) != ReadTagsOk)
            continue;
        if (state.folderBMode ? !producedFromA(produced, keptTags) : !carriesTagsOf(produced, keptTags))
            continue;
        if (!syncFileData(produced) || !journaled(produced, target))
            continue;
        if (move(produced, target, true))
            note(produced, target, true);
        else
            note(produced, target, false, QStringLiteral("cannot be moved"));
    }
    count = std::clamp<int>(count, 0, int(pairs.size()));
    for (int i = 0; i < count && !journalFailed; ++i) {
        feedback.setStatus(3, QStringLiteral("%1/%2").arg(i + 1).arg(count));
        feedback.pumpMessages();
        // Between pairs only: a pair is never left half moved.
        if (feedback.abortRequested())
            break;
        const int a = pairs[size_t(i)].aIndex;
        if (a < 0 || a >= state.a.count())
            continue;
        const QString aName = state.a.names[size_t(a)];
        const QString pName = producedName(aName, producedExtension);
        const QString produced = QDir(settings.Path_Temp).filePath(pName);
        const QString original = QDir(state.folderA).filePath(aName);
        const QString kept = QDir(backup).filePath(aName);
        const QString target = QDir(state.folderA).filePath(pName);
        if (!isRegularFile(produced)) {
            note(produced, target, false, QStringLiteral("no produced file"), true);
            continue;
        }
        // A file of that name left from some other run must not take A's place.
        if (state.folderBMode && !producedFromA(produced, state.a.files[size_t(a)])) {
            note(produced, target, false, QStringLiteral("does not carry the tags of %1").arg(aName));
            continue;
        }
        // The replacement's data is on the disk before A's file leaves.
        if (!syncFileData(produced)) {
            note(produced, target, false, QStringLiteral("cannot be flushed to the disk"));
            continue;
        }
        if (!journaled(original, kept))
            break;
        if (!move(original, kept, true)) {
            note(original, kept, false, nameTaken(kept) ? QStringLiteral("already in the backup folder")
                                                                 : QStringLiteral("cannot be moved"));
            continue;
        }
        note(original, kept, true);
        const bool recorded = journaled(produced, target);
        if (!recorded || !move(produced, target, true)) {
            // Put A's file back so Folder A is never left without the track, recorded or not: undo
            // goes by where the files stand.
            const bool back = move(kept, original, recorded && journaled(kept, original));
            note(produced, target, false,
                 back ? QStringLiteral("cannot be moved; A's file was put back")
                      : QStringLiteral("cannot be moved; A's file stays in the backup folder"));
            if (back)
                note(kept, original, true);
            continue;
        }
        note(produced, target, true);
    }
    feedback.setStatus(3, QString());
    if (journalFailed) {
        feedback.message(QStringLiteral("The journal of Move Files cannot be written in \"%1\" (%2).\n"
                                        "No more files were moved.")
                             .arg(QDir::toNativeSeparators(settings.Path_Bkup), systemErrorText(journal.error())),
                         QStringLiteral("Move Files"), MessageButtons::Ok, MessageIcon::Error);
        return MoveJournalFailed;
    }
    if (journal.isOpen())
        journal.close();
    return 0;
}

} // namespace vn
