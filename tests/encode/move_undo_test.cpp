// Undo of Move Files: after a complete run, after runs killed at random moments, twice in a row, for
// names that are not UTF-8, and from journals whose last move was cut short in every way a crash
// can leave it. Every file must end where it was before the move, byte for byte, and no file may be
// replaced on the way.
#include "encode/encode_fixtures.h"
#include "encode/move_files.h"
#include "encode/move_journal.h"
#include "util/file_name.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vn::test {
namespace {

using Tree = std::map<QByteArray, QByteArray>;

// Every file under root (by the names' bytes) with its content; the journals themselves left out.
void walk(const QByteArray& root, const QByteArray& relative, Tree& tree)
{
    DIR* d = ::opendir((root + relative).constData());
    ASSERT_NE(d, nullptr) << (root + relative).constData();
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == ".." || name.endsWith(".journal"))
            continue;
        const QByteArray path = relative + '/' + name;
        struct stat st;
        ASSERT_EQ(::lstat((root + path).constData(), &st), 0);
        if (S_ISDIR(st.st_mode)) {
            walk(root, path, tree);
        } else {
            QFile f;
            ASSERT_TRUE(openForReading(f, pathFromBytes(root + path)));
            tree[path] = f.readAll();
        }
    }
    ::closedir(d);
}

// Under a name given as bytes, as an old system's copy would leave it.
void writeRaw(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

// Removes everything under root by the names' own bytes, which the temporary folder's own clean-up
// cannot do for a name that is not UTF-8.
void removeTree(const QByteArray& root)
{
    DIR* d = ::opendir(root.constData());
    while (const dirent* e = d ? ::readdir(d) : nullptr) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = root + '/' + name;
        struct stat st;
        if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            removeTree(path);
            ::rmdir(path.constData());
        } else {
            ::unlink(path.constData());
        }
    }
    if (d)
        ::closedir(d);
}

Tree snapshot(const QString& root)
{
    Tree tree;
    walk(pathBytes(root), QByteArray(), tree);
    return tree;
}

