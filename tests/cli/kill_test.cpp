// Every command that writes files, killed with SIGKILL at random moments and stopped by a full disk
// (a file-size limit): no input file changes, every file under a final name is complete (the bytes
// an uninterrupted run writes), and running the command again finishes the job and leaves no
// temporary behind. VORNELIC_KILL_COUNT sets the kills per command: a few by default, 50 for the
// full run.
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <ostream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vn::test {
namespace {

// Relative path -> bytes, of every file under a folder. Names are taken as the bytes they are: some
// inputs have names that are not UTF-8.
using Tree = std::map<QByteArray, QByteArray>;

QByteArray readBytes(const QByteArray& path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    ::close(fd);
    return bytes;
}

bool putBytes(const QByteArray& path, const QByteArray& bytes)
{
    QDir().mkpath(QString::fromUtf8(path.left(path.lastIndexOf('/'))));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    if (fd >= 0)
        ::close(fd);
    return ok;
}

void collect(const QByteArray& root, const QByteArray& relative, Tree& tree)
{
    DIR* dir = ::opendir((root + relative).constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = relative + "/" + name;
        struct stat st;
        if (::lstat((root + path).constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            collect(root, path, tree);
        else
            tree[path.mid(1)] = readBytes(root + path);
    }
    ::closedir(dir);
}

Tree snapshot(const QString& root)
{
    Tree tree;
    collect(root.toUtf8(), {}, tree);
    return tree;
}

// The names the program's writers give a file before it is complete, and those of the outside
// tools' files (".vornelic-XXXXXX.m4a" beside the output, "_tmpXXXXXX.wav", "_tmppictXXXXXX.jpg").
bool isTemporaryName(const QByteArray& relative)
{
    const QByteArray name = relative.mid(relative.lastIndexOf('/') + 1);
    return name.startsWith(".vornelic-") || name.startsWith("_tmp");
}

// A Move Files journal: named after the moment of its run, so no two runs name theirs alike.
bool isJournalName(const QByteArray& relative)
{
    const QByteArray name = relative.mid(relative.lastIndexOf('/') + 1);
    return name.startsWith("MoveFiles_") && name.endsWith(".journal");
}

struct Outcome {
    int exitCode = -1;
    bool killed = false;
    QByteArray err;
};

// The command-line program with its settings folder at home. killAfterMs >= 0: SIGKILL after that
// long unless it ended before. limit: files cannot grow past it (as on a full disk: the write fails).
Outcome runCli(const QStringList& args, const QString& home, int killAfterMs = -1, rlim_t limit = RLIM_INFINITY)
{
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORNELIC_HOME"), home);
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([limit] {
        const rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        signal(SIGXFSZ, SIG_IGN);
    });
    p.start(cliPath(), args);
    Outcome out;
    if (!p.waitForStarted(10000))
        return out;
    if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs)) {
        p.kill();
        out.killed = true;
    }
    p.waitForFinished(120000);
    out.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
    out.err = p.readAllStandardError();
    return out;
}

// One writing command: its inputs, made once, and its arguments.
struct WritingCommand {
    const char* name;
    std::function<void(const QString& work)> prepare;
    std::function<QStringList(const QString& work)> arguments;
    rlim_t fullDiskLimit;        // bytes a file may reach in the full-disk run: less than a file it writes
    const char* fullDiskMessage; // the program's own error text then
    // The command moves its inputs (Move Files): each input's bytes must then stand under exactly
    // one of its two names, the one before the run or the one after it, and the journals are left
    // out of the comparisons.
    bool moves = false;
};

void PrintTo(const WritingCommand& command, std::ostream* os)
{
    *os << command.name;
}

QByteArray noise(qsizetype size, uint64_t seed)
{
    QByteArray bytes(size, '\0');
    SplitMix mix{seed};
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(mix.next());
    return bytes;
}

bool put(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeFile(path, bytes);
}

// Names as collections have them: spaces, Japanese, and bytes that are no UTF-8 (Latin-1 from an
// old system), which must pair with their own partners and be written back unchanged.
QByteArray oddName(int k)
{
    static const char* const names[] = {" Intro.mp3", " \xe5\xa4\x9c\xe3\x81\xab.mp3", " Caf\xe9.mp3"};
    return QByteArray::number(k).rightJustified(2, '0') + names[k % 3];
}

void prepareReplaceTags(const QString& work)
{
    const QByteArray w = work.toUtf8();
    for (int k = 1; k <= 20; ++k) {
        const QByteArray title = "Title " + QByteArray::number(k);
        putBytes(w + "/A/" + oddName(k), id3Tag(3, id3Frame(3, "TIT2", '\0' + title) +
                                                     id3Frame(3, "TPE1", QByteArray("\0Artist", 7)) + QByteArray(64, '\0')) +
                                              cbrFrames(8));
        putBytes(w + "/B/" + oddName(k), id3Tag(3, id3Frame(3, "TENC", QByteArray("\0B side", 7)) + QByteArray(32, '\0')) +
                                              cbrFrames(280 + k));
    }
    QDir().mkpath(work + "/temp");
}

void prepareMkvTags(const QString& work)
{
    QDir().mkpath(work);
    const ProcessResult made = runProcess(QStringLiteral("ffmpeg"),
                                          {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                           "sine=frequency=330:duration=30", "-ac", "2", "-c:a", "pcm_s16le",
                                           work + "/song.mka"});
    ASSERT_EQ(made.exitCode, 0) << "ffmpeg: " << made.err.toStdString();
    put(work + "/cover.png", "\x89PNG\r\n\x1a\n" + noise(40000, 7));
}

void preparePlaylists(const QString& work)
{
    for (int f = 0; f < 10; ++f) {
        QByteArray list = "#EXTM3U\r\n";
        for (int e = 0; e < 300; ++e) {
            const QByteArray name = "track " + QByteArray::number(e) + ".flac";
            list += "#EXTINF:200,Artist - Title " + QByteArray::number(e) + "\r\n" + name + "\r\n";
            if (e % 30 == 0)
                put(QStringLiteral("%1/lists/%2/%3").arg(work).arg(f).arg(QString::fromLatin1(name)), "");
        }
        put(QStringLiteral("%1/lists/%2/album.m3u").arg(work).arg(f), list);
    }
}

void prepareCopyMisc(const QString& work)
{
    for (int f = 0; f < 3; ++f) {
        for (int k = 0; k < 10; ++k)
            putBytes(QStringLiteral("%1/src/d%2/").arg(work).arg(f).toUtf8() + oddName(k).replace(".mp3", ".jpg"),
                     noise(20000 + 18000 * k, uint64_t(f * 10 + k)));
        put(QStringLiteral("%1/src/d%2/music.flac").arg(work).arg(f), noise(1000, 99));
        QDir().mkpath(QStringLiteral("%1/dst/d%2").arg(work).arg(f));
    }
    putBytes(work.toUtf8() + "/dst/d1/" + oddName(3).replace(".mp3", ".jpg"), "an older copy");
}

void prepareSettings(const QString& work)
{
    put(work + "/Vornelic.ini", "[folder]\r\npath_a=/music/a\r\nLAME_QUALITY=4\r\nEncoder_Selected=flac\r\n"
                                "[RipCD]\r\nRipCD_SectCount=13\r\n");
}

void prepareRip(const QString& work)
{
    constexpr int Sectors = 1500;
    put(work + "/disc/d.bin", noise(qsizetype(Sectors) * 2352, 3));
    put(work + "/disc/d.cue", "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 00:06:00\n  TRACK 03 AUDIO\n    INDEX 01 00:14:00\n");
    QDir().mkpath(work + "/out");
}

// A fresh settings folder for a run made while preparing.
Outcome runOnce(const QStringList& args)
{
    QTemporaryDir home;
    return runCli(args, home.path());
}

// Folder A and the files replace-tags wrote for it into the TempFile folder, as Move Files finds
// them after Replace Tags.
void prepareMove(const QString& work)
{
    prepareReplaceTags(work);
    const Outcome replaced = runOnce({"replace-tags", work + "/A", work + "/B", "--temp", work + "/temp"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err.toStdString();
    ASSERT_EQ(runProcess(QStringLiteral("rm"), {"-rf", work + "/B"}).exitCode, 0);
    QDir().mkpath(work + "/bkup");
}

// CD images with their cue sheets under cues/ and, for each, an album folder under A/<artist>/ of
// MP3 files lame made from the image's tracks, tagged by mutagen.
void makeCollection(const QString& work, int albums)
{
    const ProcessResult made = runPython(readFile(QStringLiteral(VORNELIC_SOURCE_DIR "/tests/batch/batch_collection.py")),
                                         {"audio", work, QString::number(albums), "0"});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
}

// One album of five tracks as A and its WAV image with the cue sheet at cd/disc.cue.
void prepareEncode(const QString& work)
{
    makeCollection(work + "/made", 3);
    QDir made(work + "/made/cues");
    const QStringList cues = made.entryList({"*.cue"}, QDir::Files, QDir::Name);
    QString cue, album;
    for (const QString& name : cues) {
        const QString stem = name.chopped(4);
        if (QFile::exists(made.filePath(stem + ".wav")) && album.isEmpty()) {
            cue = stem;
            const QStringList parts = stem.split(QStringLiteral(" - "));
            album = work + "/made/A/" + parts[0] + "/" + parts[1];
        }
    }
    ASSERT_FALSE(album.isEmpty()) << "no album with a WAV image";
    QDir().mkpath(work + "/cd");
    ASSERT_TRUE(QDir().rename(album, work + "/A"));
    ASSERT_TRUE(QDir().rename(made.filePath(cue + ".wav"), work + "/cd/" + cue + ".wav"));
    ASSERT_TRUE(QDir().rename(made.filePath(cue + ".cue"), work + "/cd/disc.cue"));
    ASSERT_EQ(runProcess(QStringLiteral("rm"), {"-rf", work + "/made"}).exitCode, 0);
    ASSERT_EQ(QDir(work + "/A").entryList({"*.mp3"}, QDir::Files).size(), 5);
    QDir().mkpath(work + "/temp");
}

void prepareBatch(const QString& work)
{
    makeCollection(work, 3);
    QDir().mkpath(work + "/out");
}

// The match list of the collection under work, with the track list of every pair: lists name
// their folders by full path, so it is written for the copy the run works on, beside it.
QString batchList(const QString& work)
{
    QStringList blocks;
    QDir cues(work + "/cues");
    for (const QString& name : cues.entryList({"*.cue"}, QDir::Files, QDir::Name)) {
        const QStringList parts = name.chopped(4).split(QStringLiteral(" - "));
        const QString folder = work + "/A/" + parts[0] + "/" + parts[1];
        const int tracks = int(QDir(folder).entryList({"*.mp3"}, QDir::Files).size());
        QString items;
        for (int k = 1; k <= tracks; ++k)
            items += QStringLiteral(" %1:%1").arg(k);
        blocks << QStringLiteral("A  %1 \"%2\"\nM  %1 \"%3\"\nT%4\n").arg(tracks).arg(folder, cues.filePath(name), items);
    }
    const QString list = QFileInfo(work).absolutePath() + "/batch-list.txt";
    writeFile(list, blocks.join("\n").toUtf8());
    return list;
}

const WritingCommand Commands[] = {
    {"replace_tags", prepareReplaceTags,
     [](const QString& w) { return QStringList{"replace-tags", w + "/A", w + "/B", "--temp", w + "/temp"}; }, 32 * 1024,
     "Cannot create"},
    {"mkv_tags", prepareMkvTags,
     [](const QString& w) {
         return QStringList{"mkv-tags", w + "/song.mka", "--title", "Intro", "--album", "Album", "--track", "1", "--cover",
                            w + "/cover.png"};
     },
     64 * 1024, "cannot write"},
    {"playlist_ext", preparePlaylists, [](const QString& w) { return QStringList{"playlist-ext", w + "/lists", "--ext", ".m4a"}; },
     4 * 1024, "left as it was"},
    {"copy_misc", prepareCopyMisc, [](const QString& w) { return QStringList{"copy-misc", w + "/src", w + "/dst"}; }, 64 * 1024,
     "could not copy"},
    {"save_settings", prepareSettings,
     [](const QString& w) { return QStringList{"--ini", w + "/Vornelic.ini", "--save", "settings"}; }, 512, "could not save"},
    {"rip", prepareRip,
     [](const QString& w) { return QStringList{"rip", w + "/disc/d.cue", "--cue", w + "/out/o.cue", "--format", "wav"}; },
     1024 * 1024, "The image file could not be written"},
    {"move", prepareMove,
     [](const QString& w) { return QStringList{"move", w + "/A", "--backup", w + "/bkup", "--temp", w + "/temp"}; }, 100,
     "The journal of Move Files cannot be written", true},
    {"encode_lame", prepareEncode,
     [](const QString& w) {
         return QStringList{"encode", w + "/A", w + "/cd/disc.cue", "--encoder", "lame", "--output", w + "/out"};
     },
     16 * 1024, "was not written"},
    {"encode_flac", prepareEncode,
     [](const QString& w) {
         return QStringList{"encode", w + "/A", w + "/cd/disc.cue", "--encoder", "flac", "--temp", w + "/temp"};
     },
     16 * 1024, "was not written"},
    {"batch", prepareBatch,
     [](const QString& w) { return QStringList{"batch", "--list", batchList(w), "--encoder", "flac", "--output", w + "/out"}; },
     16 * 1024, "Encode Error"},
};

class KillAtAnyMoment : public ::testing::TestWithParam<WritingCommand> {
protected:
    QTemporaryDir dir;
    QString pristine, work, home;
    Tree before; // the inputs
    Tree done;   // after an uninterrupted run

    void SetUp() override
    {
        pristine = dir.filePath("pristine");
        work = dir.filePath("work");
        home = dir.filePath("home");
        QDir().mkpath(home);
        GetParam().prepare(pristine);
        before = snapshot(pristine);
    }
    void TearDown() override
    {
        runProcess(QStringLiteral("rm"), {"-rf", dir.path()}); // names QTemporaryDir would not all find
    }
    void reset()
    {
        // By the bytes of the names, which QDir would not all find.
        ASSERT_EQ(runProcess(QStringLiteral("rm"), {"-rf", work}).exitCode, 0);
        ASSERT_EQ(runProcess(QStringLiteral("cp"), {"-a", pristine, work}).exitCode, 0);
    }
    // What a stopped run may leave: inputs as they were, a file rewritten in place either as it was
    // or complete, a new file absent or complete, and besides them only temporaries.
    // The files the comparisons look at: a run's journal names its moment.
    Tree comparable(Tree tree) const
    {
        if (GetParam().moves)
            std::erase_if(tree, [](const auto& entry) { return isJournalName(entry.first); });
        return tree;
    }
    Tree current() const { return comparable(snapshot(work)); }

    void expectNothingLost(const QString& when)
    {
        if (GetParam().moves)
            return expectNothingLostByMoves(when);
        const Tree now = snapshot(work);
        for (const auto& [name, bytes] : before) {
            const auto it = now.find(name);
            ASSERT_NE(it, now.end()) << when.toStdString() << ": input " << name.constData() << " is gone";
            if (done.at(name) == bytes)
                EXPECT_TRUE(it->second == bytes) << when.toStdString() << ": input " << name.constData() << " changed";
            else
                EXPECT_TRUE(it->second == bytes || it->second == done.at(name))
                    << when.toStdString() << ": " << name.constData() << " is neither the old file nor the new one";
        }
        for (const auto& [name, bytes] : now) {
            if (before.count(name))
                continue;
            if (done.count(name))
                EXPECT_TRUE(bytes == done.at(name)) << when.toStdString() << ": " << name.constData() << " is incomplete";
            else
                EXPECT_TRUE(isTemporaryName(name)) << when.toStdString() << ": " << name.constData() << " should not be there";
        }
    }
    // Files that move: the bytes of every input stand under exactly one name, either its own or
    // the one it has after an uninterrupted run, and nothing else stands but temporaries.
    void expectNothingLostByMoves(const QString& when)
    {
        const Tree now = current();
        std::map<QByteArray, QByteArray> doneName; // bytes -> name after the run
        for (const auto& [name, bytes] : done)
            doneName[bytes] = name;
        std::set<QByteArray> placed;
        for (const auto& [name, bytes] : before) {
            ASSERT_TRUE(doneName.count(bytes)) << "an uninterrupted run lost " << name.constData();
            const QByteArray& after = doneName.at(bytes);
            const int found = int(now.count(name) && now.at(name) == bytes) +
                              int(after != name && now.count(after) && now.at(after) == bytes);
            EXPECT_EQ(found, 1) << when.toStdString() << ": " << name.constData() << " stands under " << found
                                << " of its names (" << after.constData() << ")";
            placed.insert(now.count(name) && now.at(name) == bytes ? name : after);
        }
        for (const auto& [name, bytes] : now)
            EXPECT_TRUE(placed.count(name) || isTemporaryName(name))
                << when.toStdString() << ": " << name.constData() << " should not be there";
    }
    // A rerun after a stop finishes the job, temporaries of the stopped run included.
    void expectRerunFinishes(const QString& when)
    {
        if (current() == done)
            return; // stopped after its last step
        const Outcome again = runCli(GetParam().arguments(work), home);
        EXPECT_EQ(again.exitCode, 0) << when.toStdString() << ", rerun: " << again.err.toStdString();
        EXPECT_TRUE(current() == done) << when.toStdString() << ": the rerun did not finish the job";
    }
};

TEST_P(KillAtAnyMoment, LosesNothingAndARerunFinishesTheJob)
{
    const WritingCommand& command = GetParam();
    reset();
    QElapsedTimer clock;
    clock.start();
    const Outcome reference = runCli(command.arguments(work), home);
    const qint64 runMs = clock.elapsed();
    ASSERT_EQ(reference.exitCode, 0) << reference.err.toStdString();
    done = current();
    ASSERT_NE(done, before) << "the command wrote nothing";
    clock.restart();
    runCli({"--version"}, home);
    const qint64 startMs = clock.elapsed();

    const int kills = qEnvironmentVariableIsSet("VORNELIC_KILL_COUNT") ? qEnvironmentVariableIntValue("VORNELIC_KILL_COUNT") : 6;
    SplitMix mix{uint64_t(std::strlen(command.name)) * 7919};
    // Kills that come after the run has ended are no kills: go on until enough came while it ran.
    int inFlight = 0;
    int halfDone = 0; // stopped with part of the job done, or a temporary of it standing
    const int from = int(startMs * 3 / 4);
    int to = int(runMs + runMs / 10);
    int k = 0;
    for (; inFlight < kills && k < 4 * kills; ++k) {
        reset();
        // Mostly after the start-up, where the writing happens; now and then before it.
        const int delay = from + int(mix.below(uint32_t(std::max(1, to - from))));
        const QString when = QStringLiteral("%1, kill %2 after %3 ms").arg(QLatin1String(command.name)).arg(k).arg(delay);
        const Outcome stopped = runCli(command.arguments(work), home, delay);
        inFlight += stopped.killed ? 1 : 0;
        if (!stopped.killed) // it ends sooner now than the first run did
            to = std::max(from + 1, delay - 1);
        const Tree after = current();
        halfDone += after != before && after != done ? 1 : 0;
        expectNothingLost(when);
        expectRerunFinishes(when);
    }
    std::printf("%s: %d kills while running, of %d tries, %d of them half way through the job (a run takes %lld ms, "
                "start-up %lld ms)\n",
                command.name, inFlight, k, halfDone, (long long)runMs, (long long)startMs);
    RecordProperty("kills_while_running", inFlight);

    // A full disk: the program's own error with the system's cause, and the same guarantees.
    reset();
    const Outcome full = runCli(command.arguments(work), home, -1, command.fullDiskLimit);
    EXPECT_EQ(full.exitCode, 1) << full.err.toStdString();
    EXPECT_TRUE(full.err.contains(command.fullDiskMessage) && full.err.contains(std::strerror(EFBIG))) << full.err.toStdString();
    expectNothingLost(QStringLiteral("%1 on a full disk").arg(QLatin1String(command.name)));
    for (const auto& [name, bytes] : snapshot(work))
        EXPECT_FALSE(isTemporaryName(name)) << "a failed run left " << name.constData();
    expectRerunFinishes(QStringLiteral("%1 after a full disk").arg(QLatin1String(command.name)));
}

INSTANTIATE_TEST_SUITE_P(WritingCommands, KillAtAnyMoment, ::testing::ValuesIn(Commands),
                         [](const ::testing::TestParamInfo<WritingCommand>& info) { return std::string(info.param.name); });

} // namespace
} // namespace vn::test
