// The batch chain from the command line on a generated collection: 20 albums of MP3 files that lame
// made from 20 CD images (79 tracks) (half of them carrying the disc's table of contents), and two decoy sheets.
// match pairs each album with its own image, validate-list accepts the list once the name-matched
// blocks have their track lists, and batch encodes every album to FLAC whose decoding by flac is the
// image's audio; a run killed at any moment leaves only complete files and the next run finishes.
#include "support/test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace vn::test {
namespace {

constexpr qsizetype SectorBytes = 2352;

struct Album {
    QString folder, cue, image;
    bool wav = false, mcdi = false;
    std::vector<qsizetype> starts; // sectors, then the end
    QStringList files;
};

class BatchChain : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(root->isValid());
        const ProcessResult r = runPython(readFile(QStringLiteral(VORNELIC_SOURCE_DIR "/tests/batch/batch_collection.py")),
                                          {"audio", root->path(), "20", "2"});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonObject manifest = QJsonDocument::fromJson(r.out).object();
        for (const QJsonValue& v : manifest["albums"].toArray()) {
            const QJsonObject o = v.toObject();
            Album a{o["folder"].toString(), o["cue"].toString(), o["image"].toString(), o["wav"].toBool(),
                    o["mcdi"].toBool(), {}, {}};
            for (const QJsonValue& s : o["starts"].toArray())
                a.starts.push_back(s.toInteger());
            a.starts.push_back(o["end"].toInteger());
            for (const QJsonValue& f : o["files"].toArray())
                a.files << f.toString();
            albums.push_back(a);
        }
        for (const QJsonValue& v : manifest["decoys"].toArray())
            decoys << v.toObject()["cue"].toString();
    }
    static void TearDownTestSuite() { root.reset(); }

    static QString path(const QString& name) { return QDir(root->path()).filePath(name); }

    static QProcessEnvironment environment()
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("VORNELIC_HOME", path("home"));
        return env;
    }
    static ProcessResult cli(const QStringList& args)
    {
        QDir().mkpath(path("home"));
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(cliPath(), args);
        p.waitForFinished(600000);
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

    // The list as match writes it, then with a track list under each name-matched candidate, as the
    // user adds it.
    static QByteArray matchedList()
    {
        static QByteArray list;
        if (list.isEmpty()) {
            const ProcessResult r = cli({"match", "--mp3-root", path("A"), "--cue-folders", path("none") + ";" + path("cues"),
                                         "--list", path("list.txt"), "--log", path("log.txt")});
            EXPECT_EQ(r.exitCode, 0) << r.err.constData();
            list = readFile(path("list.txt"));
        }
        return list;
    }
    static QString completedList()
    {
        QByteArray out;
        QList<QByteArray> lines = matchedList().split('\n');
        lines.removeLast(); // after the last line end
        for (const QByteArray& line : lines) {
            out += line + '\n';
            if (line.startsWith('*')) {
                out += 'T';
                for (int k = 1; k <= line.mid(1, 3).trimmed().toInt(); ++k)
                    out += ' ' + QByteArray::number(k) + ':' + QByteArray::number(k);
                out += "\r\n";
            }
        }
        writeFile(path("list-done.txt"), out);
        return path("list-done.txt");
    }

    // The place of the album's pair in the list, from 0.
    static int pairIndex(const Album& a)
    {
        int k = 0;
        for (const QByteArray& line : matchedList().split('\n')) {
            if (!line.startsWith('A'))
                continue;
            if (line.contains("\"" + a.folder.toUtf8() + "\""))
                return k;
            ++k;
        }
        return -1;
    }

    // The image's audio of one track.
    static QByteArray trackPcm(const Album& a, int k)
    {
        const QByteArray image = readFile(a.image);
        const qsizetype base = a.wav ? 44 : 0;
        return image.mid(base + a.starts[size_t(k)] * SectorBytes, (a.starts[size_t(k + 1)] - a.starts[size_t(k)]) * SectorBytes);
    }
    static QByteArray flacDecode(const QString& file)
    {
        const ProcessResult r = runProcess("flac", {"-d", "-s", "-c", "--force-raw-format", "--endian=little",
                                                    "--sign=signed", file});
        EXPECT_EQ(r.exitCode, 0) << file.toStdString() << r.err.constData();
        return r.out;
    }
    // Where an album's FLAC files go under out: one level of the A folder above its own.
    static QString outputOf(const QString& out, const Album& a, int k)
    {
        const QString stem = a.files[k].left(a.files[k].lastIndexOf('.'));
        return QDir(out).filePath(QDir(a.folder).absolutePath().section('/', -2) + "/" + stem + ".flac");
    }

    static std::unique_ptr<QTemporaryDir> root;
    static std::vector<Album> albums;
    static QStringList decoys;
};

std::unique_ptr<QTemporaryDir> BatchChain::root;
std::vector<Album> BatchChain::albums;
QStringList BatchChain::decoys;

