#pragma once
// "Verify recordings": when it is on, Compare A/B checks that every pair of the list is the same
// recording, shows each pair's similarity in the B row's tooltip and colours the pairs that are
// not; Replace Tags, Encoding B and Move Files then ask before they write for such pairs.

#include "app/features/feature_context.h"
#include "verify/same_recording.h"

#include <vector>

namespace vn {

class VerifyController : public Feature {
public:
    explicit VerifyController(FeatureContext& context);

private:
    void toggle();
    void checkList();
    bool confirmWriting();
    void forget();
    int threshold() const;

    FeatureContext& c_;
    std::vector<RecordingPair> pairs_;
    std::vector<PairMatch> matches_;
    bool checked_ = false;
};

} // namespace vn
