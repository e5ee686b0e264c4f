#pragma once
// "Undo last Move Files": the files of the last Move Files run (its journal in the Backup folder)
// moved back where they came from.

#include "app/features/feature_context.h"

namespace vn {

class UndoMoveController : public Feature {
public:
    explicit UndoMoveController(FeatureContext& context);

private:
    void undo();

    FeatureContext& c_;
};

} // namespace vn
