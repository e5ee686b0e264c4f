#pragma once
// The comparison session both front ends drive: the state of the last Compare A/B, the pairs of the
// last Replace Tags run, and the Compare -> Replace Tags -> Move Files flow on them. While one step
// runs (and pumps events), the session refuses every other step: nothing changes the state under a
// running job, such as the thread that reads B's audio ahead during Replace Tags.

#include "encode/move_files.h"
#include "encode/replace_tags.h"
#include "media/comparison.h"

#include <QString>
#include <vector>

namespace vn {

class Feedback;
struct Settings;

// What replace and move return while another step of the session runs.
inline constexpr int SessionBusy = -99;

// The two sides of a comparison as the user named them.
struct Sides {
    QString folderA;
    QString folderB;         // a folder, or a cue sheet when folderBMode is false; may be empty for loadTags
    bool folderBMode = true;
    int trackOffsetB = 0;
};

class ComparisonSession {
public:
    const ComparisonState& state() const { return state_; }
    bool busy() const { return busy_; }
    // The pairs of the last Replace Tags run, which Move Files works on, and their number.
    const PairList& pairs() const { return pairs_; }
    int lastReplaceResult() const { return lastReplaceResult_; }

    // Compare A/B: every file of both sides read, analysed and listed (a CompareCode).
    int compare(const Sides& sides, const Settings& settings, Feedback& feedback);
    // Only the tags of each side (the sides read side by side), for a Replace Tags or Move Files
    // that shows no list. An empty folderB loads side A alone. CompareCodes 1 to 4.
    int loadTags(const Sides& sides, const Settings& settings);
    // Replace Tags on the compared or loaded sides; the number of pairs (0 after a refused
    // pre-check), or SessionBusy.
    int replace(const Settings& settings, const ReplaceOptions& options, Feedback& feedback, ReplaceOutcome& outcome);
    // Move Files for the pairs of the last replace; when there was none (the command line), every A
    // file is a candidate and only a file that carries exactly its tags takes its place. 0, a
    // LevelFolderCode or SessionBusy.
    int move(const Settings& settings, bool backupMode, Feedback& feedback, std::vector<MoveStep>* steps = nullptr);
    // Releases the comparison and the pairs (refused while busy).
    bool clear();

private:
    class Job;
    ComparisonState state_;
    PairList pairs_;
    int lastReplaceResult_ = 0;
    bool busy_ = false;
};

} // namespace vn
