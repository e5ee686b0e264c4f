// The main window driven as a user would: buttons clicked, menu items triggered, and what the
// controls, the menus, the status bar and the settings file show afterwards.

#include "app_fixture.h"

#include "app/dialogs/browse_folder.h"
#include "app/window/command_ids.h"
#include "app/widgets/comparison_model.h"
#include "app/widgets/icons.h"
#include "app/window/menu_state.h"
#include "app/widgets/shell.h"
#include "app/widgets/status_parts.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>

namespace vn::test {
namespace {

// Pairs of rows as a compare leaves them; every third B title differs in case.
std::vector<ComparisonRow> sampleRows(int pairs)
{
    std::vector<ComparisonRow> rows(size_t(2 * pairs));
    for (int i = 0; i < 2 * pairs; ++i) {
        ListRow& cells = rows[size_t(i)].cells;
        const int n = i / 2 + 1;
        cells[0] = QString::number(n);
        cells[1] = QStringLiteral("%1 Song.mp3").arg(n, 2, 10, QLatin1Char('0'));
        cells[2] = "ID3v2.3";
        cells[3] = "An Album";
        cells[6] = (i % 6 == 1 ? QStringLiteral("song %1") : QStringLiteral("Song %1")).arg(n);
        cells[18] = "MPEG-1 Layer3";
        cells[20] = i % 2 ? "192" : "320";
    }
    return rows;
}

// Everything the B-mode switch may change: mode caption and menu text, the B box's text and tooltip,
// the B buttons' tooltips, the Replace caption and menu text, the B browse picture, and whether the
// encode and CDDB items are usable.
QStringList modeSnapshot(MainWindow& w)
{
    QWidget* editB = child(&w, QStringLiteral("editB"));
    QStringList s;
    s << child<QAbstractButton>(&w, BtnModeB)->text() << w.menus().action(CmdFolderB)->text()
      << qobject_cast<QLineEdit*>(editB)->text() << editB->toolTip() << child(&w, BtnBrowseB)->toolTip()
      << child(&w, BtnExploreB)->toolTip() << child<QAbstractButton>(&w, BtnReplace)->text()
      << w.menus().action(CmdReplace)->text() << child(&w, BtnBrowseB)->property("bitmapId").toString();
    for (int id : {CmdEncodeImage, CmdEncodeImages, CmdCddbQuery})
        s << QString::number(w.menus().action(id)->isEnabled());
    return s;
}

TEST_F(WindowTest, StartsInFolderBAndBackupModeWithTheGivenControls)
{
    MainWindow& w = open();
    EXPECT_EQ(w.windowTitle(), "Vornelic (Zembrath)");
    EXPECT_TRUE(w.modes().folderBMode && w.modes().backupMode);
    EXPECT_EQ(child<QAbstractButton>(&w, BtnRepeat)->text(), "Album repeat");
    EXPECT_TRUE(action(CmdPlayMf)->isChecked() && !action(CmdPlayMci)->isChecked());
    // Nothing to replace, move, play or describe before a compare.
    for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnPause, BtnStop, BtnProp, BtnAbortBatch})
        EXPECT_FALSE(enabled(id)) << id;
    for (int id :
         {CmdReplace, CmdMoveFiles, CmdId3BlockSize, CmdId3MinPadding, CmdEncodeImage, CmdEncodeImages, CmdCddbQuery})
        EXPECT_FALSE(action(id)->isEnabled()) << id;
    // No encoder is usable in this run: every encoder and option item is gray; without a settings file
    // LAME stays selected.
    for (int id = CmdSelectLame; id <= CmdSelectFFmpeg; ++id)
        EXPECT_FALSE(action(id)->isEnabled() || action(id + 10)->isEnabled()) << id;
    EXPECT_TRUE(w.statusText(6).isEmpty());
    EXPECT_TRUE(action(CmdSelectLame)->isChecked());

