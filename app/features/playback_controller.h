#pragma once
// Auditioning the rows of the list: the repeat mode and the choice of player. Playing itself is
// not part of this build yet, so "Audio play", "pause" and "stop" stay unregistered.

#include "app/features/feature_context.h"

namespace vn {

class PlaybackController : public Feature {
public:
    explicit PlaybackController(FeatureContext& context);

private:
    FeatureContext& c_;
    bool albumRepeat_ = true;
    int playApi_ = 2;
};

} // namespace vn
