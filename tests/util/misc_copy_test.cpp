// Misc file copy: which files go, into which existing folders, and that a copy that fails or is
// refused never leaves less than the destination had.
#include "file_tree_fixture.h"
#include "util/misc_copy.h"

#include <QDateTime>
#include <csignal>
#include <sys/resource.h>

namespace vn::test {
namespace {

struct MiscCopy : FileTree {
    // Eight files to copy into dst (one of them over an older cover), music files and a folder with
    // no counterpart in dst to leave out, a pipe, and a link to nothing that fails.
    void SetUp() override
    {
        for (const char* name : {"src/cover.jpg", "src/notes.txt", "src/disc.cue", "src/noext", "src/a.mp3",
                                 "src/track.FLAC", "src/take.Wav", "src/x.opus", "src/v.webm", "src/m.mka", "src/o.ogg",
                                 "src/i.m4a", "src/vid.MP4", "src/.hidden", "src/A/booklet.pdf", "src/A/log.log",
                                 "src/A/01.m4a", "src/A/Sub/deep.txt", "src/B/x.jpg", "src/.dotdir/file.txt"})
            put(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(path("src/pipe.txt")).constData(), 0644), 0);
        link(path("src/gone.jpg"), "src/dangling.jpg");
        put("dst/cover.jpg", "an older cover");
        put("dst/keep.txt", "only here");
        folder("dst/A/Sub");
        folder("dst/.dotdir");
    }
    RecordingFeedback feedback;
};

TEST_F(MiscCopy, CopiesEveryOtherFileIntoFoldersThatExist)
{
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'500'000'000);
    {
        QFile cover(path("src/cover.jpg"));
        ASSERT_TRUE(cover.open(QIODevice::ReadWrite) && cover.setFileTime(old, QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(runMiscFileCopy({path("src"), path("dst"), false}, feedback), 8u);
    EXPECT_EQ(feedback.messages, QStringList{"Result: Misc File Copy Utility|8 files copied\n1 files could not be copied"});
    EXPECT_EQ(filesUnder("dst"), QStringList({".dotdir/file.txt", "A/Sub/deep.txt", "A/booklet.pdf", "A/log.log",
                                              "cover.jpg", "disc.cue", "keep.txt", "noext", "notes.txt"}));
    EXPECT_FALSE(QFileInfo::exists(path("dst/B"))); // no folder is made
    EXPECT_EQ(readFile(path("dst/cover.jpg")), QByteArray("src/cover.jpg"));
    EXPECT_EQ(readFile(path("dst/A/Sub/deep.txt")), QByteArray("src/A/Sub/deep.txt"));
    EXPECT_EQ(readFile(path("dst/keep.txt")), QByteArray("only here"));
    EXPECT_EQ(QFileInfo(path("dst/cover.jpg")).lastModified(), old);
}

TEST_F(MiscCopy, ToldNotToReplaceLeavesWhatIsThereUncounted)
{
    const MiscCopyResult kept = copyMiscFiles(path("src"), path("dst"), true, feedback);
    EXPECT_EQ(kept.copied, 7u);
    EXPECT_EQ(kept.failed, QStringList{path("src/dangling.jpg")});
    EXPECT_EQ(readFile(path("dst/cover.jpg")), QByteArray("an older cover"));
}

TEST_F(MiscCopy, NoDestinationOrTheSourceItselfTakesNothing)
{
    EXPECT_EQ(copyMiscFiles(path("src"), path("nowhere"), false, feedback).copied, 0u);
    const ino_t before = inodeOf(path("src/notes.txt"));
    const MiscCopyResult self = copyMiscFiles(path("src"), path("src"), false, feedback);
    EXPECT_EQ(self.copied, 0u);
    EXPECT_EQ(self.failed, QStringList{path("src/dangling.jpg")});
    EXPECT_EQ(inodeOf(path("src/notes.txt")), before);
}

TEST_F(MiscCopy, AnAbortStopsBetweenFiles)
{
    feedback.abortAfterPumps = 1;
    EXPECT_EQ(copyMiscFiles(path("src"), path("dst"), false, feedback).copied, 1u);
}

TEST_F(FileTree, MiscCopyFollowsLinksToFoldersOnlyInsideTheirTree)
{
    put("outside/secret.txt");
    put("src/A/a.txt");
    put("src/Esc/e.txt");
    put("elsewhere/untouched.txt", "mine");
    link(path("outside"), "src/Out");   // leads out of the source tree
    link(path("src/A"), "src/In");      // stays inside it
    link(path("src"), "src/A/Loop");    // back up the tree
    link(path("elsewhere"), "dst-Esc"); // a destination folder that leads out of its tree
    for (const char* name : {"dst/A/Loop", "dst/Out", "dst/In"})
        folder(name);
    ASSERT_TRUE(QFile::rename(path("dst-Esc"), path("dst/Esc")));

    SilentFeedback silent;
    const MiscCopyResult result = copyMiscFiles(path("src"), path("dst"), false, silent);
    EXPECT_TRUE(result.failed.isEmpty());
    // A is copied once; through In or through A depends on the listing order, never both ways.
    const QStringList files = filesUnder("dst");
    EXPECT_EQ(result.copied, 1u);
    EXPECT_TRUE(files == QStringList{"A/a.txt"} || files == QStringList{"In/a.txt"}) << files.join(' ').toStdString();
    EXPECT_EQ(filesUnder("elsewhere"), QStringList{"untouched.txt"});
}

struct MiscCopyFailing : FileTree {
    void SetUp() override
    {
        put("src/cover.jpg", QByteArray(4000, 'P'));
        put("src/back.jpg", QByteArray(4000, 'P'));
        put("dst/cover.jpg", "an older, whole cover");
        put("dst/back.jpg", "an older, whole back");
    }
    void expectDestinationWhole()
    {
        EXPECT_EQ(readFile(path("dst/cover.jpg")), QByteArray("an older, whole cover"));
        EXPECT_EQ(readFile(path("dst/back.jpg")), QByteArray("an older, whole back"));
        EXPECT_EQ(filesUnder("dst"), QStringList({"back.jpg", "cover.jpg"})); // no temporary file left
    }
};

TEST_F(MiscCopyFailing, AFullDiskLeavesTheOlderFilesWhole)
{
    // The file-size limit stops every write past 1,000 bytes.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SilentFeedback silent;
    const MiscCopyResult full = copyMiscFiles(path("src"), path("dst"), false, silent);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(full.copied, 0u);
    EXPECT_EQ(full.failed.size(), 2);
    expectDestinationWhole();
}

TEST_F(MiscCopyFailing, AReadOnlyFolderTakesNothingAndSaysSo)
{
    RecordingFeedback feedback;
    {
        ReadOnlyFolder readOnly(path("dst"));
        ASSERT_TRUE(readOnly.holds());
        EXPECT_EQ(runMiscFileCopy({path("src"), path("dst"), false}, feedback), 0u);
    }
    EXPECT_EQ(feedback.messages, QStringList{"Result: Misc File Copy Utility|0 files copied\n2 files could not be copied"});
    expectDestinationWhole();
}

} // namespace
} // namespace vn::test
