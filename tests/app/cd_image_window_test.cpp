// The CD image window and CDDB from the main window: a disc read from a virtual drive (a BIN/cue
// pair made here, which libcdio opens like a disc), cancelled reads, the cue sheet handed over to
// the main window, and titles from a local CDDB server filling the B rows.
#include "app/app_fixture.h"
#include "app/dialogs/cd_image_window.h"
#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "support/cd_fixtures.h"
#include "support/mp3_fixtures.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QRadioButton>
#include <QRegularExpression>

namespace vn::test {
namespace {

// The two-track disc of the CDDB worked example: tracks at sectors 0 and 750 (0 and 441,000 sample
// frames), the audio ending at sector 1500 (882,000 frames), disc id 05001402.
const std::vector<int> Starts = {0, 750};
constexpr int AudioEnd = 1500;
const QByteArray QueryKey = "cmd=cddb+query+05001402+2+150+900+20&hello=me+here+vornelic+0.1&proto=5";
const QByteArray ReadKey = "cmd=cddb+read+rock+0a0b0c0d&hello=me+here+vornelic+0.1&proto=5";
const QByteArray ExactMatch = "200 rock 0a0b0c0d Some Artist / Some Album\r\n";
const QByteArray ReadReply = "210 rock 0a0b0c0d CD database entry follows (until terminating `.')\r\n"
                             "# xmcd\r\n"
                             "DTITLE=Some Artist / Some Album\r\n"
                             "DYEAR=1999\r\n"
                             "DGENRE=Rock\r\n"
                             "TTITLE0=First\r\n"
                             "TTITLE1=Second\r\n"
                             ".\r\n";
const QByteArray RippedCue = "FILE \"rip.bin\" BINARY\r\n"
                             "  TRACK 01 AUDIO\r\n"
                             "    INDEX 01 00:00:00\r\n"
                             "  TRACK 02 AUDIO\r\n"
                             "    INDEX 01 00:10:00\r\n";

constexpr int Col(int tagRow) { return 3 + tagRow; }

class CdImageWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        for (const char* folder : {"A", "src", "out"})
            QDir(home.path()).mkpath(QLatin1String(folder));
        for (const char* name : {"A/01.wav", "A/02.wav"})
            ASSERT_TRUE(writeTestWav(home.filePath(QLatin1String(name)), 44100, 44100, 2));
        disc = makeDiscImage(home.filePath("src"), "disc", Starts, AudioEnd);
        // The first rule a request line holds answers it.
        server.reply("/none/", "202 No match for disc ID 05001402.\r\n");
        server.reply(QueryKey, ExactMatch);
        server.reply(ReadKey, ReadReply);
    }

    void writeSettings(int autoCddb)
    {
        writeIni("Path_A=" + home.filePath("A").toUtf8() + "\nRipCD_Device=" + disc.cuePath.toUtf8() +
                 "\nRipCD_Cue=" + cuePath().toUtf8() +
                 "\nRipCD_Extension=1\nRipCD_SectCount=0\nRipCD_Eject=0\n"
                 "Cddb_Server1=" + server.url() + "\nCddb_Hello=me+here+vornelic+0.1\nCddb_Proto=5\n"
                 "Cddb_Timeout=5\nCddb_CDimg=" + QByteArray::number(autoCddb) + "\n");
    }

    QString cuePath() const { return home.filePath("out/rip.cue"); }
    QString imagePath() const { return home.filePath("out/rip.bin"); }
    QStringList outFolder() const { return QDir(home.filePath("out")).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    // The tool window, shown as the menu command shows it.
    CdImageWindow& showTool()
    {
        window->runCommand(CmdCreateImage);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* tool = qobject_cast<CdImageWindow*>(w))
                return *tool;
        }
        ADD_FAILURE() << "no CD image window";
        std::abort();
    }
    QAbstractButton* toolButton(CdImageWindow& tool, int id) { return child<QAbstractButton>(&tool, id); }

    // Runs during the first event pump of the read that the next click starts.
    void duringTheRead(std::function<void()> check) { QTimer::singleShot(0, window.get(), std::move(check)); }

    QString cell(int row, int column) const { return window->comparisonModel()->text(row, column); }

    DiscImage disc;
    CannedHttpServer server;
};

