#pragma once
// The folders of the path rows (choose, open in the file manager) and the settings of how sides are
// read and where files go: extension priority, cue sheet charset, level folders.

#include "app/features/feature_context.h"

namespace vn {

class FolderPathsController : public Feature {
public:
    explicit FolderPathsController(FeatureContext& context);

private:
    void browseFolderA();
    void browseSideB();
    void browseBackupOutput();
    void browseTemp();
    void exploreSideB();
    void editExtPriority();

    FeatureContext& c_;
};

} // namespace vn
