#pragma once
// Compare A/B, Replace Tags (or Encoding B), Move Files and File Properties on the comparison
// session, and the two mode switches of the path rows (Folder B / CD image, Backup / Output).

#include "app/features/feature_context.h"
#include "util/feedback.h"

namespace vn {

class CompareController : public Feature {
public:
    explicit CompareController(FeatureContext& context);

private:
    void compare();
    void replace();
    void moveFiles();
    void showProperties(int row);
    void toggleFolderBMode();
    void toggleBackupMode();
    void showFolderBMode();
    void showBackupMode();
    void resetToEmptyState();
    void message(const QString& text, const QString& title, MessageIcon icon);

    FeatureContext& c_;
};

} // namespace vn
