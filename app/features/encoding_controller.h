#pragma once
// Encoding B in the window: the compared CD image encoded as a job (the "Encoding B" button runs it
// through runEncodingB), and the two commands that encode CD images with their own tags: the
// current image, and every cue sheet of a folder.

#include "app/features/feature_context.h"

namespace vn {

class EncodingController : public Feature {
public:
    explicit EncodingController(FeatureContext& context);

private:
    void encodeImageWithBTags();
    void encodeImagesWithBTags();
    bool encodeFolderImage(const QString& cuePath);
    void showComparison();

    FeatureContext& c_;
};

// Encoding B of the compared CD image as a job of the window: the selected encoder (the outside
// tools as the start-up probes found them), status texts and the "Encode Error" box through the
// window's feedback; in Backup mode Move Files is offered afterwards. bTags: the image's own tags
// into a level folder under the Output folder. Returns the number of pairs.
int runEncodingB(FeatureContext& context, bool bTags);

} // namespace vn