    // Paths come from the settings, which default to the settings folder.
    EXPECT_EQ(edit("editA")->text(), w.settings().Path_A);
    EXPECT_EQ(edit("editPadding")->text(), "256");
    // The two-line labels are smaller than the rest.
    auto* small = child<QLabel>(&w, QStringLiteral("labelBlockSize"));
    EXPECT_EQ(small->text(), "ID3v2\nBlock size");
    EXPECT_LT(QFontInfo(small->font()).pixelSize(), QFontInfo(w.listView()->font()).pixelSize());
    // The list takes the starting width of each column, and the status bar its number.
    for (int c = 0; c < ListColumnCount; ++c)
        EXPECT_EQ(w.listView()->horizontalHeader()->sectionSize(c), listColumnWidth(c)) << c;
    EXPECT_NE(w.findChild<QStatusBar*>(QStringLiteral("100")), nullptr);
}

TEST_F(WindowTest, ModeToggleTwiceRestoresEveryTextAndClearsTheListEachTime)
{
    MainWindow& w = open();
    const QStringList start = modeSnapshot(w);
    w.settings().Path_Cue = home.filePath("disc.cue");
    w.comparisonModel()->setRows(sampleRows(3));

    click(BtnModeB);
    EXPECT_FALSE(w.modes().folderBMode);
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    const QStringList cd = modeSnapshot(w);
    EXPECT_TRUE(cd[3].startsWith("この Cue Sheet ファイルに記載された情報に基づき"));
    // No CDDB server is configured, so the query stays gray.
    const QStringList expected = QStringLiteral("CD image|CD image|%1|%2|[CD image] の Cue Sheet ファイルを変更します|"
                                                "[CD image] のあるフォルダを File Explorer で閲覧します|Encoding B|"
                                                "Encoding B（エンコード）|%3|1|1|0")
                                     .arg(w.settings().Path_Cue, cd[3], QString::number(BmpBrowseCue))
                                     .split('|');
    EXPECT_EQ(cd, expected);

    // The CD image window's switch command changes nothing once in CD image mode.
    w.comparisonModel()->setRows(sampleRows(2));
    w.runCommand(BtnCdImageMode);
    EXPECT_FALSE(w.modes().folderBMode);
    EXPECT_EQ(modeSnapshot(w), cd);
    EXPECT_EQ(w.comparisonModel()->rowCount(), 4);

    click(BtnModeB);
    EXPECT_TRUE(w.modes().folderBMode);
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    QStringList back = modeSnapshot(w);
    // The B buttons now carry the Folder B tooltips of the mode table, not those set at creation;
    // all else is as at start.
    EXPECT_EQ(back[4], "[Folder B] のパスを変更します");
    EXPECT_EQ(back[5], "[Folder B] を File Explorer で閲覧します");
    back[4] = start[4];
    back[5] = start[5];
    EXPECT_EQ(back, start);

    w.runCommand(BtnCdImageMode); // from Folder B mode it switches
    EXPECT_FALSE(w.modes().folderBMode);
}

TEST_F(WindowTest, BackupOutputToggleKeepsTypedPathsAndSwapsTheRowBackAndForth)
{
    MainWindow& w = open();
    const auto row = [&] {
        return QStringList() << child<QAbstractButton>(&w, BtnModeBackup)->text() << action(CmdBackupFolder)->text()
                             << edit("editBackup")->text() << edit("editBackup")->toolTip()
                             << child(&w, BtnBrowseBkup)->toolTip() << child(&w, BtnExploreBkup)->toolTip()
                             << child(&w, BtnBrowseBkup)->property("bitmapId").toString();
    };
    const QString typed = home.filePath("typed-backup");
    edit("editBackup")->setText(typed);
    const QStringList start = row();
    click(BtnModeBackup);
    EXPECT_FALSE(w.modes().backupMode);
    EXPECT_EQ(row(),
              QStringLiteral("Output Folder|Output Folder|%1|Output Folder のパスです|Output Folder を変更します|"
                             "Output Folder を File Explorer で閲覧します|%2")
                  .arg(w.settings().Path_Otpt, QString::number(BmpOutput))
                  .split('|'));
    click(BtnModeBackup);
    EXPECT_EQ(row(), start);
    EXPECT_EQ(w.settings().Path_Bkup, typed);
}

