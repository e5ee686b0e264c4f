// The main window driven as a user would: buttons clicked, menu items triggered, and what the
// controls, the menus, the status bar and the settings file show afterwards.

#include "app_fixture.h"

#include "app/browse_folder.h"
#include "app/command_ids.h"
#include "app/comparison_model.h"
#include "app/icons.h"
#include "app/menu_state.h"
#include "app/shell.h"
#include "app/status_parts.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>

namespace vn::test {
namespace {

std::vector<ComparisonRow> sampleRows(int pairs)
{
    std::vector<ComparisonRow> rows;
    for (int i = 0; i < pairs; ++i) {
        ComparisonRow a, b;
        a.cells[0] = QString::number(i + 1);
        b.cells[0] = QString::number(i + 1);
        a.cells[1] = QStringLiteral("%1 Song.mp3").arg(i + 1, 2, 10, QLatin1Char('0'));
        b.cells[1] = a.cells[1];
        a.cells[2] = b.cells[2] = QStringLiteral("ID3v2.3");
        a.cells[3] = b.cells[3] = QStringLiteral("An Album");
        a.cells[6] = QStringLiteral("Song %1").arg(i + 1);
        b.cells[6] = i % 3 == 0 ? QStringLiteral("song %1").arg(i + 1) : a.cells[6];
        a.cells[18] = QStringLiteral("MPEG-1 Layer3");
        b.cells[18] = QStringLiteral("MPEG-1 Layer3");
        a.cells[20] = QStringLiteral("320");
        b.cells[20] = QStringLiteral("192");
        rows.push_back(a);
        rows.push_back(b);
    }
    return rows;
}

// Everything the B-mode switch may change.
struct ModeSnapshot {
    QString modeCaption, menuFolderB, editB, editTip, browseTip, exploreTip, replaceCaption, menuReplace;
    int browseBitmap = 0;
    bool encode1061 = false, encode1062 = false, cddb1063 = false;
    bool operator==(const ModeSnapshot&) const = default;
};

ModeSnapshot snapshot(MainWindow& w)
{
    ModeSnapshot s;
    s.modeCaption = child<QAbstractButton>(&w, BtnModeB)->text();
    s.menuFolderB = w.menus().action(CmdFolderB)->text();
    s.editB = child<QLineEdit>(&w, QStringLiteral("editB"))->text();
    s.editTip = child(&w, QStringLiteral("editB"))->toolTip();
    s.browseTip = child(&w, BtnBrowseB)->toolTip();
    s.exploreTip = child(&w, BtnExploreB)->toolTip();
    s.replaceCaption = child<QAbstractButton>(&w, BtnReplace)->text();
    s.menuReplace = w.menus().action(CmdReplace)->text();
    s.browseBitmap = child(&w, BtnBrowseB)->property("bitmapId").toInt();
    s.encode1061 = w.menus().action(CmdEncodeImage)->isEnabled();
    s.encode1062 = w.menus().action(CmdEncodeImages)->isEnabled();
    s.cddb1063 = w.menus().action(CmdCddbQuery)->isEnabled();
    return s;
}

TEST_F(WindowTest, StartsInFolderBAndBackupModeWithTheGivenControls)
{
    MainWindow& w = open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vornelic (Zembrath)"));
    EXPECT_TRUE(w.folderBMode());
    EXPECT_TRUE(w.backupMode());
    EXPECT_TRUE(w.albumRepeat());
    EXPECT_EQ(w.playApi(), 2);

    for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnPause, BtnStop, BtnProp, BtnAbortBatch})
        EXPECT_FALSE(child(&w, id)->isEnabled()) << id;
    for (int id : {BtnCompare, BtnRepeat, BtnBrowseA, BtnBrowseB, BtnBrowseBkup, BtnBrowseTemp, BtnExploreA,
                   BtnExploreB, BtnExploreBkup, BtnExploreTemp, BtnModeB, BtnModeBackup})
        EXPECT_TRUE(child(&w, id)->isEnabled()) << id;
    for (int id :
         {CmdReplace, CmdMoveFiles, CmdId3BlockSize, CmdId3MinPadding, CmdEncodeImage, CmdEncodeImages, CmdCddbQuery})
        EXPECT_FALSE(action(id)->isEnabled()) << id;
    // No encoder is usable in this run: every encoder item is gray.
    for (int id = CmdSelectLame; id <= CmdSelectFFmpeg; ++id) {
        EXPECT_FALSE(action(id)->isEnabled()) << id;
        EXPECT_FALSE(action(id + 10)->isEnabled()) << id + 10;
    }
    EXPECT_TRUE(action(CmdSelectLame)->isChecked()); // LAME stays selected without a settings file
    EXPECT_TRUE(w.statusText(6).isEmpty());

