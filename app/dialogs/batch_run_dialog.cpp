#include "app/dialogs/batch_run_dialog.h"

#include "app/dialogs/browse_folder.h"
#include "app/dialogs/input_box.h"
#include "app/widgets/icons.h"
#include "app/window/command_ids.h"
#include "config/settings.h"
#include "encode/encoder_availability.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vn {

namespace {

constexpr int PathCapacity = 260;

struct ToolOption {
    const char* title;
    const char* prompt;
    QString Settings::*value;
    int capacity;
};

const ToolOption* toolOption(int encoderIndex)
{
    static const ToolOption options[] = {
        {"qaac Encoder Option", "Set qaac Command line Option", &Settings::Qaac_Options, 1024},
        {"fdkaac Encoder Option", "Set fdkaac Command line Option", &Settings::Fdkaac_Options, 1024},
        {"OpusEnc Encoder Option", "Set OpusEnc Command line Option", &Settings::OpusEnc_Options, 1024},
        {"FFmpeg Encoder Option", "Set FFmpeg Command line Option", &Settings::FFmpeg_Options, 256},
    };
    return encoderIndex >= 3 && encoderIndex <= 6 ? &options[encoderIndex - 3] : nullptr;
}

} // namespace

std::vector<EncoderChoice> batchEncoderChoices(const EncoderAvailability& a)
{
    std::vector<EncoderChoice> out;
    if (a.lame) {
        out.push_back({1, QStringLiteral("MP3 / LAME%1.%2 (%3.%4)")
                              .arg(a.lameEngineMajor)
                              .arg(a.lameEngineMinor)
                              .arg(a.lameLibraryMajor)
                              .arg(a.lameLibraryMinor)});
    }
    if (a.flac)
        out.push_back({2, QStringLiteral("FLAC / libFLAC %1").arg(QString::fromLatin1(a.flacVersion))});
    if (!a.qaacVersion.isEmpty())
        out.push_back({3, QStringLiteral("AAC / %1").arg(QString::fromLatin1(a.qaacVersion))});
    if (!a.fdkaacVersion.isEmpty())
        out.push_back({4, QStringLiteral("AAC / %1").arg(QString::fromLatin1(a.fdkaacVersion))});
    if (!a.opusEncVersion.isEmpty())
        out.push_back({5, QStringLiteral("Opus / %1").arg(QString::fromLatin1(a.opusEncVersion))});
    if (!a.ffmpegVersion.isEmpty())
        out.push_back({6, QString::fromLatin1(a.ffmpegVersion)});
    return out;
}

BatchRunDialogWindow::BatchRunDialogWindow(QWidget* owner, Settings& settings, const EncoderAvailability& available,
                                           BatchRunRequest& request)
    : QDialog(owner), settings_(settings), request_(request), choices_(batchEncoderChoices(available)),
      backupMode_(request.backupMode)
{
    setObjectName(QStringLiteral("SET_BATCH_DIALOG"));
    setWindowTitle(QStringLiteral("Batch Re-encode Setting STEP-3 : Encoding Option"));

    encoders_ = new QListWidget(this);
    encoders_->setObjectName(QStringLiteral("6401"));
    for (const EncoderChoice& choice : choices_) {
        encoders_->addItem(choice.text);
        if (choice.encoderIndex == settings.EncoderIndex)
            encoders_->setCurrentRow(encoders_->count() - 1);
    }
    // The batch runs with a usable encoder: when the selected one is not, the first that is.
    if (encoders_->currentRow() < 0 && encoders_->count() > 0)
        encoders_->setCurrentRow(0);
    encoders_->setFixedHeight(110);
    options_ = new QPushButton(QStringLiteral("Encoder Option"), this);
    options_->setObjectName(QStringLiteral("6402"));
    options_->setAutoDefault(false);
    connect(options_, &QPushButton::clicked, this, &BatchRunDialogWindow::editOptions);

    mode_ = new QPushButton(this);
    mode_->setObjectName(QStringLiteral("6403"));
    mode_->setAutoDefault(false);
    connect(mode_, &QPushButton::clicked, this, &BatchRunDialogWindow::toggleMode);
    folder_ = new QLineEdit(this);
    folder_->setObjectName(QStringLiteral("6404"));
    folder_->setMaxLength(PathCapacity - 1);
    folder_->setMinimumWidth(420);
    browse_ = new QToolButton(this);
    browse_->setObjectName(QStringLiteral("6405"));
    connect(browse_, &QToolButton::clicked, this, &BatchRunDialogWindow::browseFolder);

    levels_ = new QComboBox(this);
    levels_->setObjectName(QStringLiteral("6406"));
    for (int level = 0; level <= 5; ++level)
        levels_->addItem(QString::number(level));
    levels_->setCurrentIndex(settings.BkupFldr_Level >= 0 && settings.BkupFldr_Level <= 5 ? settings.BkupFldr_Level : -1);

    auto* saveThere = new QRadioButton(QStringLiteral("Save to THE folder"), this);
    saveThere->setObjectName(QStringLiteral("6407"));
    auto* createNew = new QRadioButton(QStringLiteral("Create NEW folder"), this);
    createNew->setObjectName(QStringLiteral("6408"));
    existing_ = new QButtonGroup(this);
    existing_->addButton(saveThere, 1);
    existing_->addButton(createNew, 0);
    (settings.BkupFldr_Exist != 0 ? saveThere : createNew)->setChecked(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(2); });

    auto* layout = new QVBoxLayout(this);
    auto* encoderBox = new QGroupBox(QStringLiteral("Audio Format / Encoder"), this);
    auto* encoderRow = new QHBoxLayout(encoderBox);
    encoderRow->addWidget(encoders_);
    encoderRow->addWidget(options_, 0, Qt::AlignTop);
    layout->addWidget(encoderBox);

    auto* folderBox = new QGroupBox(QStringLiteral("Backup | Output Folder"), this);
    auto* folderRow = new QHBoxLayout(folderBox);
    folderRow->addWidget(mode_);
    folderRow->addWidget(folder_);
    folderRow->addWidget(browse_);
    layout->addWidget(folderBox);

    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(new QLabel(QStringLiteral("The number of the levels of higher folder created"), this));
    levelRow->addWidget(levels_);
    levelRow->addStretch();
    layout->addLayout(levelRow);

    auto* existingBox = new QGroupBox(QStringLiteral("When the specified folder already exists"), this);
    auto* existingRow = new QHBoxLayout(existingBox);
    existingRow->addWidget(saveThere);
    existingRow->addWidget(createNew);
    layout->addWidget(existingBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    showMode();
}

