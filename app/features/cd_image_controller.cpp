#include "app/features/cd_image_controller.h"

#include "app/dialogs/cd_image_window.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/window_controls.h"
#include "config/settings.h"

#include <QLineEdit>
#include <QTableView>

namespace vn {

CdImageController::CdImageController(FeatureContext& context)
    : c_(context), window_(std::make_unique<CdImageWindow>(c_.settings, c_.router, c_.listView.font(),
                                                           [this](const QString& cue) { return applyCueSheet(cue); }))
{
    // Showing the window is harmless while a job runs, and is how a read that runs there is found
    // again once its window was closed.
    c_.router.add(
        {CmdCreateImage},
        [this](int) {
            if (!window_->running() && !c_.router.jobRunning())
                window_->runCommand(CdImgScan);
            window_->show();
            window_->raise();
            window_->activateWindow();
        },
        true);
}

CdImageController::~CdImageController() = default;

bool CdImageController::applyCueSheet(const QString& cuePath)
{
    if (c_.router.jobRunning())
        return false;
    c_.router.run(BtnCdImageMode);
    c_.settings.Path_Cue = cuePath;
    c_.controls.editB->setText(cuePath);
    c_.router.run(BtnCompare);
    return true;
}

} // namespace vn
