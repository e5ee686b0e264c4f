#pragma once
// The LAME options dialog ("LAME Encoder Option"): the [LAME] settings in combo boxes, radio
// buttons, an edit and check boxes, each control carrying its number as objectName. Choosing a
// preset or a bit-rate mode grays what it fixes and fills in its values, as lame_options decides.

#include "encode/lame_options.h"

#include <QDialog>
#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace vn {

struct EncoderAvailability;
struct Settings;

enum LameDialogId : int {
    LameIdVersion = 6100,
    LameIdPreset = 6002,
    LameIdMethod = 6003,
    LameIdVbrQuality = 6004,
    LameIdMinBitrate = 6005,
    LameIdMaxBitrate = 6006,
    LameIdAbrBitrate = 6007,
    LameIdCbrBitrate = 6008,
    LameIdChannelMode = 6009,
    LameIdQuality = 6010,
    LameIdCrc = 6011, // up to 6014: CRC, Private, Copyright, Original
    LameIdVbr = 6015, // up to 6017: VBR, ABR, CBR
};

// The text above the controls: the library's version and home page.
QString lameVersionLine(const EncoderAvailability& encoders);

class LameOptionsDialog : public QDialog {
    Q_OBJECT
public:
    LameOptionsDialog(QWidget* owner, const Settings& settings, const EncoderAvailability& encoders);
    // What the controls hold now (with OK, what goes into the settings).
    LameControls controls();

private:
    void showControls(const LameControls& c);
    void readControls(LameControls& c) const;
    void modeClicked(int mode);
    void presetChosen(int index);

    LameControls model_;
    QComboBox* preset_;
    QComboBox* method_;
    QComboBox* vbrQuality_;
    QComboBox* minBitrate_;
    QComboBox* maxBitrate_;
    QLineEdit* abr_;
    QComboBox* cbr_;
    QComboBox* channel_;
    QComboBox* quality_;
    std::array<QRadioButton*, 3> modes_{};
    std::array<QCheckBox*, 4> checks_{};
};

// Opens the dialog on the settings; OK stores what it holds into them and gives 1, Cancel (or
// Escape, or the close box) changes nothing and gives 2.
int showLameOptionsDialog(QWidget* owner, Settings& settings, const EncoderAvailability& encoders);

} // namespace vn
