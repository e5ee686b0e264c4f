// The LAME options dialog: it opens on the settings, each preset grays what it fixes (the table of
// masks the dialog has always had), OK stores what it shows and Cancel changes nothing.
#include "app/app_fixture.h"
#include "app/dialogs/lame_options_dialog.h"
#include "app/window/command_ids.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>

namespace vn::test {
namespace {

// The controls in the order of the mask's meaning: radio buttons, VBR method, VBR quality,
// minimum and maximum bit rate, ABR bit rate, CBR bit rate, channel mode, quality.
struct Usable {
    bool radios, method, vbrQuality, minMax, abr, cbr, channel, quality;
    bool operator==(const Usable&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Usable& u)
{
    return os << u.radios << u.method << u.vbrQuality << u.minMax << u.abr << u.cbr << u.channel << u.quality;
}

Usable usable(QWidget* d)
{
    auto on = [d](int id) { return child(d, id)->isEnabled(); };
    const bool radios = on(6015);
    EXPECT_TRUE(on(6016) == radios && on(6017) == radios);
    EXPECT_EQ(on(6005), on(6006));
    return {radios, on(6003), on(6004), on(6005), on(6007), on(6008), on(6009), on(6010)};
}

void choosePreset(QWidget* d, int index)
{
    auto* box = child<QComboBox>(d, 6002);
    box->setCurrentIndex(index);
    emit box->activated(index);
}

QString shown(QWidget* d, int id)
{
    return child<QComboBox>(d, id)->currentText();
}

EncoderAvailability lame()
{
    EncoderAvailability e;
    e.lame = true;
    e.lameEngineMajor = e.lameLibraryMajor = 3;
    e.lameEngineMinor = e.lameLibraryMinor = 100;
    e.lameHomepage = "http://lame.sf.net";
    return e;
}

class LameDialogTest : public WindowTest {};

TEST_F(LameDialogTest, OpensOnTheSettingsAndCancelKeepsThem)
{
    writeIni("[LAME]\nLame_Preset=\"(No preset)\"\nLame_Bitrate_Mode=CBR\nLame_bps_CBR=160\nLame_Quality=7\n"
             "Lame_Channel_Mode=Mono\nLame_CRC=1\nLame_Original=0\nLame_bps_ABR=200\n");
    MainWindow& w = open(lame());
    const Settings before = w.settings();
    QString header, preset, cbr, quality, channel, abr;
    bool cbrChecked = false, crc = false, original = true;
    Usable state{};
    onNextModal([&](QWidget* d) {
        header = child<QLabel>(d, 6100)->text();
        preset = shown(d, 6002);
        cbr = shown(d, 6008);
        quality = shown(d, 6010);
        channel = shown(d, 6009);
        abr = child<QLineEdit>(d, 6007)->text();
        cbrChecked = child<QRadioButton>(d, 6017)->isChecked();
        crc = child<QCheckBox>(d, 6011)->isChecked();
        original = child<QCheckBox>(d, 6014)->isChecked();
        state = usable(d);
        // Changes that Cancel must drop.
        choosePreset(d, 5);
        child<QCheckBox>(d, 6012)->click();
        child<QAbstractButton>(d, 2)->click();
    });
    w.runCommand(CmdOptionLame);
    EXPECT_EQ(header, "MP3 Encoder: LAME v3.100 (3.100) \n" + QString(26, ' ') + "http://lame.sf.net");
    EXPECT_EQ(preset, "(No preset)");
    EXPECT_TRUE(cbrChecked);
    EXPECT_EQ(cbr, "160");
    EXPECT_EQ(quality, "7");
    EXPECT_EQ(channel, "Mono");
    EXPECT_EQ(abr, "200");
    EXPECT_TRUE(crc);
    EXPECT_FALSE(original);
    // No preset with CBR checked: the radio buttons, the CBR bit rate, the channels and the quality.
    EXPECT_EQ(state, (Usable{true, false, false, false, false, true, true, true}));

    const Settings& after = w.settings();
    EXPECT_EQ(after.Lame_Preset, before.Lame_Preset);
    EXPECT_EQ(after.Lame_Bitrate_Mode, before.Lame_Bitrate_Mode);
    EXPECT_EQ(after.Lame_VBR_Method, before.Lame_VBR_Method);
    EXPECT_EQ(after.Lame_Quality, 7);
    EXPECT_EQ(after.Lame_Private, before.Lame_Private);
}

// Every preset against the dialog's table (mask bits: 1 radio buttons, 2 method, 4 VBR quality, 8
// minimum and maximum, 16 ABR, 32 CBR, 64 channel mode, 128 the checked radio button's own state;
// the quality only without a preset), VBR being checked when the presets with bit 128 are chosen.
TEST_F(LameDialogTest, EachPresetGraysWhatItFixes)
{
    writeIni("[LAME]\nLame_Preset=\"(No preset)\"\nLame_Bitrate_Mode=VBR\n");
    MainWindow& w = open(lame());
    LameOptionsDialog d(&w, w.settings(), w.encoders());
    // VBR checked: mask 79.
    const Usable vbr{true, true, true, true, false, false, true, false};
    const Usable vbrFree{true, true, true, true, false, false, true, true};
    const Usable fixedVbr{false, false, false, true, false, false, true, false}; // 72
    const Usable expected[15] = {
        vbrFree,                                                 // (No preset): 255
        fixedVbr,                                                // --preset medium
        fixedVbr,                                                // --preset fast medium
        fixedVbr,                                                // --r3mix
        fixedVbr,                                                // --preset standard
        fixedVbr,                                                // --preset fast standard
        fixedVbr,                                                // --preset extreme
        fixedVbr,                                                // --preset fast extreme
        {false, false, false, false, false, false, true, false}, // --preset insane: 64
        {false, false, false, true, true, false, true, false},   // ABR: 88
        {false, false, false, false, false, true, true, false},  // CBR: 96
        vbr,
        vbr,
        vbr,
        vbr, // the quality presets: 223
    };
    for (int preset = 0; preset < 15; ++preset) {
        SCOPED_TRACE(preset);
        // The quality presets re-apply the checked button, so VBR is checked before each.
        choosePreset(&d, 0);
        child<QAbstractButton>(&d, 6015)->click();
        choosePreset(&d, preset);
        EXPECT_EQ(usable(&d), expected[preset]);
    }
    // What the presets put into the controls.
    choosePreset(&d, 8);
    EXPECT_TRUE(child<QRadioButton>(&d, 6017)->isChecked());
    EXPECT_EQ(shown(&d, 6008), "320");
    choosePreset(&d, 5);
    EXPECT_TRUE(child<QRadioButton>(&d, 6015)->isChecked());
    EXPECT_EQ(shown(&d, 6003), "New VBR");
    EXPECT_EQ(shown(&d, 6004), "2");
    EXPECT_EQ(shown(&d, 6010), "0 (highest)");
    choosePreset(&d, 13); // "High Quality(q2)"
    EXPECT_EQ(shown(&d, 6010), "2");
    // A click on a radio button without a preset: ABR frees its bit rate and sets the ABR method.
    choosePreset(&d, 0);
    child<QAbstractButton>(&d, 6016)->click();
    EXPECT_EQ(usable(&d), (Usable{true, false, false, true, true, false, true, true}));
    EXPECT_EQ(shown(&d, 6003), "ABR");
}

TEST_F(LameDialogTest, OkStoresWhatTheDialogShows)
{
    writeIni("[LAME]\n");
    MainWindow& w = open(lame());
    onNextModal([&](QWidget* d) {
        choosePreset(d, 0);
        child<QAbstractButton>(d, 6017)->click();      // CBR
        child<QComboBox>(d, 6008)->setCurrentIndex(9); // 160
        child<QComboBox>(d, 6010)->setCurrentIndex(6);
        child<QComboBox>(d, 6009)->setCurrentIndex(3); // Mono
        child<QCheckBox>(d, 6011)->click();
        child<QCheckBox>(d, 6014)->click();
        child<QAbstractButton>(d, 1)->click();
    });
    w.runCommand(CmdOptionLame);
    const Settings& s = w.settings();
    EXPECT_EQ(s.Lame_Preset, 0);
    EXPECT_EQ(s.Lame_Bitrate_Mode, 2);
    EXPECT_EQ(s.Lame_bps_CBR, 9);
    EXPECT_EQ(s.Lame_Quality, 6);
    EXPECT_EQ(s.Lame_Channel_Mode, 3);
    EXPECT_EQ(s.Lame_CRC, 1);
    EXPECT_EQ(s.Lame_Original, 0); // on by default, clicked off
    // What the settings file then holds.
    w.close();
    const QByteArray ini = readFile(home.filePath("Vornelic.ini"));
    for (const char* line : {"Lame_Preset=(No preset)", "Lame_Bitrate_Mode=CBR", "Lame_bps_CBR=160", "Lame_Quality=6"})
        EXPECT_TRUE(ini.contains(line)) << line << "\n" << ini.constData();
}

} // namespace
} // namespace vn::test
