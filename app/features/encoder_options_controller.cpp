#include "app/features/encoder_options_controller.h"

#include "app/dialogs/input_box.h"
#include "app/dialogs/lame_options_dialog.h"
#include "app/widgets/status_parts.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "app/window/menu_state.h"
#include "config/settings.h"
#include "encode/encoder_availability.h"
#include "encode/tool_probe.h"

namespace vn {

EncoderOptionsController::EncoderOptionsController(FeatureContext& context) : c_(context)
{
    CommandRouter& r = c_.router;
    r.add({CmdSelectLame, CmdSelectFlac, CmdSelectQaac, CmdSelectFdkaac, CmdSelectOpusEnc, CmdSelectFFmpeg}, [this](int id) {
        c_.settings.EncoderIndex = id - (CmdSelectLame - 1);
        refreshEncoderLine();
    });
    r.add({CmdOptionLame}, [this](int) { showLameOptionsDialog(c_.window, c_.settings, c_.encoders); });
    r.add({CmdOptionFlac}, [this](int) {
        showMessage(c_.window, QStringLiteral("Some options for FLAC may be changed in the configuration file Vornelic.ini."),
                    QStringLiteral("FLAC Encoder Option"), MessageButtons::Ok, MessageIcon::Warning);
    });
    Settings& s = c_.settings;
    r.add({CmdOptionQaac}, [this, &s](int) {
        editOption(QStringLiteral("Qaac Encoder Option"), QStringLiteral("Set Qaac Command line Option"), s.Qaac_Options, 1024);
    });
    r.add({CmdOptionFdkaac}, [this, &s](int) {
        editOption(QStringLiteral("Fdkaac Encoder Option"), QStringLiteral("Set Fdkaac Command line Option"),
                   s.Fdkaac_Options, 1024);
    });
    r.add({CmdOptionOpusEnc}, [this, &s](int) {
        editOption(QStringLiteral("OpusEnc Encoder Option"), QStringLiteral("Set OpusEnc Command line Option"),
                   s.OpusEnc_Options, 1024);
    });
    r.add({CmdOptionFFmpeg}, [this, &s](int) {
        editOption(QStringLiteral("FFmpeg Encoder Option"), QStringLiteral("Set FFmpeg Command line Option"),
                   s.FFmpeg_Options, 256);
        // The container follows the encoder the options name.
        ffmpegOptionsChanged(s, c_.encoders, c_.feedback);
    });
    r.add({CmdFFmpegContainers}, [this, &s](int) {
        editOption(QStringLiteral("(FFmpeg) Specify the container which corresponds to the encoder (encoder.con)"),
                   QStringLiteral("Set FFmpeg Containers"), s.FFmpeg_Containers, 256);
    });

    applyInitialMenuStates(c_.menus, c_.encoders, c_.settings, c_.modes.folderBMode);
    refreshEncoderLine();
}

void EncoderOptionsController::refreshEncoderLine()
{
    refreshEncoderChecks(c_.menus, c_.settings.EncoderIndex);
    c_.status.setText(6, encoderLine(c_.encoders, c_.settings.EncoderIndex));
}

void EncoderOptionsController::editOption(const QString& title, const QString& prompt, QString& value, int capacity)
{
    InputBox(c_.window, title, prompt, value, capacity, QStringLiteral("Ok"), QStringLiteral("Cancel"));
}

} // namespace vn