TEST_F(CdImageWindowTest, StartReadsTheDiscWhileTheMainWindowWaitsThenApplyComparesTheNewImage)
{
    writeSettings(0);
    MainWindow& w = open();
    CdImageWindow& tool = showTool();
    EXPECT_TRUE(tool.isVisible());
    EXPECT_EQ(tool.windowTitle(), "Create image file from CD - Vornelic");
    // The image chosen last is listed as a drive and selected.
    auto* drives = child<QComboBox>(&tool, "driveList");
    ASSERT_EQ(drives->count(), 1);
    EXPECT_TRUE(drives->currentText().startsWith(disc.cuePath + ": ")) << drives->currentText().toStdString();
    EXPECT_TRUE(child<QRadioButton>(&tool, "formatBin")->isChecked());
    EXPECT_FALSE(child<QAbstractButton>(&tool, "autoEject")->isChecked());
    EXPECT_EQ(child<QLineEdit>(&tool, "cuePath")->text(), QDir::toNativeSeparators(cuePath()));
    EXPECT_EQ(child<QLineEdit>(&tool, "blockSize")->text(), "0");
    EXPECT_FALSE(toolButton(tool, CdImgApply)->isEnabled());
    EXPECT_EQ(toolButton(tool, CdImgApply)->toolTip(),
              "作成したCUEシートファイル名をメインウィンドウの [CD image]欄に貼り付けて [Compare A/B]を実行します");

    bool sawTheRead = false;
    duringTheRead([&] {
        sawTheRead = true;
        EXPECT_TRUE(tool.running());
        EXPECT_EQ(toolButton(tool, CdImgStart)->text(), "Cancel creating image file");
        EXPECT_TRUE(QRegularExpression("^ *\\d+\\.\\d% \\(track [12]/2\\)$").match(tool.statusText()).hasMatch())
            << tool.statusText().toStdString();
        EXPECT_FALSE(child<QLineEdit>(&tool, "cuePath")->isEnabled());
        EXPECT_FALSE(toolButton(tool, CdImgReScan)->isEnabled());
        // The main window is the read's: its commands are grayed and refused, Abort Batch offered.
        EXPECT_FALSE(enabled(BtnCompare));
        EXPECT_TRUE(enabled(BtnAbortBatch));
        // Were it not refused, the compare would fail on the empty Folder B and say so in a box,
        // closed here for as long as the command runs.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        closer.start(5);
        window->runCommand(BtnCompare);
        EXPECT_EQ(window->comparisonModel()->rowCount(), 0);
    });
    toolButton(tool, CdImgStart)->click();
    EXPECT_TRUE(sawTheRead);
    EXPECT_FALSE(tool.running());
    EXPECT_EQ(readFile(imagePath()), disc.audio);
    EXPECT_EQ(readFile(cuePath()), RippedCue);
    EXPECT_EQ(tool.statusText(), "Image file is created succesfully");
    EXPECT_EQ(toolButton(tool, CdImgStart)->text(), "Start creating image file");
    // An empty block size fell back to the default, and the box says so.
    EXPECT_EQ(child<QLineEdit>(&tool, "blockSize")->text(), "27");
    EXPECT_EQ(w.settings().RipCD_SectCount, 27u);
    EXPECT_TRUE(enabled(BtnCompare));
    EXPECT_FALSE(enabled(BtnAbortBatch));
    ASSERT_TRUE(toolButton(tool, CdImgApply)->isEnabled());

    // Apply: CD image mode, the new cue sheet as B, and the compare run.
    ASSERT_TRUE(w.modes().folderBMode);
    toolButton(tool, CdImgApply)->click();
    EXPECT_FALSE(w.modes().folderBMode);
    EXPECT_EQ(edit("editB")->text(), cuePath());
    EXPECT_EQ(w.settings().Path_Cue, cuePath());
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    EXPECT_EQ(cell(0, 1), "01.wav");
    EXPECT_EQ(cell(1, 0), "B1");
    EXPECT_EQ(cell(3, 0), "B2");
    EXPECT_TRUE(enabled(BtnProp));
    EXPECT_FALSE(toolButton(tool, CdImgApply)->isEnabled());
    // Without Auto CDDB no server was asked.
    EXPECT_TRUE(server.requestLines.isEmpty());

    // Close only hides the window; the menu command shows it again.
    toolButton(tool, CdImgClose)->click();
    EXPECT_FALSE(tool.isVisible());
    EXPECT_EQ(&showTool(), &tool);
    EXPECT_TRUE(tool.isVisible());
}

