#pragma once
// Encoding B: every track of a CD image cut out, encoded with the selected encoder and given the
// tags of its A file (or, in a B-tags run, the image's own tags from the list), into the
// destination folder. For one image from the window, for the images of a folder, and for the batch
// runner's pairs.

#include "encode/replace_tags.h"
#include "encode/track_pool.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace vn {

class Feedback;
struct Settings;

enum EncoderIndexValue : int {
    EncoderNone = 0,
    EncoderLame = 1,
    EncoderFlac = 2,
    EncoderQaac = 3,
    EncoderFdkaac = 4,
    EncoderOpusEnc = 5,
    EncoderFFmpeg = 6,
};

enum EncodeRunCode : int {
    EncodeNoEncoder = 1,   // no usable encoder selected (also the outside tools' only code)
    EncodeBadPair = 50,    // a pair names an A file the comparison does not have
};

inline constexpr const char* EncodeErrorCaption = "Encode Error";
// "Encode Error %d\n"
QString encodeErrorText(int code);

// One entry of the batch runner's track map: A file number (from 1), a mark that is 0 only on the
// entry ending a folder's list, the range and its kind (for kind 0 the range is cue track numbers
// from 1).
struct BatchEntry {
    uint16_t aNumber = 0;
    uint16_t mark = 0;
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t rangeKind = 0;
};

// What the batch runner hands over for one folder.
struct BatchRun {
    const std::vector<BatchEntry>* entries = nullptr;
    size_t* cursor = nullptr; // moved past the entry that ends this folder's list
    int trackBase = 0;        // the running track number and total of the whole batch, shown
    int trackTotal = 0;       // when Batch_TrkCount is not 0
};

// The pairs of a run (and the shown base and total): a B-tags run pairs every cue track with
// itself, a batch run takes its entries, and otherwise the B offset pairs A files and cue tracks
// as the list shows them side by side.
struct ImagePairing {
    PairList pairs;
    int base = 0;
    int total = 0;
};
ImagePairing imagePairs(int countA, const CueSheet& cue, int trackOffsetB, bool bTags, const BatchRun* batch,
                        int batchTrackCount);

// The sample frames (inclusive) a pair covers: kind 0 cue tracks, 1 sectors, 2 sample frames. A
// track beyond the sheet stands for the end of the image; whether the range lies inside the image
// is the encoder's to find.
void trackRange(const TrackPair& pair, const CueSheet& cue, uint64_t& first, uint64_t& last);

// One track for an outside tool. Called on a worker thread: the tool runs to its end (or until
// cancel is set, when the run is aborted) and must not touch Feedback.
struct OutsideToolTrack {
    int encoderIndex = 0;
    const CueSheet* cue = nullptr;
    uint64_t first = 0; // sample frames, inclusive
    uint64_t last = 0;
    QString outputPath;           // the name the file takes, in track order, once it is complete
    const FileTags* a = nullptr;  // A's file; none in a B-tags run
    const ListRow* listRow = nullptr; // the track's own row, for a B-tags run
    QByteArray discToc;
    const std::atomic<bool>* cancel = nullptr;
};

// The outside tools: the output extension of each tool and the encoding of one track, which leaves
// the finished file under a temporary name beside outputPath and puts that name into made (empty
// when nothing was made); it returns a CliEncodeCode. A run for a tool these do not cover is not
// available. outsideTools (encode/encoding_b_tools.h) gives the real ones.
struct OutsideTools {
    std::function<QString(int encoderIndex, const Settings& settings)> extension;
    std::function<int(const OutsideToolTrack& track, const Settings& settings, QString& made)> encode;
};

struct EncodeOptions {
    bool backupMode = true;      // into the TempFile folder; else into a level folder under the Output folder
    bool bTags = false;          // the image's own tags (BatchRunning)
    const BatchRun* batch = nullptr;
    int jobs = 0;                // tracks encoded at once; 0 is one per core, 1 one after another
    const OutsideTools* tools = nullptr;
};

struct EncodeOutcome {
    int precheck = 0;       // checkTagVersions' code; non-zero means nothing was encoded
    int levelCode = 0;      // a LevelFolderCode when the destination could not be made
    int code = 0;           // the encoder's first error, as shown in "Encode Error %d\n"
    QString destination;
    QStringList written;    // the files written, in track order
    QStringList finished;   // the files of tracks an earlier run finished, left as they were
    QString failedPath;     // the file of the track the run stopped at
    int failedError = 0;    // the system's error number behind it, when writing the file failed
    QStringList notCreated; // outside tools: the files that were not made
    QString extension;      // of the files the run makes, which Move Files looks for
    bool aborted = false;   // outside tools: the run was stopped; no track started after that
};

// The parts every encoder loop shares.
struct ImageRun {
    const ComparisonState& state;
    const CueSheet& cue;
    const Settings& settings;
    bool bTags = false;
    QString destination;
    int base = 0;
    int total = 0;
    int jobs = 1;
    Feedback& feedback;
};

// The common per-track steps for pair i: the output's name and path (with extension), the range.
// False when the pair names an A file the comparison does not have.
bool planTrack(const ImageRun& run, const TrackPair& pair, int i, const QString& extension, TrackPlan& plan);

// The track pool's settings of an encoder loop: the tool's name, the run's track numbers and workers.
TrackPoolSettings poolSettings(const ImageRun& run, const QString& toolName);
// Runs the plans on the track pool; the files written and the first failure's path and cause go
// into outcome. Returns the pool's code.
int runEncoderPool(const ImageRun& run, const std::vector<TrackPlan>& plans, const TrackJob& job,
                   const TrackPoolSettings& settings, EncodeOutcome& outcome);

// The three encoder loops: 0, or the code the run stopped at (outside tools: always 0).
int encodeLameTracks(const ImageRun& run, const PairList& pairs, int count, EncodeOutcome& outcome);
int encodeFlacTracks(const ImageRun& run, const PairList& pairs, int count, EncodeOutcome& outcome);
int encodeCliTracks(const ImageRun& run, const PairList& pairs, int count, const OutsideTools& tools,
                    EncodeOutcome& outcome);

// The tool name of an encoder index as the status bar and the error log show it.
QString encoderToolName(int encoderIndex);

// The CD image branch of replaceOrEncode: pre-check, destination, pairs, the selected encoder
// (settings.EncoderIndex) and "Encode Error %d\n" through feedback. Returns the number of pairs.
int encodeImage(const ComparisonState& state, const Settings& settings, const EncodeOptions& options,
                Feedback& feedback, PairList& pairs, EncodeOutcome& outcome);

} // namespace vn