    // Paths come from the settings, which default to the settings folder.
    EXPECT_EQ(child<QLineEdit>(&w, QStringLiteral("editA"))->text(), w.settings().Path_A);
    EXPECT_EQ(child<QLineEdit>(&w, QStringLiteral("editBackup"))->text(), w.settings().Path_Bkup);
    EXPECT_EQ(child<QLineEdit>(&w, QStringLiteral("editPadding"))->text(), QStringLiteral("256"));
    EXPECT_EQ(child<QLineEdit>(&w, QStringLiteral("editTrackOffset"))->alignment() & Qt::AlignRight, Qt::AlignRight);

    EXPECT_EQ(child(&w, BtnModeB)->toolTip(), QStringLiteral("[Folder B] / [CD image] モードを切り替えます"));
    EXPECT_EQ(child(&w, BtnBrowseB)->toolTip(), QStringLiteral("[Folder B] フォルダを変更します"));
    EXPECT_EQ(child(&w, BtnExploreB)->toolTip(), QStringLiteral("[Folder B] のフォルダを File Explorer で閲覧します"));
    EXPECT_EQ(child(&w, QStringLiteral("editBackup"))->toolTip(), QStringLiteral("Backup Folder のパスです"));
    EXPECT_TRUE(child(&w, BtnReplace)->toolTip().contains(QStringLiteral("生成します\r\n【Folder B モード】")));
    EXPECT_TRUE(child(&w, BtnPause)->toolTip().isEmpty());

    // The two-line labels are smaller than the rest.
    auto* small = child<QLabel>(&w, QStringLiteral("labelBlockSize"));
    EXPECT_EQ(small->text(), QStringLiteral("ID3v2\nBlock size"));
    EXPECT_LT(QFontInfo(small->font()).pixelSize(), QFontInfo(w.listView()->font()).pixelSize());

    QHeaderView* header = w.listView()->horizontalHeader();
    ASSERT_EQ(w.comparisonModel()->columnCount(), 24);
    EXPECT_EQ(header->sectionSize(0), 30);
    EXPECT_EQ(header->sectionSize(6), 200);
    EXPECT_EQ(w.comparisonModel()->headerData(23, Qt::Horizontal).toString(), QStringLiteral("dataSize"));
    EXPECT_TRUE(header->sectionsMovable());
    EXPECT_EQ(w.listView()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(w.listView()->showGrid());
    EXPECT_NE(w.findChild<QStatusBar*>(QStringLiteral("100")), nullptr);
}

TEST_F(WindowTest, MenuTreeHoldsEveryCommandInOrder)
{
    MainWindow& w = open();
    auto names = [](QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->menu() ? a->menu()->objectName() : a->objectName());
        return out.join(QLatin1Char(' '));
    };
    EXPECT_EQ(names(w.menus().file), QStringLiteral("1002 1003 1004 - menuCdImageOptions - 1067 - 1001"));
    EXPECT_EQ(names(w.menus().cdImageOptions), QStringLiteral("1055 1061 1062 1063 menuCddbServer 1064"));
    EXPECT_EQ(names(w.menus().cddbServer), QStringLiteral("1065 1066"));
    EXPECT_EQ(names(w.menus().setting),
              QStringLiteral("1006 1007 1008 1009 - 1010 1011 - menuSelectEncoder menuEncoderOption menuCueCharset "
                             "1069 1037 menuBackupLevel 1068 menuPlayApi"));
    EXPECT_EQ(names(w.menus().selectEncoder), QStringLiteral("1021 1022 1023 1024 1025 1026"));
    EXPECT_EQ(names(w.menus().encoderOption), QStringLiteral("1031 1032 1033 1034 1035 1036"));
    EXPECT_EQ(names(w.menus().backupLevel), QStringLiteral("1070 1071 1072 1073 1074 1075"));
    EXPECT_EQ(names(w.menus().playApi), QStringLiteral("1043 1044"));
    EXPECT_EQ(names(w.menus().utility), QStringLiteral("1052 1051"));
    EXPECT_EQ(names(w.menus().help), QStringLiteral("1053 1054"));
    EXPECT_EQ(action(CmdReplace)->text(), QStringLiteral("Replace Tags（タグ置換）"));
    // Initial checks follow the defaults.
    EXPECT_TRUE(action(CmdCharsetAnsi)->isChecked());
    EXPECT_FALSE(action(CmdCharsetUtf8)->isChecked());
    EXPECT_TRUE(action(CmdLevel0 + 1)->isChecked());
    EXPECT_TRUE(action(CmdSaveExisting)->isChecked());
    EXPECT_TRUE(action(CmdPlayMf)->isChecked());
    EXPECT_FALSE(action(CmdAutoCddb)->isChecked());
    EXPECT_TRUE(action(CmdCddbServer1)->isChecked());
}

