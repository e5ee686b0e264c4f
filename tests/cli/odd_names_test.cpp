// File names as the file system holds them: a name that is not valid UTF-8 keeps its row and its
// partner, is written back byte for byte, and can be dumped and moved from the command line.

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QDir>
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace vn::test {
namespace {

// Writes bytes under a name given as bytes, as an old system's copy would leave it.
bool writeRaw(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QByteArray readRaw(const QByteArray& path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return out;
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    ::close(fd);
    return out;
}

QList<QByteArray> namesIn(const QByteArray& folder)
{
    QList<QByteArray> names;
    DIR* d = ::opendir(folder.constData());
    while (const dirent* e = d ? ::readdir(d) : nullptr) {
        if (e->d_name[0] != '.')
            names << QByteArray(e->d_name);
    }
    if (d)
        ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray titleTag(const QByteArray& title, const QByteArray& encoder)
{
    return id3Tag(3, id3Frame(3, "TIT2", '\0' + title) + id3Frame(3, "TENC", '\0' + encoder));
}

// Runs the command line from a shell script written as bytes, so that arguments can carry any bytes.
ProcessResult cliRaw(const QByteArray& arguments)
{
    QTemporaryDir scriptDir;
    const QString script = scriptDir.filePath(QStringLiteral("run.sh"));
    writeRaw(QFile::encodeName(script), "exec \"$1\" " + arguments + "\n");
    return runProcess(QStringLiteral("/bin/sh"), {script, cliPath()});
}

// A = 01, "02 R\xeda" (Latin-1 "í": one stray byte) and 03; B = 01, 02, 03, each B file's audio of a
// length of its own, so a file shows whose audio it carries.
class OddNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* f : {"/A", "/B", "/T", "/K"})
            ASSERT_TRUE(QDir().mkpath(QFile::decodeName(root + f)));
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(writeRaw(root + "/A/" + namesA[i], titleTag("Title " + QByteArray::number(i + 1), "A") + cbrFrames(1)));
            ASSERT_TRUE(writeRaw(root + "/B/0" + QByteArray::number(i + 1) + ".mp3", titleTag("x", "B") + cbrFrames(i + 2)));
        }
    }
    // Qt's own removal cannot name the odd file.
    void TearDown() override { runProcess("rm", {"-rf", dir.path()}); }
    void replaceTags()
    {
        const ProcessResult r = cliRaw("replace-tags '" + root + "/A' '" + root + "/B' --temp '" + root + "/T'");
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    }

    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray odd = "02 R\xed" "a.mp3";
    const QList<QByteArray> namesA = {"01.mp3", odd, "03.mp3"};
};

TEST_F(OddNames, CompareShowsTheNameWithAReplacementCharacter)
{
    const ProcessResult compare = cliRaw("compare '" + root + "/A' '" + root + "/B'");
    ASSERT_EQ(compare.exitCode, 0) << compare.err.constData();
    EXPECT_TRUE(QString::fromUtf8(compare.out).contains(QStringLiteral("02 R\uFFFDa.mp3"))) << compare.out.constData();
}

TEST_F(OddNames, ReplaceTagsWritesEachAOverItsOwnBUnderTheSameBytes)
{
    replaceTags();
    ASSERT_EQ(namesIn(root + "/T"), namesA);
    for (int i = 0; i < 3; ++i) {
        const QByteArray made = readRaw(root + "/T/" + namesA[i]);
        EXPECT_TRUE(made.contains("Title " + QByteArray::number(i + 1))) << i;
        EXPECT_TRUE(made.endsWith(cbrFrames(i + 2)) && !made.endsWith(cbrFrames(i + 3))) << i;
    }
}

TEST_F(OddNames, DumpAndMoveHandleTheName)
{
    replaceTags();
    const ProcessResult dumped = cliRaw("dump '" + root + "/T/" + odd + "'");
    EXPECT_EQ(dumped.exitCode, 0) << dumped.err.constData();
    EXPECT_TRUE(dumped.out.contains("TIT2")) << dumped.out.constData();

    const ProcessResult moved = cliRaw("move '" + root + "/A' --backup '" + root + "/K' --temp '" + root + "/T' --levels 0");
    ASSERT_EQ(moved.exitCode, 0) << moved.err.constData();
    EXPECT_TRUE(namesIn(root + "/T").isEmpty());
    EXPECT_EQ(namesIn(root + "/A"), namesA);
    EXPECT_TRUE(readRaw(root + "/A/" + odd).endsWith(cbrFrames(3)));
    EXPECT_EQ(namesIn(root + "/K/A"), namesA);
}

} // namespace
} // namespace vn::test