TEST_F(WindowTest, EncoderIndexZeroChecksNothingAndAChoiceMovesTheMark)
{
    writeIni("[Folder]\r\nBkupFldr_Level=2\r\n"); // a file without Encoder_Selected selects none
    EncoderAvailability enc;
    enc.lame = enc.flac = true;
    enc.lameEngineMajor = enc.lameLibraryMajor = 3;
    enc.lameEngineMinor = enc.lameLibraryMinor = 100;
    enc.flacVersion = "1.4.2";
    MainWindow& w = open(enc);
    EXPECT_EQ(w.settings().EncoderIndex, 0);
    for (int id = CmdSelectLame; id <= CmdSelectFFmpeg; ++id)
        EXPECT_FALSE(action(id)->isChecked()) << id;
    EXPECT_EQ(w.statusText(6), "\u3000LAME3.100 (3.100) \u3000FLAC 1.4.2 ");
    EXPECT_FALSE(w.statusText(6).contains(QChar(SelectedEncoderMark)));
    EXPECT_TRUE(action(CmdLevel0 + 2)->isChecked() && !action(CmdLevel0 + 1)->isChecked());
    action(CmdSelectFlac)->trigger();
    EXPECT_EQ(w.settings().EncoderIndex, 2);
    EXPECT_EQ(w.statusText(6), "\u3000LAME3.100 (3.100) \uFF0AFLAC 1.4.2 ");
    EXPECT_TRUE(action(CmdSelectFlac)->isChecked() && !action(CmdSelectLame)->isChecked());
}

TEST_F(WindowTest, AnUnusableSelectedEncoderIsCheckedGrayAndOffTheLine)
{
    writeIni("Encoder_Selected=opusenc\r\n");
    EncoderAvailability tools;
    tools.ffmpegVersion = "FFmpeg 6.1.1";
    tools.qaacVersion = "qaac 2.80";
    MainWindow& other = open(tools);
    EXPECT_EQ(other.settings().EncoderIndex, 5);
    EXPECT_TRUE(action(CmdSelectOpusEnc)->isChecked());
    EXPECT_FALSE(action(CmdSelectOpusEnc)->isEnabled() || action(CmdOptionFdkaac)->isEnabled());
    EXPECT_EQ(other.statusText(6), "\u3000qaac 2.80\u3000FFmpeg 6.1.1");
    EXPECT_TRUE(action(CmdSelectFFmpeg)->isEnabled() && action(CmdOptionQaac)->isEnabled());
}

TEST_F(WindowTest, CddbServerItemsShowHostsAndSwap)
{
    writeIni("Cddb_Server1=cddb.example.org\r\nCddb_Server2=http://gnudb.example.net/~cddb/cddb.cgi\r\n");
    MainWindow& w = open();
    // Without "//" the item keeps its text: still the empty one it started with.
    EXPECT_TRUE(action(CmdCddbServer1)->text().isEmpty());
    EXPECT_TRUE(action(CmdCddbServer1)->isChecked());
    EXPECT_EQ(action(CmdCddbServer2)->text(), "gnudb.example.net");

    action(CmdCddbServer2)->trigger();
    EXPECT_EQ(w.settings().Cddb_Server1, QByteArray("http://gnudb.example.net/~cddb/cddb.cgi"));
    EXPECT_EQ(w.settings().Cddb_Server2, QByteArray("cddb.example.org"));
    EXPECT_EQ(action(CmdCddbServer1)->text(), "gnudb.example.net");
    EXPECT_EQ(action(CmdCddbServer2)->text(), "gnudb.example.net"); // kept: no host in the new text
    EXPECT_TRUE(action(CmdCddbServer1)->isChecked() && !action(CmdCddbServer2)->isChecked());

    // With a server the CD image mode offers the query.
    w.runCommand(BtnModeB);
    EXPECT_TRUE(action(CmdCddbQuery)->isEnabled());
}

