// The command line's --verify: compare adds the match column and nothing else; replace-tags refuses
// a shifted pair list, names its pairs and writes nothing, unless --force.
#include "album_fixtures.h"

namespace vn::test {
namespace {

class VerifyCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("VORNELIC_HOME", home.path().toUtf8());
    }
    void TearDown() override { qunsetenv("VORNELIC_HOME"); }
    static ProcessResult cli(const QStringList& args) { return runProcess(cliPath(), args); }
    static QList<QStringList> rows(const QByteArray& tsv)
    {
        QList<QStringList> out;
        for (const QString& line : QString::fromUtf8(tsv).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            out << line.split(QLatin1Char('\t'));
        return out;
    }
    QTemporaryDir home;
};

TEST_F(VerifyCli, CompareAddsTheMatchColumnOnlyWithVerify)
{
    const Albums& x = albums();
    const ProcessResult plain = cli({"compare", x.mp3, x.m4a});
    ASSERT_EQ(plain.exitCode, 0) << plain.err.constData();
    const ProcessResult verified = cli({"compare", x.mp3, x.m4a, "--verify"});
    ASSERT_EQ(verified.exitCode, 0) << verified.err.constData();
    const QList<QStringList> p = rows(plain.out), v = rows(verified.out);
    ASSERT_EQ(p.size(), 1 + 2 * AlbumTracks);
    ASSERT_EQ(v.size(), p.size());
    EXPECT_EQ(p[0].size(), 24);
    EXPECT_EQ(v[0].size(), 25);
    EXPECT_EQ(v[0].last(), QStringLiteral("match %"));
    for (qsizetype r = 0; r < v.size(); ++r) {
        EXPECT_EQ(v[r].mid(0, 24), p[r]) << r; // the 24 columns as they were
        if (r == 0)
            continue;
        if (r % 2 == 1) {
            EXPECT_TRUE(v[r][24].isEmpty()); // A rows
        } else {
            EXPECT_GE(v[r][24].toInt(), 90) << v[r][1].toStdString();
        }
    }

    // Shifted against the CD image: the unpaired rows stay empty, the pairs fall below 70.
    const ProcessResult shifted = cli({"compare", x.mp3, x.cue, "--verify", "--offset", "1"});
    ASSERT_EQ(shifted.exitCode, 0) << shifted.err.constData();
    const QList<QStringList> s = rows(shifted.out);
    ASSERT_EQ(s.size(), 1 + 2 * (AlbumTracks + 1));
    EXPECT_TRUE(s[2][24].isEmpty()); // B1: no partner of A1
    for (int r = 4; r <= 2 * AlbumTracks; r += 2) {
        bool number = false;
        EXPECT_LT(s[r][24].toInt(&number), 70) << s[r][1].toStdString();
        EXPECT_TRUE(number);
    }
    EXPECT_TRUE(s[2 * AlbumTracks + 2][24].isEmpty()); // the last track has no A partner
}

TEST_F(VerifyCli, ReplaceTagsRefusesMismatchedPairsUnlessForced)
{
    const Albums& x = albums();
    QTemporaryDir work;
    const QString temp = work.filePath("temp");
    QDir().mkpath(temp);
    const QStringList shifted = {"replace-tags", x.mp3, x.mp3b, "--temp", temp, "--offset", "1", "--verify"};
    ProcessResult r = cli(shifted);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QDir(temp).isEmpty());
    const QStringList err = QString::fromUtf8(r.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(err.size(), 1 + (AlbumTracks - 1) + 1) << r.err.constData();
    EXPECT_EQ(err[0], QStringLiteral("3 of 3 pairs do not sound like the same recording."));
    EXPECT_TRUE(err[1].startsWith(QStringLiteral("02 track.mp3 <-> 01 track.mp3: "))) << err[1].toStdString();
    EXPECT_TRUE(err[3].startsWith(QStringLiteral("04 track.mp3 <-> 03 track.mp3: ")));
    EXPECT_EQ(err.last(), QStringLiteral("Nothing was written; --force writes anyway."));

    r = cli(shifted + QStringList{"--force"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(QDir(temp).entryList(QDir::Files).size(), AlbumTracks - 1);
    EXPECT_TRUE(r.err.contains("3 of 3 pairs do not sound like the same recording."));

    // The right pairs pass the check and are written.
    QDir(temp).removeRecursively();
    QDir().mkpath(temp);
    r = cli({"replace-tags", x.mp3, x.mp3b, "--temp", temp, "--verify"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    EXPECT_EQ(QDir(temp).entryList(QDir::Files).size(), AlbumTracks);
}

} // namespace
} // namespace vn::test
