#include "session/session.h"

#include "config/settings.h"
#include "session/compare.h"
#include "util/feedback.h"

#include <algorithm>
#include <future>

namespace vn {

// Marks the session busy for the length of one step.
class ComparisonSession::Job {
public:
    explicit Job(bool& busy) : busy_(busy), taken_(!busy) { busy_ = true; }
    ~Job()
    {
        if (taken_)
            busy_ = false;
    }
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;
    bool taken() const { return taken_; }

private:
    bool& busy_;
    bool taken_;
};

namespace {

void takeSides(ComparisonState& state, const Sides& sides)
{
    clearComparison(state);
    state.folderA = sides.folderA;
    state.folderB = sides.folderB;
    state.folderBMode = sides.folderBMode;
    state.trackOffsetB = sides.trackOffsetB;
}

} // namespace

int ComparisonSession::compare(const Sides& sides, const Settings& settings, Feedback& feedback)
{
    const Job job(busy_);
    if (!job.taken())
        return CompareBusy;
    pairs_.clear();
    lastReplaceResult_ = 0;
    takeSides(state_, sides);
    return compareAB(state_, settings.ExtPriorityList, settings.CP_Cue_Sheet, feedback);
}

int ComparisonSession::loadTags(const Sides& sides, const Settings& settings)
{
    const Job job(busy_);
    if (!job.taken())
        return CompareBusy;
    pairs_.clear();
    lastReplaceResult_ = 0;
    takeSides(state_, sides);
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
    const int code = moveFiles(state_, settings, backupMode, *pairs, count, feedback, steps);
    // A journal that failed part way stopped a run that may have moved files already.
    if (code == 0 || code == MoveJournalFailed) {
        // The files have moved: what was compared no longer stands where it was.
        clearComparison(state_);
        pairs_.clear();
        lastReplaceResult_ = 0;
    }
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
    if (moved) {
        clearComparison(state_);
        pairs_.clear();
        lastReplaceResult_ = 0;
    }
    return code;
}

bool ComparisonSession::clear()
{
    const Job job(busy_);
    if (!job.taken())
        return false;
    clearComparison(state_);
    pairs_.clear();
    lastReplaceResult_ = 0;
    return true;
}

} // namespace vn
