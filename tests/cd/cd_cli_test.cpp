// vornelic-cli's rip, drives and cddb commands, run as the user runs them.
#include "support/cd_fixtures.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace vn::test;

namespace {

class CdCliFixture : public ::testing::Test {
protected:
    void SetUp() override { qputenv("VORNELIC_HOME", home.path().toUtf8()); }
    void TearDown() override { qunsetenv("VORNELIC_HOME"); }
    QString path(const QString& name) const { return work.filePath(name); }
    ProcessResult cli(const QStringList& args) { return runProcess(cliPath(), args); }

    QTemporaryDir home;
    QTemporaryDir work;
};

TEST_F(CdCliFixture, RipWritesTheImageAndItsCueSheetAndNamesThem)
{
    const DiscImage disc = makeDiscImage(work.path(), "source", {0, 700, 1500}, 2000, 200);
    const QString cue = path("copy.cue");
    const ProcessResult r = cli({"rip", disc.cuePath, "--cue", cue, "--format", "bin", "--block", "11", "--no-paranoia"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, (path("copy.bin") + '\n' + cue + '\n').toUtf8());
    EXPECT_EQ(readFile(path("copy.bin")), disc.audio);
    EXPECT_EQ(readFile(cue), QByteArray("FILE \"copy.bin\" BINARY\r\n"
                                        "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                                        "  TRACK 02 AUDIO\r\n    INDEX 01 00:09:25\r\n"
                                        "  TRACK 03 AUDIO\r\n    INDEX 01 00:20:00\r\n"));
}

TEST_F(CdCliFixture, RipNeverWritesOverAnExistingSheet)
{
    const DiscImage disc = makeDiscImage(work.path(), "source", {0, 700}, 1000);
    ASSERT_TRUE(writeFile(path("copy.cue"), "mine"));
    const ProcessResult r = cli({"rip", disc.cuePath, "--cue", path("copy.cue")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("exists")) << r.err.toStdString();
    EXPECT_EQ(readFile(path("copy.cue")), QByteArray("mine"));
    EXPECT_EQ(folderEntries(work.path()), QStringList({"copy.cue", "source.bin", "source.cue"})); // no image either
}

TEST_F(CdCliFixture, RipUsageErrorsAndAMissingDriveWriteNothing)
{
    const DiscImage disc = makeDiscImage(work.path(), "source", {0, 700}, 1000);
    EXPECT_EQ(cli({"rip", disc.cuePath, "--cue", path("x.cue"), "--format", "flac"}).exitCode, 2);
    EXPECT_EQ(cli({"rip", disc.cuePath}).exitCode, 2);
    const ProcessResult r = cli({"rip", path("absent.cue"), "--cue", path("y.cue")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(folderEntries(work.path()), QStringList({"source.bin", "source.cue"}));
}

TEST_F(CdCliFixture, DrivesListsAnImageAsADrive)
{
    const DiscImage disc = makeDiscImage(work.path(), "disc", {0, 300}, 600);
    const ProcessResult r = cli({"drives", disc.cuePath, path("none.cue")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(disc.cuePath.toUtf8() + ": ")) << r.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith(")"));
    EXPECT_TRUE(r.err.contains("none.cue: no audio disc"));
    EXPECT_EQ(cli({"drives"}).exitCode, 0);
}

// Two tracks: 0 and 10 s, 20 s long in all.
class CddbCli : public CdCliFixture {
protected:
    const DiscImage disc = makeDiscImage(work.path(), "disc", {0, 750}, 1500);
    CannedHttpServer server;
};

TEST_F(CddbCli, PrintsTheDiscIdTheQueryAndTheTitles)
{
    server.reply("cmd=cddb+query+05001402+2+150+900+20&hello=someone&proto=6",
                 "200 rock 0a0b0c0d Some Artist / Some Album\r\n");
    server.reply("cmd=cddb+read+rock+0a0b0c0d&hello=someone&proto=6",
                 "210 rock 0a0b0c0d CD database entry follows\r\nDTITLE=Some Artist / Some Album\r\n"
                 "DYEAR=1999\r\nTTITLE0=\xe6\x97\xa5\xe6\x9c\xac\r\nTTITLE1=Second\r\n.\r\n");
    const ProcessResult r = runServing(cliPath(), {"cddb", disc.cuePath, "--server", QString::fromLatin1(server.url()),
                                                   "--hello", "someone", "--proto", "6"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QByteArray("disc id\t05001402\n"
                                "query\t05001402+2+150+900+20\n"
                                "genre\trock\n"
                                "year\t1999\n"
                                "read id\t0a0b0c0d\n"
                                "album\tSome Album\n"
                                "album artist\tSome Artist\n"
                                "01\tSome Artist\t\xe6\x97\xa5\xe6\x9c\xac\n"
                                "02\tSome Artist\tSecond\n"));
}

TEST_F(CddbCli, AFailedQueryPrintsTheDiscIdAndFails)
{
    const ProcessResult r = runServing(cliPath(), {"cddb", disc.cuePath, "--server", QString::fromLatin1(server.url("/nothing"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.startsWith("disc id\t05001402\n"));
    EXPECT_TRUE(r.err.contains("CDDB Failed"));
}

} // namespace
