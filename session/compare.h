#pragma once
// Compare A/B: both sides read into the comparison state and shown as list rows, each A file above
// its B partner.

#include "media/comparison.h"

#include <QStringList>

namespace vn {

class Feedback;

// Clears the state, loads both sides (codes 1 to 5), reads every file (on the calling thread and a
// worker) and fills the rows. Shows "Compare A/B...." in status part 2 and the count of files read
// in part 3 ("%u/%u", for the first and the last file and every twentieth of a second in between),
// and pumps before each file the calling thread reads and while it waits for the worker; an abort
// clears the state and gives CompareAborted.
int compareAB(ComparisonState& state, const QStringList& extPriorityList, int cueCodePage, Feedback& feedback);

// The CD image of state.folderB alone: no A files, each track's row under an empty A row.
// CompareOk or CompareIllegalCueSheet.
int listCueSheet(ComparisonState& state, int cueCodePage);

} // namespace vn
