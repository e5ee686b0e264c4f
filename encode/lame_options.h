#pragma once
// What the LAME options dialog shows and lets the user change, as plain state: each preset and
// each bit-rate mode decides which controls are usable and puts some values into them. The dialog
// is a view over this.

#include <cstdint>

namespace vn {

struct Settings;

// The dialog's values (indexes into the settings' tables) and which controls are enabled.
struct LameControls {
    int preset = 0;       // Lame_Preset index
    int mode = 0;         // bit-rate mode: 0 VBR, 1 ABR, 2 CBR (the checked radio button)
    int method = 0;       // Lame_VBR_Method index
    int vbrQuality = 0;
    int minIndex = 0;
    int maxIndex = 0;
    int abrKbps = 0;
    int cbrIndex = 0;
    int channelMode = 0;
    int quality = 0;
    bool crc = false, privateBit = false, copyright = false, original = false;

    bool radiosEnabled = true;
    bool methodEnabled = true;
    bool vbrQualityEnabled = true;
    bool minMaxEnabled = true;
    bool abrEnabled = true;
    bool cbrEnabled = true;
    bool channelEnabled = true;
    bool qualityEnabled = true;
};

// Values an event puts into the controls; -1 leaves a control as it is.
struct LameControlValues {
    int mode = -1;
    int method = -1;
    int vbrQuality = -1;
    int abrKbps = -1;
    int cbrIndex = -1;
    int channelMode = -1;
    int quality = -1;
};

// The values first, then the mask: bit 0 the radio buttons, 1 the method, 2 the VBR quality, 3 the
// minimum and maximum bit rates, 4 the ABR bit rate, 5 the CBR bit rate, 6 the channel mode; the
// quality only while the preset is "(No preset)"; bit 7 re-applies the checked radio button.
void applyLameControlState(LameControls& controls, uint8_t mask, const LameControlValues& values);

// The events: a radio button clicked (mode 0 to 2), a preset chosen (by its index).
void lameModeClicked(LameControls& controls, int mode);
void lamePresetChosen(LameControls& controls, int presetIndex);

// The dialog as it opens on the settings.
LameControls lameControlsFrom(const Settings& settings);
// OK: the controls into the settings.
void storeLameControls(const LameControls& controls, Settings& settings);

} // namespace vn
