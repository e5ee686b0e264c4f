// A writer killed part way through, or stopped by a full disk, leaves every original file as it was
// and no partial file under a real name; Move Files afterwards moves only what was completed.
#include "encode/encode_fixtures.h"

#include <QFileInfo>
#include <map>

namespace vn::test {
namespace {

class CrashSafety : public EncodeFolders {
protected:
    void SetUp() override
    {
        EncodeFolders::SetUp();
        const int frames[] = {10, 300, 10}; // the second file is beyond the limit
        for (int i = 0; i < 3; ++i) {
            writeMp3(a, QStringLiteral("%1.mp3").arg(i), 3, rowFrame(3, RowTitle, QByteArray::number(i)), cbrFrames(2));
            writeMp3(b, QStringLiteral("%1.mp3").arg(i), 3, rowFrame(3, RowEncodedBy, "B"), cbrFrames(frames[i]));
        }
        before = snapshot();
    }
    std::map<QString, QByteArray> snapshot() const
    {
        std::map<QString, QByteArray> files;
        for (const QString& f : {a, b})
            for (const QString& name : QDir(f).entryList(QDir::Files))
                files[f + "/" + name] = readFile(f + "/" + name);
        return files;
    }
    // replace-tags into t with every file past 64 KiB refused, the program killed when it writes one.
    ProcessResult replaceTags(const QString& t, bool kill, bool* crashed)
    {
        QDir().mkpath(t);
        return runCli({"replace-tags", a, b, "--temp", t}, {dir.path(), 64 * 1024, kill, crashed});
    }
    std::map<QString, QByteArray> before;
};

TEST_F(CrashSafety, AFullDiskFailsTheRunAndLosesNothing)
{
    const QString t = dir.filePath("t-full");
    bool crashed = true;
    const ProcessResult r = replaceTags(t, false, &crashed);
    EXPECT_FALSE(crashed);
    EXPECT_TRUE(r.exitCode == 1 && r.err.contains("Cannot create")) << r.err.toStdString();
    EXPECT_EQ(snapshot(), before);
    // The first file stands complete; nothing else is left.
    EXPECT_EQ(splitMp3(readFile(t + "/0.mp3")).audio, cbrFrames(10));
    EXPECT_EQ(folderEntries(t), QStringList{"0.mp3"});
}

TEST_F(CrashSafety, AKilledWriterLosesNothingAndMoveFilesMovesOnlyWhatWasCompleted)
{
    const QString t = dir.filePath("t-killed");
    bool crashed = false;
    const ProcessResult r = replaceTags(t, true, &crashed);
    EXPECT_TRUE(crashed) << r.err.toStdString();
    EXPECT_EQ(snapshot(), before);
    // The first file is named once its data is on the disk, which may come after the writing of
    // the second has begun: the kill leaves it complete or without a name, never short.
    const bool firstNamed = QFileInfo::exists(t + "/0.mp3");
    if (firstNamed) {
        EXPECT_EQ(splitMp3(readFile(t + "/0.mp3")).audio, cbrFrames(10));
    }
    for (const QString& name : folderEntries(t))
        EXPECT_TRUE(name == u"0.mp3" || (name.startsWith(u"_tmp") && name.endsWith(u".part"))) << name.toStdString();

    // Only a completed file takes A's place, and only once (the folders named as a script in
    // their parent folder would name them).
    const QStringList move{"move", QDir(dir.path()).relativeFilePath(a), "--temp", "t-killed", "--backup", "bk", "--levels", "0"};
    CliRun inParent{dir.path()};
    inParent.workingDirectory = dir.path();
    const ProcessResult moved = runCli(move, inParent);
    EXPECT_EQ(moved.exitCode, 0) << moved.err.toStdString();
    if (firstNamed) {
        EXPECT_EQ(moved.out.count('\n'), 2);
        EXPECT_EQ(readFile(dir.filePath("bk/A/0.mp3")), before.at(a + "/0.mp3"));
        EXPECT_EQ(splitMp3(readFile(a + "/0.mp3")).audio, cbrFrames(10));
    } else {
        EXPECT_TRUE(moved.out.isEmpty()) << moved.out.toStdString();
        EXPECT_EQ(readFile(a + "/0.mp3"), before.at(a + "/0.mp3"));
    }
    for (const char* name : {"/1.mp3", "/2.mp3"})
        EXPECT_EQ(readFile(a + name), before.at(a + name));
    const ProcessResult again = runCli(move, inParent);
    EXPECT_TRUE(again.exitCode == 0 && again.out.isEmpty());
}

} // namespace
} // namespace vn::test
