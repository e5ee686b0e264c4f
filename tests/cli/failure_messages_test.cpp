// Failures the command line once reported as success, or with a message that misled: each now ends
// with exit code 1, the program's own text, and the cause (the file concerned, the system's error).
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vn::test {
namespace {

struct FailureMessages : ::testing::Test {
    QTemporaryDir dir;

    QString path(const QString& relative) const { return dir.filePath(relative); }
    void put(const QString& relative, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        ASSERT_TRUE(writeFile(path(relative), bytes));
    }
    // As root every folder can be read, so a folder without permissions is read by nobody.
    ProcessResult cli(const QStringList& args, bool asNobody = false)
    {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VORNELIC_HOME"), path("home"));
        p.setProcessEnvironment(env);
        if (asNobody && ::geteuid() == 0)
            p.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
        p.start(cliPath(), args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return {-2, {}, {}};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }
    QByteArray mp3(const QByteArray& title) const
    {
        return id3Tag(3, id3Frame(3, "TIT2", '\0' + title) + QByteArray(16, '\0')) + cbrFrames(4);
    }
};

QByteArray systemText(int error)
{
    return QByteArray(std::strerror(error));
}

TEST_F(FailureMessages, DumpOfABrokenOrEmptyFileFailsAndSaysWhy)
{
    const QByteArray fmt16 = QByteArray::fromHex("01000200" "44ac0000" "10b10200" "04001000");
    auto riff = [](const QByteArray& chunks) { return "RIFF" + QByteArray(4, '\x24') + "WAVE" + chunks; };
    put("nofmt.wav", riff("data" + QByteArray::fromHex("04000000") + "abcd"));
    put("shortfmt.wav", riff("fmt " + QByteArray::fromHex("08000000") + fmt16.left(8) + "data" + QByteArray(4, '\0')));
    // An RF64 file as ffmpeg writes one.
    const ProcessResult made = runProcess(QStringLiteral("ffmpeg"), {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                                                     "sine=duration=0.1", "-rf64", "always", path("rf64.wav")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    for (const char* empty : {"empty.wav", "empty.m4a", "empty.flac", "empty.mka", "empty.mp3"})
        put(QLatin1String(empty), {});
    put("text.m4a", "not an MP4 file at all");
    put("text.flac", "not a FLAC file at all");
    put("text.mka", "not a Matroska file at all");

    const struct {
        const char* file;
        const char* cause;
    } cases[] = {
        {"nofmt.wav", "no fmt chunk"},
        {"shortfmt.wav", "no fmt chunk"},
        {"rf64.wav", "RF64"},
        {"empty.wav", "the file is empty"},
        {"empty.m4a", "the file is empty"},
        {"empty.flac", "the file is empty"},
        {"empty.mka", "the file is empty"},
        {"empty.mp3", "the file is empty"},
        {"text.m4a", "not an MP4 file"},
        {"text.flac", "no fLaC signature"},
        {"text.mka", "no EBML header"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = cli({"dump", path(QLatin1String(c.file))});
        EXPECT_EQ(r.exitCode, 1) << c.file;
        EXPECT_TRUE(r.out.isEmpty()) << c.file << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.file) && r.err.contains(c.cause)) << r.err.toStdString();
    }
    // A pipe under a music name is no file to read: refused at once, not waited on.
    ASSERT_EQ(::mkfifo(path("pipe.flac").toLocal8Bit().constData(), 0600), 0);
    const ProcessResult pipe = cli({"dump", path("pipe.flac")});
    EXPECT_EQ(pipe.exitCode, 1) << pipe.err.toStdString();
    EXPECT_TRUE(pipe.err.contains("not a regular file")) << pipe.err.toStdString();
}

TEST_F(FailureMessages, ReplaceTagsWithAnOffsetThatLeavesNoPairsWritesNothingAndSaysSo)
{
    for (const char* name : {"1.mp3", "2.mp3"}) {
        put(QStringLiteral("A/%1").arg(QLatin1String(name)), mp3("A"));
        put(QStringLiteral("B/%1").arg(QLatin1String(name)), mp3("B"));
    }
    QDir().mkpath(path("temp"));
    const ProcessResult r = cli({"replace-tags", path("A"), path("B"), "--offset", "5", "--temp", path("temp")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no A file has a B partner with track offset 5")) << r.err.toStdString();
    EXPECT_TRUE(QDir(path("temp")).isEmpty());
}

TEST_F(FailureMessages, AFileOfASideThatCannotBeReadIsNamedWithItsCause)
{
    put("A/01.mp3", mp3("one"));
    put("B/01.mp3", mp3("one"));
    put("B/02.mp3", mp3("two"));
    ASSERT_EQ(::symlink("/nonexistent/02.mp3", path("A/02.mp3").toLocal8Bit().constData()), 0);

    // The list keeps the row; the run says it could not read the file, and fails.
    const ProcessResult compare = cli({"compare", path("A"), path("B")});
    EXPECT_EQ(compare.exitCode, 1);
    EXPECT_TRUE(compare.out.contains("A2\t02.mp3\tunreadable")) << compare.out.toStdString();
    EXPECT_TRUE(compare.err.contains("cannot read " + path("A/02.mp3").toUtf8() + ": " + systemText(ENOENT)))
        << compare.err.toStdString();

    // Replace Tags keeps its message and adds which file made Folder A's kinds differ.
    QDir().mkpath(path("temp"));
    const ProcessResult replace = cli({"replace-tags", path("A"), path("B"), "--temp", path("temp")});
    EXPECT_EQ(replace.exitCode, 1);
    EXPECT_TRUE(replace.err.contains("Folder-A : Inconsistent Tag Version")) << replace.err.toStdString();
    EXPECT_TRUE(replace.err.contains(path("A/02.mp3").toUtf8() + ": " + systemText(ENOENT))) << replace.err.toStdString();
    EXPECT_TRUE(QDir(path("temp")).isEmpty());

    // A container file that cannot be opened is unreadable too, not an empty row of its kind.
    QDir().mkpath(path("F"));
    ASSERT_EQ(::symlink("/nonexistent/x.flac", path("F/x.flac").toLocal8Bit().constData()), 0);
    const ProcessResult flac = cli({"compare", path("F"), path("B")});
    EXPECT_EQ(flac.exitCode, 1);
    EXPECT_TRUE(flac.out.contains("A1\tx.flac\tunreadable")) << flac.out.toStdString();
}

TEST_F(FailureMessages, FolderBThatIsAFileOrCannotBeReadSaysSo)
{
    put("A/01.mp3", mp3("one"));
    put("B/01.mp3", mp3("one"));
    const ProcessResult file = cli({"compare", path("A"), path("B/01.mp3")});
    EXPECT_EQ(file.exitCode, 1);
    EXPECT_TRUE(file.err.contains("Error : Folder-B not exists (" + path("B/01.mp3").toUtf8() + ": is a file, not a folder)"))
        << file.err.toStdString();
    const ProcessResult none = cli({"compare", path("A"), path("none")});
    EXPECT_TRUE(none.err.contains("Error : Folder-B not exists (" + path("none").toUtf8() + ": " + systemText(ENOENT) + ")"))
        << none.err.toStdString();

    // A folder whose names cannot be listed is no folder without audio.
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(::chmod(path("A").toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(::chmod(path("A/01.mp3").toLocal8Bit().constData(), 0644), 0);
    ASSERT_EQ(::chmod(path("B").toLocal8Bit().constData(), 0111), 0);
    const ProcessResult closed = cli({"compare", path("A"), path("B")}, true);
    ::chmod(path("B").toLocal8Bit().constData(), 0755);
    EXPECT_EQ(closed.exitCode, 1);
    EXPECT_TRUE(closed.err.contains("Error : No audio file in Folder-B (" + path("B").toUtf8() + ": " + systemText(EACCES) + ")"))
        << closed.err.toStdString();
}

TEST_F(FailureMessages, ACueSheetThatCannotBeUsedNamesItsImageAndWhy)
{
    QDir().mkpath(path("A"));
    put("A/01.mp3", mp3("one"));
    put("c/short.bin", QByteArray(2352 * 10, '\1'));
    put("c/empty.bin", {});
    QDir().mkpath(path("c/folder.bin"));
    const QByteArray tracks = "\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n";
    const struct {
        const char* image;
        QByteArray cause;
    } cases[] = {
        {"missing.bin", systemText(ENOENT)},
        {"folder.bin", "is a folder"},
        {"empty.bin", "the image file is empty"},
        {"short.bin", "the image file is too short"},
    };
    for (const auto& c : cases) {
        const QString cue = path(QStringLiteral("c/%1.cue").arg(QLatin1String(c.image)));
        ASSERT_TRUE(writeFile(cue, "FILE \"" + QByteArray(c.image) + tracks));
        const QByteArray expected = "Error : Illegal Cue sheet (" + path("c/" + QLatin1String(c.image)).toUtf8() + ": ";
        for (const QStringList& args : {QStringList{"dump", cue}, QStringList{"compare", path("A"), cue}}) {
            const ProcessResult r = cli(args);
            EXPECT_EQ(r.exitCode, 1) << c.image;
            EXPECT_TRUE(r.err.contains(expected) && r.err.contains(c.cause)) << r.err.toStdString();
        }
    }
}

} // namespace
} // namespace vn::test
