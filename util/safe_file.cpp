#include "util/safe_file.h"

#include "util/file_name.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace vn {

namespace {

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

} // namespace

bool moveFileNoReplace(const QString& from, const QString& to)
{
    const QByteArray src = pathBytes(from);
    const QByteArray dst = pathBytes(to);
#ifdef SYS_renameat2
    constexpr unsigned RenameNoReplace = 1; // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RenameNoReplace) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno == EXDEV)
        return moveAcross(from, to);
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
    if (errno == EXDEV)
        return moveAcross(from, to);
    // File systems without hard links: the check and the rename are two steps there.
    struct stat st;
    if (::lstat(dst.constData(), &st) == 0 || errno != ENOENT)
        return false;
    return ::rename(src.constData(), dst.constData()) == 0;
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

QByteArray folderOf(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    return slash > 0 ? target.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
}

// A new file under a temporary name in folder, for a rename over its target once complete.
int openTempIn(const QByteArray& folder, QByteArray& temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + "/.vornelic-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        const int fd = ::open(temp.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The new name itself is on the disk once the folder is.
void syncFolder(const QByteArray& folder)
{
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
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
    bool ok = writeAll(fd, data.data(), size_t(data.size())) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
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
    bool ok = copyRange(source.handle(), 0, fd, uint64_t(st.st_size));
    const timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
    ok = ok && ::futimens(fd, times) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = replace ? ::rename(temp.constData(), target.constData()) == 0 : moveFileNoReplace(pathFromBytes(temp), to);
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    syncFolder(folder);
    return true;
}

bool NewFile::open()
{
    // One file of many: the folder is taken from the name itself when it is absolute.
    const qsizetype slash = path_.lastIndexOf(QLatin1Char('/'));
    const QByteArray folder = pathBytes(QDir::isAbsolutePath(path_) && slash > 0 ? path_.left(slash)
                                                                                           : QFileInfo(path_).absolutePath());
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
        fd_ = ::open(tempName_.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0)
        tempName_.clear();
    failed_ = fd_ < 0;
    return !failed_;
}

bool NewFile::write(const char* data, qint64 size)
{
    failed_ = failed_ || size < 0 || !writeAll(fd_, data, size_t(size));
    return !failed_;
}

bool NewFile::writeAt(uint64_t offset, const char* data, qint64 size)
{
    while (!failed_ && size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        failed_ = n <= 0;
        data += n > 0 ? n : 0;
        offset += uint64_t(n > 0 ? n : 0);
        size -= n > 0 ? n : 0;
    }
    failed_ = failed_ || size < 0;
    return !failed_;
}

bool NewFile::copyFrom(int fromFd, uint64_t offset, uint64_t size)
{
    failed_ = failed_ || !copyRange(fromFd, offset, fd_, size);
    return !failed_;
}

bool NewFile::sync()
{
    failed_ = failed_ || ::fdatasync(fd_) != 0;
    return !failed_;
}

bool NewFile::commit()
{
    if (failed_ || fd_ < 0)
        return false;
    const QByteArray target = pathBytes(path_);
    bool named = false;
    if (tempName_.isEmpty()) {
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
        named = ::linkat(AT_FDCWD, proc, AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0;
    }
    // Some file systems report a failed write only when the file is closed.
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!tempName_.isEmpty() && closed)
        named = moveFileNoReplace(pathFromBytes(tempName_), path_);
    if (named && !closed)
        named = ::unlink(target.constData()) != 0; // our own file, just named, whose data may be short
    committed_ = named;
    return named && closed;
}

} // namespace vn
