#pragma once
// The two file utilities of the Utility menu: playlist extension replacement and misc file copy.
// Their dialogs' values are kept for the next opening while the window lives; they are not saved.

#include "app/features/feature_context.h"
#include "util/misc_copy.h"
#include "util/playlist_ext.h"

namespace vn {

class UtilitiesController : public Feature {
public:
    explicit UtilitiesController(FeatureContext& context);

private:
    void replacePlaylistExtensions();
    void copyMiscFiles();

    FeatureContext& c_;
    PlaylistExtParams playlist_;
    MiscCopyParams copy_;
};

} // namespace vn