QStringList journalLines(const QString& journal)
{
    return QString::fromLatin1(readFile(journal)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class UndoTest : public EncodeFolders {
protected:
    void SetUp() override
    {
        EncodeFolders::SetUp();
        settings.BkupFldr_Level = 0;
    }
    void TearDown() override { removeTree(pathBytes(dir.path())); }
    // n pairs of small MP3 files, compared and replaced into the TempFile folder.
    void prepare(const QList<QByteArray>& names)
    {
        for (const QByteArray& name : names) {
            writeRaw(pathBytes(a) + '/' + name, id3Tag(3, rowFrame(3, RowTitle, "A " + name)) + cbrFrames(1));
            writeRaw(pathBytes(b) + '/' + name, id3Tag(3, rowFrame(3, RowEncodedBy, "b")) + cbrFrames(2));
        }
        ASSERT_EQ(compare(), 0);
        ReplaceOutcome outcome;
        ASSERT_EQ(replaceOrEncode(state, settings, ReplaceOptions{}, feedback, pairs, outcome), names.size());
        ASSERT_EQ(outcome.writeCode, WriteOk);
    }
    int undo(std::vector<UndoStep>& steps, bool* cutShort = nullptr)
    {
        return undoMoveJournal(lastMoveJournal(settings.Path_Bkup), steps, cutShort);
    }
    QString bkup(const QString& name) const { return dir.filePath(QStringLiteral("bkup/A/")) + name; }

    PairList pairs;
};

TEST_F(UndoTest, PutsEveryFileBackAfterACompleteRunAndASecondUndoChangesNothing)
{
    prepare({"1.mp3", "2.mp3", "3.mp3"});
    const Tree before = snapshot(dir.path());
    ASSERT_EQ(moveFiles(state, settings, true, pairs, int(pairs.size()), feedback), 0);
    ASSERT_NE(snapshot(dir.path()), before);
    // One line per move, written before it; the run closed its journal.
    const QString journal = lastMoveJournal(settings.Path_Bkup);
    const QStringList lines = journalLines(journal);
    ASSERT_EQ(lines.size(), 1 + 6 + 1) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("end"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("move\t1\t")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("/A/1.mp3\t") + dir.path() + QStringLiteral("/bkup/A/1.mp3")));

    std::vector<UndoStep> steps;
    bool cutShort = true;
    EXPECT_EQ(undo(steps, &cutShort), UndoOk);
    EXPECT_FALSE(cutShort);
    ASSERT_EQ(steps.size(), 6u);
    // Newest first: the new file leaves Folder A before A's own file comes back.
    EXPECT_EQ(steps[0].from, QDir(a).filePath(QStringLiteral("3.mp3")));
    EXPECT_EQ(steps[0].to, temp(QStringLiteral("3.mp3")));
    EXPECT_EQ(steps[1].from, bkup(QStringLiteral("3.mp3")));
    for (const UndoStep& s : steps)
        EXPECT_EQ(s.result, UndoResult::MovedBack);
    EXPECT_EQ(snapshot(dir.path()), before);

    EXPECT_EQ(undo(steps), UndoAlreadyDone);
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(UndoTest, NamesThatAreNotUtf8SurviveTheJournal)
{
    const QByteArray odd("\xff\xfe titre\t%41.mp3", 16); // a stray byte, a blank, a tab, a percent sign
    prepare({odd, "plain.mp3"});
    const Tree before = snapshot(dir.path());
    ASSERT_EQ(before.count("/A/" + odd), 1u);
    ASSERT_EQ(moveFiles(state, settings, true, pairs, int(pairs.size()), feedback), 0);
    ASSERT_EQ(snapshot(dir.path()).count("/bkup/A/" + odd), 1u);
    const QByteArray text = readFile(lastMoveJournal(settings.Path_Bkup));
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; }));
    EXPECT_TRUE(text.contains("/A/%FF%FE%20titre%09%2541.mp3\t")) << text.constData();
    std::vector<UndoStep> steps;
    EXPECT_EQ(undo(steps), UndoOk);
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(UndoTest, MovesBetweenFileSystemsAreUndoneToo)
{
    // The TempFile folder in memory, Folder A and the Backup folder on the disk: every move copies.
    QTemporaryDir memory(QStringLiteral("/dev/shm/vornelic-undo-XXXXXX"));
    ASSERT_TRUE(memory.isValid());
    struct stat disk, shm;
    ASSERT_EQ(::stat(pathBytes(dir.path()).constData(), &disk), 0);
    ASSERT_EQ(::stat(pathBytes(memory.path()).constData(), &shm), 0);
    ASSERT_NE(disk.st_dev, shm.st_dev);
    settings.Path_Temp = memory.path();
    const QByteArray odd("\xe9t\xe9.mp3", 7); // Latin-1, not UTF-8
    prepare({odd, "plain.mp3"});
    const Tree before = snapshot(dir.path()), beforeTemp = snapshot(memory.path());
    ASSERT_EQ(beforeTemp.count("/" + odd), 1u);
    ASSERT_EQ(moveFiles(state, settings, true, pairs, int(pairs.size()), feedback), 0);
    EXPECT_TRUE(snapshot(memory.path()).empty());
    std::vector<UndoStep> steps;
    EXPECT_EQ(undo(steps), UndoOk);
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_EQ(snapshot(memory.path()), beforeTemp);
    removeTree(pathBytes(memory.path()));
}

