// The two file utilities from the command line: their usage errors, their result texts, and a
// playlist on a full disk left as it was.
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace vn::test {
namespace {

struct UtilityCommands : ::testing::Test {
    QTemporaryDir dir;

    QString path(const char* relative) const { return dir.filePath(QLatin1String(relative)); }
    void put(const char* relative, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        ASSERT_TRUE(writeFile(path(relative), content));
    }
    // The command-line program with its settings folder here; with a file-size limit, writes past
    // it fail as on a full disk.
    ProcessResult cli(const QStringList& args, rlim_t limit = RLIM_INFINITY)
    {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VORNELIC_HOME"), path("home"));
        p.setProcessEnvironment(env);
        p.setChildProcessModifier([limit] {
            const rlimit r{limit, limit};
            setrlimit(RLIMIT_FSIZE, &r);
            signal(SIGXFSZ, SIG_IGN);
        });
        p.start(cliPath(), args);
        p.waitForFinished(120000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3, p.readAllStandardOutput(), p.readAllStandardError()};
    }
};

TEST_F(UtilityCommands, PlaylistExtPrintsTheCountsAndLeavesAFullDiskAlone)
{
    EXPECT_EQ(cli({"playlist-ext", path("")}).exitCode, 2);                     // no --ext
    EXPECT_EQ(cli({"playlist-ext", path(""), "--ext", ".aac"}).exitCode, 2);    // not one of the list
    EXPECT_EQ(cli({"playlist-ext", path("none"), "--ext", ".m4a"}).exitCode, 1); // no such folder

    put("lists/album/a.m3u", "#EXTM3U\r\n01.flac\r\n02.flac\r\n03.flac\r\n");
    put("lists/album/01.flac", "");
    put("lists/album/02.m4a", "");
    put("lists/b.m3u8", "album/04.mp3\n");
    const ProcessResult r = cli({"playlist-ext", path("lists"), "--ext", "m4a"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Total number of music file entries in the processed playlist files: 4\n"
                     "  Not replaced, the music file with original extension exists: 1\n"
                     "  Replaced, the music file with new extension(.m4a) exists: 1\n"
                     "  Replaced, the music file with new extension(.m4a) does not exist: 2\n"
                     "Total number of processed playlist files (.m3u;.m3u8): 2\n");
    EXPECT_EQ(readFile(path("lists/album/a.m3u")), "#EXTM3U\r\n01.flac\r\n02.m4a\r\n03.m4a\r\n");
    EXPECT_EQ(readFile(path("lists/b.m3u8")), "album/04.m4a\n");

    // A playlist larger than what the disk still takes.
    QByteArray big = "#EXTM3U\r\n";
    for (int i = 0; i < 4000; ++i)
        big += "track" + QByteArray::number(i) + ".flac\r\n";
    put("full/big.m3u", big);
    const ProcessResult full = cli({"playlist-ext", path("full"), "--ext", ".opus"}, 16 * 1024);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.err.contains("big.m3u")) << full.err.toStdString();
    EXPECT_TRUE(full.out.contains("Left as they were, could not be read or rewritten: 1")) << full.out.toStdString();
    EXPECT_EQ(readFile(path("full/big.m3u")), big);
    EXPECT_EQ(QDir(path("full")).entryList(QDir::Files | QDir::Hidden), QStringList{"big.m3u"});
}

TEST_F(UtilityCommands, CopyMiscPrintsHowManyWereCopied)
{
    EXPECT_EQ(cli({"copy-misc", path("")}).exitCode, 2);
    put("src/cover.jpg", "new cover");
    put("src/01.flac", "music");
    put("src/scans/back.png", "back");
    put("dst/cover.jpg", "old cover");
    EXPECT_EQ(cli({"copy-misc", path("src"), path("none")}).exitCode, 1);
    EXPECT_EQ(cli({"copy-misc", path("none"), path("dst")}).exitCode, 1);

    ProcessResult r = cli({"copy-misc", path("src"), path("dst")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "1 files copied\n");
    QDir().mkpath(path("dst/scans"));
    r = cli({"copy-misc", path("src"), path("dst")});
    EXPECT_EQ(r.out, "2 files copied\n");
    EXPECT_EQ(readFile(path("dst/cover.jpg")), "new cover");
    EXPECT_EQ(readFile(path("dst/scans/back.png")), "back");
    EXPECT_FALSE(QFileInfo::exists(path("dst/01.flac")));
}

} // namespace
} // namespace vn::test
