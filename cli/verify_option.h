#pragma once
// --verify of compare and of the commands that write: every pair is checked to be the same
// recording. The check needs FFmpeg's and chromaprint's libraries, so it lives in
// vornelic-cli-devices; vornelic-cli hands every command with --verify over to it (main.cpp).

#include "cli/cli.h"
#include "encode/replace_tags.h"

#include <vector>

namespace vn::cli {

// The "match %" cell of every list row: the similarity of the pair a B row shows, "-" when it
// cannot be checked, empty on the other rows.
std::vector<QString> matchColumn(Context& context, const ComparisonState& state);

// Checks the pairs (B's image ranges through state's cue sheet). ExitOk when every pair reaches the
// threshold, or when force is set (the mismatched pairs are then only named on stderr); otherwise
// ExitFailure after naming them. encode and batch call this with the pairs of their run.
int refuseMismatches(Context& context, const ComparisonState& state, const PairList& pairs, bool force);

} // namespace vn::cli
