#include "cli/verify_option.h"

#include <algorithm>

namespace vn::cli {

int matchThreshold(const Settings& settings)
{
    return std::clamp(settings.Verify_Threshold, 0, 100);
}

int refuseMismatches(Context& context, const ComparisonState& state, const std::vector<RecordingPair>& pairs,
                     bool force)
{
    std::vector<PairMatch> matches;
    checkRecordings(pairs, state.cue ? &*state.cue : nullptr, context.feedback, 0, matches);
    const std::vector<int> mismatched = mismatchedPairs(matches, matchThreshold(context.settings));
    if (mismatched.empty())
        return ExitOk;
    QString text = QStringLiteral("%1 of %2 pairs do not sound like the same recording.\n")
                       .arg(mismatched.size())
                       .arg(pairs.size());
    for (int i : mismatched)
        text += pairLine(pairs[size_t(i)], matches[size_t(i)]) + QLatin1Char('\n');
    text += force ? QStringLiteral("--force: written anyway.\n")
                  : QStringLiteral("Nothing was written; --force writes anyway.\n");
    printErr(text);
    return force ? ExitOk : ExitFailure;
}

} // namespace vn::cli
