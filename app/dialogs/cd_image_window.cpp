#include "app/dialogs/cd_image_window.h"

#include "app/dialogs/input_box.h"
#include "app/widgets/shell.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "cd/cd_image.h"
#include "config/settings.h"
#include "util/feedback.h"
#include "util/numbers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <optional>

namespace vn {

namespace {

const QString StartText = QStringLiteral("Start creating image file");
const QString CancelText = QStringLiteral("Cancel creating image file");
// The block size box takes at most this many digits.
constexpr int BlockSizeDigits = 7;
constexpr int PathCapacity = 260;

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

QPushButton* button(QWidget* parent, int id, const QString& text, const QRect& place, const QString& tip)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::number(id));
    b->setGeometry(place);
    AddToolTip(b, tip);
    return b;
}

} // namespace

// The read's own feedback: its status line in this window, the event loop, and a cancel flag of
// its own, which the main window's "Abort Batch" also sets.
class CdImageWindow::RipFeedback : public Feedback {
public:
    RipFeedback(QWidget* owner, QLabel* status, const CommandRouter& router)
        : owner_(owner), status_(status), router_(router)
    {
    }

    void begin()
    {
        cancel_ = false;
        last_.clear();
    }
    void cancel() { cancel_ = true; }
    const QString& lastStatus() const { return last_; }

    void setStatus(int part, const QString& text) override
    {
        if (part != RipStatusPart)
            return;
        last_ = text;
        status_->setText(text);
    }
    void pumpMessages() override { PumpMessages(); }
    bool abortRequested() const override { return cancel_ || router_.abortRequested(); }
    int message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) override
    {
        return showMessage(owner_, text, title, buttons, icon);
    }
    int inputBox(const QString& title, const QString& prompt, QString& value, int capacity, const QString& okText,
                 const QString& cancelText) override
    {
        return InputBox(owner_, title, prompt, value, capacity, okText, cancelText);
    }

private:
    QWidget* owner_;
    QLabel* status_;
    const CommandRouter& router_;
    bool cancel_ = false;
    QString last_;
};

CdImageWindow::CdImageWindow(Settings& settings, CommandRouter& router, const QFont& font, ApplyCueSheet apply)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      settings_(settings), router_(router), apply_(std::move(apply))
{
    setObjectName(QStringLiteral("create_CDimg"));
    setWindowTitle(QStringLiteral("Create image file from CD - Vornelic"));
    // A tool window: it never keeps the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    build(font);
    feedback_ = std::make_unique<RipFeedback>(this, status_, router_);
    move(50, 200);
    // The client area of a 560 x 245 window.
    resize(544, 206);
}

CdImageWindow::~CdImageWindow() = default;

