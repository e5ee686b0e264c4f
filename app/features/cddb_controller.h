#pragma once
// CDDB: "Acquire CD data from CDDB", Auto CDDB after a compare of a CD image, and the choice of
// server.

#include "app/features/feature_context.h"

namespace vn {

class CddbController : public Feature {
public:
    explicit CddbController(FeatureContext& context);

private:
    // Asks the servers for the compared image's titles; interactive puts the exchange on the
    // clipboard. The list's B rows show what was found.
    void query(bool interactive);
    void swapServers();

    FeatureContext& c_;
};

} // namespace vn
