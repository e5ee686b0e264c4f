#include "app/dialogs/lame_options_dialog.h"

#include "config/settings.h"
#include "encode/encoder_availability.h"
#include "util/numbers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vn {

namespace {

QString idName(int id)
{
    return QString::number(id);
}

QComboBox* combo(QWidget* parent, int id, const QStringList& items)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(idName(id));
    box->addItems(items);
    return box;
}

QStringList bitrateItems()
{
    QStringList items;
    for (int kbps : LameBitrates)
        items << QString::number(kbps);
    return items;
}

template <size_t N> QStringList names(const std::array<const char*, N>& table)
{
    QStringList items;
    for (const char* name : table)
        items << QString::fromLatin1(name);
    return items;
}

QStringList scale(const char* best, const char* normal, const char* worst)
{
    QStringList items;
    for (int q = 0; q <= 9; ++q) {
        QString item = QString::number(q);
        if (q == 0)
            item += QLatin1String(best);
        else if (q == 3 && normal)
            item += QLatin1String(normal);
        else if (q == 9)
            item += QLatin1String(worst);
        items << item;
    }
    return items;
}

void select(QComboBox* box, int index)
{
    box->setCurrentIndex(std::clamp(index, 0, box->count() - 1));
}

} // namespace

QString lameVersionLine(const EncoderAvailability& e)
{
    // The library tells neither its build date nor whether it uses MMX; what it tells is shown.
    return QString::asprintf("MP3 Encoder: LAME v%d.%d (%d.%d) \n%26s%s", e.lameEngineMajor, e.lameEngineMinor,
                             e.lameLibraryMajor, e.lameLibraryMinor, "", e.lameHomepage.constData());
}

LameOptionsDialog::LameOptionsDialog(QWidget* owner, const Settings& settings, const EncoderAvailability& encoders)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("SET_LAME_DIALOG"));
    setWindowTitle(QStringLiteral("LAME Encoder Option"));

    auto* version = new QLabel(lameVersionLine(encoders), this);
    version->setObjectName(idName(LameIdVersion));

    preset_ = combo(this, LameIdPreset, names(LamePresetNames));
    method_ = combo(this, LameIdMethod, names(VbrMethodNames));
    vbrQuality_ = combo(this, LameIdVbrQuality, scale(" (highest quality)", nullptr, " (lowest quality)"));
    minBitrate_ = combo(this, LameIdMinBitrate, bitrateItems());
    maxBitrate_ = combo(this, LameIdMaxBitrate, bitrateItems());
    abr_ = new QLineEdit(this);
    abr_->setObjectName(idName(LameIdAbrBitrate));
    abr_->setValidator(new QIntValidator(0, 320, abr_));
    cbr_ = combo(this, LameIdCbrBitrate, bitrateItems());
    channel_ = combo(this, LameIdChannelMode, names(ChannelModeNames));
    quality_ = combo(this, LameIdQuality, scale(" (highest)", " (default)", " (lowest)"));

    auto* modeGroup = new QButtonGroup(this);
    for (int m = 0; m < 3; ++m) {
        modes_[size_t(m)] = new QRadioButton(QString::fromLatin1(BitrateModeNames[size_t(m)]), this);
        modes_[size_t(m)]->setObjectName(idName(LameIdVbr + m));
        modeGroup->addButton(modes_[size_t(m)], m);
    }
    const char* checkNames[] = {"CRC", "Private", "Copyright", "Original"};
    for (int k = 0; k < 4; ++k) {
        checks_[size_t(k)] = new QCheckBox(QString::fromLatin1(checkNames[k]), this);
        checks_[size_t(k)]->setObjectName(idName(LameIdCrc + k));
    }

    auto* grid = new QGridLayout;
    int row = 0, caption = LameIdVersion + 1;
    auto add = [&](const char* text, QWidget* field) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setObjectName(idName(caption++));
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1);
    };
    add("Preset", preset_);
    auto* modeRow = new QWidget(this);
    auto* modeLayout = new QHBoxLayout(modeRow);
    modeLayout->setContentsMargins(0, 0, 0, 0);
    for (QRadioButton* r : modes_)
        modeLayout->addWidget(r);
    add("Bitrate mode", modeRow);
    add("VBR method", method_);
    add("VBR quality", vbrQuality_);
    add("Minimum bitrate (kbps)", minBitrate_);
    add("Maximum bitrate (kbps)", maxBitrate_);
    add("ABR bitrate (kbps)", abr_);
    add("CBR bitrate (kbps)", cbr_);
    add("Channel mode", channel_);
    add("Quality", quality_);
    auto* checkRow = new QWidget(this);
    auto* checkLayout = new QHBoxLayout(checkRow);
    checkLayout->setContentsMargins(0, 0, 0, 0);
    for (QCheckBox* box : checks_)
        checkLayout->addWidget(box);
    add("Flags", checkRow);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(idName(1));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(idName(2));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(version);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    model_ = lameControlsFrom(settings);
    showControls(model_);

    connect(ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
    connect(modeGroup, &QButtonGroup::idClicked, this, [this](int mode) { modeClicked(mode); });
    connect(preset_, &QComboBox::activated, this, [this](int index) { presetChosen(index); });
}