void CdImageWindow::build(const QFont& font)
{
    setFont(font);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    label(this, QStringLiteral("Source (CD drive)"), 5, 5, 200, 20);
    driveList_ = new QComboBox(this);
    driveList_->setObjectName(QStringLiteral("driveList"));
    driveList_->setGeometry(20, 25, 350, 22);
    AddToolTip(driveList_, QStringLiteral("準備ができたCDドライブのリストから読み込むドライブを選択します"));
    reScan_ = button(this, CdImgReScan, QStringLiteral("ReScan"), QRect(374, 25, 50, 20),
                     QStringLiteral("有効なCDドライブを再認識します"));
    autoEject_ = new QCheckBox(QStringLiteral("Auto Eject"), this);
    autoEject_->setObjectName(QStringLiteral("autoEject"));
    autoEject_->setGeometry(450, 25, 80, 20);
    AddToolTip(autoEject_,
               QStringLiteral("イメージファイル作成後にCDドライブのディスクトレイもしくはカバーを開けます"));

    label(this, QStringLiteral("Destination (Image file)"), 5, 55, 200, 20);
    label(this, QStringLiteral("Cue sheet"), 20, 78, 60, 18);
    cuePath_ = new QLineEdit(this);
    cuePath_->setObjectName(QStringLiteral("cuePath"));
    cuePath_->setGeometry(80, 75, 400, 20);
    cuePath_->setMaxLength(PathCapacity - 1);
    AddToolTip(cuePath_, QStringLiteral("作成するCUEシートファイル名を指定します"));
    browse_ = button(this, CdImgBrowse, QStringLiteral("Browse"), QRect(485, 75, 50, 20),
                     QStringLiteral("作成するCUEシートファイル名を指定するダイアログボックスを開きます"));

    label(this, QStringLiteral("LPCM binary data file extension"), 20, 100, 170, 20);
    format_ = new QButtonGroup(this);
    const struct {
        const char* name;
        const char* text;
        const char* tip;
    } formats[] = {
        {"formatWav", ".wav", "WAV format (Header 44bytes + LPCM binary data)"},
        {"formatBin", ".bin", "LPCM binary data without Header, extension=.bin"},
        {"formatImg", ".img", "LPCM binary data without Header, extension=.img"},
    };
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(QLatin1String(formats[i].text), this);
        radio->setObjectName(QLatin1String(formats[i].name));
        radio->setGeometry(200 + 55 * i, 98, 50, 19);
        AddToolTip(radio, QLatin1String(formats[i].tip));
        format_->addButton(radio, i);
    }

    label(this, QStringLiteral("Block size"), 30, 120, 60, 20);
    blockSize_ = new QLineEdit(this);
    blockSize_->setObjectName(QStringLiteral("blockSize"));
    blockSize_->setGeometry(90, 118, 28, 19);
    blockSize_->setAlignment(Qt::AlignRight);
    blockSize_->setMaxLength(BlockSizeDigits);
    AddToolTip(blockSize_, QStringLiteral("一度にバッファーに読み込むセクター数を指定します"));
    label(this, QStringLiteral("sectors  ( Max. 65536 bytes / (2352 bytes/sector) )"), 120, 120, 300, 20);

    start_ = button(this, CdImgStart, StartText, QRect(10, 150, 170, 20),
                    QStringLiteral("CD からイメージファイルの取り込みを開始します"));
    status_ = label(this, QString(), 190, 150, 360, 20);
    status_->setObjectName(QStringLiteral("status"));
    applyButton_ = button(this, CdImgApply, QStringLiteral("Apply Cue sheet to Main window"), QRect(10, 175, 300, 20),
                          QStringLiteral("作成したCUEシートファイル名をメインウィンドウの [CD image]欄に貼り付けて "
                                         "[Compare A/B]を実行します"));
    applyButton_->setEnabled(false);
    close_ = button(this, CdImgClose, QStringLiteral("Close"), QRect(480, 175, 50, 20),
                    QStringLiteral("このウィンドウを閉じます"));

    // The controls start from the settings.
    const RipSettings rip = ripSettingsFrom(settings_);
    autoEject_->setChecked(rip.autoEject);
    cuePath_->setText(QDir::toNativeSeparators(rip.cuePath));
    format_->button(int(rip.format))->setChecked(true);
    blockSize_->setText(QString::number(rip.blockSize));

    for (QPushButton* b : {reScan_, browse_, start_, applyButton_, close_}) {
        const int id = b->objectName().toInt();
        connect(b, &QPushButton::clicked, this, [this, id] { runCommand(id); });
    }
}

void CdImageWindow::runCommand(int id)
{
    switch (id) {
    case CdImgScan:
    case CdImgReScan:
        scanDrives();
        break;
    case CdImgBrowse:
        browseCueSheet();
        break;
    case CdImgStart:
        startOrCancel();
        break;
    case CdImgApply:
        applyCueSheet();
        break;
    case CdImgClose:
        hide();
        break;
    default:
        break;
    }
}

QString CdImageWindow::statusText() const
{
    return status_->text();
}

void CdImageWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

