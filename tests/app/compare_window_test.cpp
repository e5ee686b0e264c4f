// Compare A/B and File Properties from the window: the list, its colours, the buttons it enables,
// the error box and the properties text box.
#include "app/app_fixture.h"
#include "app/window/command_ids.h"
#include "app/widgets/comparison_model.h"

#include <QTableView>

namespace vn::test {
namespace {

// Two MP3s on each side, A's with full tags, B's with another title on the second and no album; and a
// one-track CD image.
class CompareWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Installed by scripts/install-deps: their absence is a broken set-up, not a reason to skip.
        ASSERT_TRUE(haveProgram("lame") && haveProgram("ffmpeg"));
        QDir(home.path()).mkpath("A");
        QDir(home.path()).mkpath("B");
        const QString wav = home.filePath("s.wav");
        const auto run = [](const char* program, const QStringList& args) {
            return runProcess(program, args).exitCode;
        };
        ASSERT_EQ(0, run("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", "sine=duration=2", "-ac", "2", wav}));
        for (QString n : {"1", "2"}) {
            ASSERT_EQ(0, run("lame", {"--quiet", "-b", "160", "--tt", "Song " + n, "--ta", "Artist", "--tl", "Album",
                                      "--tn", n, wav, home.filePath("A/0" + n + ".mp3")}));
            ASSERT_EQ(0, run("lame", {"--quiet", "-V", "4", "--add-id3v2", "--tt", n == "1" ? "Song 1" : "Other",
                                      "--ta", "Artist", wav, home.filePath("B/0" + n + ".mp3")}));
        }
        ASSERT_TRUE(writeFile(home.filePath("disc.bin"), QByteArray(2352 * 150, '\0')));
        ASSERT_TRUE(writeFile(home.filePath("disc.cue"), "FILE disc.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
        writeIni(QStringLiteral("Path_A=%1\nPath_B=%2\nPath_Cue=%3\n")
                     .arg(home.filePath("A"), home.filePath("B"), home.filePath("disc.cue"))
                     .toUtf8());
    }
};

TEST_F(CompareWindowTest, AMissingFolderBShowsTheErrorBoxAndLeavesTheListEmpty)
{
    MainWindow& w = open();
    edit("editB")->setText(home.filePath("none"));
    EXPECT_EQ(boxOf(CmdCompare), "Error : No audio file|Error : Folder-B not exists");
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    EXPECT_FALSE(enabled(BtnProp));
}

TEST_F(CompareWindowTest, FolderBCompareFillsAndColoursTheListAndEnablesTheNextSteps)
{
    MainWindow& w = open();
    const ComparisonModel& model = *w.comparisonModel();
    edit("editTrackOffset")->setText("0");
    w.runCommand(BtnCompare);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.text(0, 0), "A1");
    EXPECT_EQ(model.text(0, 3 + RowAlbum), "Album");
    EXPECT_EQ(model.text(1, 0), "B1");
    EXPECT_EQ(model.text(3, 3 + RowTitle), "Other");
    // B's title equal to A's is not marked; a different one, and B's missing album, are.
    const auto background = [&](int row, int column) {
        return model.data(model.index(row, column), Qt::BackgroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(background(1, 3 + RowTitle), ComparisonModel::rowBColour());
    EXPECT_EQ(background(3, 3 + RowTitle), ComparisonModel::changedColour());
    EXPECT_EQ(background(1, 3 + RowAlbum), ComparisonModel::changedColour());
    EXPECT_TRUE(enabled(BtnReplace) && enabled(BtnProp) && action(CmdReplace)->isEnabled());
    EXPECT_FALSE(enabled(BtnMoveFiles));
}

TEST_F(CompareWindowTest, PropDescribesTheSelectedRowsFileAndAModeSwitchClearsTheComparison)
{
    MainWindow& w = open();
    w.runCommand(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    w.listView()->setCurrentIndex(w.comparisonModel()->index(2, 1));
    const QString prop = boxOf(BtnProp);
    EXPECT_TRUE(prop.startsWith("MP3 File Properties|")) << prop.toStdString();
    EXPECT_TRUE(prop.contains("02.mp3") && prop.contains("Song 2")) << prop.toStdString();

    w.runCommand(BtnModeB);
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    EXPECT_EQ(w.session().state().a.count(), 0);
    EXPECT_FALSE(enabled(BtnProp));
}

TEST_F(CompareWindowTest, CdImageListsItsTracksButEncodingBNeedsAnEncoder)
{
    MainWindow& w = open(EncoderAvailability{});
    w.runCommand(BtnModeB);
    w.runCommand(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    EXPECT_EQ(w.comparisonModel()->text(1, 3 + RowTitle), "Track 01 00:00 / 00:02");
    EXPECT_FALSE(enabled(BtnReplace));
    w.listView()->setCurrentIndex(w.comparisonModel()->index(1, 0));
    EXPECT_TRUE(boxOf(BtnProp).startsWith("Image File Properties|"));
}

// The cells of the command line's TSV, unescaped.
std::vector<QStringList> parseTsv(const QByteArray& tsv)
{
    std::vector<QStringList> rows;
    for (const QString& line : QString::fromUtf8(tsv).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QStringList cells;
        for (const QString& escaped : line.split(QLatin1Char('\t'))) {
            QString cell;
            for (qsizetype i = 0; i < escaped.size(); ++i) {
                if (escaped[i] != u'\\' || i + 1 == escaped.size()) {
                    cell += escaped[i];
                    continue;
                }
                const QChar next = escaped[++i];
                cell += next == u't' ? QChar(u'\t') : next == u'n' ? QChar(u'\n') : next == u'r' ? QChar(u'\r') : next;
            }
            cells << cell;
        }
        rows.push_back(cells);
    }
    return rows;
}

// Both front ends drive the same session: on the demo collection the window's list and the command
// line's TSV hold the same texts, for a folder and for the CD image.
TEST_F(WindowTest, TheWindowAndTheCommandLineListTheDemoCollectionAlike)
{
    const QString demo = home.filePath("demo");
    const ProcessResult made =
        runProcess(QStringLiteral(VORNELIC_SOURCE_DIR "/scripts/make-demo-collection"), {demo});
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    MainWindow& w = open();
    for (const QString& sideB : {demo + "/B", demo + "/cd/disc.cue"}) [&] {
        const ProcessResult cli = runProcess(cliPath(), {QStringLiteral("compare"), demo + "/A", sideB});
        ASSERT_EQ(cli.exitCode, 0) << cli.err.constData();
        const std::vector<QStringList> expected = parseTsv(cli.out);

        if (w.modes().folderBMode == sideB.endsWith(".cue"))
            click(BtnModeB);
        edit("editA")->setText(demo + "/A");
        edit("editB")->setText(sideB);
        w.runCommand(BtnCompare);
        const ComparisonModel& list = *w.comparisonModel();
        ASSERT_EQ(size_t(list.rowCount() + 1), expected.size()) << sideB.toStdString();
        for (int c = 0; c < ListColumnCount; ++c)
            EXPECT_EQ(list.headerData(c, Qt::Horizontal).toString(), expected[0].value(c)) << c;
        for (int r = 0; r < list.rowCount(); ++r) {
            for (int c = 0; c < ListColumnCount; ++c)
                EXPECT_EQ(list.text(r, c), expected[size_t(r + 1)].value(c)) << sideB.toStdString() << " row " << r << " column " << c;
        }
        // The manual's picture of the window after a compare comes from here.
        if (!sideB.endsWith(".cue")) {
            const QString shots = QDir(QStringLiteral(VORNELIC_BIN_DIR "/..")).absoluteFilePath("screenshots");
            QDir().mkpath(shots);
            w.show();
            QCoreApplication::processEvents();
            EXPECT_TRUE(w.grab().save(shots + "/main_window_demo.png"));
        }
    }();
}

} // namespace
} // namespace vn::test
