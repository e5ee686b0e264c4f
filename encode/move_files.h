#pragma once
// Move Files: A's reference files into a level folder under the Backup folder and the files Replace
// Tags produced in the TempFile folder into Folder A in their place; and the level folders
// themselves, which repeat the last levels of Folder A's path under a base folder.

#include "encode/replace_tags.h"

#include <QString>
#include <vector>

namespace vn {

class Feedback;
struct Settings;

enum LevelFolderCode : int {
    LevelTooFewLevels = -1, // Folder A's path has fewer levels than asked for; no path is built
    LevelCannotCreate = -2, // the folder cannot be created (after an error box)
};

// Move Files stopped because its journal could not be written (after an error box): no move
// happens without its line in the journal, so that every run can be undone.
inline constexpr int MoveJournalFailed = -3;

// The disc's own texts for a run that encodes a CD image with its own tags: the tail is then
// genre (repeated for levels 2 to n), album artist and album, each as a plain ASCII name.
struct LevelFolderNames {
    QString genre;
    QString albumArtist;
    QString album;
};

// Builds base + the last levels + 1 folder names of folderA (or of names) into path and creates it
// with its parents. An existing folder is reused when reuseExisting is set; otherwise "_1", "_2", …
// is added until a new one can be made. Returns the suffix number used (0 for none) or a
// LevelFolderCode.
int makeLevelFolder(QString& path, const QString& base, const QString& folderA, int levels, bool reuseExisting,
                    Feedback& feedback, const LevelFolderNames* names = nullptr);

// True when the file at path carries A's header version and exactly A's frames for every row the
// new file takes from A: it is what Replace Tags wrote for that A file.
bool producedFromA(const QString& path, const FileTags& a);

// One move, or a pair that was skipped (done false, with the reason).
struct MoveStep {
    QString from;
    QString to;
    bool done = false;
    QString reason;
    bool nothingProduced = false; // the pair has no file in the TempFile folder
};

// Move Files for the first count pairs. In Output mode nothing happens. A's file is moved away only
// when its replacement stands complete in the TempFile folder and carries A's tags; moves never
// replace a file; a failed move is skipped and leaves both files where they were. Every move is
// first recorded in a new journal in the Backup folder (see move_journal.h). Returns 0, a
// LevelFolderCode when there is no backup folder to move into (then nothing is moved), or
// MoveJournalFailed.
// producedExtension: the extension of the produced files when it differs from A's (encoded files).
int moveFiles(const ComparisonState& state, const Settings& settings, bool backupMode, const PairList& pairs,
              int count, Feedback& feedback, std::vector<MoveStep>* steps = nullptr,
              const QString& producedExtension = QString());

} // namespace vn