int BatchRunDialogWindow::selectedEncoder() const
{
    const int row = encoders_->currentRow();
    return row >= 0 && size_t(row) < choices_.size() ? choices_[size_t(row)].encoderIndex : 0;
}

void BatchRunDialogWindow::editOptions()
{
    const int k = selectedEncoder();
    if (k == 1) {
        if (request_.lameOptions)
            request_.lameOptions();
        return;
    }
    if (const ToolOption* o = toolOption(k)) {
        InputBox(this, QString::fromLatin1(o->title), QString::fromLatin1(o->prompt), settings_.*(o->value), o->capacity,
                 QStringLiteral("Ok"), QStringLiteral("Cancel"));
    }
}

void BatchRunDialogWindow::showMode()
{
    mode_->setText(backupMode_ ? QStringLiteral("Backup Folder Mode") : QStringLiteral("Output Folder Mode"));
    folder_->setText(backupMode_ ? settings_.Path_Bkup : settings_.Path_Otpt);
    const int bitmap = backupMode_ ? BmpBackup : BmpOutput;
    browse_->setIcon(bitmapIcon(bitmap));
    browse_->setProperty("bitmapId", bitmap);
}

void BatchRunDialogWindow::toggleMode()
{
    (backupMode_ ? settings_.Path_Bkup : settings_.Path_Otpt) = folder_->text();
    backupMode_ = !backupMode_;
    showMode();
}

void BatchRunDialogWindow::browseFolder()
{
    QString folder = folder_->text();
    if (BrowseFolder(this, backupMode_ ? QStringLiteral("Select Bkup Folder") : QStringLiteral("Select Output Folder"),
                     folder, folder, PathCapacity, BrowseNewStyle))
        folder_->setText(folder);
}

void BatchRunDialogWindow::store()
{
    if (const int k = selectedEncoder(); k != 0)
        settings_.EncoderIndex = k;
    if (levels_->currentIndex() >= 0)
        settings_.BkupFldr_Level = levels_->currentIndex();
    (backupMode_ ? settings_.Path_Bkup : settings_.Path_Otpt) = folder_->text();
    settings_.BkupFldr_Exist = existing_->checkedId() == 0 ? 0 : 1;
    request_.backupMode = backupMode_;
}

int BatchRunDialog(QWidget* owner, Settings& settings, const EncoderAvailability& available, BatchRunRequest& request)
{
    BatchRunDialogWindow dialog(owner, settings, available, request);
    const int answer = dialog.exec() == 1 ? 1 : 2;
    dialog.store();
    return answer;
}

} // namespace vn
