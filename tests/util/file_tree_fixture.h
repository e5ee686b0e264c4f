#pragma once
// Folder trees made at test time for the two file utilities, and a way to make a folder read-only
// even for root.

#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vn::test {

struct FileTree : ::testing::Test {
    QTemporaryDir dir;

    QString path(const QString& relative) const { return dir.filePath(relative); }
    // A file with its parents; the content defaults to its own name.
    void put(const QString& relative, const QByteArray& content = {})
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        ASSERT_TRUE(writeFile(path(relative), content.isNull() ? relative.toUtf8() : content)) << relative.toStdString();
    }
    void folder(const QString& relative) { ASSERT_TRUE(QDir().mkpath(path(relative))); }
    void link(const QString& target, const QString& relative)
    {
        ASSERT_TRUE(QFile::link(target, path(relative))) << relative.toStdString();
    }
    // Every name below the folder other than folders, relative to it, sorted.
    QStringList filesUnder(const QString& relative) const
    {
        QStringList out;
        const QDir root(path(relative));
        collect(root, root.path(), out);
        out.sort();
        return out;
    }

private:
    static void collect(const QDir& root, const QString& folder, QStringList& out)
    {
        for (const QFileInfo& e : QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            if (e.isDir() && !e.isSymLink())
                collect(root, e.filePath(), out);
            else if (!e.isDir())
                out.append(root.relativeFilePath(e.filePath()));
        }
    }
};

inline ino_t inodeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

// A folder nobody may write in while the object lives: its mode is 0555, and this thread drops the
// capabilities that let root write anyway (taken back afterwards).
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path) : path_(path)
    {
        ::chmod(QFile::encodeName(path).constData(), 0555);
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        if (::geteuid() == 0 && ::syscall(SYS_capget, &header_, saved_) == 0) {
            __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
            for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
                reduced[cap / 32].effective &= ~(1u << (cap % 32));
            dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
        }
    }
    ~ReadOnlyFolder()
    {
        if (dropped_)
            ::syscall(SYS_capset, &header_, saved_);
        ::chmod(QFile::encodeName(path_).constData(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // What a test checks first: a file really cannot be made there.
    bool holds() const
    {
        QFile probe(path_ + QStringLiteral("/probe"));
        if (!probe.open(QIODevice::WriteOnly))
            return true;
        probe.remove();
        return false;
    }

private:
    QString path_;
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

} // namespace vn::test