void CdImageWindow::scanDrives()
{
    if (running_)
        return;
    drives_ = scanCdDrives();
    // An image reads like a disc but no system scan finds it: the one chosen last, and those listed
    // before, stay in the list while they can be read.
    QStringList candidates = imageDevices_;
    if (!settings_.RipCD_Device.isEmpty() && !candidates.contains(settings_.RipCD_Device))
        candidates.prepend(settings_.RipCD_Device);
    imageDevices_.clear();
    for (const QString& device : candidates) {
        const bool listed = std::any_of(drives_.cbegin(), drives_.cend(),
                                        [&](const CdDriveInfo& d) { return d.device == device; });
        if (listed)
            continue;
        if (std::optional<CdDriveInfo> info = probeCdDrive(device)) {
            drives_.push_back(*info);
            imageDevices_ << device;
        }
    }
    driveList_->clear();
    for (const CdDriveInfo& drive : drives_)
        driveList_->addItem(driveComboText(drive), drive.device);
    driveList_->setCurrentIndex(selectDrive(drives_, settings_.RipCD_Device));
}

void CdImageWindow::browseCueSheet()
{
    QFileDialog dialog(this, QStringLiteral("Select CUE sheet file"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters({QStringLiteral("Cue files {*.cue} (*.cue)"), QStringLiteral("All files {*.*} (*)")});
    const QFileInfo current(cuePath_->text());
    if (!cuePath_->text().isEmpty()) {
        dialog.setDirectory(current.absolutePath());
        dialog.selectFile(current.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = QDir::toNativeSeparators(QDir::cleanPath(dialog.selectedFiles().first()));
    if (chosen.size() < PathCapacity)
        cuePath_->setText(chosen);
}

void CdImageWindow::setInputsEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{driveList_, reScan_, autoEject_, cuePath_, browse_, blockSize_})
        w->setEnabled(enabled);
    for (QAbstractButton* b : format_->buttons())
        b->setEnabled(enabled);
}

void CdImageWindow::startOrCancel()
{
    if (running_) {
        feedback_->cancel();
        return;
    }
    // Another job of the main window owns the settings until it ends.
    if (router_.jobRunning())
        return;
    applyButton_->setEnabled(false);
    readCuePath_.clear();

    RipSettings rip = ripSettingsFrom(settings_);
    rip.device = driveList_->currentData().toString();
    const QString typed = cuePath_->text().trimmed();
    if (typed.isEmpty()) {
        // Without a name the image would land, nameless, wherever the program was started.
        status_->setText(QStringLiteral("Specify the cue sheet file to create"));
        return;
    }
    rip.cuePath = QFileInfo(typed).absoluteFilePath();
    if (!confirmCueOverwrite(rip.cuePath, *feedback_))
        return;
    rip.format = uint32_t(std::max(0, format_->checkedId()));
    rip.autoEject = autoEject_->isChecked();
    rip.blockSize = uint32_t(std::max(0, toLong(blockSize_->text())));
    storeRipSettings(rip, settings_);

    running_ = true;
    start_->setText(CancelText);
    setInputsEnabled(false);
    feedback_->begin();
    int code;
    bool stopped;
    {
        const JobScope job(router_);
        code = ripCdImage(rip, *feedback_);
        stopped = feedback_->abortRequested();
    }
    running_ = false;
    start_->setText(StartText);
    setInputsEnabled(true);

    // The block size actually read with, for the next read too.
    blockSize_->setText(QString::number(rip.blockSize));
    storeRipSettings(rip, settings_);

    if (code == RipOk) {
        readCuePath_ = rip.cuePath;
        applyButton_->setEnabled(true);
    } else if (code == RipCanceled) {
        if (!stopped)
            status_->setText(QStringLiteral("The disc holds no audio tracks"));
    } else if (!feedback_->lastStatus().startsWith(QStringLiteral("Read Error"))) {
        // A failure before the first read, or in writing, says what went wrong instead of leaving
        // the last progress text standing.
        status_->setText(ripErrorText(code));
    }
}

void CdImageWindow::applyCueSheet()
{
    if (running_ || readCuePath_.isEmpty() || !apply_)
        return;
    if (apply_(readCuePath_))
        applyButton_->setEnabled(false);
}

} // namespace vn
