// The two file utilities from the command line: their usage errors, their result texts, and a
// playlist on a full disk left as it was.
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    ProcessResult cli(const QStringList& args, qint64 fileSizeLimit = -1)
    {
        return runCli(args, {path("home"), fileSizeLimit});
    }
};

TEST_F(UtilityCommands, PlaylistExtRefusesAMissingOrUnknownExtensionAndAMissingFolder)
{
    EXPECT_EQ(cli({"playlist-ext", path("")}).exitCode, 2);
    EXPECT_EQ(cli({"playlist-ext", path(""), "--ext", ".aac"}).exitCode, 2);
    EXPECT_EQ(cli({"playlist-ext", path("none"), "--ext", ".m4a"}).exitCode, 1);
}

TEST_F(UtilityCommands, PlaylistExtRewritesTheListsAndPrintsTheCounts)
{
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
}

TEST_F(UtilityCommands, PlaylistExtLeavesAPlaylistAFullDiskCannotTakeAsItWas)
{
    QByteArray big = "#EXTM3U\r\n";
    for (int i = 0; i < 4000; ++i)
        big += "track" + QByteArray::number(i) + ".flac\r\n";
    put("full/big.m3u", big);
    const ProcessResult full = cli({"playlist-ext", path("full"), "--ext", ".opus"}, 16 * 1024);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.err.contains("big.m3u")) << full.err.toStdString();
    EXPECT_TRUE(full.out.contains("Left as they were, could not be read or rewritten: 1")) << full.out.toStdString();
    EXPECT_EQ(readFile(path("full/big.m3u")), big);
    EXPECT_EQ(folderEntries(path("full")), QStringList{"big.m3u"});
}

TEST_F(UtilityCommands, CopyMiscRefusesMissingFolders)
{
    put("src/cover.jpg", "new cover");
    EXPECT_EQ(cli({"copy-misc", path("")}).exitCode, 2);
    EXPECT_EQ(cli({"copy-misc", path("src"), path("none")}).exitCode, 1);
    EXPECT_EQ(cli({"copy-misc", path("none"), path("src")}).exitCode, 1);
}

TEST_F(UtilityCommands, CopyMiscPrintsHowManyWereCopiedIntoTheFoldersThatExist)
{
    put("src/cover.jpg", "new cover");
    put("src/01.flac", "music");
    put("src/scans/back.png", "back");
    put("dst/cover.jpg", "old cover");
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
