#pragma once
// The MP3-Cue Match List File: which folder of A files goes with which cue sheet, and which A track
// takes which CUE track(s). The matcher writes it, the user edits it, and validateBatchList reads it
// back, checks every block against the disk and yields the pairs and the track map of a batch run.

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

namespace vn {

// What the first and last of an item count: CUE tracks, sectors of 588 sample frames, or sample
// frames, the latter two from 0 at the start of the image.
enum TrackRangeKind : uint32_t {
    RangeTracks = 0,
    RangeSectors = 1, // "f"
    RangeFrames = 2,  // "s"
};

// One item of a Track Correspondence List as the run takes it. A pair's entries are followed by one
// entry of all zeros.
struct TrackMapEntry {
    uint16_t aIndex = 0; // position (from 1) in the folder listing of the first A file numbered aTrack
    uint16_t aTrack = 0;
    uint32_t first = 0;
    uint32_t last = 0;   // equals first for a single track
    uint32_t kind = RangeTracks;

    bool isEnd() const { return aIndex == 0 && aTrack == 0 && first == 0 && last == 0 && kind == 0; }
};

struct MatchPair {
    QString folderA;
    QString cuePath;
};

// The outcome of a valid list: the pairs in list order and every pair's entries, each pair's list
// closed by an all-zero entry.
struct BatchList {
    std::vector<MatchPair> pairs;
    std::vector<TrackMapEntry> entries;
};

// An item of a T line, as written: "a:c", "a:c-d", "a:c-df" or "a:c-ds".
struct TrackItem {
    uint32_t aTrack = 0;
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t kind = RangeTracks;
};

// The items of a T line's text after its first two characters. Reading stops at the first item that
// has no number before its colon or no colon (that item is not taken), or that is followed by
// anything but a space (that item is taken, then reading stops).
std::vector<TrackItem> parseTrackItems(QByteArrayView text);

// The track number of an A file: the decimal number its name starts with; -1 when it starts with no
// digit.
int fileTrackNumber(const QString& fileName);

inline constexpr int ValidateCannotOpen = -1;

// Reads and checks the list file. Returns the number of errors (0: list holds every accepted pair
// and its entries), or ValidateCannotOpen with an empty text when the file cannot be read. Every
// problem is a line of errorText, which ends with "Total Error Count %u\r\n". extension is the A
// files' extension (".mp3", …).
int validateBatchList(const QString& extension, const QString& listPath, BatchList& list, QString& errorText);
// The same on the list's text.
int validateBatchListText(const QString& extension, QByteArrayView text, BatchList& list, QString& errorText);

// The pre-check report of a valid list: per pair its number, A folder and cue sheet, then one item
// per entry (" a.t:c", "-d" for a range, "f" or "s" for the other kinds). Lines end with "\r\n".
QString precheckReport(const BatchList& list);

// The entries of pair k (without the zero entry that ends them), by walking the list.
std::vector<std::vector<TrackMapEntry>> entriesByPair(const BatchList& list);

} // namespace vn