TEST_F(BatchChain, MatchPairsEveryAlbumWithItsOwnImageAndRejectsTheDecoys)
{
    ASSERT_EQ(albums.size(), 20u);
    const QString list = QString::fromUtf8(matchedList()).replace("\r\n", "\n");
    for (const QString& decoy : decoys)
        EXPECT_FALSE(list.contains(decoy)) << decoy.toStdString();
    const QStringList blocks = list.split("\n\n", Qt::SkipEmptyParts);
    ASSERT_EQ(blocks.size(), 20);
    for (const Album& a : albums) {
        SCOPED_TRACE(a.folder.toStdString());
        const auto it = std::find_if(blocks.begin(), blocks.end(),
                                     [&](const QString& b) { return b.startsWith(QStringLiteral("A%1 \"%2\"").arg(a.files.size(), 3).arg(a.folder)); });
        ASSERT_NE(it, blocks.end());
        const QStringList lines = it->split('\n', Qt::SkipEmptyParts);
        QString items;
        for (int k = 1; k <= a.files.size(); ++k)
            items += QStringLiteral(" %1:%1").arg(k);
        if (a.mcdi) {
            // The table decides: one sheet, each file its own track, nothing doubtful.
            ASSERT_EQ(lines.size(), 3);
            EXPECT_EQ(lines[1], QStringLiteral("M%1 \"%2\"").arg(a.files.size(), 3).arg(a.cue));
            EXPECT_EQ(lines[2], "T" + items);
        } else {
            // Words and length: the one sheet of this album's name and length.
            ASSERT_EQ(lines.size(), 2);
            EXPECT_TRUE(lines[0].endsWith("###No MCDI"));
            EXPECT_TRUE(lines[1].startsWith(QStringLiteral("*%1 \"%2\" ").arg(a.files.size(), 3).arg(a.cue))) << lines[1].toStdString();
        }
    }
    // The log names each file with the table it read (its track starts as the sheet has them).
    const QByteArray log = readFile(path("log.txt"));
    const Album& first = albums[0];
    QByteArray toc = QByteArray::number(first.files.size(), 16).toUpper();
    for (qsizetype s : first.starts)
        toc += '+' + QByteArray::number(s + 150, 16).toUpper();
    EXPECT_TRUE(log.contains("\"" + QDir(first.folder).filePath(first.files[0]).toUtf8() + "\" " + toc + " '"));
}

TEST_F(BatchChain, ValidateListWantsTheUsersTrackListsThenAcceptsTheList)
{
    ASSERT_TRUE(writeFile(path("list-raw.txt"), matchedList()));
    const ProcessResult raw = cli({"validate-list", path("list-raw.txt")});
    EXPECT_EQ(raw.exitCode, 1);
    EXPECT_TRUE(raw.err.contains("Track Correspondence List not found.\n"));
    EXPECT_TRUE(raw.err.endsWith("Total Error Count 10\n")) << raw.err.constData();

    const ProcessResult done = cli({"validate-list", completedList()});
    ASSERT_EQ(done.exitCode, 0) << done.err.constData();
    const QList<QByteArray> lines = done.out.split('\n');
    ASSERT_GE(lines.size(), 80); // per pair its number, A folder, cue sheet and items
    EXPECT_EQ(lines[0], "1");
    EXPECT_EQ(lines[76], "20");
}

