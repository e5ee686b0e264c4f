// What a killed run leaves is cleaned by the next one, and a failed write says why.
#include "util/safe_file.h"
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace vn::test {
namespace {

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(StaleTemporaries, OnlyOurOwnUnlockedOnesAreRemoved)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    // Ours, left by killed runs; then names that only look like ours, and a folder.
    for (const char* name : {".vornelic-1a2b3c4d.part", "_tmp000042.part", "_tmp12345.part", ".vornelic-xyz.part",
                             "_tmp123456.part.bak", "notes.part", ".vornelic-.part", "_tmp1234567.part"})
        ASSERT_TRUE(writeFile(d + "/" + QLatin1String(name), "x"));
    QDir(d).mkdir(QStringLiteral("_tmp000001.part"));
    // One still being written: its writer holds the lock.
    ASSERT_TRUE(writeFile(d + "/.vornelic-ff.part", "partial"));
    const int held = ::open(QString(d + "/.vornelic-ff.part").toLocal8Bit().constData(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(removeStaleTemporaries(d), 2);
    EXPECT_EQ(namesIn(d), QStringList({".vornelic-.part", ".vornelic-ff.part", ".vornelic-xyz.part", "_tmp000001.part",
                                       "_tmp12345.part", "_tmp123456.part.bak", "_tmp1234567.part", "notes.part"}));
    ::close(held); // the writer is gone
    EXPECT_EQ(removeStaleTemporaries(d), 1);
    EXPECT_FALSE(QFileInfo::exists(d + "/.vornelic-ff.part"));
}

// The outside encoders' files: their output beside the track's name, the cut track and the picture
// in the TempFile folder, each prefix with 6 random letters or digits and the file's extension.
TEST(StaleTemporaries, TheOutsideEncodersFilesAreCleanedByTheSameRule)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    for (const char* name : {".vornelic-aB3xY9.m4a", "_tmpQw12Er.wav", "_tmppictZz9Yx8.jpg", "_tmpAbCdEf",
                             // look-alikes that are somebody else's
                             "_tmpAbCdE.wav", "_tmpAbCdEfG.wav", "_tmp-b3xY9.wav", "my_tmpAbCdEf.wav",
                             "_tmpAbCdEf.verylongext", "_TMPAbCdEf.wav", ".vornelic-aB3xY9.m4a.old", "target.wav"})
        ASSERT_TRUE(writeFile(d + "/" + QLatin1String(name), "x"));
    QDir(d).mkdir(QStringLiteral("_tmpFolder.wav"));
    ASSERT_EQ(::symlink("target.wav", QString(d + "/_tmpLink12.wav").toLocal8Bit().constData()), 0);
    // One an outside tool is still writing: the run that made it holds its lock.
    ASSERT_TRUE(writeFile(d + "/.vornelic-Held01.flac", ""));
    const int held = lockTemporary(d + "/.vornelic-Held01.flac");
    ASSERT_GE(held, 0);
    EXPECT_EQ(lockTemporary(d + "/.vornelic-Held01.flac"), -1) << "a second lock while the first is held";

    EXPECT_EQ(removeStaleTemporaries(d), 4);
    EXPECT_EQ(namesIn(d), QStringList({".vornelic-Held01.flac", ".vornelic-aB3xY9.m4a.old", "_TMPAbCdEf.wav",
                                       "_tmp-b3xY9.wav", "_tmpAbCdE.wav", "_tmpAbCdEf.verylongext", "_tmpAbCdEfG.wav",
                                       "_tmpFolder.wav", "_tmpLink12.wav", "my_tmpAbCdEf.wav", "target.wav"}));
    ::close(held);
    EXPECT_EQ(removeStaleTemporaries(d), 1);
    EXPECT_FALSE(QFileInfo::exists(d + "/.vornelic-Held01.flac"));
}

TEST(StaleTemporaries, TheFirstNewFileOrReplacementInAFolderCleansIt)
{
    QTemporaryDir dir;
    for (const QString& sub : {QStringLiteral("new"), QStringLiteral("replaced")}) {
        QDir(dir.path()).mkdir(sub);
        ASSERT_TRUE(writeFile(dir.filePath(sub + "/_tmp000007.part"), "left by a killed run"));
        ASSERT_TRUE(writeFile(dir.filePath(sub + "/.vornelic-7.part"), "left by a killed run"));
    }
    // Named like the outside encoders' work files, which are only ever made in the TempFile
    // folder: in a folder of music it is somebody's file.
    ASSERT_TRUE(writeFile(dir.filePath("new/_tmpAbCdEf.jpg"), "the user's picture"));
    NewFile file(dir.filePath("new/song.mp3"));
    ASSERT_TRUE(file.open() && file.write("abc", 3) && file.commit());
    EXPECT_EQ(namesIn(dir.filePath("new")), (QStringList{"_tmpAbCdEf.jpg", "song.mp3"}));
    ASSERT_TRUE(replaceFileAtomically(dir.filePath("replaced/list.m3u"), "a.mp3\n"));
    EXPECT_EQ(namesIn(dir.filePath("replaced")), QStringList{"list.m3u"});
    EXPECT_EQ(readFile(dir.filePath("replaced/list.m3u")), "a.mp3\n");
}

TEST(SafeWrites, AFailureGivesTheSystemsReasonAndLeavesTheTargetAlone)
{
    QTemporaryDir dir;
    NewFile nowhere(dir.filePath("missing/song.mp3"));
    EXPECT_FALSE(nowhere.open());
    EXPECT_EQ(nowhere.error(), ENOENT);

    ASSERT_TRUE(writeFile(dir.filePath("taken.mp3"), "the user's"));
    NewFile taken(dir.filePath("taken.mp3"));
    ASSERT_TRUE(taken.open() && taken.write("ours", 4));
    EXPECT_FALSE(taken.commit());
    EXPECT_EQ(taken.error(), EEXIST);
    EXPECT_EQ(readFile(dir.filePath("taken.mp3")), "the user's");

    errno = 0;
    EXPECT_FALSE(replaceFileAtomically(dir.filePath("missing/list.m3u"), "x"));
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_FALSE(copyFileAtomically(dir.filePath("absent"), dir.filePath("copy"), true));
    EXPECT_NE(errno, 0);
    EXPECT_EQ(namesIn(dir.path()), QStringList{"taken.mp3"});
}

} // namespace
} // namespace vn::test