TEST_F(WindowTest, ModeToggleTwiceRestoresFolderBSetAndClearsListEachTime)
{
    MainWindow& w = open();
    const ModeSnapshot start = snapshot(w);
    w.comparisonModel()->setRows(sampleRows(3));
    w.settings().Path_Cue = home.filePath(QStringLiteral("disc.cue"));

    child<QAbstractButton>(&w, BtnModeB)->click();
    EXPECT_FALSE(w.folderBMode());
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    const ModeSnapshot cd = snapshot(w);
    EXPECT_EQ(cd.modeCaption, QStringLiteral("CD image"));
    EXPECT_EQ(cd.menuFolderB, QStringLiteral("CD image"));
    EXPECT_EQ(cd.editB, w.settings().Path_Cue);
    EXPECT_EQ(cd.browseBitmap, BmpBrowseCue);
    EXPECT_EQ(cd.browseTip, QStringLiteral("[CD image] の Cue Sheet ファイルを変更します"));
    EXPECT_EQ(cd.exploreTip, QStringLiteral("[CD image] のあるフォルダを File Explorer で閲覧します"));
    EXPECT_TRUE(cd.editTip.startsWith(QStringLiteral("この Cue Sheet ファイルに記載された情報に基づき")));
    EXPECT_EQ(cd.replaceCaption, QStringLiteral("Encoding B"));
    EXPECT_EQ(cd.menuReplace, QStringLiteral("Encoding B（エンコード）"));
    EXPECT_TRUE(cd.encode1061 && cd.encode1062);
    EXPECT_FALSE(cd.cddb1063); // no CDDB server configured

    w.comparisonModel()->setRows(sampleRows(2));
    child<QAbstractButton>(&w, BtnModeB)->click();
    EXPECT_TRUE(w.folderBMode());
    EXPECT_EQ(w.comparisonModel()->rowCount(), 0);
    ModeSnapshot back = snapshot(w);
    EXPECT_EQ(back.browseTip, QStringLiteral("[Folder B] のパスを変更します"));
    EXPECT_EQ(back.exploreTip, QStringLiteral("[Folder B] を File Explorer で閲覧します"));
    // The creation tooltips of the B row differ from the table's Folder B set; all else is as at start.
    back.browseTip = start.browseTip;
    back.exploreTip = start.exploreTip;
    EXPECT_EQ(back, start);
    for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnProp})
        EXPECT_FALSE(child(&w, id)->isEnabled());
    EXPECT_FALSE(action(CmdReplace)->isEnabled());
}

TEST_F(WindowTest, SwitchToCdImageCommandOnlyActsInFolderBMode)
{
    MainWindow& w = open();
    w.runCommand(BtnCdImageMode);
    EXPECT_FALSE(w.folderBMode());
    w.comparisonModel()->setRows(sampleRows(2));
    const ModeSnapshot cd = snapshot(w);
    w.runCommand(BtnCdImageMode);
    EXPECT_FALSE(w.folderBMode());
    EXPECT_EQ(snapshot(w), cd);
    EXPECT_EQ(w.comparisonModel()->rowCount(), 4);
}

TEST_F(WindowTest, BackupOutputToggleKeepsTypedPathsAndRefreshesDisplay)
{
    MainWindow& w = open();
    auto* edit = child<QLineEdit>(&w, QStringLiteral("editBackup"));
    const QString typed = home.filePath(QStringLiteral("typed-backup"));
    edit->setText(typed);

    child<QAbstractButton>(&w, BtnModeBackup)->click();
    EXPECT_FALSE(w.backupMode());
    EXPECT_EQ(child<QAbstractButton>(&w, BtnModeBackup)->text(), QStringLiteral("Output Folder"));
    EXPECT_EQ(action(CmdBackupFolder)->text(), QStringLiteral("Output Folder"));
    EXPECT_EQ(edit->text(), w.settings().Path_Otpt);
    EXPECT_EQ(child(&w, BtnBrowseBkup)->property("bitmapId").toInt(), BmpOutput);
    EXPECT_EQ(edit->toolTip(), QStringLiteral("Output Folder のパスです"));
    EXPECT_EQ(child(&w, BtnBrowseBkup)->toolTip(), QStringLiteral("Output Folder を変更します"));
    EXPECT_EQ(child(&w, BtnExploreBkup)->toolTip(), QStringLiteral("Output Folder を File Explorer で閲覧します"));

    child<QAbstractButton>(&w, BtnModeBackup)->click();
    EXPECT_EQ(edit->text(), typed);
    EXPECT_EQ(w.settings().Path_Bkup, typed);
    EXPECT_EQ(child(&w, BtnBrowseBkup)->property("bitmapId").toInt(), BmpBackup);
}