TEST_F(BatchChain, BatchEncodesEveryAlbumAndAKilledRunIsFinishedByTheNext)
{
    const QString list = completedList();
    const QString out = path("out");
    // Killed twice, after the first files and later, then run to its end.
    for (const int linesBeforeKill : {1, 30}) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(cliPath(), {"batch", "--list", list, "--encoder", "flac", "--output", out, "--jobs", "2"});
        ASSERT_TRUE(p.waitForStarted());
        QByteArray seen;
        while (seen.count('\n') < linesBeforeKill && p.state() == QProcess::Running) {
            p.waitForReadyRead(60000);
            seen += p.readAllStandardOutput();
        }
        p.kill();
        p.waitForFinished();
        // Whatever stands under a final name is complete.
        QDirIterator it(out, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (it.fileName().startsWith('.'))
                continue;
            bool known = false;
            for (const Album& a : albums) {
                for (int k = 0; k < a.files.size(); ++k) {
                    if (outputOf(out, a, k) == file) {
                        known = true;
                        EXPECT_EQ(flacDecode(file), trackPcm(a, k)) << file.toStdString();
                    }
                }
            }
            EXPECT_TRUE(known) << file.toStdString();
        }
    }
    const ProcessResult r = cli({"batch", "--list", list, "--encoder", "flac", "--output", out, "--jobs", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    int files = 0;
    for (const Album& a : albums) {
        for (int k = 0; k < a.files.size(); ++k) {
            ++files;
            EXPECT_EQ(flacDecode(outputOf(out, a, k)), trackPcm(a, k)) << a.folder.toStdString() << " " << k;
        }
    }
    EXPECT_EQ(files, 79); // 3, 4 or 5 tracks an album
    // A finished run has nothing left to do.
    const ProcessResult again = cli({"batch", "--list", list, "--encoder", "flac", "--output", out});
    EXPECT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_TRUE(again.out.isEmpty());
}

TEST_F(BatchChain, ShardsSplitThePairsBetweenThem)
{
    const QString list = completedList();
    for (const char* shard : {"0/3", "1/3", "2/3"}) {
        const ProcessResult r = cli({"batch", "--list", list, "--encoder", "flac", "--output", path("shards"), "--shard", shard});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        // Pair k (from 0, in list order) belongs to shard k mod 3.
        const int upTo = shard[0] - '0';
        for (const Album& a : albums) {
            const int k = pairIndex(a);
            EXPECT_EQ(QFile::exists(outputOf(path("shards"), a, 0)), k % 3 <= upTo) << shard << " " << k;
        }
    }
}

TEST_F(BatchChain, BackupModeMovesEachFolderAfterItsPair)
{
    // Two albums of their own, so the shared collection stays as it is.
    QStringList blocks;
    for (int i : {0, 1}) {
        const Album& a = albums[size_t(i)];
        const QString copy = path(QStringLiteral("own/%1/%2").arg(i).arg(QDir(a.folder).dirName()));
        QDir().mkpath(copy);
        for (const QString& f : a.files)
            ASSERT_TRUE(QFile::copy(QDir(a.folder).filePath(f), QDir(copy).filePath(f)));
        QString items;
        for (int k = 1; k <= a.files.size(); ++k)
            items += QStringLiteral(" %1:%1").arg(k);
        blocks << QStringLiteral("A  3 \"%1\"\nM  3 \"%2\"\nT%3\n").arg(copy, a.cue, items);
    }
    ASSERT_TRUE(writeFile(path("own.txt"), blocks.join("\n").toUtf8()));
    QDir().mkpath(path("own-temp"));
    const ProcessResult r = cli({"batch", "--list", path("own.txt"), "--encoder", "flac", "--backup", path("own-bkup"),
                                 "--temp", path("own-temp")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    for (int i : {0, 1}) {
        const Album& a = albums[size_t(i)];
        const QString copy = path(QStringLiteral("own/%1/%2").arg(i).arg(QDir(a.folder).dirName()));
        for (int k = 0; k < a.files.size(); ++k) {
            const QString stem = a.files[k].left(a.files[k].lastIndexOf('.'));
            EXPECT_FALSE(QFile::exists(QDir(copy).filePath(a.files[k])));
            EXPECT_EQ(flacDecode(QDir(copy).filePath(stem + ".flac")), trackPcm(a, k));
            EXPECT_EQ(readFile(path(QStringLiteral("own-bkup/%1/%2/%3").arg(i).arg(QDir(a.folder).dirName(), a.files[k]))),
                      readFile(QDir(a.folder).filePath(a.files[k])));
        }
    }
    EXPECT_TRUE(QDir(path("own-temp")).isEmpty());
    EXPECT_TRUE(r.out.contains(QDir(path("own/0")).filePath(QDir(albums[0].folder).dirName()).toUtf8()));
}

TEST_F(BatchChain, UsageErrorsAndWhatThisBuildCannotDo)
{
    const QString list = completedList();
    EXPECT_EQ(cli({"batch", "--list", list, "--shard", "3/3"}).exitCode, 2);
    EXPECT_EQ(cli({"batch", "--list", list, "--shard", "x"}).exitCode, 2);
    EXPECT_EQ(cli({"batch", "--list", list, "--output", "o", "--backup", "b"}).exitCode, 2);
    EXPECT_EQ(cli({"batch", "--list", list, "--ext", ".ogg"}).exitCode, 2);
    EXPECT_EQ(cli({"batch"}).exitCode, 2);
    EXPECT_EQ(cli({"match", "--list", list}).exitCode, 2);
    const ProcessResult tool = cli({"batch", "--list", list, "--encoder", "ffmpeg", "--output", path("never")});
    EXPECT_EQ(tool.exitCode, 1);
    EXPECT_EQ(tool.err, "FFmpeg is not available: FFmpeg_Exe is not set\n");
    EXPECT_FALSE(QFile::exists(path("never")));
    // A list with errors runs nothing and says why.
    ASSERT_TRUE(writeFile(path("bad.txt"), "A  1 \"" + path("nowhere").toUtf8() + "\"\n"));
    const ProcessResult bad = cli({"batch", "--list", path("bad.txt"), "--encoder", "flac", "--output", path("never")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "Error in line 1. No Cue sheet.\nTotal Error Count 1\n");
    EXPECT_FALSE(QFile::exists(path("never")));
}

} // namespace
} // namespace vn::test