TEST_F(WindowTest, AnEmptyCddbServerIsGrayAndNothingIsExchangedWithIt)
{
    writeIni("Cddb_Server2=http://a.example/x\r\n");
    MainWindow& other = open();
    EXPECT_FALSE(action(CmdCddbServer1)->isEnabled());
    action(CmdCddbServer2)->trigger();
    EXPECT_TRUE(other.settings().Cddb_Server1.isEmpty());
    EXPECT_EQ(other.settings().Cddb_Server2, QByteArray("http://a.example/x"));
}

TEST_F(WindowTest, OptionBoxesChangeTheirSettingOnlyThroughOk)
{
    MainWindow& w = open();
    w.settings().Qaac_Options = "--tvbr 91";
    // qaac is not usable here, so its menu item is gray: the command is run directly. The close box,
    // Cancel and Escape keep the value.
    for (int button : {0, 2, -1}) {
        answerNextInput("--cvbr 256", button);
        w.runCommand(CmdOptionQaac);
        EXPECT_EQ(w.settings().Qaac_Options, "--tvbr 91") << button;
    }
    QString seen;
    onNextModal([&seen](QWidget* dialog) {
        seen = dialog->windowTitle() + '|' + child<QLabel>(dialog, 6206)->text() + '|' +
               child<QAbstractButton>(dialog, 1)->text() + '|' + child<QAbstractButton>(dialog, 2)->text();
        child<QLineEdit>(dialog, 6207)->setText("--cvbr 256");
        child<QAbstractButton>(dialog, 1)->click();
    });
    w.runCommand(CmdOptionQaac);
    EXPECT_EQ(seen, "Qaac Encoder Option|Set Qaac Command line Option|Ok|Cancel");
    EXPECT_EQ(w.settings().Qaac_Options, "--cvbr 256");

    answerNextInput(QString(300, 'x'), 1); // the containers box takes at most 255 characters
    w.runCommand(CmdFFmpegContainers);
    EXPECT_EQ(w.settings().FFmpeg_Containers, QString(255, 'x'));

    // The extension priority is split into a list, and joined again for the box whatever closed it.
    answerNextInput(".flac .mp3, .wav", 1);
    w.runCommand(CmdExtPriority);
    EXPECT_EQ(w.settings().ExtPriorityList, QStringList({".flac", ".mp3"}));
    answerNextInput(".wav", 0, &seen);
    w.runCommand(CmdExtPriority);
    EXPECT_EQ(seen, ".flac .mp3");
    EXPECT_EQ(w.settings().ExtPriorityList, QStringList({".flac", ".mp3"}));
}

TEST_F(WindowTest, MessageCommandsShowTheirBoxes)
{
    open();
    EXPECT_EQ(boxOf(CmdOptionLame), "LAME Encoder Option|");
    EXPECT_TRUE(boxOf(CmdOptionFlac).startsWith("FLAC Encoder Option|Some options for FLAC"));
    EXPECT_TRUE(boxOf(CmdAbout).startsWith("About Vornelic|Vornelic ver."));
}

TEST_F(WindowTest, BrowseButtonsChooseTheFoldersIgnoringCancelAndOverlongPaths)
{
    MainWindow& w = open();
    const QString startA = w.settings().Path_A;
    QString offered, answer = home.filePath("music");
    setFolderChooser([&](QWidget*, const QString& title, const QString& from) {
        offered = title + '|' + from;
        return answer;
    });
    click(BtnBrowseA);
    EXPECT_EQ(offered, "Select Folder A|" + startA);
    EXPECT_EQ(w.settings().Path_A, answer);
    EXPECT_EQ(edit("editA")->text(), answer);
    answer.clear(); // cancelled
    w.runCommand(CmdFolderA);
    EXPECT_EQ(w.settings().Path_A, home.filePath("music"));
    answer = '/' + QString(259, 'd'); // 260 characters: does not fit
    w.runCommand(CmdTempFolder);
    EXPECT_NE(w.settings().Path_Temp, answer);
    answer.chop(1);
    w.runCommand(CmdTempFolder);
    EXPECT_EQ(w.settings().Path_Temp, answer);
    EXPECT_EQ(edit("editTemp")->text(), answer);
    setFolderChooser({});
}

