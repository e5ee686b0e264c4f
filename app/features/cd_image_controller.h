#pragma once
// "Create image file from CD": owns the tool window that reads a CD into an image, and takes the
// cue sheet it hands over into the main window as side B.

#include "app/features/feature_context.h"

#include <memory>

namespace vn {

class CdImageWindow;

class CdImageController : public Feature {
public:
    explicit CdImageController(FeatureContext& context);
    ~CdImageController() override;

    CdImageWindow& window() const { return *window_; }

private:
    bool applyCueSheet(const QString& cuePath);

    FeatureContext& c_;
    std::unique_ptr<CdImageWindow> window_;
};

} // namespace vn
