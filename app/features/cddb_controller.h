#pragma once
// The CDDB servers and Auto CDDB. The query itself is not part of this build yet, so "Acquire CD
// data from CDDB" stays unregistered.

#include "app/features/feature_context.h"

namespace vn {

class CddbController : public Feature {
public:
    explicit CddbController(FeatureContext& context);

private:
    void swapServers();

    FeatureContext& c_;
};

} // namespace vn