// Journals written here as a crash could leave them: the last move recorded and then cut short.
class CutShortJournal : public UndoTest {
protected:
    void SetUp() override
    {
        UndoTest::SetUp();
        from = dir.filePath(QStringLiteral("A/x.mp3"));
        to = dir.filePath(QStringLiteral("bkup/x.mp3"));
        journal = dir.filePath(QStringLiteral("bkup/MoveFiles_20240101_000000_000.journal"));
    }
    void writeJournal(const QByteArray& body)
    {
        ASSERT_TRUE(writeFile(journal, "Vornelic Move Files journal 1\n" + body));
    }
    QByteArray moveLine(int n, int64_t size) const
    {
        return "move\t" + QByteArray::number(n) + '\t' + QByteArray::number(size) + '\t' + from.toUtf8() + '\t'
               + to.toUtf8() + '\n';
    }
    int undoIt(std::vector<UndoStep>& steps) { return undoMoveJournal(journal, steps); }

    QString from, to, journal;
};

TEST_F(CutShortJournal, EachStateOfTheLastMoveIsUndoneOrLeftAlone)
{
    std::vector<UndoStep> steps;
    // Recorded, not yet moved.
    writeFile(from, "track");
    writeJournal(moveLine(1, 5));
    EXPECT_EQ(undoIt(steps), UndoOk);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].result, UndoResult::NothingToDo);
    EXPECT_EQ(readFile(from), QByteArray("track"));

    // Moved, the journal not closed; a line cut short after it is no record.
    QFile::rename(from, to);
    writeJournal(moveLine(1, 5) + "move\t2\t5\t/A/y");
    EXPECT_EQ(undoIt(steps), UndoOk);
    EXPECT_EQ(steps.at(0).result, UndoResult::MovedBack);
    EXPECT_EQ(readFile(from), QByteArray("track"));
    EXPECT_FALSE(QFileInfo::exists(to));

    // Copied across file systems, the source not yet removed: the copy goes.
    writeFile(to, "track");
    writeJournal(moveLine(1, 5));
    EXPECT_EQ(undoIt(steps), UndoOk);
    EXPECT_EQ(steps.at(0).result, UndoResult::LeftoverRemoved);
    EXPECT_EQ(readFile(from), QByteArray("track"));
    EXPECT_FALSE(QFileInfo::exists(to));

    // The move would have failed: another file already had the name. Both stay.
    writeFile(to, "an older backup");
    writeJournal(moveLine(1, 5));
    EXPECT_EQ(undoIt(steps), UndoOk);
    EXPECT_EQ(steps.at(0).result, UndoResult::NothingToDo);
    EXPECT_EQ(readFile(from), QByteArray("track"));
    EXPECT_EQ(readFile(to), QByteArray("an older backup"));
}

TEST_F(CutShortJournal, NeverReplacesAFileNorMovesOneThatChanged)
{
    std::vector<UndoStep> steps;
    // A closed run whose file came back... and something new stands where it came from.
    writeFile(to, "track");
    writeFile(from, "a new file");
    writeJournal(moveLine(1, 5) + "end\n");
    EXPECT_EQ(undoIt(steps), UndoIncomplete);
    EXPECT_EQ(steps.at(0).result, UndoResult::Occupied);
    EXPECT_EQ(readFile(from), QByteArray("a new file"));
    EXPECT_EQ(readFile(to), QByteArray("track"));
    // Nothing was marked undone: once the way is free, the next undo finishes the job.
    QFile::remove(from);
    EXPECT_EQ(undoIt(steps), UndoOk);
    EXPECT_EQ(readFile(from), QByteArray("track"));

    // The file at the destination is not the size that was moved there.
    QFile::rename(from, to);
    writeFile(to, "track, edited since");
    writeJournal(moveLine(1, 5) + "end\n");
    EXPECT_EQ(undoIt(steps), UndoIncomplete);
    EXPECT_EQ(steps.at(0).result, UndoResult::Changed);
    EXPECT_FALSE(QFileInfo::exists(from));

    // A move the run recorded as failed is not touched.
    writeJournal(moveLine(1, 19) + "failed\t1\nend\n");
    EXPECT_EQ(undoIt(steps), UndoOk);
    EXPECT_TRUE(steps.empty());
    EXPECT_TRUE(QFileInfo::exists(to));
}