TEST_F(WindowTest, EncoderIndexZeroChecksNothingAndMarksNothing)
{
    writeIni("[Folder]\r\nBkupFldr_Level=2\r\n"); // a file without Encoder_Selected selects none
    EncoderAvailability enc;
    enc.lame = true;
    enc.lameEngineMajor = enc.lameLibraryMajor = 3;
    enc.lameEngineMinor = enc.lameLibraryMinor = 100;
    enc.flac = true;
    enc.flacVersion = "1.4.2";
    MainWindow& w = open(enc);
    EXPECT_EQ(w.settings().EncoderIndex, 0);
    for (int id = CmdSelectLame; id <= CmdSelectFFmpeg; ++id)
        EXPECT_FALSE(action(id)->isChecked()) << id;
    const QString line = w.statusText(6);
    EXPECT_EQ(line, QStringLiteral("\u3000LAME3.100 (3.100) \u3000FLAC 1.4.2 "));
    EXPECT_FALSE(line.contains(QChar(SelectedEncoderMark)));
    EXPECT_TRUE(action(CmdLevel0 + 2)->isChecked());
    EXPECT_FALSE(action(CmdLevel0 + 1)->isChecked());

    action(CmdSelectFlac)->trigger();
    EXPECT_EQ(w.settings().EncoderIndex, 2);
    EXPECT_EQ(w.statusText(6), QStringLiteral("\u3000LAME3.100 (3.100) \uFF0AFLAC 1.4.2 "));
    EXPECT_TRUE(action(CmdSelectFlac)->isChecked());
    EXPECT_FALSE(action(CmdSelectLame)->isChecked());
}

TEST_F(WindowTest, SelectedButUnusableEncoderIsCheckedGrayAndAbsentFromLine)
{
    writeIni("Encoder_Selected=opusenc\r\n");
    EncoderAvailability enc;
    enc.ffmpegVersion = "FFmpeg 6.1.1";
    enc.qaacVersion = "qaac 2.80";
    MainWindow& w = open(enc);
    EXPECT_EQ(w.settings().EncoderIndex, 5);
    QAction* opus = action(CmdSelectOpusEnc);
    EXPECT_TRUE(opus->isChecked());
    EXPECT_FALSE(opus->isEnabled());
    EXPECT_EQ(w.statusText(6), QStringLiteral("\u3000qaac 2.80\u3000FFmpeg 6.1.1"));
    EXPECT_TRUE(action(CmdSelectFFmpeg)->isEnabled());
    EXPECT_TRUE(action(CmdOptionQaac)->isEnabled());
    EXPECT_FALSE(action(CmdOptionFdkaac)->isEnabled());
}

TEST_F(WindowTest, CddbServerItemsShowHostsAndSwap)
{
    writeIni("Cddb_Server1=cddb.example.org\r\nCddb_Server2=http://gnudb.example.net/~cddb/cddb.cgi\r\n");
    MainWindow& w = open();
    // Without "//" the item keeps its text: still the empty one it started with.
    EXPECT_TRUE(action(CmdCddbServer1)->text().isEmpty());
    EXPECT_TRUE(action(CmdCddbServer1)->isChecked());
    EXPECT_EQ(action(CmdCddbServer2)->text(), QStringLiteral("gnudb.example.net"));

    action(CmdCddbServer2)->trigger();
    EXPECT_EQ(w.settings().Cddb_Server1, QByteArray("http://gnudb.example.net/~cddb/cddb.cgi"));
    EXPECT_EQ(w.settings().Cddb_Server2, QByteArray("cddb.example.org"));
    EXPECT_EQ(action(CmdCddbServer1)->text(), QStringLiteral("gnudb.example.net"));
    EXPECT_EQ(action(CmdCddbServer2)->text(), QStringLiteral("gnudb.example.net")); // kept: no host in the new text
    EXPECT_TRUE(action(CmdCddbServer1)->isChecked());
    EXPECT_FALSE(action(CmdCddbServer2)->isChecked());

    action(CmdCddbServer1)->trigger(); // the current server: stays checked
    EXPECT_TRUE(action(CmdCddbServer1)->isChecked());

    // With a server the CD image mode offers the query.
    w.runCommand(BtnModeB);
    EXPECT_TRUE(action(CmdCddbQuery)->isEnabled());
    action(CmdAutoCddb)->trigger();
    EXPECT_EQ(w.settings().Cddb_CDimg, 1);
    EXPECT_TRUE(action(CmdAutoCddb)->isChecked());
}

