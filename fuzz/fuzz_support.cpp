#include "fuzz/fuzz_target.h"

#include "util/file_name.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace vn::fuzz {

namespace {

std::map<std::string, Target>& targets()
{
    static std::map<std::string, Target> table;
    return table;
}

} // namespace

bool registerTarget(const char* name, Target target)
{
    targets()[name] = target;
    return true;
}

Target findTarget(const char* name)
{
    const auto it = targets().find(name);
    return it == targets().end() ? nullptr : it->second;
}

void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "harness check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

const QString& scratchFolder()
{
    // Leaked on purpose: the folder must outlive every harness call, and it is removed at exit.
    static QTemporaryDir* dir = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        auto* d = new QTemporaryDir(base + QStringLiteral("/vornelic-fuzz-XXXXXX"));
        if (!d->isValid()) {
            std::fprintf(stderr, "no scratch folder under %s\n", qPrintable(base));
            std::abort();
        }
        std::atexit([] { delete dir; });
        return d;
    }();
    static const QString path = dir->path();
    return path;
}

QString writeScratch(const QString& name, const QByteArray& bytes)
{
    const QString path = scratchFolder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

} // namespace vn::fuzz
