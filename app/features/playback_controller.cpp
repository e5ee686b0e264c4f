#include "app/features/playback_controller.h"

#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/menu_state.h"

namespace vn {

PlaybackController::PlaybackController(FeatureContext& context) : c_(context)
{
    c_.router.add({BtnRepeat}, [this](int) {
        albumRepeat_ = !albumRepeat_;
        c_.router.setText(BtnRepeat, albumRepeat_ ? QStringLiteral("Album repeat") : QStringLiteral("Track repeat"));
    });
    c_.router.add({CmdPlayMci, CmdPlayMf}, [this](int id) {
        playApi_ = id == CmdPlayMci ? 1 : 2;
        refreshPlayApiChecks(c_.menus, playApi_);
    });
    refreshPlayApiChecks(c_.menus, playApi_);
}

} // namespace vn