TEST_F(WindowTest, EmptyCddbServerGraysItsItem)
{
    writeIni("Cddb_Server2=http://a.example/x\r\n");
    MainWindow& w = open();
    EXPECT_FALSE(action(CmdCddbServer1)->isEnabled());
    action(CmdCddbServer2)->trigger(); // one side empty: no exchange
    EXPECT_TRUE(w.settings().Cddb_Server1.isEmpty());
    EXPECT_EQ(w.settings().Cddb_Server2, QByteArray("http://a.example/x"));
}

TEST_F(WindowTest, OptionInputBoxesKeepValueUnlessOk)
{
    MainWindow& w = open();
    w.settings().Qaac_Options = QStringLiteral("--tvbr 91");

    // qaac is not usable here, so its menu item is gray: the command is run directly.
    onNextModal([](QWidget* dialog) { dialog->close(); });
    w.runCommand(CmdOptionQaac);
    EXPECT_EQ(w.settings().Qaac_Options, QStringLiteral("--tvbr 91"));

    onNextModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Qaac Encoder Option"));
        EXPECT_EQ(child<QLabel>(dialog, QStringLiteral("6206"))->text(),
                  QStringLiteral("Set Qaac Command line Option"));
        child<QLineEdit>(dialog, QStringLiteral("6207"))->setText(QStringLiteral("--cvbr 256"));
        child<QAbstractButton>(dialog, QStringLiteral("2"))->click();
    });
    w.runCommand(CmdOptionQaac);
    EXPECT_EQ(w.settings().Qaac_Options, QStringLiteral("--tvbr 91"));

    onNextModal([](QWidget* dialog) {
        EXPECT_EQ(child<QAbstractButton>(dialog, QStringLiteral("1"))->text(), QStringLiteral("Ok"));
        child<QLineEdit>(dialog, QStringLiteral("6207"))->setText(QStringLiteral("--cvbr 256"));
        child<QAbstractButton>(dialog, QStringLiteral("1"))->click();
    });
    w.runCommand(CmdOptionQaac);
    EXPECT_EQ(w.settings().Qaac_Options, QStringLiteral("--cvbr 256"));

    // The containers box takes at most 255 characters.
    onNextModal([](QWidget* dialog) {
        child<QLineEdit>(dialog, QStringLiteral("6207"))->setText(QString(300, QLatin1Char('x')));
        child<QAbstractButton>(dialog, QStringLiteral("1"))->click();
    });
    w.runCommand(CmdFFmpegContainers);
    EXPECT_EQ(w.settings().FFmpeg_Containers, QString(255, QLatin1Char('x')));
}

TEST_F(WindowTest, ExtensionPriorityIsSplitAgainWhateverClosesTheBox)
{
    MainWindow& w = open();
    onNextModal([](QWidget* dialog) {
        EXPECT_EQ(child<QLineEdit>(dialog, QStringLiteral("6207"))->text(),
                  QStringLiteral(".mp3 .m4a .mp4 .flac .mka .webm .wav"));
        child<QLineEdit>(dialog, QStringLiteral("6207"))->setText(QStringLiteral(".flac .mp3, .wav"));
        child<QAbstractButton>(dialog, QStringLiteral("1"))->click();
    });
    w.runCommand(CmdExtPriority);
    EXPECT_EQ(w.settings().ExtPriorityList, QStringList({QStringLiteral(".flac"), QStringLiteral(".mp3")}));

    onNextModal([](QWidget* dialog) {
        EXPECT_EQ(child<QLineEdit>(dialog, QStringLiteral("6207"))->text(), QStringLiteral(".flac .mp3"));
        dialog->close();
    });
    w.runCommand(CmdExtPriority);
    EXPECT_EQ(w.settings().FileExtPriority, QStringLiteral(".flac .mp3"));
}

TEST_F(WindowTest, CommandsOfLaterPartsSayTheyAreUnavailable)
{
    MainWindow& w = open();
    for (int id : {CmdBatchReencode, CmdOptionLame, CmdMiscCopy, CmdCreateImage}) {
        QString text;
        onNextModal([&text](QWidget* dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(dialog))
                text = box->text();
            dialog->close();
        });
        w.runCommand(id);
        EXPECT_TRUE(text.contains(QStringLiteral("not available in this build"))) << id << " " << text.toStdString();
    }
}

