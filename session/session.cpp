#include "session/session.h"

#include "config/settings.h"
#include "session/compare.h"
#include "util/feedback.h"

#include <algorithm>
#include <future>

namespace vn {


// A new comparison starts: the old one and its pairs go, the sides are taken.
void ComparisonSession::start(const Sides& sides)
{
    pairs_.clear();
    lastReplaceResult_ = 0;
    producedExtension_.clear();
    clearComparison(state_);
    state_.folderA = sides.folderA;
    state_.folderB = sides.folderB;
    state_.folderBMode = sides.folderBMode;
    state_.trackOffsetB = sides.trackOffsetB;
}

int ComparisonSession::compare(const Sides& sides, const Settings& settings, Feedback& feedback)
{
    const Job job(busy_);
    if (!job.taken())
        return CompareBusy;
    start(sides);
    return compareAB(state_, settings.ExtPriorityList, settings.CP_Cue_Sheet, feedback);
}

int ComparisonSession::compareImage(const QString& cuePath, const Settings& settings)
{
    const Job job(busy_);
    if (!job.taken())
        return CompareBusy;
    start(Sides{QString(), cuePath, false, 0});
    return listCueSheet(state_, settings.CP_Cue_Sheet);
}

int ComparisonSession::loadTags(const Sides& sides, const Settings& settings)
{
    const Job job(busy_);
    if (!job.taken())
        return CompareBusy;
    start(sides);
    const QStringList& priority = settings.ExtPriorityList;
    if (sides.folderB.isEmpty())
        return loadSideTags(state_.folderA, priority, state_.a);
    auto sideA = std::async(std::launch::async, [&] { return loadSideTags(state_.folderA, priority, state_.a); });
    const int codeB = loadSideTags(state_.folderB, priority, state_.b);
    const int codeA = sideA.get();
    const int code = codeA ? codeA : codeB ? codeB + 2 : CompareOk; // B's codes follow A's
    if (code != CompareOk)
        clearComparison(state_);
    return code;
}

int ComparisonSession::replace(const Settings& settings, const ReplaceOptions& options, Feedback& feedback,
                               ReplaceOutcome& outcome)
{
    const Job job(busy_);
    if (!job.taken())
        return SessionBusy;
    lastReplaceResult_ = replaceOrEncode(state_, settings, options, feedback, pairs_, outcome);
    producedExtension_.clear();
    return lastReplaceResult_;
}

int ComparisonSession::encode(const Settings& settings, const EncodeOptions& options, Feedback& feedback,
                              EncodeOutcome& outcome)
{
    const Job job(busy_);
    if (!job.taken())
        return SessionBusy;
    lastReplaceResult_ = encodeImage(state_, settings, options, feedback, pairs_, outcome);
    producedExtension_ = outcome.extension;
    return lastReplaceResult_;
}

int ComparisonSession::move(const Settings& settings, bool backupMode, Feedback& feedback, std::vector<MoveStep>* steps)
{
    const Job job(busy_);
    if (!job.taken())
        return SessionBusy;
    PairList candidates;
    const PairList* pairs = &pairs_;
    int count = lastReplaceResult_;
    if (pairs_.empty()) {
        for (int i = 0; i < state_.a.count(); ++i)
            candidates.push_back(TrackPair{i, uint32_t(i), uint32_t(i), 0});
        pairs = &candidates;
        count = int(candidates.size());
    }
    const int code = moveFiles(state_, settings, backupMode, *pairs, count, feedback, steps, producedExtension_);
    // The files have moved: what was compared no longer stands where it was (also when a journal
    // that failed part way stopped the run).
    if (code == 0 || code == MoveJournalFailed)
        start(Sides{});
    return code;
}

int ComparisonSession::undoMove(const QString& journal, std::vector<UndoStep>& steps, bool* cutShort)
{
    const Job job(busy_);
    if (!job.taken())
        return SessionBusy;
    const int code = undoMoveJournal(journal, steps, cutShort);
    const bool moved = std::any_of(steps.begin(), steps.end(), [](const UndoStep& s) {
        return s.result == UndoResult::MovedBack || s.result == UndoResult::LeftoverRemoved;
    });
    if (moved)
        start(Sides{});
    return code;
}

bool ComparisonSession::clear()
{
    const Job job(busy_);
    if (!job.taken())
        return false;
    start(Sides{});
    return true;
}

} // namespace vn
