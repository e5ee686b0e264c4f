#pragma once
// The tracks of one encoding run, encoded side by side on every core and named in track order: a
// track's file takes its name only once it is complete and every track before it has its own, so
// the files and the first failure are those a one-at-a-time run gives. Workers never talk to the
// user; the calling thread shows their progress and pumps.

#include "encode/track_progress.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace vn {

class Feedback;
class NewFile;

// One track of the run, as the common per-track steps set it up.
struct TrackPlan {
    int index = 0;       // position in the run, from 0
    int aIndex = -1;     // the A file whose tags it takes; -1 in a B-tags run
    int listRow = 0;     // the list row whose texts it takes when it takes texts from the list
    QString name;        // the output's name without its extension, as the status bar shows it
    QString outputPath;  // where the finished file goes
    uint64_t first = 0;  // sample frames, inclusive
    uint64_t last = 0;
};

// A finished track's file waiting for its name: made here without a name, or written by an
// outside tool under a temporary one. Whatever is not named is removed when this goes.
struct PendingFile {
    std::unique_ptr<NewFile> file;
    QString toolOutput;
    int toolOutputLock = -1; // keeps a later run's cleaning off toolOutput until it is named
    QString path; // the name it takes
    int error = 0; // the system's error number when the file could not be written or named

    PendingFile();
    PendingFile(PendingFile&&) noexcept;
    PendingFile& operator=(PendingFile&&) noexcept;
    ~PendingFile();
    // False when the name is taken or the file could not be completed.
    bool commit();
};

// Encodes one track into pending; 0 or the encoder's error code. Called on a worker thread (or,
// one track at a time, on the calling thread): it must not touch Feedback.
using TrackJob = std::function<int(const TrackPlan& plan, PendingFile& pending, const TrackProgress& progress)>;

struct TrackPoolSettings {
    QString toolName;           // "LAME", "Flac", "qaac", …
    int base = 0;               // track t of the run is shown as base + t
    int total = 0;              // shown as the run's total
    int jobs = 1;               // tracks encoded at once; 1 is one after another on the calling thread
    bool stopOnFailure = true;  // the library encoders stop; the outside tools go on
    int nameTakenCode = 0;      // the code of a track whose name could not be given
    bool percentPart = false;   // the encoder shows a percentage while one track runs
    // Told, in track order on the calling thread, of every track that failed when the run goes on.
    std::function<void(const TrackPlan&, int code)> onSkipped;
    // Set by the calling thread once the feedback asks for an abort: no track starts after that,
    // and the running ones may stop on it. Such a run ends without "Encoding completed".
    std::atomic<bool>* abort = nullptr;
    // Tracks run on workers even one at a time, so the calling thread pumps while a track runs.
    bool onWorkers = false;
};

struct TrackPoolOutcome {
    int code = 0;            // the first failure in track order, 0 when none stopped the run
    int failedIndex = -1;
    int failedError = 0;     // the system's error number behind that failure, when there is one
    QStringList written;     // the files named, in track order
    bool aborted = false;    // stopped on the abort flag
};

// Runs the plans. Status parts: 2 the track and the tool, 3 the position (or the count done), 4 the
// name, 5 the percentage; at the end part 2 "Track %u/%u Encoding completed" and the others emptied.
TrackPoolOutcome runTrackPool(const std::vector<TrackPlan>& plans, const TrackJob& job,
                              const TrackPoolSettings& settings, Feedback& feedback);

// The number of tracks encoded at once when nothing says otherwise: one per core.
int defaultJobs();

} // namespace vn
