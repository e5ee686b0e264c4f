// A writer killed part way through, or stopped by a full disk, leaves every original file as it was
// and no partial file under a real name; Move Files afterwards moves only what was completed.
#include "encode/encode_fixtures.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <map>
#include <sys/resource.h>

namespace vn::test {
namespace {

// The command-line program under a file-size limit: a larger file kills it (SIGXFSZ) or, with the
// signal ignored, fails its write as a full disk would.
ProcessResult cli(const QStringList& args, const QString& home, rlim_t limit = RLIM_INFINITY, bool ignore = false,
                  bool* crashed = nullptr)
{
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORNELIC_HOME"), home);
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([limit, ignore] {
        const rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        if (ignore)
            signal(SIGXFSZ, SIG_IGN);
    });
    p.start(cliPath(), args);
    p.waitForFinished(120000);
    if (crashed)
        *crashed = p.exitStatus() == QProcess::CrashExit;
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

TEST_F(EncodeFolders, KilledOrFullDiskWriterLosesNothing)
{
    const int frames[] = {10, 300, 10}; // the second file is beyond the limit
    for (int i = 0; i < 3; ++i) {
        writeMp3(a, QStringLiteral("%1.mp3").arg(i), 3, rowFrame(3, RowTitle, QByteArray::number(i)), cbrFrames(2));
        writeMp3(b, QStringLiteral("%1.mp3").arg(i), 3, rowFrame(3, RowEncodedBy, "B"), cbrFrames(frames[i]));
    }
    const auto snapshot = [&] {
        std::map<QString, QByteArray> files;
        for (const QString& f : {a, b})
            for (const QString& name : QDir(f).entryList(QDir::Files))
                files[f + "/" + name] = readFile(f + "/" + name);
        return files;
    };
    const auto before = snapshot();
    const QString killed = dir.filePath("t-killed"), full = dir.filePath("t-full");
    for (const QString& t : {killed, full}) {
        QDir().mkpath(t);
        bool crashed = false;
        const ProcessResult r = cli({"replace-tags", a, b, "--temp", t}, dir.path(), 64 * 1024, t == full, &crashed);
        EXPECT_EQ(crashed, t == killed) << r.err.toStdString();
        if (t == full) {
            EXPECT_TRUE(r.exitCode == 1 && r.err.contains("Cannot create")) << r.err.toStdString();
        }
        EXPECT_EQ(snapshot(), before);
        // The first file stands complete; nothing else has a real name.
        EXPECT_EQ(splitMp3(readFile(t + "/0.mp3")).audio, cbrFrames(10));
        for (const QString& name : QDir(t).entryList(QDir::Files))
            EXPECT_TRUE(name == u"0.mp3" || (t == killed && name.startsWith(u"_tmp") && name.endsWith(u".part"))) << name.toStdString();
    }

    // Move Files after the killed run: only the completed file takes A's place, and only once.
    const QStringList move{"move", a, "--temp", killed, "--backup", dir.filePath("bk"), "--levels", "0"};
    const ProcessResult moved = cli(move, dir.path());
    EXPECT_EQ(moved.exitCode, 0) << moved.err.toStdString();
    EXPECT_EQ(moved.out.count('\n'), 2);
    EXPECT_EQ(readFile(dir.filePath("bk/A/0.mp3")), before.at(a + "/0.mp3"));
    EXPECT_EQ(splitMp3(readFile(a + "/0.mp3")).audio, cbrFrames(10));
    for (const char* name : {"/1.mp3", "/2.mp3"})
        EXPECT_EQ(readFile(a + name), before.at(a + name));
    const ProcessResult again = cli(move, dir.path());
    EXPECT_TRUE(again.exitCode == 0 && again.out.isEmpty());
}

} // namespace
} // namespace vn::test