TEST_F(CdImageWindowTest, CancelAbortBatchAndARefusedOverwriteLeaveTheOldFiles)
{
    writeSettings(0);
    open();
    CdImageWindow& tool = showTool();
    const QByteArray oldImage = "the image of an earlier read";
    ASSERT_TRUE(writeFile(imagePath(), oldImage));

    // The Start button, now Cancel, and the main window's Abort Batch both stop the read.
    for (const bool fromMainWindow : {false, true}) {
        SCOPED_TRACE(fromMainWindow ? "Abort Batch" : "Cancel");
        duringTheRead([&] {
            if (fromMainWindow)
                click(BtnAbortBatch);
            else
                toolButton(tool, CdImgStart)->click();
        });
        toolButton(tool, CdImgStart)->click();
        EXPECT_FALSE(tool.running());
        EXPECT_EQ(tool.statusText(), "Process canceled");
        EXPECT_EQ(readFile(imagePath()), oldImage);
        EXPECT_EQ(outFolder(), QStringList{"rip.bin"}); // no cue sheet, no partial image
        EXPECT_FALSE(toolButton(tool, CdImgApply)->isEnabled());
        EXPECT_EQ(toolButton(tool, CdImgStart)->text(), "Start creating image file");
        EXPECT_TRUE(enabled(BtnCompare));
    }

    // An existing cue sheet is replaced only when the user says so.
    ASSERT_TRUE(writeFile(cuePath(), "old sheet"));
    for (const bool overwrite : {false, true}) {
        QString asked;
        onNextModal([&](QWidget* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            ASSERT_TRUE(box);
            asked = box->windowTitle() + '|' + box->text();
            box->button(overwrite ? QMessageBox::Ok : QMessageBox::Cancel)->click();
        });
        toolButton(tool, CdImgStart)->click();
        EXPECT_EQ(asked, "Create image file|Cue file exsists. OK to Overwrite or Cancel to exit");
        if (!overwrite) {
            EXPECT_EQ(readFile(cuePath()), "old sheet");
            EXPECT_EQ(readFile(imagePath()), oldImage);
            EXPECT_EQ(tool.statusText(), "Process canceled"); // untouched since the last read
        }
    }
    EXPECT_EQ(readFile(cuePath()), RippedCue);
    EXPECT_EQ(readFile(imagePath()), disc.audio);
    EXPECT_TRUE(toolButton(tool, CdImgApply)->isEnabled());
}

TEST_F(CdImageWindowTest, AnUnreadableDriveSaysWhyAnEmptyNameWritesNothingAndBrowseNamesTheSheet)
{
    writeSettings(0);
    open();
    CdImageWindow& tool = showTool();
    // The disc goes away after the scan listed it.
    ASSERT_TRUE(QFile::remove(disc.cuePath));
    toolButton(tool, CdImgStart)->click();
    EXPECT_TRUE(tool.statusText().contains("No such file")) << tool.statusText().toStdString();
    EXPECT_TRUE(outFolder().isEmpty());

    child<QLineEdit>(&tool, "cuePath")->setText("  ");
    toolButton(tool, CdImgStart)->click();
    EXPECT_EQ(tool.statusText(), "Specify the cue sheet file to create");
    EXPECT_TRUE(outFolder().isEmpty());

    // ReScan drops the image that is gone.
    toolButton(tool, CdImgReScan)->click();
    EXPECT_EQ(child<QComboBox>(&tool, "driveList")->count(), int(tool.drives().size()));
    for (const CdDriveInfo& d : tool.drives())
        EXPECT_NE(d.device, disc.cuePath);

    // Browse names the sheet to create: an existing one is taken without a question (Start asks),
    // a cancel changes nothing.
    const QString chosen = home.filePath("out/chosen.cue");
    ASSERT_TRUE(writeFile(chosen, "x"));
    for (const bool accept : {true, false}) {
        QString title;
        QStringList filters;
        onNextModal([&](QWidget* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            ASSERT_TRUE(files);
            title = files->windowTitle();
            filters = files->nameFilters();
            if (accept) {
                files->selectFile(chosen);
                static_cast<QDialog*>(files)->accept(); // as the Save button does
            } else {
                files->reject();
            }
        });
        toolButton(tool, CdImgBrowse)->click();
        EXPECT_EQ(title, "Select CUE sheet file");
        EXPECT_EQ(filters, QStringList({"Cue files {*.cue} (*.cue)", "All files {*.*} (*)"}));
        EXPECT_EQ(child<QLineEdit>(&tool, "cuePath")->text(), QDir::toNativeSeparators(chosen));
    }
    EXPECT_EQ(readFile(chosen), "x");
}

