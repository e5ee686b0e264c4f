#include "app/features/cddb_controller.h"

#include "cd/cddb_query.h"

#include "app/dialogs/clipboard.h"
#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "app/window/menu_state.h"
#include "app/window/menus.h"
#include "config/settings.h"
#include "session/session.h"

#include <QTableView>

namespace vn {

CddbController::CddbController(FeatureContext& context) : c_(context)
{
    CommandRouter& r = c_.router;
    r.add({CmdCddbQuery}, [this](int) { query(true); });
    r.add({CmdAutoCddb}, [this](int) {
        c_.settings.Cddb_CDimg = c_.settings.Cddb_CDimg ? 0 : 1;
        refreshAutoCddbCheck(c_.menus, c_.settings.Cddb_CDimg);
    });
    // Already the server in use; the item only shows it.
    r.add({CmdCddbServer1}, [this](int) { c_.menus.setChecked(CmdCddbServer1, true); });
    r.add({CmdCddbServer2}, [this](int) { swapServers(); });
    // Auto CDDB does not take the clipboard: the user did not ask for this exchange.
    c_.hooks.afterCompare.push_back([this] {
        if (!c_.modes.folderBMode && c_.settings.Cddb_CDimg)
            query(false);
    });

    refreshCddbServerItem(c_.menus, c_.settings.Cddb_Server1, CmdCddbServer1);
    refreshCddbServerItem(c_.menus, c_.settings.Cddb_Server2, CmdCddbServer2);
    refreshAutoCddbCheck(c_.menus, c_.settings.Cddb_CDimg);
}

void CddbController::query(bool interactive)
{
    QString transcript;
    int code;
    {
        const JobScope job(c_.router);
        code = c_.session.queryCddb(c_.settings, c_.feedback, interactive, &transcript);
    }
    if (interactive && !transcript.isEmpty())
        putWideTextOnClipboard(transcript);
    if (code != CddbOk)
        return;
    // The whole list again, so the cells marked as differing from A follow the new titles.
    const int current = c_.listView.currentIndex().row();
    std::vector<ComparisonRow> rows;
    rows.reserve(c_.session.state().rows.size());
    for (const ListRow& cells : c_.session.state().rows)
        rows.push_back(ComparisonRow{cells, 0});
    c_.list.setRows(std::move(rows));
    if (current >= 0 && current < c_.list.rowCount())
        c_.listView.setCurrentIndex(c_.list.index(current, 0));
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
