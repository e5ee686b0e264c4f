#pragma once
// The user's manual and the About box; both stay usable while a job runs.

#include "app/features/feature_context.h"

namespace vn {

class HelpController : public Feature {
public:
    explicit HelpController(FeatureContext& context);

private:
    void openManual();
    void showAbout();

    FeatureContext& c_;
};

} // namespace vn
