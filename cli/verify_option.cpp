#include "cli/verify_option.h"

#include "verify/same_recording.h"

#include <algorithm>

namespace vn::cli {

namespace {

int matchThreshold(const Settings& settings)
{
    return std::clamp(settings.Verify_Threshold, 0, 100);
}

} // namespace

std::vector<QString> matchColumn(Context& context, const ComparisonState& state)
{
    const std::vector<RecordingPair> pairs = listPairs(state);
    std::vector<PairMatch> matches;
    checkRecordings(pairs, state.cue ? &*state.cue : nullptr, context.feedback, 0, matches);
    std::vector<QString> column(state.rows.size());
    for (size_t i = 0; i < pairs.size() && i < matches.size(); ++i) {
        const int row = pairs[i].listRow;
        if (row >= 0 && size_t(row) < column.size())
            column[size_t(row)] = matches[i].similarity >= 0 ? QString::number(matches[i].similarity) : QStringLiteral("-");
    }
    return column;
}

int refuseMismatches(Context& context, const ComparisonState& state, const PairList& runPairs, bool force)
{
    const std::vector<RecordingPair> pairs = recordingPairs(state, runPairs);
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
