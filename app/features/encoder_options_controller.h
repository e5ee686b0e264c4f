#pragma once
// The choice of encoder and the options of the outside encoders, and the encoder line of status
// part 6 that shows what this machine can use.

#include "app/features/feature_context.h"

namespace vn {

class EncoderOptionsController : public Feature {
public:
    explicit EncoderOptionsController(FeatureContext& context);

private:
    void refreshEncoderLine();
    void editOption(const QString& title, const QString& prompt, QString& value, int capacity);

    FeatureContext& c_;
};

} // namespace vn
