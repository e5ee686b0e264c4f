#include "encode/lame_options.h"

#include "config/settings.h"
#include "encode/lame_encoder.h"

#include <algorithm>

namespace vn {

namespace {

struct ControlEffect {
    uint8_t mask;
    LameControlValues values;
};

constexpr int DefaultVbr = 0, NewVbr = 2, AbrMethod = VbrMethodAbrIndex;
constexpr int Cbr320 = 13;

ControlEffect modeEffect(int mode)
{
    switch (mode) {
    case LameModeAbr:
        return {89, {LameModeAbr, AbrMethod, -1, -1, -1, -1, -1}};
    case LameModeCbr:
        return {97, {LameModeCbr, -1, -1, -1, -1, -1, -1}};
    default:
        return {79, {LameModeVbr, DefaultVbr, -1, -1, -1, -1, -1}};
    }
}

ControlEffect presetEffect(int presetValue)
{
    const auto vbr = [](int method, int vbrQuality) {
        return ControlEffect{72, {LameModeVbr, method, vbrQuality, -1, -1, -1, 0}};
    };
    switch (presetValue) {
    case -1:
        return {255, {}};
    case 0:
        return {223, {-1, -1, -1, -1, -1, -1, 3}};
    case 1:
        return {223, {-1, -1, -1, -1, -1, -1, 9}};
    case 2:
        return {223, {-1, -1, -1, -1, -1, -1, 2}};
    case 5:
        return {223, {-1, -1, -1, -1, -1, -1, 0}};
    case 4:
        return vbr(DefaultVbr, 3);
    case 6:
        return vbr(DefaultVbr, 2);
    case 7:
        return vbr(NewVbr, 2);
    case 8:
        return vbr(DefaultVbr, 0);
    case 9:
        return vbr(NewVbr, 0);
    case 10:
        return {64, {LameModeCbr, -1, -1, -1, Cbr320, -1, 3}};
    case 11:
        return {88, {LameModeAbr, AbrMethod, 4, -1, -1, -1, 3}};
    case 12:
        return {96, {LameModeCbr, -1, -1, -1, -1, -1, 3}};
    case 13:
        return vbr(DefaultVbr, 4);
    case 14:
        return vbr(NewVbr, 4);
    default:
        return {255, {}};
    }
}

int presetValueOf(int presetIndex)
{
    return LamePresetValues[size_t(std::clamp(presetIndex, 0, int(LamePresetValues.size()) - 1))];
}

void put(int& control, int value)
{
    if (value != -1)
        control = value;
}

} // namespace

void applyLameControlState(LameControls& c, uint8_t mask, const LameControlValues& v)
{
    put(c.mode, v.mode);
    put(c.method, v.method);
    put(c.vbrQuality, v.vbrQuality);
    put(c.abrKbps, v.abrKbps);
    put(c.cbrIndex, v.cbrIndex);
    put(c.channelMode, v.channelMode);
    put(c.quality, v.quality);
    c.radiosEnabled = mask & 1;
    c.methodEnabled = mask & 2;
    c.vbrQualityEnabled = mask & 4;
    c.minMaxEnabled = mask & 8;
    c.abrEnabled = mask & 16;
    c.cbrEnabled = mask & 32;
    c.channelEnabled = mask & 64;
    c.qualityEnabled = presetValueOf(c.preset) == -1;
    if (mask & 128) {
        const ControlEffect e = modeEffect(c.mode);
        applyLameControlState(c, e.mask, e.values);
    }
}

void lameModeClicked(LameControls& c, int mode)
{
    const ControlEffect e = modeEffect(mode);
    applyLameControlState(c, e.mask, e.values);
}

void lamePresetChosen(LameControls& c, int presetIndex)
{
    c.preset = std::clamp(presetIndex, 0, int(LamePresetValues.size()) - 1);
    const ControlEffect e = presetEffect(presetValueOf(c.preset));
    applyLameControlState(c, e.mask, e.values);
}

LameControls lameControlsFrom(const Settings& s)
{
    LameControls c;
    c.preset = std::clamp(s.Lame_Preset, 0, int(LamePresetValues.size()) - 1);
    c.mode = std::clamp(s.Lame_Bitrate_Mode, 0, 2);
    c.method = s.Lame_VBR_Method;
    c.vbrQuality = s.Lame_VBR_Quality;
    c.minIndex = s.Lame_bps_Min;
    c.maxIndex = s.Lame_bps_Max;
    c.abrKbps = s.Lame_bps_ABR;
    c.cbrIndex = s.Lame_bps_CBR;
    c.channelMode = s.Lame_Channel_Mode;
    c.quality = s.Lame_Quality;
    c.crc = s.Lame_CRC;
    c.privateBit = s.Lame_Private;
    c.copyright = s.Lame_Copyright;
    c.original = s.Lame_Original;
    lameModeClicked(c, c.mode);
    lamePresetChosen(c, c.preset);
    // Checking the stored mode's radio button puts that mode's default method in; where the preset
    // leaves the method to the user, the stored one is what the user chose, and it stays.
    if (c.mode == LameModeVbr && c.methodEnabled)
        c.method = s.Lame_VBR_Method;
    return c;
}

void storeLameControls(const LameControls& c, Settings& s)
{
    s.Lame_Preset = c.preset;
    s.Lame_Bitrate_Mode = c.mode;
    s.Lame_VBR_Method = c.method;
    s.Lame_VBR_Quality = c.vbrQuality;
    s.Lame_Quality = c.quality;
    s.Lame_bps_Min = c.minIndex;
    s.Lame_bps_Max = c.maxIndex;
    s.Lame_bps_CBR = c.cbrIndex;
    s.Lame_bps_ABR = c.abrKbps;
    s.Lame_Channel_Mode = c.channelMode;
    s.Lame_CRC = c.crc;
    s.Lame_Private = c.privateBit;
    s.Lame_Copyright = c.copyright;
    s.Lame_Original = c.original;
}

} // namespace vn
