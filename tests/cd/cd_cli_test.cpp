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

    QTemporaryDir home;
    QTemporaryDir work;
};

} // namespace

TEST_F(CdCliFixture, RipWritesTheImageAndCueSheetOnceAndNeverOverAnExistingSheet)
{
    const DiscImage disc = makeDiscImage(work.path(), QStringLiteral("source"), {0, 700, 1500}, 2000, 200);
    const QString cue = path(QStringLiteral("copy.cue"));
    ProcessResult r = runProcess(cliPath(), {QStringLiteral("rip"), disc.cuePath, QStringLiteral("--cue"), cue,
                                             QStringLiteral("--format"), QStringLiteral("bin"), QStringLiteral("--block"),
                                             QStringLiteral("11"), QStringLiteral("--no-paranoia")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, (path(QStringLiteral("copy.bin")) + QLatin1Char('\n') + cue + QLatin1Char('\n')).toUtf8());
    EXPECT_EQ(readFile(path(QStringLiteral("copy.bin"))), disc.audio);
    EXPECT_EQ(readFile(cue), QByteArray("FILE \"copy.bin\" BINARY\r\n"
                                        "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                                        "  TRACK 02 AUDIO\r\n    INDEX 01 00:09:25\r\n"
                                        "  TRACK 03 AUDIO\r\n    INDEX 01 00:20:00\r\n"));

    r = runProcess(cliPath(), {QStringLiteral("rip"), disc.cuePath, QStringLiteral("--cue"), cue});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("exists")) << r.err.toStdString();

    r = runProcess(cliPath(), {QStringLiteral("rip"), disc.cuePath, QStringLiteral("--cue"), path(QStringLiteral("x.cue")),
                               QStringLiteral("--format"), QStringLiteral("flac")});
    EXPECT_EQ(r.exitCode, 2);
    r = runProcess(cliPath(), {QStringLiteral("rip"), disc.cuePath});
    EXPECT_EQ(r.exitCode, 2);
    r = runProcess(cliPath(), {QStringLiteral("rip"), path(QStringLiteral("absent.cue")), QStringLiteral("--cue"),
                               path(QStringLiteral("y.cue"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("y.cue"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("y.wav"))));
}

TEST_F(CdCliFixture, DrivesListsAnImageAsADrive)
{
    const DiscImage disc = makeDiscImage(work.path(), QStringLiteral("disc"), {0, 300}, 600);
    const ProcessResult r = runProcess(cliPath(), {QStringLiteral("drives"), disc.cuePath, path(QStringLiteral("none.cue"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(disc.cuePath.toUtf8() + ": ")) << r.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith(")"));
    EXPECT_TRUE(r.err.contains("none.cue: no audio disc"));
    EXPECT_EQ(runProcess(cliPath(), {QStringLiteral("drives")}).exitCode, 0);
}

TEST_F(CdCliFixture, CddbPrintsTheDiscIdTheQueryAndTheTitles)
{
    // Two tracks: 0 and 10 s, 20 s long in all.
    const DiscImage disc = makeDiscImage(work.path(), QStringLiteral("disc"), {0, 750}, 1500);
    CannedHttpServer server;
    server.reply("cmd=cddb+query+05001402+2+150+900+20&hello=someone&proto=6",
                 "200 rock 0a0b0c0d Some Artist / Some Album\r\n");
    server.reply("cmd=cddb+read+rock+0a0b0c0d&hello=someone&proto=6",
                 "210 rock 0a0b0c0d CD database entry follows\r\nDTITLE=Some Artist / Some Album\r\n"
                 "DYEAR=1999\r\nTTITLE0=\xe6\x97\xa5\xe6\x9c\xac\r\nTTITLE1=Second\r\n.\r\n");
    const ProcessResult r = runServing(cliPath(), {QStringLiteral("cddb"), disc.cuePath, QStringLiteral("--server"),
                                                   QString::fromLatin1(server.url()), QStringLiteral("--hello"),
                                                   QStringLiteral("someone"), QStringLiteral("--proto"), QStringLiteral("6")});
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

    const ProcessResult failed = runServing(cliPath(), {QStringLiteral("cddb"), disc.cuePath, QStringLiteral("--server"),
                                                        QString::fromLatin1(server.url("/nothing"))});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.out.startsWith("disc id\t05001402\n"));
    EXPECT_TRUE(failed.err.contains("CDDB Failed"));
}
