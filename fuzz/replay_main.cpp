// fuzz_replay HARNESS PATH...: feeds every file under the paths (folders are walked) to one
// harness, as the fuzzer would, so the kept crashes are replayed by every test run.

#include "fuzz/fuzz_target.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_replay HARNESS [FILE|FOLDER]...\n");
        return 2;
    }
    const vn::fuzz::Target target = vn::fuzz::findTarget(argv[1]);
    if (!target) {
        std::fprintf(stderr, "no harness named %s\n", argv[1]);
        return 2;
    }
    QStringList files;
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(path).isDir()) {
            QStringList found;
            QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                found << it.next();
            std::sort(found.begin(), found.end());
            files += found;
        } else if (QFileInfo(path).isFile()) {
            files << path;
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 1;
        }
    }
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        std::fprintf(stderr, "%s: %s (%lld bytes)\n", argv[1], qPrintable(path), (long long)bytes.size());
        // A block of exactly the input's size, as the fuzzer hands over: a read one byte past it is caught.
        const std::unique_ptr<uint8_t[]> exact(new uint8_t[size_t(bytes.size())]);
        std::memcpy(exact.get(), bytes.constData(), size_t(bytes.size()));
        target(exact.get(), size_t(bytes.size()));
    }
    std::printf("%s: %lld files replayed\n", argv[1], (long long)files.size());
    return 0;
}
