#include "util/safe_file.h"

#include "util/file_name.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace vn {

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

namespace {

bool copyWithBuffer(int from, uint64_t offset, int to, uint64_t size)
{
    std::vector<char> buffer(size_t(std::min<uint64_t>(size, 1 << 20)));
    while (size > 0) {
        const ssize_t n = ::pread(from, buffer.data(), size_t(std::min<uint64_t>(size, buffer.size())), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !writeAll(to, buffer.data(), size_t(n)))
            return false;
        offset += uint64_t(n);
        size -= uint64_t(n);
    }
    return true;
}

// A move between file systems: a complete, flushed copy under the new name first, then the source
// goes. Should that last step fail, the file stands in both places and nothing is lost.
bool moveAcross(const QString& from, const QString& to)
{
    QFile source;
    if (!openForReading(source, from))
        return false;
    NewFile copy(to);
    if (!copy.open() || !copy.copyFrom(source.handle(), 0, uint64_t(source.size())) || !copy.sync() || !copy.commit())
        return false;
    source.close();
    ::unlink(pathBytes(from).constData());
    return true;
}

QByteArray folderOf(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    return slash > 0 ? target.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
}

// The new name itself is on the disk once the folder is.
bool syncFolder(const QByteArray& folder)
{
    const int saved = errno;
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = dirFd >= 0 && ::fsync(dirFd) == 0;
    if (dirFd >= 0)
        ::close(dirFd);
    errno = saved;
    return synced;
}

bool renameNoReplace(const QByteArray& src, const QByteArray& dst, bool& across)
{
    across = false;
#ifdef SYS_renameat2
    constexpr unsigned RenameNoReplace = 1; // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RenameNoReplace) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno == EXDEV) {
        across = true;
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
#endif
    // A hard link is refused when the name is taken, so no file can be replaced in between.
    if (::link(src.constData(), dst.constData()) == 0) {
        ::unlink(src.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (errno == EXDEV) {
        across = true;
        return false;
    }
    // File systems without hard links: the check and the rename are two steps there.
    struct stat st;
    if (::lstat(dst.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    if (errno != ENOENT)
        return false;
    return ::rename(src.constData(), dst.constData()) == 0;
}

} // namespace

bool moveFileNoReplace(const QString& from, const QString& to)
{
    const QByteArray dst = pathBytes(to);
    bool across = false;
    if (renameNoReplace(pathBytes(from), dst, across)) {
        syncFolder(folderOf(dst));
        return true;
    }
    return across && moveAcross(from, to);
}

bool syncFolder(const QString& folder)
{
    return syncFolder(pathBytes(folder));
}

bool sameBytes(const ReadOnlyFile& a, uint64_t aAt, const ReadOnlyFile& b, uint64_t bAt, uint64_t size)
{
    constexpr uint64_t Piece = 1 << 20;
    for (uint64_t at = 0; at < size; at += Piece) {
        const uint64_t n = std::min(Piece, size - at);
        const QByteArray pa = a.readAt(aAt + at, n);
        if (pa.size() != qsizetype(n) || pa != b.readAt(bAt + at, n))
            return false;
    }
    return true;
}

void syncFolderOf(const QString& path)
{
    syncFolder(folderOf(pathBytes(path)));
}

bool syncFileData(const QString& path)
{
    const int fd = ::open(pathBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fdatasync(fd) == 0;
    ::close(fd);
    return ok;
}

NewFile::NewFile(const QString& path) : path_(path) {}

NewFile::~NewFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !tempName_.isEmpty())
        ::unlink(tempName_.constData()); // our own partial file, never the user's
}

ReadOnlyFile::ReadOnlyFile(const QString& path)
{
    // Without O_NONBLOCK a pipe under the name would hold the open until someone writes to it.
    fd_ = ::open(pathBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ >= 0) {
        size_ = uint64_t(st.st_size);
        modifiedNs_ = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QByteArray ReadOnlyFile::readAt(uint64_t offset, uint64_t n) const
{
    if (fd_ < 0 || offset >= size_)
        return {};
    QByteArray out(qsizetype(std::min(n, size_ - offset)), Qt::Uninitialized);
    out.truncate(readInto(offset, out.data(), out.size()));
    return out;
}

qsizetype ReadOnlyFile::readInto(uint64_t offset, char* to, qsizetype n) const
{
    qsizetype done = 0;
    while (fd_ >= 0 && done < n) {
        const ssize_t got = ::pread(fd_, to + done, size_t(n - done), off_t(offset + uint64_t(done)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

bool nameTaken(const QString& path)
{
    struct stat st;
    return ::lstat(pathBytes(path).constData(), &st) == 0 || errno != ENOENT;
}

namespace {

bool isDigits(const char* s, size_t n, bool hex)
{
    for (size_t i = 0; i < n; ++i) {
        const char c = s[i];
        if (!((c >= '0' && c <= '9') || (hex && c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// ".vornelic-<hex>.part" (openTempIn) or "_tmp<6 digits>.part" (NewFile's named fallback).
bool isOurTemporaryName(const char* name)
{
    const size_t n = std::strlen(name);
    constexpr size_t PartLength = 5; // ".part"
    if (n <= PartLength || std::strcmp(name + n - PartLength, ".part") != 0)
        return false;
    if (std::strncmp(name, ".vornelic-", 10) == 0)
        return n > 10 + PartLength && n <= 10 + 8 + PartLength && isDigits(name + 10, n - 10 - PartLength, true);
    return std::strncmp(name, "_tmp", 4) == 0 && n == 4 + 6 + PartLength && isDigits(name + 4, 6, false);
}

bool isLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The outside encoders' temporaries: prefix, 6 letters or digits, and an extension of up to 8
// letters or digits, or none. Their output beside the track's name is hidden under our own prefix;
// the cut track and the picture ("_tmp", "_tmppict") are only ever made in the TempFile folder, and
// only there are such names taken for ours: elsewhere they may be a user's files.
bool isToolTemporaryName(const char* name, StaleScope scope)
{
    const size_t n = std::strlen(name);
    for (const char* prefix : {".vornelic-", "_tmppict", "_tmp"}) {
        if (scope != StaleScope::TempFileFolder && prefix[0] == '_')
            continue;
        const size_t p = std::strlen(prefix);
        if (n < p + 6 || std::strncmp(name, prefix, p) != 0 || !std::all_of(name + p, name + p + 6, isLetterOrDigit))
            continue;
        const char* rest = name + p + 6;
        const size_t r = std::strlen(rest);
        if (r == 0 || (rest[0] == '.' && r >= 2 && r <= 9 && std::all_of(rest + 1, rest + r, isLetterOrDigit)))
            return true;
    }
    return false;
}

int removeStaleIn(const QByteArray& folder, StaleScope scope)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isOurTemporaryName(entry->d_name) && !isToolTemporaryName(entry->d_name, scope))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held, named;
        // Only one nobody writes any more: its writer would hold the lock until it is named.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev && ::unlinkat(dirFd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

// Once per folder, scope and process, before the first temporary is made there.
void removeStaleOnce(const QByteArray& folder, StaleScope scope = StaleScope::AnyFolder)
{
    static std::mutex lock;
    static std::set<std::pair<QByteArray, StaleScope>> done;
    {
        // One folder under every spelling: a second cleaning would find the files this process
        // has handed to a tool unlocked.
        const QByteArray key = pathBytes(QDir::cleanPath(QFileInfo(pathFromBytes(folder)).absoluteFilePath()));
        const std::lock_guard<std::mutex> guard(lock);
        if (!done.insert({key, scope}).second)
            return;
    }
    const int saved = errno;
    removeStaleIn(folder, scope);
    errno = saved;
}

// Creates the temporary at name, locked for as long as it is written; -1 with errno EEXIST when
// the name is taken (or the file was cleaned away between its creation and its lock).
int createLocked(const QByteArray& name)
{
    const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
        ::close(fd);
        errno = EEXIST;
        return -1;
    }
    return fd;
}

// A new file under a temporary name in folder, for a rename over its target once complete.
int openTempIn(const QByteArray& folder, QByteArray& temp)
{
    removeStaleOnce(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + "/.vornelic-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        const int fd = createLocked(temp);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Ends a failed write: the temporary goes, errno stays the failure's.
bool giveUp(int fd, const QByteArray& temp)
{
    const int saved = errno;
    if (fd >= 0)
        ::close(fd);
    ::unlink(temp.constData());
    errno = saved;
    return false;
}

// Copies size bytes from offset, in the kernel where it can; where a file system refuses, the copy
// goes on through a buffer from where it stopped.
bool copyRange(int from, uint64_t offset, int to, uint64_t size)
{
#ifdef SYS_copy_file_range
    while (size > 0) {
        loff_t in = loff_t(offset);
        const ssize_t n = ::syscall(SYS_copy_file_range, from, &in, to, nullptr, size_t(std::min<uint64_t>(size, 1u << 30)), 0u);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
            break;
        if (n <= 0)
            return false; // a short source, a full disk
        offset += uint64_t(n);
        size -= uint64_t(n);
    }
#endif
    return copyWithBuffer(from, offset, to, size);
}

} // namespace

int removeStaleTemporaries(const QString& folder, StaleScope scope)
{
    return removeStaleIn(pathBytes(folder), scope);
}

void removeStaleTemporariesOnce(const QString& folder, StaleScope scope)
{
    removeStaleOnce(pathBytes(folder), scope);
}

int lockTemporary(const QString& path)
{
    const int fd = ::open(pathBytes(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool replaceFileAtomically(const QString& path, QByteArrayView data)
{
    const QByteArray target = pathBytes(path);
    const QByteArray folder = folderOf(target);
    QByteArray temp;
    const int fd = openTempIn(folder, temp);
    if (fd < 0)
        return false;
    // A file being replaced keeps its permissions, and its owner where we may give it one.
    struct stat old;
    if (::stat(target.constData(), &old) == 0) {
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
        ::fchmod(fd, old.st_mode & 07777);
    }
    // Renamed while still open, so that its lock keeps it from being cleaned away until then.
    if (!writeAll(fd, data.data(), size_t(data.size())) || ::fsync(fd) != 0 ||
        ::rename(temp.constData(), target.constData()) != 0)
        return giveUp(fd, temp);
    ::close(fd);
    syncFolder(folder);
    return true;
}

bool copyFileAtomically(const QString& from, const QString& to, bool replace)
{
    const ReadOnlyFile source(from);
    struct stat st;
    if (!source.isOpen() || ::fstat(source.handle(), &st) != 0)
        return false;
    const QByteArray target = pathBytes(to);
    const QByteArray folder = folderOf(target);
    QByteArray temp;
    const int fd = openTempIn(folder, temp);
    if (fd < 0)
        return false;
    ::fchmod(fd, st.st_mode & 0777);
    const timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
    bool across = false;
    if (!copyRange(source.handle(), 0, fd, uint64_t(st.st_size)) || ::futimens(fd, times) != 0 || ::fsync(fd) != 0 ||
        !(replace ? ::rename(temp.constData(), target.constData()) == 0 : renameNoReplace(temp, target, across)))
        return giveUp(fd, temp);
    ::close(fd);
    syncFolder(folder);
    return true;
}

bool NewFile::fail()
{
    if (!failed_)
        error_ = errno ? errno : EIO;
    failed_ = true;
    return false;
}

bool NewFile::open()
{
    // One file of many: the folder is taken from the name itself when it is absolute.
    const qsizetype slash = path_.lastIndexOf(QLatin1Char('/'));
    const QByteArray folder = pathBytes(QDir::isAbsolutePath(path_) && slash > 0 ? path_.left(slash)
                                                                                           : QFileInfo(path_).absolutePath());
    removeStaleOnce(folder);
#ifdef O_TMPFILE
    // A file without a name vanishes by itself if we die; it is named through /proc.
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    if (procFds) {
        fd_ = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return true;
    }
#endif
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        tempName_ = folder + "/_tmp" + QByteArray::number(QRandomGenerator::global()->bounded(1000000)).rightJustified(6, '0') + ".part";
        fd_ = createLocked(tempName_);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        tempName_.clear();
        return fail();
    }
    return true;
}

bool NewFile::write(const char* data, qint64 size)
{
    if (!failed_ && (size < 0 || !writeAll(fd_, data, size_t(size))))
        fail();
    return !failed_;
}

bool NewFile::writeAt(uint64_t offset, const char* data, qint64 size)
{
    while (!failed_ && size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return fail(); // keeps the system's cause for the message
        }
        data += n;
        offset += uint64_t(n);
        size -= n;
    }
    if (!failed_ && size < 0) {
        errno = EINVAL;
        fail();
    }
    return !failed_;
}

bool NewFile::copyFrom(int fromFd, uint64_t offset, uint64_t size)
{
    if (!failed_ && !copyRange(fromFd, offset, fd_, size))
        fail();
    return !failed_;
}

bool NewFile::sync()
{
    if (!failed_ && ::fdatasync(fd_) != 0)
        fail();
    return !failed_;
}

void NewFile::startWriteback()
{
    if (!failed_ && fd_ >= 0)
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE); // only advice: commit syncs whatever it did not do
}

bool NewFile::commit(FolderSync folder)
{
    if (failed_ || fd_ < 0)
        return false;
    // A power loss after the name is on the disk must not leave the name on an empty file.
    if (!sync())
        return false;
    const QByteArray target = pathBytes(path_);
    bool named = false;
    bool across = false;
    if (tempName_.isEmpty()) {
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
        named = ::linkat(AT_FDCWD, proc, AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0;
    } else {
        // Named while still open and locked, so that no other run takes it for a stale one.
        named = renameNoReplace(tempName_, target, across);
    }
    if (!named)
        fail();
    // Some file systems report a failed write only when the file is closed.
    const bool closed = ::close(fd_) == 0;
    if (!closed)
        fail();
    fd_ = -1;
    if (named && !closed)
        named = ::unlink(target.constData()) != 0; // our own file, just named, whose data may be short
    committed_ = named;
    if (named && folder == FolderNow)
        syncFolder(folderOf(target));
    return named && closed;
}

} // namespace vn