TEST_F(WindowTest, ExploreButtonsOpenWhatWasTypedAndTheCueButtonPicksASheetThatExists)
{
    MainWindow& w = open();
    QStringList opened;
    setShellOpener([&](const QString& path) { opened << path; });
    const QString typed = home.filePath("typed-a");
    edit("editA")->setText(typed);
    click(BtnExploreA);
    EXPECT_EQ(w.settings().Path_A, typed);

    // In CD image mode the B button picks a cue sheet that exists, starting in the present one's
    // folder, and its explore button opens that folder.
    const QString cue = home.filePath("disc.cue");
    ASSERT_TRUE(writeFile(cue, "FILE \"disc.wav\" WAVE\n"));
    QStringList asked;
    QString answer = home.filePath("missing.cue");
    setFileChooser([&](QWidget*, const QString& title, const QString& from, const QStringList& filters) {
        asked = QStringList{title, from} + filters;
        return answer;
    });
    w.settings().Path_Cue = home.filePath("*.cue");
    w.runCommand(BtnModeB);
    click(BtnBrowseB);
    EXPECT_EQ(w.settings().Path_Cue, home.filePath("*.cue"));
    answer = cue;
    click(BtnBrowseB);
    setFileChooser({});
    EXPECT_EQ(asked.mid(0, 3), QStringList({"Select CUE sheet file", home.path(), "Cue files {*.cue} (*.cue)"}));
    EXPECT_EQ(w.settings().Path_Cue, cue);
    EXPECT_EQ(edit("editB")->text(), cue);
    edit("editB")->setText(home.filePath("images/disc one.cue"));
    click(BtnExploreB);
    click(BtnExploreTemp);
    setShellOpener({});
    EXPECT_EQ(opened, QStringList({typed, home.filePath("images"), w.settings().Path_Temp}));
}

TEST_F(WindowTest, TheManualIsThePageInstalledBesideTheProgram)
{
    open();
    QStringList opened;
    setShellOpener([&](const QString& path) { opened << path; });
    const QString built = QStringLiteral(VORNELIC_BIN_DIR "/Vornelic_help.htm");
    EXPECT_TRUE(readFile(built).contains("Compare A/B"));
    const QString help = QDir(QCoreApplication::applicationDirPath()).filePath("Vornelic_help.htm");
    QFile::remove(help);
    ASSERT_TRUE(QFile::copy(built, help));
    action(CmdManual)->trigger();
    setShellOpener({});
    EXPECT_EQ(opened, QStringList{help});
}

TEST_F(WindowTest, SmallCommandsTakeEffectAndClosingSavesWhatChanged)
{
    MainWindow& w = open();
    click(BtnRepeat);
    EXPECT_EQ(child<QAbstractButton>(&w, BtnRepeat)->text(), "Track repeat");
    click(BtnRepeat);
    EXPECT_EQ(child<QAbstractButton>(&w, BtnRepeat)->text(), "Album repeat");
    action(CmdPlayMci)->trigger();
    EXPECT_TRUE(action(CmdPlayMci)->isChecked() && !action(CmdPlayMf)->isChecked());
    action(CmdId3BlockSize)->trigger(); // gray in the menu, and nothing to do

    for (int id : {CmdSaveExisting, CmdCharsetUtf8, CmdLevel5})
        action(id)->trigger();
    edit("editBlockSize")->setText("512");
    edit("editA")->setText(home.filePath("typed"));
    action(CmdExit)->trigger();
    window.reset();
    const QByteArray ini = readFile(home.filePath("Vornelic.ini"));
    const QByteArray lines[] = {"BkupFldr_Exist=0",      "CP_Cue_Sheet=65001",
                                "BkupFldr_Level=5",      "ID3_Blk=512",
                                "Encoder_Selected=LAME", "Path_A=" + home.filePath("typed").toUtf8()};
    for (const QByteArray& line : lines)
        EXPECT_TRUE(ini.contains(line + "\r\n")) << line.constData();
    open(); // and the menus follow the file
    EXPECT_TRUE(action(CmdCharsetUtf8)->isChecked() && action(CmdLevel5)->isChecked());
    EXPECT_FALSE(action(CmdCharsetAnsi)->isChecked() || action(CmdSaveExisting)->isChecked());
}