LameControls LameOptionsDialog::controls()
{
    readControls(model_);
    return model_;
}

void LameOptionsDialog::showControls(const LameControls& c)
{
    select(preset_, c.preset);
    for (int m = 0; m < 3; ++m) {
        modes_[size_t(m)]->setChecked(m == c.mode);
        modes_[size_t(m)]->setEnabled(c.radiosEnabled);
    }
    select(method_, c.method);
    method_->setEnabled(c.methodEnabled);
    select(vbrQuality_, c.vbrQuality);
    vbrQuality_->setEnabled(c.vbrQualityEnabled);
    select(minBitrate_, c.minIndex);
    select(maxBitrate_, c.maxIndex);
    minBitrate_->setEnabled(c.minMaxEnabled);
    maxBitrate_->setEnabled(c.minMaxEnabled);
    abr_->setText(QString::number(c.abrKbps));
    abr_->setEnabled(c.abrEnabled);
    select(cbr_, c.cbrIndex);
    cbr_->setEnabled(c.cbrEnabled);
    select(channel_, c.channelMode);
    channel_->setEnabled(c.channelEnabled);
    select(quality_, c.quality);
    quality_->setEnabled(c.qualityEnabled);
    const bool flags[] = {c.crc, c.privateBit, c.copyright, c.original};
    for (size_t k = 0; k < checks_.size(); ++k)
        checks_[k]->setChecked(flags[k]);
}

void LameOptionsDialog::readControls(LameControls& c) const
{
    c.preset = preset_->currentIndex();
    for (int m = 0; m < 3; ++m) {
        if (modes_[size_t(m)]->isChecked())
            c.mode = m;
    }
    c.method = method_->currentIndex();
    c.vbrQuality = vbrQuality_->currentIndex();
    c.minIndex = minBitrate_->currentIndex();
    c.maxIndex = maxBitrate_->currentIndex();
    // A cleared edit keeps the bit rate it had.
    if (const std::optional<int> kbps = wholeNumber(abr_->text()))
        c.abrKbps = *kbps;
    c.cbrIndex = cbr_->currentIndex();
    c.channelMode = channel_->currentIndex();
    c.quality = quality_->currentIndex();
    c.crc = checks_[0]->isChecked();
    c.privateBit = checks_[1]->isChecked();
    c.copyright = checks_[2]->isChecked();
    c.original = checks_[3]->isChecked();
}

void LameOptionsDialog::modeClicked(int mode)
{
    readControls(model_);
    lameModeClicked(model_, mode);
    showControls(model_);
}

void LameOptionsDialog::presetChosen(int index)
{
    readControls(model_);
    lamePresetChosen(model_, index);
    showControls(model_);
}

int showLameOptionsDialog(QWidget* owner, Settings& settings, const EncoderAvailability& encoders)
{
    LameOptionsDialog dialog(owner, settings, encoders);
    if (dialog.exec() != 1)
        return 2;
    storeLameControls(dialog.controls(), settings);
    return 1;
}

} // namespace vn
