// Move Files and the level folders: the folder names, the moves in Backup mode, and the moves that
// are refused without a file going missing.
#include "encode/encode_fixtures.h"
#include "encode/move_files.h"

namespace vn::test {
namespace {

class LevelFolders : public EncodeFolders {
protected:
    int make(int levels, bool reuse, const LevelFolderNames* names = nullptr)
    {
        base = settings.Path_Bkup;
        return makeLevelFolder(path, base, "/Music/Artist/Album", levels, reuse, feedback, names);
    }
    QString path, base;
};

TEST_F(LevelFolders, RepeatTheLastLevelsOfFolderAAndAreReused)
{
    EXPECT_EQ(make(1, true), 0);
    EXPECT_EQ(path, base + "/Artist/Album");
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(make(1, true), 0); // reused
    EXPECT_EQ(make(2, true), 0);
    EXPECT_EQ(path, base + "/Music/Artist/Album");
    EXPECT_EQ(make(3, true), LevelTooFewLevels);
    EXPECT_TRUE(path.isEmpty());
    EXPECT_TRUE(feedback.messages.isEmpty());
}

TEST_F(LevelFolders, NotReusedTheyAreNumbered)
{
    EXPECT_EQ(make(0, false), 0);
    EXPECT_EQ(path, base + "/Album");
    EXPECT_EQ(make(0, false), 1);
    EXPECT_EQ(path, base + "/Album_1");
    EXPECT_EQ(make(0, false), 2);
    EXPECT_EQ(path, base + "/Album_2");
}

TEST_F(LevelFolders, NamesFromTheDiscFillTheMissingAndReplaceSlashes)
{
    const LevelFolderNames disc{"Jazz", QString(), "Blue/Train"};
    EXPECT_EQ(make(3, true, &disc), 0);
    EXPECT_EQ(path, base + "/Jazz/Jazz/unknown artist/Blue_Train");
}

TEST_F(LevelFolders, AFileWhereAFolderShouldBeShowsTheErrorBox)
{
    writeFile(dir.filePath("plain"), "x");
    EXPECT_EQ(makeLevelFolder(path, dir.filePath("plain"), a, 0, true, feedback), LevelCannotCreate);
    ASSERT_EQ(feedback.messages.size(), 1);
    EXPECT_TRUE(feedback.messages[0].startsWith("Error : SHCreateDirectoryEx|Error (SHCreateDirectoryEx)\n System Error Code="));
}

class MoveTest : public EncodeFolders {
protected:
    void SetUp() override
    {
        EncodeFolders::SetUp();
        settings.BkupFldr_Level = 0;
        for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) {
            writeMp3(a, QLatin1String(name), 3, rowFrame(3, RowTitle, name), cbrFrames(1));
            writeMp3(b, QLatin1String(name), 3, rowFrame(3, RowEncodedBy, "b"), cbrFrames(2));
        }
        ASSERT_EQ(compare(), 0);
        ReplaceOutcome outcome;
        replaceOrEncode(state, settings, ReplaceOptions{}, feedback, pairs, outcome);
        for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) {
            original[name] = readFile(inA(name));
            produced[name] = readFile(temp(QLatin1String(name)));
        }
    }
    int move(bool backupMode = true)
    {
        steps.clear();
        return moveFiles(state, settings, backupMode, pairs, int(pairs.size()), feedback, &steps);
    }
    QString inA(const char* name) const { return QDir(a).filePath(QLatin1String(name)); }
    QString backup(const char* name) const { return dir.filePath(QStringLiteral("bkup/A/")) + QLatin1String(name); }

    PairList pairs;
    std::vector<MoveStep> steps;
    std::map<std::string, QByteArray> original, produced;
};

TEST_F(MoveTest, MovesAIntoTheBackupAndTheNewFilesIntoAInBackupModeOnly)
{
    EXPECT_EQ(move(false), 0);
    EXPECT_TRUE(steps.empty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("bkup/A"))));
    EXPECT_EQ(move(), 0);
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) {
        EXPECT_EQ(readFile(backup(name)), original[name]);
        EXPECT_EQ(readFile(inA(name)), produced[name]);
    }
    EXPECT_TRUE(QDir(settings.Path_Temp).isEmpty());
}

TEST_F(MoveTest, RefusedMovesLeaveBothFilesWhereTheyWere)
{
    // 1: a backup of that name is there already. 2: no produced file. 3: a file of that name that
    // Replace Tags did not write for this A file.
    QDir().mkpath(dir.filePath(QStringLiteral("bkup/A")));
    writeFile(backup("1.mp3"), "an earlier backup");
    QFile::remove(temp(QStringLiteral("2.mp3")));
    writeMp3(settings.Path_Temp, QStringLiteral("3.mp3"), 3, rowFrame(3, RowTitle, "other album"), cbrFrames(1));
    EXPECT_EQ(move(), 0);
    EXPECT_EQ(readFile(backup("1.mp3")), QByteArray("an earlier backup"));
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3"})
        EXPECT_EQ(readFile(inA(name)), original[name]) << name;
    EXPECT_EQ(readFile(temp(QStringLiteral("1.mp3"))), produced["1.mp3"]);
    EXPECT_TRUE(QFileInfo::exists(temp(QStringLiteral("3.mp3"))));
    EXPECT_TRUE(std::none_of(steps.begin(), steps.end(), [](const MoveStep& s) { return s.done; }));
    // Folder A too short for the levels asked: nothing moves.
    settings.BkupFldr_Level = 40;
    EXPECT_EQ(move(), LevelTooFewLevels);
    EXPECT_TRUE(steps.empty());
}

} // namespace
} // namespace vn::test