TEST_F(WindowTest, MissingFoldersAreOfferedAtStart)
{
    const QString missingBackup = home.filePath("nested/backup"), missingOutput = home.filePath("nested/output");
    writeIni("Path_Bkup=" + missingBackup.toUtf8() + "\r\nPath_Otpt=" + missingOutput.toUtf8() + "\r\n");
    // Yes for the Backup folder, then No for the Output folder.
    QStringList questions;
    onNextModal([&questions](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        questions << box->windowTitle() << box->text();
        onNextModal([&questions](QWidget* second) {
            questions << second->windowTitle();
            qobject_cast<QMessageBox*>(second)->button(QMessageBox::No)->click();
        });
        box->button(QMessageBox::Yes)->click();
    });
    open();
    EXPECT_EQ(questions, QStringList({"Warning : Backup Folder not found",
                                      QStringLiteral("Backup Folder \"%1\" not found\nCreate %1 ?").arg(missingBackup),
                                      "Warning : Output Folder not found"}));
    EXPECT_TRUE(QFileInfo(missingBackup).isDir());
    EXPECT_FALSE(QFileInfo::exists(missingOutput));
}

TEST(EncoderProbeTest, InstalledLibrariesGiveTheVersionsTheirProgramsName)
{
    // libmp3lame and libFLAC come with scripts/install-deps, as do the lame and flac programs on them.
    const EncoderAvailability found = probeEncoders();
    ASSERT_TRUE(found.lame && found.flac);
    const auto lame = QRegularExpression("version (\\d+)\\.(\\d+)").match(QString::fromLatin1(runProcess("lame", {"--version"}).out));
    ASSERT_TRUE(lame.hasMatch());
    EXPECT_EQ(std::pair(found.lameEngineMajor, found.lameEngineMinor), std::pair(lame.captured(1).toInt(), lame.captured(2).toInt()));
    EXPECT_EQ("flac " + found.flacVersion, runProcess("flac", {"--version"}).out.trimmed());
    // The outside tools are only ever found by running them.
    EXPECT_TRUE(found.qaacVersion.isEmpty() && found.ffmpegVersion.isEmpty());
}

