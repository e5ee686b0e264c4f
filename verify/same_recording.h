#pragma once
// Proof that A and B are the same recording before tags move: the opening seconds of both sides of
// every pair are fingerprinted on every core at once and compared. A pair below the threshold, or
// one that cannot be checked, stops Replace Tags, Encoding B and Move Files until the user agrees.

#include "encode/replace_tags.h"
#include "media/comparison.h"
#include "media/image_pcm.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace vn {

class Feedback;

// One pair: A's file, and B's file or a range of B's CD image.
struct RecordingPair {
    QString aPath;
    QString bPath;      // empty when B is the image range below
    FrameRange bFrames;
    QString aName;      // how messages name the two sides
    QString bName;
    int listRow = -1;   // the list row of B's entry, when the pair stands in the list
};

struct PairMatch {
    int similarity = -1; // 0 to 100; -1 when the pair could not be checked
    QString problem;     // why it could not
};

// The threshold when the settings hold none that makes sense.
inline constexpr int DefaultMatchThreshold = 70;

// The pairs the list shows: A file i with B entry i - trackOffsetB, a file or a track of the image.
std::vector<RecordingPair> listPairs(const ComparisonState& state);
// The pairs of a run's pair list: in CD image mode each pair's range of the image (cue tracks,
// sectors or sample frames by its range kind), else B's file. Pairs that name nothing the
// comparison has are left out.
std::vector<RecordingPair> recordingPairs(const ComparisonState& state, const PairList& pairs);

// Fingerprints both sides of every pair and compares them, matches[i] for pairs[i]. jobs 0 uses one
// worker per core, 1 works one file after another; the results are the same. The calling thread
// shows the progress in status parts 2 and 3, pumps, and stops at an abort: then the pairs not
// compared are "not checked" and the result is false.
bool checkRecordings(const std::vector<RecordingPair>& pairs, const CueSheet* image, Feedback& feedback, int jobs,
                     std::vector<PairMatch>& matches);

// A pair counts as the same recording only when it was checked and reached the threshold.
inline bool sameRecording(const PairMatch& match, int threshold)
{
    return match.similarity >= 0 && match.similarity >= threshold;
}
// The indexes of the pairs that do not count as the same recording.
std::vector<int> mismatchedPairs(const std::vector<PairMatch>& matches, int threshold);

// "97 %", or why the pair could not be checked.
QString matchText(const PairMatch& match);
// "A's name <-> B's name: 12 %".
QString pairLine(const RecordingPair& pair, const PairMatch& match);
// The question asked before writing: the count sentence, then one line per mismatched pair (at
// most maxNamed, then how many more).
QString mismatchQuestion(const std::vector<RecordingPair>& pairs, const std::vector<PairMatch>& matches,
                         const std::vector<int>& mismatched, int maxNamed);

} // namespace vn