TEST_F(CutShortJournal, AJournalThatCannotBeReadMovesNothing)
{
    writeFile(to, "track");
    const QByteArray good = moveLine(1, 5);
    std::vector<UndoStep> steps;
    for (const QByteArray& body : {QByteArray("mvoe\t1\t5\t/a\t/b\n"), QByteArray("move\t1\t5\trelative\t/b\n"),
                                   QByteArray("move\tx\t5\t/a\t/b\n"), QByteArray("move\t1\t5\t/a\n"),
                                   QByteArray("back\t7\n"), good + good, good + "failed\t2\n",
                                   QByteArray("move\t1\t5\t/a%00b\t/b\n")}) {
        writeJournal(body);
        EXPECT_EQ(undoIt(steps), UndoUnreadable) << body.constData();
        EXPECT_TRUE(QFileInfo::exists(to));
    }
    ASSERT_TRUE(writeFile(journal, "some other file\n" + good));
    EXPECT_EQ(undoIt(steps), UndoUnreadable);
    // A run stopped before its journal's first line was whole had moved nothing.
    for (const QByteArray& start : {QByteArray(), QByteArray("Vornelic Move")}) {
        ASSERT_TRUE(writeFile(journal, start));
        EXPECT_EQ(undoIt(steps), UndoOk);
        EXPECT_TRUE(steps.empty());
    }
    EXPECT_EQ(undoMoveJournal(dir.filePath(QStringLiteral("none.journal")), steps), UndoNoJournal);
    EXPECT_EQ(undoMoveJournal(QString(), steps), UndoNoJournal);
    EXPECT_TRUE(QFileInfo::exists(to));
}

// Files may grow only so far (as on a full disk): writes beyond the limit fail instead of
// killing the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t oldHandler_ = SIG_DFL;
};

TEST_F(UndoTest, NoFileMovesWithoutItsLineInTheJournal)
{
    prepare({"1.mp3", "2.mp3"});
    const Tree before = snapshot(dir.path());
    int code;
    {
        const FileSizeLimit full(0);
        code = moveFiles(state, settings, true, pairs, int(pairs.size()), feedback);
    }
    EXPECT_EQ(code, MoveJournalFailed);
    ASSERT_EQ(feedback.messages.size(), 1);
    EXPECT_TRUE(feedback.messages[0].startsWith(QStringLiteral("Move Files|The journal of Move Files cannot be written")));
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_TRUE(lastMoveJournal(settings.Path_Bkup).isEmpty());

    // Room for the first move's line and part of the second: A's first file goes to the backup
    // folder, its replacement cannot be recorded, so A's file comes back and the run stops.
    const QByteArray header = "Vornelic Move Files journal 1\n";
    const QByteArray first = "move\t1\t" + QByteArray::number(readFile(QDir(a).filePath("1.mp3")).size()) + '\t'
                             + QDir(a).filePath("1.mp3").toUtf8() + '\t' + bkup(QStringLiteral("1.mp3")).toUtf8() + '\n';
    {
        const FileSizeLimit full(rlim_t(header.size() + first.size() + 20));
        code = moveFiles(state, settings, true, pairs, int(pairs.size()), feedback);
    }
    EXPECT_EQ(code, MoveJournalFailed);
    EXPECT_EQ(snapshot(dir.path()), before);
    const QByteArray journal = readFile(lastMoveJournal(settings.Path_Bkup));
    EXPECT_TRUE(journal.startsWith(header + first)) << journal.constData();
    EXPECT_FALSE(journal.endsWith('\n')); // the second line, cut short
    std::vector<UndoStep> steps;
    EXPECT_EQ(undo(steps), UndoOk);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].result, UndoResult::NothingToDo);
    EXPECT_EQ(snapshot(dir.path()), before);
}