// The grabbed window: every control inside it and none over another, the list filling the rest, the
// header texts drawn and the rows painted in the list's colours; the path columns take half of any
// growth each, row 3 stays.
class WindowPicture : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        MainWindow& w = open(std::nullopt); // the encoders this machine really has, for the picture
        w.comparisonModel()->setRows(sampleRows(12));
        w.setStatusText(0, "12");
        w.setStatusText(1, "Compare A/B done");
        w.show();
        QCoreApplication::processEvents();
        QDir().mkpath(shots);
    }
    // Checks the window as it is now and saves its picture.
    void checkAndSave(const QString& name)
    {
        SCOPED_TRACE(name.toStdString());
        MainWindow& w = *window;
        const QImage picture = w.grab().toImage();
        EXPECT_TRUE(picture.save(shots + "/" + name));
        QWidget* client = w.centralWidget();
        const QRect inside(QPoint(0, 0), client->size());
        QList<QWidget*> controls;
        for (QWidget* c : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (c->isVisible() && c != w.listView())
                controls << c;
        ASSERT_GE(controls.size(), 20);
        int lowest = 0;
        for (qsizetype i = 0; i < controls.size(); ++i) {
            const QRect g = controls[i]->geometry();
            EXPECT_TRUE(inside.contains(g)) << controls[i]->objectName().toStdString();
            lowest = std::max(lowest, g.bottom());
            for (qsizetype j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(g.intersects(controls[j]->geometry()))
                    << controls[i]->objectName().toStdString() << " over " << controls[j]->objectName().toStdString();
        }
        const QRect list = w.listView()->geometry();
        EXPECT_GT(list.top(), lowest);
        EXPECT_EQ(list.left(), 0);
        EXPECT_EQ(list.width(), client->width());
        EXPECT_EQ(list.bottom(), inside.bottom());

        // Header sections in view hold drawn text: pixels darker than the header's own face.
        QHeaderView* header = w.listView()->horizontalHeader();
        const QPoint headerAt = header->mapTo(&w, QPoint(0, 0));
        for (int c = 0; c < ListColumnCount; ++c) {
            const QRect section(headerAt.x() + header->sectionViewportPosition(c) + 3, headerAt.y() + 3,
                                header->sectionSize(c) - 6, header->height() - 6);
            if (section.right() >= headerAt.x() + header->width() || section.width() < 8)
                continue;
            int dark = 0;
            for (int y = section.top(); y <= section.bottom(); ++y)
                for (int x = section.left(); x <= section.right(); ++x)
                    dark += qGray(picture.pixel(x, y)) < 100;
            EXPECT_GT(dark, 3) << "header " << c << " "
                               << header->model()->headerData(c, Qt::Horizontal).toString().toStdString();
        }
        // An A row, its B row where it agrees and where it differs (every third B title differs in case).
        const auto cellColour = [&](int row, int column) {
            const QRect cell = w.listView()->visualRect(w.comparisonModel()->index(row, column));
            return QColor(picture.pixel(w.listView()->viewport()->mapTo(&w, cell.topLeft() + QPoint(1, 1))));
        };
        EXPECT_EQ(cellColour(2, 6), ComparisonModel::rowAColour());
        EXPECT_EQ(cellColour(3, 6), ComparisonModel::rowBColour());
        EXPECT_EQ(cellColour(1, 6), ComparisonModel::changedColour());

        // The status parts in order, side by side; the last one, when the bar is wide enough for the
        // fixed ones before it, to the bar's end.
        auto* parts = w.findChild<StatusParts*>();
        ASSERT_NE(parts, nullptr);
        for (int i = 1; i < StatusPartCount; ++i)
            EXPECT_GT(parts->part(i)->geometry().left(), parts->part(i - 1)->geometry().right()) << i;
        lastPart = parts->part(StatusPartCount - 1)->geometry();
        if (lastPart.left() < parts->width()) {
            EXPECT_GE(lastPart.right(), parts->width() - 3);
            EXPECT_LE(lastPart.right(), parts->width());
        }
    }
    QRect lastPart;
    const QString shots = QDir(VORNELIC_BIN_DIR "/..").absoluteFilePath("screenshots");
};

TEST_F(WindowPicture, AtItsFirstSizeAndWiderShowsEveryControlAndTheList)
{
    MainWindow& w = *window;
    checkAndSave("main_window_default.png");
    const int before = w.centralWidget()->width();
    const QRect editA = edit("editA")->geometry(), editBackup = edit("editBackup")->geometry();
    const QRect abort = child(&w, BtnAbortBatch)->geometry();

    w.resize(1400, 700);
    QCoreApplication::processEvents();
    ASSERT_EQ(w.centralWidget()->width(), 1400);
    checkAndSave("main_window_1400.png");
    EXPECT_GT(lastPart.width(), 100);
    const int half = (1400 - before) / 2;
    EXPECT_EQ(edit("editA")->width(), editA.width() + half);
    EXPECT_EQ(edit("editBackup")->width(), editBackup.width() + half);
    EXPECT_EQ(edit("editBackup")->x(), editBackup.x() + half);
    EXPECT_EQ(child(&w, BtnAbortBatch)->geometry(), abort); // row 3 does not move
    for (int id : {BmpBrowseA, BmpBrowseFolderB, BmpBrowseCue, BmpBackup, BmpOutput, BmpTemp, BmpExplore})
        EXPECT_FALSE(bitmapIcon(id).isNull()) << id;
}

} // namespace
} // namespace vn::test
