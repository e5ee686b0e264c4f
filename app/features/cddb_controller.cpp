#include "app/features/cddb_controller.h"

#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/menu_state.h"
#include "app/window/menus.h"
#include "config/settings.h"

namespace vn {

CddbController::CddbController(FeatureContext& context) : c_(context)
{
    CommandRouter& r = c_.router;
    r.add({CmdAutoCddb}, [this](int) {
        c_.settings.Cddb_CDimg = c_.settings.Cddb_CDimg ? 0 : 1;
        refreshAutoCddbCheck(c_.menus, c_.settings.Cddb_CDimg);
    });
    // Already the server in use; the item only shows it.
    r.add({CmdCddbServer1}, [this](int) { c_.menus.setChecked(CmdCddbServer1, true); });
    r.add({CmdCddbServer2}, [this](int) { swapServers(); });

    refreshCddbServerItem(c_.menus, c_.settings.Cddb_Server1, CmdCddbServer1);
    refreshCddbServerItem(c_.menus, c_.settings.Cddb_Server2, CmdCddbServer2);
    refreshAutoCddbCheck(c_.menus, c_.settings.Cddb_CDimg);
}

void CddbController::swapServers()
{
    Settings& s = c_.settings;
    if (!s.Cddb_Server1.isEmpty() && !s.Cddb_Server2.isEmpty())
        std::swap(s.Cddb_Server1, s.Cddb_Server2);
    refreshCddbServerItem(c_.menus, s.Cddb_Server1, CmdCddbServer1);
    refreshCddbServerItem(c_.menus, s.Cddb_Server2, CmdCddbServer2);
    c_.menus.setChecked(CmdCddbServer2, false);
}

} // namespace vn