TEST_F(CdImageWindowTest, AutoCddbAfterTheCompareOfANewImageFillsTheBRowsAndLeavesTheClipboard)
{
    writeSettings(1);
    MainWindow& w = open();
    QGuiApplication::clipboard()->setText("before");
    CdImageWindow& tool = showTool();
    toolButton(tool, CdImgStart)->click();
    ASSERT_EQ(tool.statusText(), "Image file is created succesfully");
    toolButton(tool, CdImgApply)->click();

    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    EXPECT_EQ(server.requestLines.size(), 2);
    EXPECT_EQ(w.statusText(2), "CDDB Successful");
    EXPECT_EQ(cell(1, 1), "01_First");
    EXPECT_EQ(cell(3, 1), "02_Second");
    for (int row : {1, 3}) {
        EXPECT_EQ(cell(row, Col(RowAlbum)), "Some Album");
        EXPECT_EQ(cell(row, Col(RowArtist)), "Some Artist");
        EXPECT_EQ(cell(row, Col(RowAlbumArtist)), "Some Artist");
        EXPECT_EQ(cell(row, Col(RowYear)), "1999");
        EXPECT_EQ(cell(row, Col(RowGenre)), "Rock");
    }
    EXPECT_EQ(cell(1, Col(RowTitle)), "First");
    EXPECT_EQ(cell(3, Col(RowTitle)), "Second");
    // The new titles differ from A's untagged files, and are marked so.
    const QModelIndex album = w.comparisonModel()->index(1, Col(RowAlbum));
    EXPECT_EQ(w.comparisonModel()->data(album, Qt::BackgroundRole).value<QBrush>().color(),
              ComparisonModel::changedColour());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
}

TEST_F(CdImageWindowTest, CddbCommandPutsTheExchangeOnTheClipboardOnSuccessAndOnFailure)
{
    writeSettings(0);
    MainWindow& w = open();
    // The image made here, compared as it is: its rows carry no titles yet.
    w.runCommand(BtnModeB);
    edit("editB")->setText(disc.cuePath);
    w.runCommand(BtnCompare);
    ASSERT_EQ(w.comparisonModel()->rowCount(), 4);
    EXPECT_TRUE(server.requestLines.isEmpty());
    EXPECT_NE(cell(1, Col(RowTitle)), "First");
    ASSERT_TRUE(action(CmdCddbQuery)->isEnabled());

    w.runCommand(CmdCddbQuery);
    EXPECT_EQ(w.statusText(2), "CDDB Successful");
    EXPECT_EQ(cell(1, Col(RowTitle)), "First");
    EXPECT_EQ(cell(3, Col(RowTitle)), "Second");
    const QString transcript = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(transcript.startsWith(QString::fromLatin1(server.url() + "?" + QueryKey + "\r\n" + ExactMatch)))
        << transcript.toStdString();
    EXPECT_TRUE(transcript.contains(QString::fromLatin1(server.url() + "?" + ReadKey + "\r\n")));
    EXPECT_TRUE(transcript.contains("TTITLE1=Second"));

    // A server that knows no such disc: "CDDB Failed", the titles stay, the exchange is on the
    // clipboard all the same.
    w.settings().Cddb_Server1 = server.url("/none/cddb.cgi");
    w.runCommand(CmdCddbQuery);
    EXPECT_EQ(w.statusText(2), "CDDB Failed");
    EXPECT_EQ(cell(1, Col(RowTitle)), "First");
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString::fromLatin1(server.url("/none/cddb.cgi") + "?" + QueryKey + "\r\n" +
                                  "202 No match for disc ID 05001402.\r\n\r\n"));
}

} // namespace
} // namespace vn::test
