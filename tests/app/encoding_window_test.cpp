// Encoding B from the window: the CD image encoded as a job with its status texts, the error box,
// Move Files after it, and the two commands that encode CD images with their own tags (one image;
// every cue sheet of a folder, with "Abort Batch" between images).
#include "app/app_fixture.h"
#include "app/dialogs/browse_folder.h"
#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "encode/image_fixtures.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QTimer>

namespace vn::test {
namespace {

class EncodingWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        for (const char* folder : {"A", "bkup", "output", "temp", "images"})
            QDir(home.path()).mkpath(QLatin1String(folder));
    }
    void TearDown() override
    {
        setFolderChooser({});
        WindowTest::TearDown();
    }
    QString path(const QString& name) const { return home.filePath(name); }
    void writeSettings(const QString& cue, int levels = 0)
    {
        QByteArray ini = "[Folder]\nBkupFldr_Level=" + QByteArray::number(levels) + "\n";
        for (auto [key, folder] :
             {std::pair{"Path_A", "A"}, {"Path_Temp", "temp"}, {"Path_Bkup", "bkup"}, {"Path_Otpt", "output"}})
            ini += QByteArray(key) + "=" + path(folder).toUtf8() + "\n";
        ini += "Path_Cue=" + cue.toUtf8() + "\n[Encoder]\nEncoder_Selected=FLAC\n";
        writeIni(ini);
    }
    // FLAC is what this window offers; the menus follow the availability handed in.
    MainWindow& openInCdImageMode()
    {
        EncoderAvailability flac;
        flac.flac = true;
        MainWindow& w = open(flac);
        w.runCommand(BtnModeB);
        return w;
    }
    // Every file under a folder, by its path below it.
    QStringList filesUnder(const QString& folder) const
    {
        QStringList found;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(folder).relativeFilePath(it.next());
        found.sort();
        return found;
    }
};

// The status texts while a job runs, read each time the window is pumped.
struct StatusWatch {
    explicit StatusWatch(MainWindow& w)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, &w] {
            const QString text = w.statusText(2);
            if (seen.isEmpty() || seen.last() != text)
                seen << text;
        });
        timer.start(0);
    }
    QTimer timer;
    QStringList seen;
};

TEST_F(EncodingWindowTest, EncodingBWritesTheTracksThenMoveFilesPutsThemIntoA)
{
    writeMp3Folder(path("A"), 2, 3);
    const TestImage image = writeImage(home.path(), "disc", {30, 20}, true, 7);
    writeSettings(image.cue);
    MainWindow& w = openInCdImageMode();
    w.runCommand(BtnCompare);
    EXPECT_TRUE(enabled(BtnReplace));
    EXPECT_EQ(child<QAbstractButton>(&w, BtnReplace)->text(), "Encoding B");

    StatusWatch watch(w);
    w.runCommand(BtnReplace);
    watch.timer.stop();
    for (int t = 1; t <= 2; ++t)
        EXPECT_TRUE(flacDecode(path(QStringLiteral("temp/0%1 Title %1.flac").arg(t))) == image.trackPcm(t)) << t;
    EXPECT_EQ(filesUnder(path("temp")), (QStringList{"01 Title 1.flac", "02 Title 2.flac"}));
    const QRegularExpression running(QStringLiteral("^Track [12]/2 Encoding \\(Flac\\)\\.\\.\\.\\.$"));
    EXPECT_FALSE(watch.seen.filter(running).isEmpty()) << watch.seen.join('|').toStdString();
    EXPECT_EQ(w.statusText(2), "Track 2/2 Encoding completed");
    EXPECT_TRUE(enabled(BtnMoveFiles) && action(CmdMoveFiles)->isEnabled());

    // Move Files: A's MP3 files into the backup folder, the new FLAC files into A.
    const QByteArray originalA = readFile(path("A/01 Title 1.mp3"));
    w.runCommand(BtnMoveFiles);
    EXPECT_EQ(filesUnder(path("A")), (QStringList{"01 Title 1.flac", "02 Title 2.flac"}));
    EXPECT_EQ(readFile(path("bkup/A/01 Title 1.mp3")), originalA);
    EXPECT_TRUE(filesUnder(path("temp")).isEmpty());
    EXPECT_TRUE(w.statusText(2).isEmpty());
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    EXPECT_FALSE(enabled(BtnMoveFiles));
}

TEST_F(EncodingWindowTest, AFileInTheWayStopsTheRunWithTheErrorBoxAndIsKept)
{
    writeMp3Folder(path("A"), 2, 3);
    const TestImage image = writeImage(home.path(), "disc", {10, 10}, true);
    writeSettings(image.cue);
    writeFile(path("temp/02 Title 2.flac"), "the user's own");
    MainWindow& w = openInCdImageMode();
    w.runCommand(BtnCompare);
    EXPECT_EQ(boxOf(BtnReplace), "Encode Error|Encode Error 30\n");
    EXPECT_EQ(readFile(path("temp/02 Title 2.flac")), "the user's own");
    EXPECT_EQ(filesUnder(path("temp")), (QStringList{"01 Title 1.flac", "02 Title 2.flac"}));

    // Nothing selected to encode with: "Encode Error 1".
    w.settings().EncoderIndex = 0;
    EXPECT_EQ(boxOf(BtnReplace), "Encode Error|Encode Error 1\n");
}

