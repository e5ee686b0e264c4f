#pragma once
// Batch Re-encode: the three-step wizard (match list generation, its pre-check with the list open in
// the editor, the encoding options) and the run over the list's pairs as a job that "Abort Batch"
// stops before the next pair.

#include "app/features/feature_context.h"

namespace vn {

struct BatchList;

class BatchController : public Feature {
public:
    explicit BatchController(FeatureContext& context);

private:
    void run();
    // Step 2: false when the user gave up.
    bool precheck(BatchList& list);
    void openListForEditing() const;
    void showStep3Result(bool backupModeBefore);
    void runPairs(const BatchList& list);

    FeatureContext& c_;
};

} // namespace vn