// The command line, killed at random moments of a run over many files, then undone.
class KilledMoveTest : public UndoTest {
protected:
    void SetUp() override
    {
        UndoTest::SetUp();
        qputenv("VORNELIC_HOME", dir.path().toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("VORNELIC_HOME");
        UndoTest::TearDown();
    }
    QStringList moveArgs() const
    {
        return {QStringLiteral("move"), a, QStringLiteral("--backup"), settings.Path_Bkup, QStringLiteral("--temp"),
                settings.Path_Temp, QStringLiteral("--levels"), QStringLiteral("0")};
    }
    ProcessResult undoCli() const
    {
        return runProcess(cliPath(), {QStringLiteral("undo-move"), QStringLiteral("--backup"), settings.Path_Bkup});
    }
    int journalMoves() const
    {
        const QString j = lastMoveJournal(settings.Path_Bkup);
        return j.isEmpty() ? 0 : int(readFile(j).count("move\t"));
    }
};

TEST_F(KilledMoveTest, EveryKilledRunIsUndoneToTheFilesBeforeIt)
{
    constexpr int Files = 40;
    for (int i = 0; i < Files; ++i) {
        const QString name = QStringLiteral("%1 track.mp3").arg(i, 2, 10, QLatin1Char('0'));
        writeMp3(a, name, 3, rowFrame(3, RowTitle, name.toUtf8()), cbrFrames(1 + i % 3));
        writeMp3(b, name, 3, rowFrame(3, RowEncodedBy, "b"), cbrFrames(2));
    }
    ProcessResult r = runProcess(cliPath(), {QStringLiteral("replace-tags"), a, b, QStringLiteral("--temp"), settings.Path_Temp});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const Tree before = snapshot(dir.path());

    // A complete run, undone twice.
    r = runProcess(cliPath(), moveArgs());
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    ASSERT_EQ(r.out.count('\n'), 2 * Files);
    ASSERT_NE(snapshot(dir.path()), before);
    r = undoCli();
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out.count('\n'), 2 * Files);
    EXPECT_EQ(snapshot(dir.path()), before);
    r = undoCli();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("undone already")) << r.err.constData();
    EXPECT_EQ(snapshot(dir.path()), before);

    // Killed: half the runs once the journal holds a chosen number of moves, half after a chosen
    // time (some before the journal exists, some after the run's end).
    SplitMix random{20};
    int cutShort = 0;
    for (int run = 0; run < 24; ++run) {
        const int journalsBefore = int(QDir(settings.Path_Bkup).entryList({QStringLiteral("*.journal")}).size());
        QProcess move;
        move.start(cliPath(), moveArgs());
        ASSERT_TRUE(move.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        if (run % 2 == 0) {
            const int wanted = 1 + int(random.below(2 * Files - 1));
            while (move.state() == QProcess::Running && clock.elapsed() < 60000) {
                const int journals = int(QDir(settings.Path_Bkup).entryList({QStringLiteral("*.journal")}).size());
                if (journals > journalsBefore && journalMoves() >= wanted)
                    break;
            }
        } else {
            QThread::usleep(random.below(150000));
        }
        ::kill(pid_t(move.processId()), SIGKILL);
        move.waitForFinished();
        const QString journal = lastMoveJournal(settings.Path_Bkup);
        if (!readFile(journal).endsWith("end\n") && !readFile(journal).contains("undone\n"))
            ++cutShort;
        r = undoCli();
        EXPECT_EQ(r.exitCode, 0) << "run " << run << ": " << r.err.constData();
        ASSERT_EQ(snapshot(dir.path()), before) << "run " << run;
    }
    // How many kills landed inside a run (the rest before its journal or after its end).
    RecordProperty("runs_cut_short", cutShort);
    std::cout << "[          ] " << cutShort << " of 24 killed runs were cut short\n";
}

} // namespace
} // namespace vn::test
