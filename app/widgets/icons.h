#pragma once
// The pictures of the bitmap buttons and the program's icon, drawn at run time so they stay sharp at
// any scale.

#include <QIcon>

namespace vn {

// One of the BitmapId pictures; a null icon for an unknown number.
QIcon bitmapIcon(int bitmapId);
QIcon applicationIcon();

} // namespace vn
