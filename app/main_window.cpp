#include "app/main_window.h"

#include "app/browse_folder.h"
#include "app/command_ids.h"
#include "app/commands.h"
#include "app/comparison_model.h"
#include "app/icons.h"
#include "app/input_box.h"
#include "app/menu_state.h"
#include "app/shell.h"
#include "app/status_parts.h"
#include "app/text_box.h"
#include "containers/cd_image_properties.h"
#include "containers/properties.h"
#include "encode/move_files.h"
#include "session/compare.h"
#include "util/numbers.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>

namespace vn {

namespace {

// Every path setting holds at most this many characters, terminator included.
constexpr int PathCapacity = 260;

const QString ProgramTitle = QStringLiteral("Vornelic");

struct ModeTexts {
    QString caption;
    QString editTip;
    int browseBitmap;
    QString browseTip;
    QString exploreTip;
    QString replaceCaption;
    QString replaceItem;
};

const ModeTexts& modeTexts(bool folderBMode)
{
    static const ModeTexts folderB{
        QStringLiteral("Folder B"),
        QStringLiteral("このフォルダのMP3ファイルのオーディオデータが継承されます"),
        BmpBrowseFolderB,
        QStringLiteral("[Folder B] のパスを変更します"),
        QStringLiteral("[Folder B] を File Explorer で閲覧します"),
        QStringLiteral("Replace Tags"),
        QStringLiteral("Replace Tags（タグ置換）"),
    };
    static const ModeTexts cdImage{
        QStringLiteral("CD image"),
        QStringLiteral("この Cue Sheet ファイルに記載された情報に基づき PCM形式のイメージファイルからエンコードされ "
                       "MP3/AAC/FLAC等の形式のオーディオファイルが生成されます"),
        BmpBrowseCue,
        QStringLiteral("[CD image] の Cue Sheet ファイルを変更します"),
        QStringLiteral("[CD image] のあるフォルダを File Explorer で閲覧します"),
        QStringLiteral("Encoding B"),
        QStringLiteral("Encoding B（エンコード）"),
    };
    return folderBMode ? folderB : cdImage;
}

// The label sizes were made for a narrower face than most desktops use: the font shrinks until each
// line fits, so no caption is cut.
void fitLabelFont(QLabel* label, QFont font)
{
    const QStringList lines = label->text().split(QLatin1Char('\n'));
    auto fits = [&](const QFont& f) {
        QFontMetrics metrics(f);
        for (const QString& line : lines) {
            if (metrics.horizontalAdvance(line) > label->width() - 2)
                return false;
        }
        return metrics.height() * lines.size() <= label->height() + 2;
    };
    const bool points = font.pointSizeF() > 0;
    for (int step = 0; step < 20 && !fits(font); ++step) {
        if (points) {
            if (font.pointSizeF() <= 5.5)
                break;
            font.setPointSizeF(font.pointSizeF() - 0.5);
        } else {
            if (font.pixelSize() <= 7)
                break;
            font.setPixelSize(font.pixelSize() - 1);
        }
    }
    label->setFont(font);
}

} // namespace

MainWindow::MainWindow(std::optional<EncoderAvailability> encoders, QWidget* parent)
    : QMainWindow(parent), feedback_(this)
{
    setObjectName(QStringLiteral("Vornelic"));
    setWindowTitle(QStringLiteral("Vornelic (Zembrath)"));
    setWindowIcon(applicationIcon());
    feedback_.setAbortFlag(&abortRequested_);

    // The settings first: everything below reads them.
    settings_ = defaultSettings(resolveExeDir());
    iniPath_ = settings_.IniPath.isEmpty() ? QDir(settings_.ExeDir).filePath(QStringLiteral("Vornelic.ini"))
                                           : settings_.IniPath;
    if (!LoadSettings(settings_, iniPath_))
        createWorkingFolders(settings_);
    applyToProcess(settings_);
    askForLogNames(settings_, feedback_);

    encoders_ = encoders ? *encoders : probeEncoders();

    menus_ = buildMenus(menuBar(), [this](int id) { runCommand(id); });
    buildControls();
    applyInitialMenuStates(menus_, encoders_, settings_, folderBMode_);
    feedback_.setStatusSink([this](int part, const QString& text) { setStatusText(part, text); });

    EnsureFolder(feedback_, settings_.Path_Bkup, QStringLiteral("Backup Folder"));
    EnsureFolder(feedback_, settings_.Path_Otpt, QStringLiteral("Output Folder"));
    EnsureFolder(feedback_, settings_.Path_Temp, QStringLiteral("Temporary Folder"));

    refreshEncoderLine();
    refreshCharsetChecks(menus_, settings_.CP_Cue_Sheet);
    refreshLevelChecks(menus_, settings_.BkupFldr_Level);
    refreshSaveExistingCheck(menus_, settings_.BkupFldr_Exist);
    refreshPlayApiChecks(menus_, playApi_);
    refreshCddbServerItem(menus_, settings_.Cddb_Server1, CmdCddbServer1);
    refreshCddbServerItem(menus_, settings_.Cddb_Server2, CmdCddbServer2);
    refreshAutoCddbCheck(menus_, settings_.Cddb_CDimg);

    resize(1024, 640);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setAutoFillBackground(true);
    QPalette pal = client_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    client_->setPalette(pal);
    client_->installEventFilter(this);
    setCentralWidget(client_);

    // The list first: every control takes its font.
    list_ = new QTableView(client_);
    list_->setObjectName(QString::number(ListViewId));
    model_ = new ComparisonModel(list_);
    list_->setModel(model_);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setWordWrap(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->verticalHeader()->hide();
    // Fixed row heights keep scrolling through tens of thousands of rows cheap.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    QHeaderView* header = list_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    for (int c = 0; c < ListColumnCount; ++c)
        header->resizeSection(c, listColumnWidth(c));

    const QFont listFont = list_->font();
    QFont smallFont = listFont;
    if (listFont.pixelSize() > 0)
        smallFont.setPixelSize(std::max(1, listFont.pixelSize() * 3 / 4));
    else
        smallFont.setPointSizeF(listFont.pointSizeF() * 0.75);

    auto label = [this](const QString& text, QRect geometry, Qt::Alignment align, const char* name) {
        auto* l = new QLabel(text, client_);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(align);
        l->setGeometry(geometry);
        return l;
    };
    auto edit = [this](const QString& text, QRect geometry, const char* name) {
        auto* e = new QLineEdit(text, client_);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(geometry);
        return e;
    };
    auto bitmapButton = [this](int id, int bitmapId, QRect geometry, const QString& tip) {
        auto* b = new QToolButton(client_);
        b->setObjectName(QString::number(id));
        b->setGeometry(geometry);
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(false);
        setBitmap(b, bitmapId);
        AddToolTip(b, tip);
        connect(b, &QToolButton::clicked, this, [this, id] { runCommand(id); });
        buttons_.insert(id, b);
        return b;
    };
    auto button = [this](int id, const QString& text, QRect geometry, bool enabled, const QString& tip) {
        auto* b = new QPushButton(text, client_);
        b->setObjectName(QString::number(id));
        b->setGeometry(geometry);
        b->setEnabled(enabled);
        b->setAutoDefault(false);
        if (!tip.isEmpty())
            AddToolTip(b, tip);
        connect(b, &QPushButton::clicked, this, [this, id] { runCommand(id); });
        buttons_.insert(id, b);
        return b;
    };

    // Row 1: Folder A, Backup/Output.
    labelA_ = label(QStringLiteral("Folder A"), QRect(1, 4, 58, 20), Qt::AlignCenter, "labelFolderA");
    fitLabelFont(labelA_, listFont);
    editA_ = edit(settings_.Path_A, QRect(60, 2, 325, 22), "editA");
    AddToolTip(editA_, QStringLiteral("[Folder A] このフォルダ内のオーディオファイルのタグ情報が継承されます"));
    browseA_ = bitmapButton(BtnBrowseA, BmpBrowseA, QRect(387, 2, 20, 20), QStringLiteral("[Folder A] を変更します"));
    exploreA_ = bitmapButton(BtnExploreA, BmpExplore, QRect(409, 2, 20, 20),
                             QStringLiteral("[Folder A] を File Explorer で閲覧します"));

    // Row 2: Folder B or the CD image, and the TempFile folder.
    modeB_ = button(BtnModeB, QStringLiteral("Folder B"), QRect(1, 25, 58, 23), true,
                    QStringLiteral("[Folder B] / [CD image] モードを切り替えます"));
    editB_ = edit(settings_.Path_B, QRect(60, 26, 325, 22), "editB");
    AddToolTip(editB_, QStringLiteral("このフォルダのMP3ファイルのオーディオデータが継承されます"));
    browseB_ = bitmapButton(BtnBrowseB, BmpBrowseFolderB, QRect(387, 26, 20, 20),
                            QStringLiteral("[Folder B] フォルダを変更します"));
    exploreB_ = bitmapButton(BtnExploreB, BmpExplore, QRect(409, 26, 20, 20),
                             QStringLiteral("[Folder B] のフォルダを File Explorer で閲覧します"));

    modeBackup_ = button(
        BtnModeBackup, QStringLiteral("Backup Folder"), QRect(442, 2, 88, 23), true,
        QStringLiteral(
            "【Backup モード】と【Output モード】を切り替えます\r\n\r\n【Backup モード】\r\nタグを置換したファイルを "
            "TempFileフォルダに生成し、フォルダＡの参照したファイルを Backupフォルダに移動した後に、タグを置換した"
            "ファイルを TempFileフォルダからフォルダＡに移動します\r\n\r\n【Output "
            "モード】\r\nタグを置換したファイルを "
            "Outputフォルダに直接生成します"));
    editBackup_ = edit(settings_.Path_Bkup, QRect(532, 2, 220, 22), "editBackup");
    browseBackup_ = bitmapButton(BtnBrowseBkup, BmpBackup, QRect(754, 2, 20, 20), QString());
    exploreBackup_ = bitmapButton(BtnExploreBkup, BmpExplore, QRect(776, 2, 20, 20), QString());
    AddToolTip(editBackup_, QStringLiteral("Backup Folder のパスです"));
    AddToolTip(browseBackup_, QStringLiteral("Backup Folder を変更します"));
    AddToolTip(exploreBackup_, QStringLiteral("Backup Folder を File Explorer で閲覧します"));

    labelTemp_ = label(QStringLiteral("TempFile Folder"), QRect(442, 26, 90, 20), Qt::AlignLeft | Qt::AlignVCenter,
                       "labelTempFolder");
    fitLabelFont(labelTemp_, listFont);
    editTemp_ = edit(settings_.Path_Temp, QRect(532, 26, 220, 22), "editTemp");
    AddToolTip(editTemp_, QStringLiteral("一時的に作成される一時ファイルを格納する作業用フォルダのパスです"));
    browseTemp_ = bitmapButton(BtnBrowseTemp, BmpTemp, QRect(754, 26, 20, 20),
                               QStringLiteral("一時ファイルを格納する作業用フォルダを変更します"));
    exploreTemp_ = bitmapButton(BtnExploreTemp, BmpExplore, QRect(776, 26, 20, 20),
                                QStringLiteral("作業用フォルダを File Explorer で閲覧します"));

    // Row 3: the commands and the three numbers.
    button(BtnCompare, QStringLiteral("Compare A/B"), QRect(4, 50, 85, 22), true,
           QStringLiteral(
               "[Folder A] と [Folder B / CD image] のなかのオーディオファイルのタグ情報などを比較し下記のリストに表示"
               "します"));
    button(
        BtnReplace, QStringLiteral("Replace Tags"), QRect(92, 50, 85, 22), false,
        QStringLiteral(
            "下記リストの奇数行[Ai] のタグ情報と偶数行[Bi] のオーディオデータを組み合わせたオーディオファイルを生成"
            "します\r\n【Folder B モード】では[Folder A][Folder B]とも .mp3 で ID3v2 バージョンが一致している必要が"
            "あります\r\n【CD image モード】では CD-DA の Cue Sheet に基づいてイメージファイルをエンコードしオーディオ"
            "データを生成します\r\n◆生成ファイルの格納先\r\n【Backup モード】では [TempFile Folder] に生成します"
            "\r\n【Output モード】では [Output Folder] の下に直接生成します"));
    button(BtnMoveFiles, QStringLiteral("Move Files"), QRect(180, 50, 75, 22), false,
           QStringLiteral(
               "[Folder A] 内のタグ参照ファイルを [Backup Folder] に移動した後に、タグを置換し [TempFile Folder] "
               "に生成したファイルを [TempFile Folder] から [Folder A] に移動します"));
    button(BtnProp, QStringLiteral("Prop"), QRect(263, 50, 30, 22), false,
           QStringLiteral("オーディオファイルのタグ情報などのプロパティ（メタデータ）を表示します"));
    button(BtnPlay, QStringLiteral("Audio play"), QRect(302, 50, 76, 22), false,
           QStringLiteral("オーディオファイルを再生します"));
    button(BtnPause, QStringLiteral("pause"), QRect(380, 50, 48, 22), false, QString());
    button(BtnStop, QStringLiteral("stop"), QRect(430, 50, 38, 22), false,
           QStringLiteral("オーディオファイルの再生を終了します"));
    repeat_ = button(BtnRepeat, QStringLiteral("Album repeat"), QRect(470, 50, 88, 22), true,
                     QStringLiteral("リピート方法を切り替えます"));

    auto smallLabel = [&](const QString& text, QRect geometry, const char* name) {
        QLabel* l = label(text, geometry, Qt::AlignLeft | Qt::AlignVCenter, name);
        fitLabelFont(l, smallFont);
        return l;
    };
    auto numberBox = [&](int value, QRect geometry, const char* name) {
        QLineEdit* e = edit(QString::number(value), geometry, name);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setValidator(new QIntValidator(e));
        return e;
    };
    smallLabel(QStringLiteral("Bs Track\nOffset"), QRect(568, 50, 34, 25), "labelTrackOffset");
    editOffset_ = numberBox(trackOffsetB_, QRect(603, 50, 28, 22), "editTrackOffset");
    smallLabel(QStringLiteral("ID3v2\nBlock size"), QRect(638, 50, 41, 25), "labelBlockSize");
    editBlock_ = numberBox(settings_.ID3_Blk, QRect(679, 50, 35, 22), "editBlockSize");
    smallLabel(QStringLiteral("Minimum\nPadding"), QRect(720, 50, 38, 25), "labelPadding");
    editPadding_ = numberBox(settings_.ID3_Pad, QRect(761, 50, 35, 22), "editPadding");
    abortBatch_ = button(BtnAbortBatch, QStringLiteral("Abort Batch"), QRect(800, 50, 70, 22), false,
                         QStringLiteral("一括処理を中止します"));

    status_ = new StatusParts;
    statusBar()->setObjectName(QString::number(StatusBarId));
    statusBar()->addWidget(status_, 1);
    statusBar()->setSizeGripEnabled(true);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client_ && event->type() == QEvent::Resize) {
        const QSize size = client_->size();
        if (size.width() > 800)
            layoutPathRows(size.width());
        list_->setGeometry(0, 78, size.width(), std::max(0, size.height() - 78));
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::layoutPathRows(int width)
{
    const int w = width / 2 - 75;
    editA_->setGeometry(60, 2, w, 22);
    editB_->setGeometry(60, 26, w, 22);
    int x = 60 + w + 2;
    browseA_->move(x, 2);
    browseB_->move(x, 26);
    x += 22;
    exploreA_->move(x, 2);
    exploreB_->move(x, 26);
    x += 33;
    modeBackup_->move(x, 2);
    labelTemp_->move(x, 26);
    x += 90;
    const int rightWidth = std::max(0, w - 110);
    editBackup_->setGeometry(x, 2, rightWidth, 22);
    editTemp_->setGeometry(x, 26, rightWidth, 22);
    x += rightWidth + 2;
    browseBackup_->move(x, 2);
    browseTemp_->move(x, 26);
    x += 22;
    exploreBackup_->move(x, 2);
    exploreTemp_->move(x, 26);
}

void MainWindow::setBitmap(QToolButton* button, int bitmapId)
{
    button->setIcon(bitmapIcon(bitmapId));
    button->setProperty("bitmapId", bitmapId);
}

void MainWindow::setCommandEnabled(int id, bool enabled)
{
    if (QWidget* button = buttons_.value(id, nullptr))
        button->setEnabled(enabled);
    menus_.setEnabled(id, enabled);
}

QString MainWindow::statusText(int part) const
{
    return status_ ? status_->text(part) : QString();
}

void MainWindow::setStatusText(int part, const QString& text)
{
    if (status_)
        status_->setText(part, text);
}

int MainWindow::trackOffsetFromBox() const
{
    return toLong(editOffset_->text());
}

void MainWindow::setEncoderAvailability(const EncoderAvailability& encoders)
{
    encoders_ = encoders;
    applyInitialMenuStates(menus_, encoders_, settings_, folderBMode_);
    refreshEncoderLine();
}

void MainWindow::refreshEncoderLine()
{
    refreshEncoderChecks(menus_, settings_.EncoderIndex);
    setStatusText(6, encoderLine(encoders_, settings_.EncoderIndex));
}

void MainWindow::refreshBackupOutputDisplay()
{
    const QString caption = backupMode_ ? QStringLiteral("Backup Folder") : QStringLiteral("Output Folder");
    modeBackup_->setText(caption);
    menus_.setText(CmdBackupFolder, caption);
    editBackup_->setText(backupMode_ ? settings_.Path_Bkup : settings_.Path_Otpt);
    setBitmap(browseBackup_, backupMode_ ? BmpBackup : BmpOutput);
    AddToolTip(editBackup_, QStringLiteral("%1 のパスです").arg(caption));
    AddToolTip(browseBackup_, QStringLiteral("%1 を変更します").arg(caption));
    AddToolTip(exploreBackup_, QStringLiteral("%1 を File Explorer で閲覧します").arg(caption));
}

// The path boxes can be typed into; what stands in them is taken before the box shows something
// else, so a typed path is not lost by a mode switch or by closing.
void MainWindow::takeEditedPaths()
{
    settings_.Path_A = editA_->text();
    (folderBMode_ ? settings_.Path_B : settings_.Path_Cue) = editB_->text();
    (backupMode_ ? settings_.Path_Bkup : settings_.Path_Otpt) = editBackup_->text();
    settings_.Path_Temp = editTemp_->text();
}

void MainWindow::applyModeTexts()
{
    const ModeTexts& texts = modeTexts(folderBMode_);
    modeB_->setText(texts.caption);
    menus_.setText(CmdFolderB, texts.caption);
    editB_->setText(folderBMode_ ? settings_.Path_B : settings_.Path_Cue);
    AddToolTip(editB_, texts.editTip);
    setBitmap(browseB_, texts.browseBitmap);
    AddToolTip(browseB_, texts.browseTip);
    AddToolTip(exploreB_, texts.exploreTip);
    if (auto* replace = qobject_cast<QPushButton*>(buttons_.value(BtnReplace)))
        replace->setText(texts.replaceCaption);
    menus_.setText(CmdReplace, texts.replaceItem);
    refreshCdImageItems(menus_, folderBMode_, settings_.Cddb_Server1);
}

void MainWindow::resetToEmptyState()
{
    for (int id : {BtnReplace, BtnMoveFiles, BtnPlay, BtnProp})
        setCommandEnabled(id, false);
    // The menu items follow their buttons: there is nothing to replace or move any more.
    menus_.setEnabled(CmdReplace, false);
    menus_.setEnabled(CmdMoveFiles, false);
    clearComparisonList();
}

void MainWindow::clearComparisonList()
{
    model_->clear();
    clearComparison(comparison_);
    // The pairs point into the comparison.
    pairs_.clear();
    lastReplaceResult_ = 0;
}

void MainWindow::compareSides()
{
    trackOffsetB_ = trackOffsetFromBox();
    clearComparisonList();
    takeEditedPaths();
    comparison_.folderA = settings_.Path_A;
    comparison_.folderB = folderBMode_ ? settings_.Path_B : settings_.Path_Cue;
    comparison_.folderBMode = folderBMode_;
    comparison_.trackOffsetB = trackOffsetB_;
    setStatusText(2, QStringLiteral("Compare A/B...."));
    PumpMessages();
    const int code = compareAB(comparison_, settings_.ExtPriorityList, settings_.CP_Cue_Sheet);
    setStatusText(2, QString());
    if (code != CompareOk) {
        message(compareErrorText(code), QString::fromLatin1(CompareErrorCaption), MessageIcon::Error);
        return;
    }
    std::vector<ComparisonRow> rows;
    rows.reserve(comparison_.rows.size());
    for (const ListRow& cells : comparison_.rows)
        rows.push_back(ComparisonRow{cells, 0});
    model_->setRows(std::move(rows));

    // "Encoding B" needs an encoder; Replace Tags needs none.
    const bool replaceUsable = folderBMode_ || encoders_.any();
    setCommandEnabled(BtnReplace, replaceUsable);
    menus_.setEnabled(CmdReplace, replaceUsable);
    setCommandEnabled(BtnMoveFiles, false);
    menus_.setEnabled(CmdMoveFiles, false);
    setCommandEnabled(BtnPlay, true);
    setCommandEnabled(BtnProp, true);
}

void MainWindow::replaceTags()
{
    if (!folderBMode_) {
        message(unavailableMessage(QStringLiteral("Encoding B")), ProgramTitle, MessageIcon::Information);
        return;
    }
    takeEditedPaths();
    settings_.ID3_Blk = toLong(editBlock_->text());
    settings_.ID3_Pad = toLong(editPadding_->text());
    ReplaceOutcome outcome;
    lastReplaceResult_ = replaceOrEncode(comparison_, settings_, ReplaceOptions{backupMode_, false, batchRunning_},
                                         feedback_, pairs_, outcome);
    if (outcome.precheck != 0)
        return;
    // A run that stopped early says so: the files after the failing one were not written.
    if (outcome.writeCode != WriteOk)
        message(writeReplacedErrorText(outcome.writeCode, outcome.failedPath), QString::fromLatin1(ReplaceTagsCaption),
                MessageIcon::Warning);
    if (backupMode_) {
        setCommandEnabled(BtnMoveFiles, true);
        menus_.setEnabled(CmdMoveFiles, true);
    }
}

void MainWindow::moveProducedFiles()
{
    takeEditedPaths();
    std::vector<MoveStep> steps;
    const int code = moveFiles(comparison_, settings_, backupMode_, pairs_, lastReplaceResult_, feedback_, &steps);
    if (code == LevelTooFewLevels)
        message(writeReplacedErrorText(WriteNoLevelFolder, comparison_.folderA), QStringLiteral("Move Files"),
                MessageIcon::Warning);
    if (code != 0)
        return;
    if (!folderBMode_)
        setStatusText(2, QString());
    resetToEmptyState();
}

void MainWindow::showFileProperties(int row)
{
    if (row < 0)
        return;
    const ComparisonState& c = comparison_;
    QString text, kind, heading;
    if (row % 2 == 0) {
        const int i = row / 2;
        if (i >= c.a.count())
            return;
        heading = c.a.names[size_t(i)];
        dumpFile(QDir(c.folderA).filePath(heading), text, kind);
    } else {
        const int j = row / 2 - c.trackOffsetB;
        if (j < 0 || j >= c.countB())
            return;
        if (c.cue) {
            text = dumpCdImage(*c.cue, settings_.CP_Cue_Sheet);
            kind = QStringLiteral("Image");
            heading = QFileInfo(c.cue->imagePath).fileName();
        } else {
            heading = c.b.names[size_t(j)];
            dumpFile(QDir(c.folderB).filePath(heading), text, kind);
        }
    }
    if (kind.isEmpty())
        kind = QStringLiteral("Unknown");
    if (text.isEmpty())
        text = QStringLiteral("No description of this file is available.");
    TextBox(this, QStringLiteral("%1 File Properties").arg(kind), heading, text, QStringLiteral("Ok"));
}

void MainWindow::toggleFolderBMode()
{
    takeEditedPaths();
    folderBMode_ = !folderBMode_;
    applyModeTexts();
    resetToEmptyState();
}

void MainWindow::runCommand(int id)
{
    if (!commandAvailable(id)) {
        message(unavailableMessage(id), ProgramTitle, MessageIcon::Information);
        return;
    }
    switch (id) {
    case CmdExit:
        close();
        break;
    case BtnRepeat:
        albumRepeat_ = !albumRepeat_;
        repeat_->setText(albumRepeat_ ? QStringLiteral("Album repeat") : QStringLiteral("Track repeat"));
        break;
    case CmdFolderA:
    case BtnBrowseA:
        browseFolderA();
        break;
    case CmdFolderB:
    case BtnBrowseB:
        browseSideB();
        break;
    case CmdBackupFolder:
    case BtnBrowseBkup:
        browseBackupOutput();
        break;
    case CmdTempFolder:
    case BtnBrowseTemp:
        browseTemp();
        break;
    case BtnExploreA:
        settings_.Path_A = editA_->text();
        exploreFolder(settings_.Path_A);
        break;
    case BtnExploreB:
        exploreSideB();
        break;
    case BtnExploreBkup:
        (backupMode_ ? settings_.Path_Bkup : settings_.Path_Otpt) = editBackup_->text();
        exploreFolder(editBackup_->text());
        break;
    case BtnExploreTemp:
        settings_.Path_Temp = editTemp_->text();
        exploreFolder(settings_.Path_Temp);
        break;
    case BtnModeB:
        toggleFolderBMode();
        break;
    case BtnCdImageMode:
        if (folderBMode_)
            toggleFolderBMode();
        break;
    case BtnModeBackup:
        (backupMode_ ? settings_.Path_Bkup : settings_.Path_Otpt) = editBackup_->text();
        backupMode_ = !backupMode_;
        refreshBackupOutputDisplay();
        break;
    case BtnAbortBatch:
        abortRequested_ = true;
        abortBatch_->setEnabled(false);
        break;
    case CmdSelectLame:
    case CmdSelectFlac:
    case CmdSelectQaac:
    case CmdSelectFdkaac:
    case CmdSelectOpusEnc:
    case CmdSelectFFmpeg:
        settings_.EncoderIndex = id - (CmdSelectLame - 1);
        refreshEncoderLine();
        break;
    case CmdOptionFlac:
        message(QStringLiteral("Some options for FLAC may be changed in the configuration file Vornelic.ini."),
                QStringLiteral("FLAC Encoder Option"), MessageIcon::Warning);
        break;
    case CmdOptionQaac:
        editOption(QStringLiteral("Qaac Encoder Option"), QStringLiteral("Set Qaac Command line Option"),
                   settings_.Qaac_Options, 1024);
        break;
    case CmdOptionFdkaac:
        editOption(QStringLiteral("Fdkaac Encoder Option"), QStringLiteral("Set Fdkaac Command line Option"),
                   settings_.Fdkaac_Options, 1024);
        break;
    case CmdOptionOpusEnc:
        editOption(QStringLiteral("OpusEnc Encoder Option"), QStringLiteral("Set OpusEnc Command line Option"),
                   settings_.OpusEnc_Options, 1024);
        break;
    case CmdOptionFFmpeg:
        // The output container is derived again once FFmpeg's encoder list is read at start-up.
        editOption(QStringLiteral("FFmpeg Encoder Option"), QStringLiteral("Set FFmpeg Command line Option"),
                   settings_.FFmpeg_Options, 256);
        break;
    case CmdFFmpegContainers:
        editOption(QStringLiteral("(FFmpeg) Specify the container which corresponds to the encoder (encoder.con)"),
                   QStringLiteral("Set FFmpeg Containers"), settings_.FFmpeg_Containers, 256);
        break;
    case CmdCharsetAnsi:
    case CmdCharsetUtf8:
        settings_.CP_Cue_Sheet = id == CmdCharsetAnsi ? 0 : 65001;
        refreshCharsetChecks(menus_, settings_.CP_Cue_Sheet);
        break;
    case CmdPlayMci:
    case CmdPlayMf:
        playApi_ = id == CmdPlayMci ? 1 : 2;
        refreshPlayApiChecks(menus_, playApi_);
        break;
    case CmdManual:
        openManual();
        break;
    case CmdAbout:
        showAbout();
        break;
    case CmdAutoCddb:
        settings_.Cddb_CDimg = settings_.Cddb_CDimg ? 0 : 1;
        refreshAutoCddbCheck(menus_, settings_.Cddb_CDimg);
        break;
    case CmdCddbServer1:
        // Already the server in use; the item only shows it.
        menus_.setChecked(CmdCddbServer1, true);
        break;
    case CmdCddbServer2:
        swapCddbServers();
        break;
    case CmdSaveExisting:
        settings_.BkupFldr_Exist = settings_.BkupFldr_Exist ? 0 : 1;
        refreshSaveExistingCheck(menus_, settings_.BkupFldr_Exist);
        break;
    case CmdExtPriority:
        editExtPriority();
        break;
    case CmdId3BlockSize:
    case CmdId3MinPadding:
        break;
    case CmdCompare:
    case BtnCompare:
        compareSides();
        break;
    case CmdReplace:
    case BtnReplace:
        replaceTags();
        break;
    case CmdMoveFiles:
    case BtnMoveFiles:
        moveProducedFiles();
        break;
    case BtnProp: {
        const QModelIndex current = list_->selectionModel() ? list_->selectionModel()->currentIndex() : QModelIndex();
        if (current.isValid())
            showFileProperties(current.row());
        else if (comparison_.a.count() > 0)
            showFileProperties(0);
        break;
    }
    default:
        if (id >= CmdLevel0 && id <= CmdLevel5) {
            settings_.BkupFldr_Level = id - CmdLevel0;
            refreshLevelChecks(menus_, settings_.BkupFldr_Level);
        }
        break;
    }
}

void MainWindow::browseFolderA()
{
    BrowseFolder(this, QStringLiteral("Select Folder A"), settings_.Path_A, settings_.Path_A, PathCapacity);
    editA_->setText(settings_.Path_A);
}

void MainWindow::browseSideB()
{
    if (folderBMode_) {
        BrowseFolder(this, QStringLiteral("Select Folder B"), settings_.Path_B, settings_.Path_B, PathCapacity);
        editB_->setText(settings_.Path_B);
        return;
    }
    OpenFileDialog(this, QStringLiteral("Select CUE sheet file"),
                   {QStringLiteral("Cue files {*.cue} (*.cue)"), QStringLiteral("All files {*.*} (*)")},
                   settings_.Path_Cue, PathCapacity);
    editB_->setText(settings_.Path_Cue);
}

void MainWindow::browseBackupOutput()
{
    if (backupMode_) {
        BrowseFolder(this, QStringLiteral("Select Bkup Folder"), settings_.Path_Bkup, settings_.Path_Bkup, PathCapacity,
                     BrowseNewStyle);
        editBackup_->setText(settings_.Path_Bkup);
    } else {
        BrowseFolder(this, QStringLiteral("Select Output Folder"), settings_.Path_Otpt, settings_.Path_Otpt,
                     PathCapacity, BrowseNewStyle);
        editBackup_->setText(settings_.Path_Otpt);
    }
}

void MainWindow::browseTemp()
{
    BrowseFolder(this, QStringLiteral("Select Temporary Folder"), settings_.Path_Temp, settings_.Path_Temp,
                 PathCapacity, BrowseNewStyle);
    editTemp_->setText(settings_.Path_Temp);
}

void MainWindow::exploreSideB()
{
    QString path = editB_->text();
    if (folderBMode_) {
        settings_.Path_B = path;
    } else {
        settings_.Path_Cue = path;
        path = QFileInfo(path).path(); // the folder that holds the cue sheet
    }
    exploreFolder(path);
}

void MainWindow::editOption(const QString& title, const QString& prompt, QString& value, int capacity)
{
    InputBox(this, title, prompt, value, capacity, QStringLiteral("Ok"), QStringLiteral("Cancel"));
}

void MainWindow::editExtPriority()
{
    settings_.FileExtPriority = joinExtPriority(settings_.ExtPriorityList);
    InputBox(this, QStringLiteral("Audio File Extension Search Priority"),
             QStringLiteral("Define audio file extension search priority. Use a single space as the delimiter."),
             settings_.FileExtPriority, 256, QStringLiteral("Ok"), QStringLiteral("Cancel"));
    settings_.ExtPriorityList = splitExtPriority(settings_.FileExtPriority);
}

void MainWindow::swapCddbServers()
{
    if (!settings_.Cddb_Server1.isEmpty() && !settings_.Cddb_Server2.isEmpty())
        std::swap(settings_.Cddb_Server1, settings_.Cddb_Server2);
    refreshCddbServerItem(menus_, settings_.Cddb_Server1, CmdCddbServer1);
    refreshCddbServerItem(menus_, settings_.Cddb_Server2, CmdCddbServer2);
    menus_.setChecked(CmdCddbServer2, false);
}

void MainWindow::openManual()
{
    // The page is installed beside the program, which is not always where the settings live.
    const QString help = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Vornelic_help.htm"));
    if (!QFileInfo::exists(help)) {
        message(QStringLiteral("The user's manual \"%1\" was not found.").arg(QDir::toNativeSeparators(help)),
                QStringLiteral("User's Manual"), MessageIcon::Warning);
        return;
    }
    openWithShell(help);
}

void MainWindow::showAbout()
{
    const QString text =
        QStringLiteral("Vornelic ver.1.05\n\n"
                       "Carries the tags of a music collection over to new encodings.\n\n"
                       "Build %1, Qt %2\nSettings: %3")
            .arg(QStringLiteral(VORNELIC_VERSION), QString::fromLatin1(qVersion()), QDir::toNativeSeparators(iniPath_));
    message(text, QStringLiteral("About Vornelic"), MessageIcon::Information);
}

void MainWindow::message(const QString& text, const QString& title, MessageIcon icon)
{
    showMessage(this, text, title, MessageButtons::Ok, icon);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!saved_) {
        takeEditedPaths();
        settings_.ID3_Blk = toLong(editBlock_->text());
        settings_.ID3_Pad = toLong(editPadding_->text());
        if (!SaveSettings(settings_, iniPath_)) {
            message(
                QStringLiteral("The settings could not be saved to \"%1\".").arg(QDir::toNativeSeparators(iniPath_)),
                QStringLiteral("Warning : settings not saved"), MessageIcon::Warning);
        }
        saved_ = true;
        model_->clear();
    }
    event->accept();
}

} // namespace vn
