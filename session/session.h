#pragma once
// The comparison session both front ends drive: the state of the last Compare A/B, the pairs of the
// last Replace Tags run, and the Compare -> Replace Tags -> Move Files flow on them. While one step
// runs (and pumps events), the session refuses every other step: nothing changes the state under a
// running job, such as the thread that reads B's audio ahead during Replace Tags.

#include "encode/encoding_b.h"
#include "encode/move_files.h"
#include "encode/move_journal.h"
#include "encode/replace_tags.h"
#include "media/comparison.h"

#include <QString>
#include <vector>

namespace vn {

class Feedback;
struct CddbResult;
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
    // Only a CD image, with no A side: the cue sheet read and its tracks listed (CompareOk or
    // CompareIllegalCueSheet), for encoding the image with its own tags.
    int compareImage(const QString& cuePath, const Settings& settings);
    // Encoding B on the compared CD image; the pairs it made are what Move Files then works on.
    // SessionBusy while another step runs, else encodeImage's result.
    int encode(const Settings& settings, const EncodeOptions& options, Feedback& feedback, EncodeOutcome& outcome);
    // Move Files for the pairs of the last replace; when there was none (the command line), every A
    // file is a candidate and only a file that carries exactly its tags takes its place. 0, a
    // LevelFolderCode or SessionBusy.
    int move(const Settings& settings, bool backupMode, Feedback& feedback, std::vector<MoveStep>* steps = nullptr);
    // Undo of the Move Files run the journal recorded (lastMoveJournal finds the last one): an
    // UndoCode or SessionBusy. A comparison that stands is released once a file has moved.
    int undoMove(const QString& journal, std::vector<UndoStep>& steps, bool* cutShort = nullptr);
    // Asks the CDDB servers for the titles of the compared CD image and, on success, puts them into
    // its cue sheet and B rows (queryCddb's CddbCode), or SessionBusy: the titles are part of the
    // comparison, so no other step may run meanwhile.
    int queryCddb(const Settings& settings, Feedback& feedback, bool interactive, QString* transcript = nullptr,
                  CddbResult* found = nullptr);
    // Releases the comparison and the pairs (refused while busy).
    bool clear();

private:
    // Marks the session busy for the length of one step.
    class Job {
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
    void start(const Sides& sides);
    ComparisonState state_;
    PairList pairs_;
    int lastReplaceResult_ = 0;
    QString producedExtension_; // of the files the last Encoding B made; empty after Replace Tags
    bool busy_ = false;
};

} // namespace vn