TEST_F(WindowTest, FlacOptionAndAboutShowTheirMessages)
{
    MainWindow& w = open();
    QString title, text;
    auto grab = [&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        box->close();
    };
    onNextModal(grab);
    w.runCommand(CmdOptionFlac);
    EXPECT_EQ(title, QStringLiteral("FLAC Encoder Option"));
    EXPECT_EQ(text, QStringLiteral("Some options for FLAC may be changed in the configuration file Vornelic.ini."));
    onNextModal(grab);
    w.runCommand(CmdAbout);
    EXPECT_EQ(title, QStringLiteral("About Vornelic"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Vornelic ver.1.05")));
}

TEST_F(WindowTest, FolderChoicesUpdateSettingsAndIgnoreCancelAndOverlongPaths)
{
    MainWindow& w = open();
    const QString start = w.settings().Path_A;
    QString offered;
    QString answer = home.filePath(QStringLiteral("music"));
    setFolderChooser([&](QWidget*, const QString& title, const QString& from) {
        offered = title + QLatin1Char('|') + from;
        return answer;
    });
    child<QAbstractButton>(&w, BtnBrowseA)->click();
    EXPECT_EQ(offered, QStringLiteral("Select Folder A|") + start);
    EXPECT_EQ(w.settings().Path_A, answer);
    EXPECT_EQ(child<QLineEdit>(&w, QStringLiteral("editA"))->text(), answer);

    answer.clear(); // cancelled
    w.runCommand(CmdFolderA);
    EXPECT_EQ(w.settings().Path_A, home.filePath(QStringLiteral("music")));

    answer = QStringLiteral("/") + QString(259, QLatin1Char('d')); // 260 characters: does not fit
    w.runCommand(CmdTempFolder);
    EXPECT_NE(w.settings().Path_Temp, answer);
    answer.chop(1);
    w.runCommand(CmdTempFolder);
    EXPECT_EQ(w.settings().Path_Temp, answer);
    EXPECT_EQ(child<QLineEdit>(&w, QStringLiteral("editTemp"))->text(), answer);

    w.runCommand(BtnModeBackup);
    answer = home.filePath(QStringLiteral("out"));
    w.runCommand(CmdBackupFolder);
    EXPECT_TRUE(offered.startsWith(QStringLiteral("Select Output Folder|")));
    EXPECT_EQ(w.settings().Path_Otpt, answer);
    setFolderChooser({});

    // In CD image mode the B button picks a cue sheet that exists.
    const QString cue = home.filePath(QStringLiteral("disc.cue"));
    ASSERT_TRUE(writeFile(cue, "FILE \"disc.wav\" WAVE\n"));
    QStringList filters;
    setFileChooser([&](QWidget*, const QString& title, const QString&, const QStringList& f) {
        filters = f;
        filters.prepend(title);
        return cue;
    });
    w.runCommand(BtnModeB);
    child<QAbstractButton>(&w, BtnBrowseB)->click();
    setFileChooser({});
    EXPECT_EQ(filters.value(0), QStringLiteral("Select CUE sheet file"));
    EXPECT_EQ(filters.value(1), QStringLiteral("Cue files {*.cue} (*.cue)"));
    EXPECT_EQ(w.settings().Path_Cue, cue);
    EXPECT_EQ(child<QLineEdit>(&w, QStringLiteral("editB"))->text(), cue);
}

TEST_F(WindowTest, ExploreButtonsOpenTheFoldersShownInTheBoxes)
{
    MainWindow& w = open();
    QStringList opened;
    setShellOpener([&](const QString& path) { opened << path; });
    const QString typed = home.filePath(QStringLiteral("typed-a"));
    child<QLineEdit>(&w, QStringLiteral("editA"))->setText(typed);
    child<QAbstractButton>(&w, BtnExploreA)->click();
    EXPECT_EQ(w.settings().Path_A, typed);

    w.runCommand(BtnModeB);
    child<QLineEdit>(&w, QStringLiteral("editB"))->setText(home.filePath(QStringLiteral("images/disc one.cue")));
    child<QAbstractButton>(&w, BtnExploreB)->click();
    child<QAbstractButton>(&w, BtnExploreTemp)->click();

    // The manual is the page installed beside the program.
    const QString help = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Vornelic_help.htm"));
    QFile::remove(help);
    ASSERT_TRUE(QFile::copy(QStringLiteral(VORNELIC_BIN_DIR "/Vornelic_help.htm"), help));
    action(CmdManual)->trigger();
    setShellOpener({});

    ASSERT_EQ(opened.size(), 4);
    EXPECT_EQ(opened[0], typed);
    EXPECT_EQ(opened[1], home.filePath(QStringLiteral("images")));
    EXPECT_EQ(opened[2], w.settings().Path_Temp);
    EXPECT_EQ(opened[3], help);
}

TEST_F(WindowTest, HelpPageDescribesTheWindow)
{
    const QByteArray page = readFile(QStringLiteral(VORNELIC_BIN_DIR "/Vornelic_help.htm"));
    ASSERT_FALSE(page.isEmpty());
    for (const char* text : {"<html", "Compare A/B", "Folder B", "CD image", "Backup Folder", "Output Folder",
                             "TempFile Folder", "Abort Batch", "Vornelic.ini", "Select Encoder"})
        EXPECT_TRUE(page.contains(text)) << text;
}

TEST_F(WindowTest, RepeatAbortAndSmallSettingCommands)
{
    MainWindow& w = open();
    child<QAbstractButton>(&w, BtnRepeat)->click();
    EXPECT_FALSE(w.albumRepeat());
    EXPECT_EQ(child<QAbstractButton>(&w, BtnRepeat)->text(), QStringLiteral("Track repeat"));
    child<QAbstractButton>(&w, BtnRepeat)->click();
    EXPECT_EQ(child<QAbstractButton>(&w, BtnRepeat)->text(), QStringLiteral("Album repeat"));

    child(&w, BtnAbortBatch)->setEnabled(true); // as a batch run does
    child<QAbstractButton>(&w, BtnAbortBatch)->click();
    EXPECT_TRUE(w.abortRequested());
    EXPECT_TRUE(w.feedback().abortRequested());
    EXPECT_FALSE(child(&w, BtnAbortBatch)->isEnabled());

    action(CmdPlayMci)->trigger();
    EXPECT_EQ(w.playApi(), 1);
    EXPECT_TRUE(action(CmdPlayMci)->isChecked());
    EXPECT_FALSE(action(CmdPlayMf)->isChecked());
    action(CmdSaveExisting)->trigger();
    EXPECT_EQ(w.settings().BkupFldr_Exist, 0);
    EXPECT_FALSE(action(CmdSaveExisting)->isChecked());
    action(CmdId3BlockSize)->trigger(); // gray in the menu, and nothing to do
    w.feedback().setStatus(2, QStringLiteral("working"));
    EXPECT_EQ(w.statusText(2), QStringLiteral("working"));
    EXPECT_EQ(w.trackOffsetFromBox(), 0);
    child<QLineEdit>(&w, QStringLiteral("editTrackOffset"))->setText(QStringLiteral("-2"));
    EXPECT_EQ(w.trackOffsetFromBox(), -2);
}

TEST_F(WindowTest, ClosingSavesWhatChanged)
{
    {
        MainWindow& w = open();
        action(CmdCharsetUtf8)->trigger();
        action(CmdLevel0 + 3)->trigger();
        child<QLineEdit>(&w, QStringLiteral("editBlockSize"))->setText(QStringLiteral("512"));
        child<QLineEdit>(&w, QStringLiteral("editA"))->setText(home.filePath(QStringLiteral("typed")));
        action(CmdExit)->trigger();
        window.reset();
    }
    const QByteArray ini = readFile(home.filePath(QStringLiteral("Vornelic.ini")));
    EXPECT_TRUE(ini.contains("CP_Cue_Sheet=65001\r\n"));
    EXPECT_TRUE(ini.contains("BkupFldr_Level=3\r\n"));
    EXPECT_TRUE(ini.contains("ID3_Blk=512\r\n"));
    EXPECT_TRUE(ini.contains("Encoder_Selected=LAME\r\n"));

    MainWindow& again = open();
    EXPECT_TRUE(action(CmdCharsetUtf8)->isChecked());
    EXPECT_FALSE(action(CmdCharsetAnsi)->isChecked());
    EXPECT_TRUE(action(CmdLevel0 + 3)->isChecked());
    EXPECT_EQ(child<QLineEdit>(&again, QStringLiteral("editBlockSize"))->text(), QStringLiteral("512"));
    EXPECT_EQ(again.settings().Path_A, home.filePath(QStringLiteral("typed")));
}

TEST_F(WindowTest, MissingFoldersAreOfferedAtStart)
{
    const QString missingBackup = home.filePath(QStringLiteral("nested/backup"));
    const QString missingOutput = home.filePath(QStringLiteral("nested/output"));
    writeIni("Path_Bkup=" + missingBackup.toUtf8() + "\r\nPath_Otpt=" + missingOutput.toUtf8() + "\r\n");
    QStringList questions;
    // Yes for the Backup folder, then No for the Output folder.
    onNextModal([&questions](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        questions << box->windowTitle() << box->text();
        onNextModal([&questions](QWidget* second) {
            auto* box = qobject_cast<QMessageBox*>(second);
            ASSERT_NE(box, nullptr);
            questions << box->windowTitle();
            box->button(QMessageBox::No)->click();
        });
        box->button(QMessageBox::Yes)->click();
    });
    open();
    ASSERT_EQ(questions.size(), 3);
    EXPECT_EQ(questions[0], QStringLiteral("Warning : Backup Folder not found"));
    EXPECT_EQ(questions[1], QStringLiteral("Backup Folder \"%1\" not found\nCreate %1 ?").arg(missingBackup));
    EXPECT_EQ(questions[2], QStringLiteral("Warning : Output Folder not found"));
    EXPECT_TRUE(QFileInfo(missingBackup).isDir());
    EXPECT_FALSE(QFileInfo(missingOutput).exists());
}

TEST(EncoderProbeTest, InstalledLibrariesGiveTheirVersions)
{
    const EncoderAvailability found = probeEncoders();
    if (found.lame) {
        EXPECT_GE(found.lameEngineMajor, 3);
        EXPECT_TRUE(encoderLine(found, 1).startsWith(QStringLiteral("\uFF0ALAME%1.").arg(found.lameEngineMajor)));
    }
    if (found.flac) {
        EXPECT_TRUE(QString::fromLatin1(found.flacVersion).contains(QRegularExpression(QStringLiteral("^\\d+\\.\\d+"))))
            << found.flacVersion.constData();
    }
    // The outside tools are only ever found by running them.
    EXPECT_TRUE(found.qaacVersion.isEmpty() && found.ffmpegVersion.isEmpty());
}

TEST_F(WindowTest, ResizeRuleAndScreenshots)
{
    MainWindow& w = open(std::nullopt); // the encoders this machine really has, for the picture
    w.comparisonModel()->setRows(sampleRows(12));
    w.setStatusText(0, QStringLiteral("12"));
    w.setStatusText(1, QStringLiteral("Compare A/B done"));
    w.show();
    QCoreApplication::processEvents();

    const QString shots = QDir(QStringLiteral(VORNELIC_BIN_DIR "/..")).absoluteFilePath(QStringLiteral("screenshots"));
    QDir().mkpath(shots);
    EXPECT_TRUE(w.grab().save(shots + QStringLiteral("/main_window_default.png")));

    w.resize(1400, 700);
    QCoreApplication::processEvents();
    QWidget* client = w.centralWidget();
    ASSERT_EQ(client->width(), 1400);
    const int wPath = 1400 / 2 - 75; // 625
    EXPECT_EQ(child(&w, QStringLiteral("editA"))->geometry(), QRect(60, 2, wPath, 22));
    EXPECT_EQ(child(&w, QStringLiteral("editB"))->geometry(), QRect(60, 26, wPath, 22));
    EXPECT_EQ(child(&w, BtnBrowseA)->x(), 60 + wPath + 2);
    EXPECT_EQ(child(&w, BtnExploreB)->x(), 60 + wPath + 24);
    EXPECT_EQ(child(&w, BtnModeBackup)->pos(), QPoint(60 + wPath + 57, 2));
    EXPECT_EQ(child(&w, QStringLiteral("labelTempFolder"))->pos(), QPoint(60 + wPath + 57, 26));
    EXPECT_EQ(child(&w, QStringLiteral("editBackup"))->geometry(), QRect(60 + wPath + 147, 2, wPath - 110, 22));
    EXPECT_EQ(child(&w, BtnBrowseTemp)->pos(), QPoint(60 + wPath + 147 + wPath - 110 + 2, 26));
    EXPECT_EQ(child(&w, BtnExploreBkup)->x(), 60 + wPath + 147 + wPath - 110 + 24);
    EXPECT_EQ(w.listView()->geometry(), QRect(0, 78, 1400, client->height() - 78));
    // Row 3 does not move.
    EXPECT_EQ(child(&w, BtnAbortBatch)->geometry(), QRect(800, 50, 70, 22));

    auto* parts = w.findChild<StatusParts*>();
    ASSERT_NE(parts, nullptr);
    const QLabel* six = parts->part(6);
    const QLabel* seven = parts->part(7);
    EXPECT_EQ(six->geometry().left(), 654);
    EXPECT_EQ(seven->geometry().left(), 1200);
    EXPECT_GE(seven->geometry().right(), parts->width() - 3);
    EXPECT_EQ(parts->part(0)->geometry().left(), 0);
    EXPECT_LE(parts->part(0)->geometry().right(), 30);

    EXPECT_TRUE(w.grab().save(shots + QStringLiteral("/main_window_1400.png")));

    // The button pictures, large, for a look at their drawing.
    QPixmap sheet(8 * 56, 56);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int x = 4;
    for (int id : {BmpBrowseA, BmpBrowseFolderB, BmpBrowseCue, BmpBackup, BmpOutput, BmpTemp, BmpExplore}) {
        const QIcon icon = bitmapIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        painter.drawPixmap(x, 4, icon.pixmap(48, 48));
        x += 56;
    }
    painter.drawPixmap(x, 4, applicationIcon().pixmap(48, 48));
    painter.end();
    EXPECT_TRUE(sheet.save(shots + QStringLiteral("/button_pictures.png")));
}

} // namespace
} // namespace vn::test
