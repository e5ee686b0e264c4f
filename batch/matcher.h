#pragma once
// MP3-vs-CUE matching: for every folder of already-encoded albums under the A root, the cue sheets
// that describe the same disc, and where it can the track-by-track correspondence, written as the
// MP3-Cue Match List File for the user to review before a batch run.

#include "batch/a_file_facts.h"
#include "media/cue_sheet.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace vn {

class Feedback;
struct Settings;

enum MatchListCode : int {
    MatchOk = 0,
    MatchNothingToMatch = 1, // no A file or no cue sheet; the list file is written empty
    MatchCannotWrite = 2,    // the list file or the log file could not be written; an old one stays
    MatchAborted = 3,        // stopped by the user; nothing was written
};

// The allowances of the comparison, from the settings' CueMatch_ keys.
struct MatchAllowances {
    uint32_t mciCueTrack = 15;    // sectors, each track start against the cue sheet
    uint32_t mciCueDisc = 5;      // sectors, the lead-out
    uint32_t durMciTrack = 8820;  // samples, a file against its MCDI track
    uint32_t durMciDisc = 88200;  // samples, the album against the MCDI disc
    uint32_t durCueDisc = 88200;  // samples, the album against a cue sheet's total
};
MatchAllowances allowancesOf(const Settings& settings);

// A cue sheet as the matcher compares it.
struct MatchCue {
    CueImageEntry entry;
    std::vector<uint32_t> sectors;  // the track starts and the end, n + 1 values
    std::vector<int> tokens;        // the words of its image path, as numbers of the word table
};

// Every word of the cue sheets gets a number, so that scoring compares numbers.
class TokenTable {
public:
    // The word's number, a new one for a new word.
    int add(const QString& token);
    // The word's number; -1 for a word no cue sheet has.
    int find(const QString& token) const;

private:
    QHash<QString, int> ids_;
};

// What every folder is compared with.
struct MatchContext {
    MatchAllowances allowances;
    std::vector<QByteArray> excludedEncoders;
    std::vector<MatchCue> cues;
    std::vector<std::vector<int>> cuesByTrackCount; // cue indexes by track count, in cue order
    TokenTable words;
    int64_t lowerTotal = 0; // shortest cue total less 2 s, in samples
    int64_t upperTotal = 0; // longest cue total plus 2 s
};

// Turns parsed cue sheets into the context's cues: their sectors, their words and the bounds.
void prepareCues(MatchContext& context, const std::vector<CueImageEntry>& entries, const std::vector<uint32_t>& sectors);

// Appends the blocks of one folder (its files' facts, in listing order) to list, with "\n" line
// ends; nothing when every file was made by an excluded encoder. Returns the number of blocks.
int matchFolder(const MatchContext& context, const std::vector<AFileFacts>& files, QByteArray& list);

struct MatchStats {
    int aFiles = 0;
    int aFolders = 0;
    int cueSheets = 0;
    int blocks = 0;
    int excludedFolders = 0;
};

// Walks settings.CueMatch_FldrMp3 (with subfolders) for files of CueMatch_Extension, reads the cue
// sheets of the ";"-separated CueMatch_FldrCue folders (without subfolders), and writes the list
// file CueMatch_FileLst and, when named, the log file CueMatch_FileLog, each through a temporary
// file renamed over the old one. Progress goes to status parts 2 and 4; the window is pumped once per
// folder read and once per folder matched, and an abort stops the run before anything is written.
int generateMatchList(const Settings& settings, Feedback& feedback, MatchStats* stats = nullptr);

} // namespace vn
