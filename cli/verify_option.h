#pragma once
// --verify of the commands that write: every pair is checked to be the same recording before
// anything is written; mismatched pairs are named and refused unless --force is given.

#include "cli/cli.h"
#include "verify/same_recording.h"

#include <vector>

namespace vn::cli {

// The threshold of the settings, kept within 0 to 100 %.
int matchThreshold(const Settings& settings);

// Checks the pairs (B's image range through state's cue sheet). ExitOk when every pair reaches the
// threshold, or when force is set (the mismatched pairs are then only named on stderr); otherwise
// ExitFailure after naming them. encode and batch call this with the pairs of their run.
int refuseMismatches(Context& context, const ComparisonState& state, const std::vector<RecordingPair>& pairs,
                     bool force);

} // namespace vn::cli
