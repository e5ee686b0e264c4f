#include "media/field_to_text.h"

namespace vn {

// The ID3v2 texts come with the ID3v2 reader.
int fieldToTextId3(QString& out, int, const TagValue&, int, uint8_t, PictureRef*)
{
    out.clear();
    return 0;
}

} // namespace vn
