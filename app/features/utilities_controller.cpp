#include "app/features/utilities_controller.h"

#include "app/dialogs/misc_copy_dialog.h"
#include "app/dialogs/playlist_ext_dialog.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "config/settings.h"

namespace vn {

UtilitiesController::UtilitiesController(FeatureContext& context) : c_(context)
{
    c_.router.add({CmdPlaylistExt}, [this](int) { replacePlaylistExtensions(); });
    c_.router.add({CmdMiscCopy}, [this](int) { copyMiscFiles(); });
}

void UtilitiesController::replacePlaylistExtensions()
{
    // An Output folder typed into its box but not yet confirmed is the one an empty folder takes.
    takeEditedPaths(c_);
    if (playlist_.baseFolder.isEmpty())
        playlist_.baseFolder = c_.settings.Path_Otpt;
    if (PlaylistExtDialog(c_.window, playlist_) != 1)
        return;
    // Rewriting many playlists takes a while: the window repaints and offers "Abort Batch" meanwhile.
    const JobScope job(c_.router);
    runPlaylistExtReplacement(playlist_, c_.feedback);
}

void UtilitiesController::copyMiscFiles()
{
    takeEditedPaths(c_);
    if (copy_.sourceFolder.isEmpty())
        copy_.sourceFolder = c_.settings.Path_Otpt;
    if (copy_.destinationFolder.isEmpty())
        copy_.destinationFolder = c_.settings.Path_Otpt;
    if (MiscCopyDialog(c_.window, copy_) != 1)
        return;
    const JobScope job(c_.router);
    runMiscFileCopy(copy_, c_.feedback);
}

} // namespace vn