// One image with its own tags: Output mode, the offset box at 0, a compare, and the tracks named
// after the image into the album artist's and the album's folder under the Output folder.
TEST_F(EncodingWindowTest, EncodeTheImageWithItsOwnTags)
{
    writeMp3Folder(path("A"), 1, 3);
    const TestImage image = writeImage(home.path(), "disc", {10, 15, 10}, true, 0, "First Disc");
    writeSettings(image.cue, 1);
    MainWindow& w = openInCdImageMode();
    edit("editTrackOffset")->setText("2");
    w.runCommand(CmdEncodeImage);
    EXPECT_FALSE(w.modes().backupMode);
    EXPECT_EQ(edit("editTrackOffset")->text(), "0");
    EXPECT_EQ(w.comparisonModel()->rowCount(), 6);
    const QStringList made{"Test_Artist/First_Disc/01_disc.flac", "Test_Artist/First_Disc/02_disc.flac",
                           "Test_Artist/First_Disc/03_disc.flac"};
    EXPECT_EQ(filesUnder(path("output")), made);
    EXPECT_TRUE(flacDecode(path("output/" + made[1])) == image.trackPcm(2));
    const ProcessResult tags =
        runProcess("metaflac", {"--show-tag=TITLE", "--show-tag=ARTIST", path("output/" + made[1])});
    EXPECT_EQ(tags.out, "TITLE=Song 2\nARTIST=Player 2\n");
    EXPECT_FALSE(enabled(BtnMoveFiles)); // Output mode: nothing to move
    EXPECT_TRUE(filesUnder(path("temp")).isEmpty());
}

// Every cue sheet of a folder: each image into its own folder, a cue sheet that cannot be read
// skipped, the status texts of the run, and Folder A's box back afterwards.
TEST_F(EncodingWindowTest, EncodeEveryImageOfAFolder)
{
    writeMp3Folder(path("A"), 1, 3);
    writeImage(path("images"), "disc1", {10, 12}, true, 0, "Disc One");
    writeFile(path("images/disc2.cue"), "not a cue sheet\n");
    writeImage(path("images"), "disc3", {8, 9, 10}, false, 0, "Disc Three");
    writeSettings(path("elsewhere/x.cue"), 1);
    QString start;
    setFolderChooser([&](QWidget*, const QString& title, const QString& from) {
        start = from;
        EXPECT_EQ(title, "Select a folder for CD image files to be batch encoded.");
        return path("images");
    });
    MainWindow& w = openInCdImageMode();
    w.runCommand(CmdEncodeImages);
    EXPECT_EQ(start, path("elsewhere"));
    EXPECT_EQ(filesUnder(path("output")),
              (QStringList{"Test_Artist/Disc_One/01_disc1.flac", "Test_Artist/Disc_One/02_disc1.flac",
                           "Test_Artist/Disc_Three/01_disc3.flac", "Test_Artist/Disc_Three/02_disc3.flac",
                           "Test_Artist/Disc_Three/03_disc3.flac"}));
    EXPECT_TRUE(w.statusText(0).isEmpty());
    EXPECT_EQ(w.statusText(1), "multiCDimgEnc completed");
    EXPECT_EQ(edit("editA")->text(), path("A"));
    EXPECT_EQ(edit("editB")->text(), path("images/disc3.cue"));
    EXPECT_EQ(w.comparisonModel()->rowCount(), 6); // the last image stays listed
    EXPECT_FALSE(enabled(BtnAbortBatch));

    // Cancelling the folder choice does nothing.
    setFolderChooser([](QWidget*, const QString&, const QString&) { return QString(); });
    QDir(path("output")).removeRecursively();
    w.runCommand(CmdEncodeImages);
    EXPECT_FALSE(QFileInfo::exists(path("output/Test_Artist")));
}

// "Abort Batch" while an image runs: that image ends, the next ones are not started.
TEST_F(EncodingWindowTest, AbortBatchSkipsTheImagesAfterTheCurrentOne)
{
    writeMp3Folder(path("A"), 1, 3);
    writeImage(path("images"), "disc1", {10, 12}, true, 0, "Disc One");
    writeImage(path("images"), "disc2", {10}, true, 0, "Disc Two");
    writeSettings(path("images/disc1.cue"), 1);
    // The first image's second track finds its name taken: the error box comes while it runs.
    QDir().mkpath(path("output/Test_Artist/Disc_One"));
    writeFile(path("output/Test_Artist/Disc_One/02_disc1.flac"), "taken");
    setFolderChooser([&](QWidget*, const QString&, const QString&) { return path("images"); });
    MainWindow& w = openInCdImageMode();
    QString box;
    bool abortOffered = false;
    onNextModal([&](QWidget* dialog) {
        box = qobject_cast<QMessageBox*>(dialog) ? qobject_cast<QMessageBox*>(dialog)->text() : QString();
        abortOffered = enabled(BtnAbortBatch);
        click(BtnAbortBatch);
        dialog->close();
    });
    w.runCommand(CmdEncodeImages);
    EXPECT_EQ(box, "Encode Error 30\n");
    EXPECT_TRUE(abortOffered);
    EXPECT_EQ(filesUnder(path("output")),
              (QStringList{"Test_Artist/Disc_One/01_disc1.flac", "Test_Artist/Disc_One/02_disc1.flac"}));
    EXPECT_EQ(readFile(path("output/Test_Artist/Disc_One/02_disc1.flac")), "taken");
    EXPECT_EQ(w.statusText(1), "multiCDimgEnc completed");
    EXPECT_FALSE(enabled(BtnAbortBatch));
}

} // namespace
} // namespace vn::test
