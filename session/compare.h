#pragma once
// Compare A/B: both sides read into the comparison state and shown as list rows, each A file above
// its B partner.

#include "media/comparison.h"

#include <QStringList>

namespace vn {

// Clears the state, loads both sides (codes 1 to 5), reads every file and fills the rows.
int compareAB(ComparisonState& state, const QStringList& extPriorityList, int cueCodePage);

} // namespace vn
