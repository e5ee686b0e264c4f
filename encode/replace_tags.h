#pragma once
// Replace Tags: for every A/B pair of MP3 files, a new file made of A's ID3v2 header bytes and tag
// frames, four of B's own frames (TENC, TSSE, TLEN, MCDI), fresh padding, and B's audio unchanged.

#include "media/comparison.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace vn {

class Feedback;
struct Settings;

// One pair: A file aIndex with B entries bFirst to bLast (inclusive), counted by rangeKind.
struct TrackPair {
    int32_t aIndex = 0;
    uint32_t bFirst = 0;
    uint32_t bLast = 0;
    uint32_t rangeKind = 0; // 0 files or cue tracks, 1 sectors, 2 sample frames
};
// Grows as needed: a folder may pair any number of files.
using PairList = std::vector<TrackPair>;

enum WriteReplacedCode : int {
    WriteOk = 0,
    WriteCannotReadB = 1,      // B's file cannot be opened, or is no longer what the compare read
    WriteCannotCreate = 2,     // the new file cannot be created or written completely
    WriteDestinationTaken = 3, // a file of that name is already there; it is left alone
    WriteTagTooLarge = 4,      // frames and padding beyond the 28-bit size field
    WriteNotId3Pair = 5,       // the pair is not two ID3v2 tags of one version
    WriteNoLevelFolder = 6,    // Output mode: Folder A's path is too short for the level folder
    WriteAborted = 7,          // the user stopped the run before this file
};

// What a Replace Tags run did, for the front end to report.
struct ReplaceOutcome {
    int precheck = 0;        // checkTagVersions code; non-zero means nothing was written
    int writeCode = WriteOk;
    QString destination;     // the folder the files went to
    QStringList written;     // full paths, in pair order
    QString failedPath;      // the file the run stopped at
    QString failedCause;     // the system's error text for it, when the system gave one
};

inline constexpr const char* ReplaceTagsCaption = "Error in Replace Tags";
inline constexpr const char* EncodingBCaption = "Error in Encoding B";
// The pre-check texts for codes 1 to 5.
QString tagVersionErrorText(int code);
// The files that could not be read, each with its cause, one a line: of side A (side 1), B (2) or
// both (0); with openFailuresOnly only those that could not even be opened. What the pre-check's
// message adds, since such a file has no kind of its own. Empty when there is none.
QString unreadableFilesText(const ComparisonState& state, int side = 0, bool openFailuresOnly = false);
// A sentence for a non-zero WriteReplacedCode and the file it concerns.
QString writeReplacedErrorText(int code, const QString& path);

// The padding after S bytes of frames: with a block size of at least 1 the whole tag fills whole
// blocks and the padding is at least minPadding unless the block is smaller (one block is added
// once); otherwise minPadding. Never negative.
int64_t id3Padding(int64_t bodySize, int blockSize, int minPadding);

// A row's complete frame, header and body, as it stands in the file's tag buffer; empty when the
// row is absent or does not lie inside the buffer behind a whole frame header.
QByteArrayView id3FrameBytes(const FileTags& file, int row);
// The header flags a new tag takes over from the file's: all but those announcing an extended
// header or a footer, which a new tag does not write.
uint8_t id3WrittenFlags(const TagHeader& header);

// The pairs of the list's rows: A file i + o with B file i for offset o >= 0, A file i with B file
// i - o for o < 0, as many as both sides have.
PairList folderPairs(int countA, int countB, int trackOffsetB);

// Writes one new file per pair into destination, named after the A file, and stops at the first
// failure. Files already written stay. With feedback, the count of pairs shows in status part 3, the
// window is pumped before each file and an abort stops the run there (WriteAborted).
int writeReplacedTags(const ComparisonState& state, const QString& destination, const PairList& pairs, int count,
                      int blockSize, int minPadding, ReplaceOutcome* outcome = nullptr, Feedback* feedback = nullptr);

struct ReplaceOptions {
    bool backupMode = true; // into the TempFile folder; else into a level folder under the Output folder
    bool batch = false;     // called by the batch runner: no pre-check
    bool batchRunning = false;
};

// Replace Tags on the current comparison (Folder B mode): pre-check, destination, pairs, writing.
// Settings supply the folders, ID3_Blk, ID3_Pad and the level-folder rules. Returns the number of
// pairs, 0 when the pre-check refused (after its warning through feedback).
int replaceOrEncode(const ComparisonState& state, const Settings& settings, const ReplaceOptions& options,
                    Feedback& feedback, PairList& pairs, ReplaceOutcome& outcome);

} // namespace vn
