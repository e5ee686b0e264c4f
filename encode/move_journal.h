#pragma once
// The journal of a Move Files run and its undo. Before each move the run appends what it is about
// to do and waits until that line is on the disk; a completed run closes the journal. Undo reads it
// back newest first and moves every file back where it came from, never replacing a file, whether
// the run completed or was cut short. It notes in the same journal what it has put back, so an undo
// cut short goes on where it stopped and a second undo changes nothing.

#include <QString>
#include <cstdint>
#include <vector>

namespace vn {

// Journals are named "MoveFiles_<date>_<time>_<ms>.journal" in the Backup folder; the newest is the
// last run's.
QString lastMoveJournal(const QString& backupFolder);

class MoveJournal {
public:
    MoveJournal() = default;
    ~MoveJournal();
    MoveJournal(const MoveJournal&) = delete;
    MoveJournal& operator=(const MoveJournal&) = delete;

    // Creates a new journal in the folder (never over another) and puts its name on the disk.
    bool begin(const QString& backupFolder);
    bool isOpen() const { return fd_ >= 0; }
    const QString& path() const { return path_; }
    // The system's error number of the first write that failed, else 0.
    int error() const { return error_; }

    // Records the move about to happen and waits for the disk. False when it could not be recorded:
    // then the move must not happen. After a failed write the journal takes no more lines, so a
    // line cut short stays its last.
    bool recordMove(const QString& from, const QString& to);
    // The move recorded last did not happen.
    void recordFailed();
    // The run is complete.
    bool close();

private:
    bool append(const QByteArray& line);

    int fd_ = -1;
    QString path_;
    int moves_ = 0;
    bool broken_ = false;
    int error_ = 0;
};

enum UndoCode : int {
    UndoOk = 0,
    UndoNoJournal = 1,     // no journal at the path, or none in the Backup folder
    UndoUnreadable = 2,    // not a journal this program wrote, or it cannot be read
    UndoCannotRecord = 3,  // the journal cannot be appended to; nothing was moved
    UndoAlreadyDone = 4,   // undone before; nothing changes
    UndoIncomplete = 5,    // some files could not be put back (see the steps)
};

// A sentence for a non-zero UndoCode and the journal it concerns.
QString undoErrorText(int code, const QString& journal);

enum class UndoResult {
    MovedBack,      // the file went back where it came from
    LeftoverRemoved, // the move was cut short with the file in both places; the copy was removed
    NothingToDo,    // the move never happened, or was undone before
    Changed,        // the file at the destination is not the one moved there; left alone
    Occupied,       // something else stands where the file came from; left alone
    Missing,        // the file is in neither place
    Failed,         // the move back failed; both places as they were
};

struct UndoStep {
    QString from; // where the file stands now
    QString to;   // where it came from
    UndoResult result = UndoResult::NothingToDo;
};

// Undoes the journal's moves, newest first. steps gets one entry per recorded move.
// cutShort tells whether the run had not closed its journal.
int undoMoveJournal(const QString& journal, std::vector<UndoStep>& steps, bool* cutShort = nullptr);

// A few words for a step's result, for the command line and the window.
QString undoResultText(UndoResult result);

} // namespace vn
