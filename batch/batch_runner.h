#pragma once
// Batch Re-encode: for each pair of a validated match list, a fresh comparison of the A folder with
// the cue sheet, Encoding B of the tracks the list names, and in Backup mode Move Files after each
// folder. One pair after another on the calling thread; the stop request is seen before each pair.

#include "batch/match_list.h"
#include "encode/encoding_b.h"
#include "encode/move_files.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace vn {

class ComparisonSession;
class Feedback;
struct ComparisonState;
struct Settings;

struct BatchPairReport {
    size_t index = 0;         // the pair's place in the list, from 0
    MatchPair pair;
    int compareCode = 0;      // a CompareCode; the pair was skipped when not 0
    int levelCode = 0;        // a LevelFolderCode when the destination could not be made
    int encodeCode = 0;       // the encoder's first error ("Encode Error %d")
    QString failedPath;       // the file it stopped at, and the system's error number behind it
    int failedError = 0;
    int moveCode = 0;         // Move Files' result in Backup mode
    int alreadyDone = 0;      // tracks whose file an earlier run had finished
    int tracks = 0;           // tracks handed to the encoder
    QStringList written;      // the files this run made, where they ended up
    std::vector<MoveStep> moves;
    QStringList notCreated;   // outside tools: files that were not made

    bool failed() const
    {
        return compareCode != 0 || levelCode != 0 || encodeCode != 0 || moveCode != 0 || !notCreated.isEmpty();
    }
};

struct BatchRunOptions {
    QString extension = QStringLiteral(".mp3"); // the A files' extension
    bool backupMode = true;  // into the TempFile folder, then Move Files; else level folders under Path_Otpt
    int jobs = 0;            // tracks encoded at once (0: one per core)
    // Only the pairs whose index (from 0) is shardIndex modulo shardCount run.
    int shardIndex = 0;
    int shardCount = 1;
    const OutsideTools* tools = nullptr;
    // The window shows each pair's sides before it runs, its list once compared, and the empty list
    // once its files have moved.
    std::function<void(const MatchPair& pair)> beforePair;
    std::function<void(const ComparisonState& state)> compared;
    std::function<void()> cleared;
    // Told of each pair once it has run (or been skipped).
    std::function<void(const BatchPairReport& report)> pairDone;
};

struct BatchOutcome {
    std::vector<BatchPairReport> pairs; // the pairs that ran, in list order
    int tracksEncoded = 0;
    bool stopped = false;               // the user stopped the run before a pair

    bool failed() const;
};

inline constexpr const char* BatchCompletedText = "Batch processing completed";

// Runs the pairs of list (in order, only this shard's) with settings.EncoderIndex. Auto CDDB is off
// for the run and restored afterwards. A pair whose A folder or cue sheet does not load is skipped
// (and named in the Batch_Log_EncErr log); a track whose file an earlier, stopped run of the same
// pair completed is not encoded again. Returns the number of tracks encoded.
int runBatchReencode(const BatchList& list, Settings& settings, ComparisonSession& session,
                     const BatchRunOptions& options, Feedback& feedback, BatchOutcome& outcome);

// The extension of the files the selected encoder makes; empty when it cannot run here.
QString producedExtension(const Settings& settings, const OutsideTools* tools);

} // namespace vn
