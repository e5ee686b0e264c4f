#include "encode/move_journal.h"

#include "util/file_name.h"
#include "util/numbers.h"
#include "util/safe_file.h"

#include <QDateTime>
#include <QDir>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vn {

namespace {

const QByteArray Magic = QByteArrayLiteral("Vornelic Move Files journal 1");
const QString JournalPrefix = QStringLiteral("MoveFiles_");
const QString JournalSuffix = QStringLiteral(".journal");
// Far beyond any run's journal; a bigger file is not one.
constexpr uint64_t JournalLimit = 64ull << 20;
// Path characters kept as they are; every other byte, and any byte that is not valid UTF-8, is
// written %XX, so a line holds exactly the name's bytes whatever they are.
constexpr const char* KeptAsIs = "/!$&'()*+,;=:@[]";

// Journals outlive the working folder of the run that wrote them.
QString absolute(const QString& path)
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    QByteArray cwd(PATH_MAX, '\0');
    if (!::getcwd(cwd.data(), size_t(cwd.size())))
        return path;
    cwd.truncate(qsizetype(qstrlen(cwd.constData())));
    return pathFromBytes(cwd) + QLatin1Char('/') + path;
}

QByteArray escaped(const QString& path)
{
    return pathBytes(absolute(path)).toPercentEncoding(KeptAsIs);
}

bool unescaped(const QByteArray& field, QString& path)
{
    const QByteArray bytes = QByteArray::fromPercentEncoding(field);
    if (!bytes.startsWith('/') || bytes.contains('\0'))
        return false;
    path = pathFromBytes(bytes);
    return true;
}

bool number(const QByteArray& field, int64_t& value, bool negativeAllowed)
{
    const bool negative = negativeAllowed && field.startsWith('-');
    const QByteArrayView digits = QByteArrayView(field).sliced(negative ? 1 : 0);
    if (digits.isEmpty() || digits.size() > 18
        || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = leadingInteger(QByteArrayView(field));
    return true;
}

struct Entry {
    int64_t size = -1; // of the file when it was moved; -1 unknown
    QString from;
    QString to;
};

struct Journal {
    std::map<int64_t, Entry> moves;
    std::set<int64_t> failed;
    std::set<int64_t> back;
    bool ended = false;
    bool undone = false;
};

bool parse(const QByteArray& text, Journal& journal)
{
    // A run stopped between making its journal and finishing the first line moved nothing yet.
    if (!text.contains('\n') && (Magic + '\n').startsWith(text))
        return true;
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast(); // after the last line end: empty, or a line cut short by a crash
    if (lines.isEmpty() || lines.first() != Magic)
        return false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        int64_t n = 0;
        if (f[0] == "move" && f.size() == 5) {
            Entry e;
            if (!number(f[1], n, false) || !number(f[2], e.size, true) || !unescaped(f[3], e.from)
                || !unescaped(f[4], e.to) || journal.moves.count(n))
                return false;
            journal.moves.emplace(n, e);
        } else if ((f[0] == "failed" || f[0] == "back") && f.size() == 2) {
            if (!number(f[1], n, false) || !journal.moves.count(n))
                return false;
            (f[0] == "failed" ? journal.failed : journal.back).insert(n);
        } else if (f[0] == "end" && f.size() == 1) {
            journal.ended = true;
        } else if (f[0] == "undone" && f.size() == 1) {
            journal.undone = true;
        } else {
            return false;
        }
    }
    return true;
}

// What stands under the name, without following a link.
bool present(const QString& path, struct stat* st = nullptr)
{
    struct stat s;
    const bool there = ::lstat(pathBytes(path).constData(), st ? st : &s) == 0;
    return there || errno != ENOENT;
}

bool sameBytes(const QString& x, const QString& y)
{
    const ReadOnlyFile a(x);
    const ReadOnlyFile b(y);
    return a.isOpen() && b.isOpen() && a.size() == b.size() && sameBytes(a, 0, b, 0, a.size());
}

// One recorded move, undone as far as the files allow. inFlight: the run may have been cut short
// between recording this move and finishing it.
UndoResult undoOne(const Entry& e, bool inFlight)
{
    struct stat st;
    const bool atTo = present(e.to, &st);
    const bool atFrom = present(e.from);
    if (!atTo)
        return atFrom ? UndoResult::NothingToDo : UndoResult::Missing;
    if (atFrom) {
        // A move between file systems copies first: cut short, the file stands in both places.
        if (S_ISREG(st.st_mode) && sameBytes(e.from, e.to))
            return ::unlink(pathBytes(e.to).constData()) == 0 ? UndoResult::LeftoverRemoved : UndoResult::Failed;
        // The move in flight never happened: what stands at the destination was there before.
        return inFlight ? UndoResult::NothingToDo : UndoResult::Occupied;
    }
    if (!S_ISREG(st.st_mode) || (e.size >= 0 && int64_t(st.st_size) != e.size))
        return UndoResult::Changed;
    return moveFileNoReplace(e.to, e.from) ? UndoResult::MovedBack : UndoResult::Failed;
}

} // namespace

QString lastMoveJournal(const QString& backupFolder)
{
    QString last;
    for (const QString& name : listFiles(backupFolder)) {
        if (name.startsWith(JournalPrefix) && name.endsWith(JournalSuffix) && name > last)
            last = name;
    }
    return last.isEmpty() ? QString() : QDir(backupFolder).filePath(last);
}

