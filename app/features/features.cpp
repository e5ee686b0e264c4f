// The features of this build. A new capability adds its controller here and nowhere in the frame.
#include "app/features/batch_controller.h"
#include "app/features/cd_image_controller.h"
#include "app/features/cddb_controller.h"
#include "app/features/compare_controller.h"
#include "app/features/encoder_options_controller.h"
#include "app/features/encoding_controller.h"
#include "app/features/folder_paths_controller.h"
#include "app/features/help_controller.h"
#include "app/features/playback_controller.h"
#include "app/features/utilities_controller.h"
#include "app/features/undo_move_controller.h"
#include "app/features/verify_controller.h"
#include "app/window/window_controls.h"
#include "config/settings.h"

#include <QLineEdit>

namespace vn {

Features buildFeatures(FeatureContext& context)
{
    Features features;
    features.push_back(std::make_unique<CompareController>(context));
    features.push_back(std::make_unique<FolderPathsController>(context));
    features.push_back(std::make_unique<EncoderOptionsController>(context));
    features.push_back(std::make_unique<EncodingController>(context));
    features.push_back(std::make_unique<PlaybackController>(context));
    features.push_back(std::make_unique<CdImageController>(context));
    features.push_back(std::make_unique<CddbController>(context));
    features.push_back(std::make_unique<BatchController>(context));
    features.push_back(std::make_unique<UtilitiesController>(context));
    features.push_back(std::make_unique<HelpController>(context));
    features.push_back(std::make_unique<VerifyController>(context));
    features.push_back(std::make_unique<UndoMoveController>(context));
    return features;
}

void takeEditedPaths(FeatureContext& c)
{
    Settings& s = c.settings;
    const WindowControls& w = c.controls;
    s.Path_A = w.editA->text();
    (c.modes.folderBMode ? s.Path_B : s.Path_Cue) = w.editB->text();
    (c.modes.backupMode ? s.Path_Bkup : s.Path_Otpt) = w.editBackup->text();
    s.Path_Temp = w.editTemp->text();
    s.ID3_Blk = numberInBox(w.editBlock);
    s.ID3_Pad = numberInBox(w.editPadding);
}

} // namespace vn
