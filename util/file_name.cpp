#include "util/file_name.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vn {

namespace {

constexpr char16_t StrayBase = 0xDC00; // U+DC80..U+DCFF stand for the bytes 0x80..0xFF

// The length of the valid UTF-8 sequence at text[i], or 0.
int sequenceLength(QByteArrayView text, qsizetype i)
{
    const auto at = [&](qsizetype k) { return uint8_t(text[k]); };
    const uint8_t b = at(i);
    int n;
    uint32_t cp;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (int k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (at(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool isStray(char16_t c)
{
    return c >= StrayBase + 0x80 && c <= StrayBase + 0xFF;
}

bool statOf(const QString& path, struct stat& st)
{
    return ::stat(pathBytes(path).constData(), &st) == 0;
}

} // namespace

QString pathFromBytes(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        qsizetype run = i;
        int n;
        while (run < bytes.size() && (n = sequenceLength(bytes, run)) > 0)
            run += n;
        out += QString::fromUtf8(bytes.sliced(i, run - i));
        if (run < bytes.size())
            out += QChar(char16_t(StrayBase + uint8_t(bytes[run++])));
        i = run;
    }
    return out;
}

QByteArray pathBytes(const QString& path)
{
    QByteArray out;
    out.reserve(path.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isStray(path[i].unicode()))
            continue;
        out += QStringView(path).sliced(start, i - start).toUtf8();
        if (i < path.size())
            out += char(path[i].unicode() - StrayBase);
        start = i + 1;
    }
    return out;
}

QString displayPath(const QString& path)
{
    QString out = path;
    for (QChar& c : out) {
        if (isStray(c.unicode()))
            c = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

bool openForReading(QFile& file, const QString& path, bool unbuffered)
{
    const int fd = ::open(pathBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const QIODevice::OpenMode mode = unbuffered ? QIODevice::ReadOnly | QIODevice::Unbuffered : QIODevice::ReadOnly;
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

QString folderListingProblem(const QString& folder)
{
    DIR* dir = ::opendir(pathBytes(folder).constData());
    if (!dir)
        return systemErrorText(errno);
    ::closedir(dir);
    return {};
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString readProblem(const QString& path)
{
    struct stat st;
    if (path.isEmpty())
        return systemErrorText(ENOENT);
    if (!statOf(path, st))
        return systemErrorText(errno);
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("is not a regular file");
    const int fd = ::open(pathBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return systemErrorText(errno);
    ::close(fd);
    return {};
}

bool isDirectory(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && statOf(path, st) && S_ISDIR(st.st_mode);
}

bool isRegularFile(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && statOf(path, st) && S_ISREG(st.st_mode);
}

int makeFolderPath(const QString& path)
{
    QByteArray bytes = pathBytes(path);
    while (bytes.size() > 1 && bytes.endsWith('/'))
        bytes.chop(1);
    if (bytes.isEmpty())
        return ENOENT;
    struct stat st;
    if (::stat(bytes.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : EEXIST;
    const qsizetype slash = bytes.lastIndexOf('/');
    if (slash > 0) {
        if (const int parent = makeFolderPath(pathFromBytes(bytes.left(slash))))
            return parent;
    }
    if (::mkdir(bytes.constData(), 0777) == 0 || (errno == EEXIST && ::stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode)))
        return 0;
    return errno;
}

QStringList listFiles(const QString& folder)
{
    QStringList names;
    const QByteArray base = pathBytes(folder);
    DIR* dir = ::opendir(base.isEmpty() ? "." : base.constData());
    if (!dir)
        return names;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool folderEntry = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            folderEntry = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!folderEntry)
            names << pathFromBytes(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace vn
