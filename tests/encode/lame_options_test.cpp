// The LAME options dialog's state: which controls each preset and each bit-rate mode leaves to the
// user, and what they put into the others.
#include "config/settings.h"
#include "encode/lame_options.h"

#include <gtest/gtest.h>

namespace vn {
namespace {

struct Enabled {
    bool radios, method, vbrQuality, minMax, abr, cbr, channel, quality;
    bool operator==(const Enabled&) const = default;
};
Enabled enabled(const LameControls& c)
{
    return {c.radiosEnabled, c.methodEnabled, c.vbrQualityEnabled, c.minMaxEnabled,
            c.abrEnabled,    c.cbrEnabled,    c.channelEnabled,    c.qualityEnabled};
}

TEST(LameOptions, FastStandardFixesEverythingButTheBitRateLimitsAndChannels)
{
    LameControls c;
    lamePresetChosen(c, 5); // "--preset fast standard"
    EXPECT_EQ(enabled(c), (Enabled{false, false, false, true, false, false, true, false}));
    EXPECT_EQ(c.mode, 0);       // VBR
    EXPECT_EQ(c.method, 2);     // "New VBR"
    EXPECT_EQ(c.vbrQuality, 2);
    EXPECT_EQ(c.quality, 0);
}

TEST(LameOptions, PresetsThatSetTheModeAndBitRates)
{
    LameControls c;
    c.cbrIndex = 2;
    lamePresetChosen(c, 8); // "--preset insane": CBR 320 and the channel mode only
    EXPECT_EQ(enabled(c), (Enabled{false, false, false, false, false, false, true, false}));
    EXPECT_EQ(c.mode, 2);
    EXPECT_EQ(c.cbrIndex, 13);

    lamePresetChosen(c, 9); // "ABR": the ABR bit rate is the user's
    EXPECT_EQ(enabled(c), (Enabled{false, false, false, true, true, false, true, false}));
    EXPECT_EQ(c.mode, 1);
    EXPECT_EQ(c.method, 3);
    EXPECT_EQ(c.vbrQuality, 4);
    EXPECT_EQ(c.quality, 3);
}

TEST(LameOptions, WithoutPresetTheCheckedModeDecidesAndQualityIsFree)
{
    LameControls c;
    c.mode = 2;
    lamePresetChosen(c, 0); // "(No preset)" with CBR checked
    EXPECT_EQ(enabled(c), (Enabled{true, false, false, false, false, true, true, true}));
    lameModeClicked(c, 0); // VBR: the method and the VBR quality come back, the method to its default
    c.method = 1;
    lameModeClicked(c, 0);
    EXPECT_EQ(enabled(c), (Enabled{true, true, true, true, false, false, true, true}));
    EXPECT_EQ(c.method, 0);
    lameModeClicked(c, 1);
    EXPECT_EQ(c.method, 3);
    EXPECT_EQ(enabled(c), (Enabled{true, false, false, true, true, false, true, true}));
    // A quality preset keeps the radio buttons but fixes the quality.
    lamePresetChosen(c, 13); // "High Quality(q2)"
    EXPECT_EQ(c.quality, 2);
    EXPECT_FALSE(c.qualityEnabled);
    EXPECT_TRUE(c.radiosEnabled);
}

TEST(LameOptions, OpeningAndOkKeepTheSettings)
{
    Settings s = defaultSettings(QStringLiteral("/nowhere"));
    s.Lame_Preset = 0;
    s.Lame_Bitrate_Mode = 0;
    s.Lame_VBR_Method = 1; // "Old VBR", chosen by the user
    s.Lame_VBR_Quality = 6;
    s.Lame_Quality = 7;
    s.Lame_bps_Min = 3;
    s.Lame_CRC = 1;
    const LameControls c = lameControlsFrom(s);
    EXPECT_EQ(c.method, 1);
    Settings back = s;
    back.Lame_VBR_Method = back.Lame_Quality = back.Lame_CRC = -5;
    storeLameControls(c, back);
    EXPECT_EQ(back.Lame_VBR_Method, 1);
    EXPECT_EQ(back.Lame_Quality, 7);
    EXPECT_EQ(back.Lame_CRC, 1);
    EXPECT_EQ(back.Lame_VBR_Quality, 6);
    EXPECT_EQ(back.Lame_bps_Min, 3);

    // With the defaults ("--preset fast standard") the preset's values show.
    const LameControls d = lameControlsFrom(defaultSettings(QStringLiteral("/nowhere")));
    EXPECT_EQ(d.method, 2);
    EXPECT_FALSE(d.radiosEnabled);
}

} // namespace
} // namespace vn