MoveJournal::~MoveJournal()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool MoveJournal::begin(const QString& backupFolder)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss_zzz"));
    for (int suffix = 0; suffix < 1000 && fd_ < 0; ++suffix) {
        const QString name = JournalPrefix + stamp + (suffix ? QStringLiteral("_%1").arg(suffix) : QString())
                             + JournalSuffix;
        path_ = QDir(backupFolder).filePath(name);
        fd_ = ::open(pathBytes(path_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        error_ = errno;
        path_.clear();
        return false;
    }
    // The journal's own name must survive a crash as well as its lines.
    if (!append(Magic + '\n') || !syncFolder(backupFolder)) {
        if (error_ == 0)
            error_ = errno ? errno : EIO;
        ::close(fd_);
        fd_ = -1;
        ::unlink(pathBytes(path_).constData());
        return false;
    }
    return true;
}

bool MoveJournal::append(const QByteArray& line)
{
    if (fd_ < 0 || broken_)
        return false;
    broken_ = !writeAll(fd_, line.constData(), size_t(line.size())) || ::fdatasync(fd_) != 0;
    if (broken_)
        error_ = errno ? errno : EIO;
    return !broken_;
}

bool MoveJournal::recordMove(const QString& from, const QString& to)
{
    struct stat st;
    const int64_t size = ::lstat(pathBytes(from).constData(), &st) == 0 ? int64_t(st.st_size) : -1;
    const QByteArray line = "move\t" + QByteArray::number(moves_ + 1) + '\t' + QByteArray::number(size) + '\t'
                            + escaped(from) + '\t' + escaped(to) + '\n';
    if (!append(line))
        return false;
    ++moves_;
    return true;
}

void MoveJournal::recordFailed()
{
    if (moves_ > 0)
        append("failed\t" + QByteArray::number(moves_) + '\n');
}

bool MoveJournal::close()
{
    const bool ok = append("end\n");
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    return ok;
}

QString undoErrorText(int code, const QString& journal)
{
    const QString name = QDir::toNativeSeparators(journal);
    switch (code) {
    case UndoNoJournal:
        return journal.isEmpty() ? QStringLiteral("There is no Move Files to undo.")
                                 : QStringLiteral("\"%1\" does not exist.").arg(name);
    case UndoUnreadable:
        return QStringLiteral("\"%1\" is not a Move Files journal that can be read.").arg(name);
    case UndoCannotRecord:
        return QStringLiteral("\"%1\" cannot be written; no file was moved back.").arg(name);
    case UndoAlreadyDone:
        return QStringLiteral("The Move Files of \"%1\" has been undone already.").arg(name);
    case UndoIncomplete:
        return QStringLiteral("Some files of \"%1\" could not be moved back.").arg(name);
    default:
        return QString();
    }
}

QString undoResultText(UndoResult result)
{
    switch (result) {
    case UndoResult::MovedBack:
        return QStringLiteral("moved back");
    case UndoResult::LeftoverRemoved:
        return QStringLiteral("the copy left by an interrupted move was removed");
    case UndoResult::NothingToDo:
        return QStringLiteral("already in place");
    case UndoResult::Changed:
        return QStringLiteral("changed since it was moved; left where it is");
    case UndoResult::Occupied:
        return QStringLiteral("another file stands where it came from; left where it is");
    case UndoResult::Missing:
        return QStringLiteral("is in neither place");
    case UndoResult::Failed:
        return QStringLiteral("cannot be moved back");
    }
    return QString();
}

int undoMoveJournal(const QString& journalPath, std::vector<UndoStep>& steps, bool* cutShort)
{
    steps.clear();
    if (journalPath.isEmpty() || !present(journalPath))
        return UndoNoJournal;
    Journal journal;
    {
        const ReadOnlyFile file(journalPath);
        if (!file.isOpen() || file.size() > JournalLimit)
            return UndoUnreadable;
        const QByteArray text = file.readAt(0, file.size());
        if (uint64_t(text.size()) != file.size() || !parse(text, journal))
            return UndoUnreadable;
    }
    if (cutShort)
        *cutShort = !journal.ended;
    if (journal.undone)
        return UndoAlreadyDone;
    const int fd = ::open(pathBytes(journalPath).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return UndoCannotRecord;
    auto record = [fd](const QByteArray& line) {
        return writeAll(fd, line.constData(), size_t(line.size())) && ::fdatasync(fd) == 0;
    };

    // Only the last recorded move of a run that did not close its journal can be half done.
    const int64_t inFlight = journal.ended || journal.moves.empty() ? -1 : journal.moves.rbegin()->first;
    bool complete = true;
    for (auto it = journal.moves.rbegin(); it != journal.moves.rend(); ++it) {
        const int64_t n = it->first;
        if (journal.failed.count(n))
            continue;
        UndoStep step{it->second.to, it->second.from, UndoResult::NothingToDo};
        if (!journal.back.count(n)) {
            step.result = undoOne(it->second, n == inFlight);
            const bool settled = step.result == UndoResult::MovedBack || step.result == UndoResult::LeftoverRemoved
                                 || step.result == UndoResult::NothingToDo;
            // Once a file is back, a second undo must not look at its move again.
            if (!settled || !record("back\t" + QByteArray::number(n) + '\n'))
                complete = false;
        }
        steps.push_back(step);
    }
    if (complete && !record("undone\n"))
        complete = false;
    ::close(fd);
    return complete ? UndoOk : UndoIncomplete;
}

} // namespace vn
