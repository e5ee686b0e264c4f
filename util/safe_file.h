#pragma once
// Writing and moving files so that no file the user has is ever replaced or left half written: a
// new file is built without a name (or under a temporary one) in its target's folder and takes its
// name only when complete, and neither that nor a move ever lands on an existing name.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vn {

// Writes all of data to the descriptor, going on after interrupted and partial writes.
bool writeAll(int fd, const char* data, size_t size);

// Moves from to to. False, with both files as they were, when to exists or the move fails. Across
// file systems the data is copied and flushed before the source goes.
bool moveFileNoReplace(const QString& from, const QString& to);

// A file opened for reading by its descriptor alone (no stat calls beyond one fstat), closed when
// the object goes: for the many small reads and copies of a run over a whole folder.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int handle() const { return fd_; }
    uint64_t size() const { return size_; }
    // The modification time at opening, in nanoseconds since the epoch.
    int64_t modifiedNs() const { return modifiedNs_; }
    // Up to n bytes from offset; fewer at the end of the file, none on an error.
    QByteArray readAt(uint64_t offset, uint64_t n) const;
    // The same into to; the number of bytes read.
    qsizetype readInto(uint64_t offset, char* to, qsizetype n) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    int64_t modifiedNs_ = 0;
};

// True when the size bytes of a from aAt equal those of b from bAt, all of them there to read.
bool sameBytes(const ReadOnlyFile& a, uint64_t aAt, const ReadOnlyFile& b, uint64_t bAt, uint64_t size);

// True when something stands under the name (a file, a folder, a link, even a dangling one), or
// when that cannot be told.
bool nameTaken(const QString& path);

// Waits until the file's data is on the disk. False when it cannot be opened or synced.
bool syncFileData(const QString& path);

// Puts the folder's names on the disk; false when it cannot be opened or synced.
bool syncFolder(const QString& folder);
// Puts the names in the folder holding path on the disk.
void syncFolderOf(const QString& path);

// Where a cleaning looks: any folder holds only names under our own prefixes; the TempFile folder,
// the program's own, also the outside encoders' cut tracks and pictures.
enum class StaleScope { AnyFolder, TempFileFolder };

// Removes from folder the temporary files of our own naming (".vornelic-<hex>.part" of the atomic
// replacements, "_tmp<6 digits>.part" of NewFile without unnamed files, the outside encoders'
// ".vornelic-" followed by 6 letters or digits and an extension, and in the TempFile folder their
// "_tmp" and "_tmppict" named alike) that a run killed before it could name or remove them left
// behind. A temporary still in use is locked by the run that made it and stays. Runs by itself
// (AnyFolder) the first time a process makes a temporary in a folder; returns the number removed.
int removeStaleTemporaries(const QString& folder, StaleScope scope = StaleScope::TempFileFolder);
// The same, once per folder, scope and process: for a run that is about to work in the folder,
// before it makes any temporary there.
void removeStaleTemporariesOnce(const QString& folder, StaleScope scope);
// Locks the temporary at path for as long as the returned descriptor stays open (-1 when it cannot
// be opened or locked): for a temporary an outside program writes or reads by its name, which the
// cleaning above must then leave alone.
int lockTemporary(const QString& path);

// A new file at path. Until commit it has no name (or a temporary one beside path, removed again
// when the file is given up), so a crash never leaves part of it under path.
class NewFile {
public:
    explicit NewFile(const QString& path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool open();
    bool write(const char* data, qint64 size);
    // Writes at a position already written (or just past it), leaving the position of write alone:
    // for headers that can be filled in only once what follows them is known.
    bool writeAt(uint64_t offset, const char* data, qint64 size);
    // Copies size bytes of the open file from, starting at offset, in the kernel where it can (within
    // one file system), else through a buffer.
    bool copyFrom(int fromFd, uint64_t offset, uint64_t size);
    // Waits until the data written so far is on the disk.
    bool sync();
    // Starts putting the data written so far on the disk without waiting for it, so that a sync
    // later, once the writer has gone on to other files, finds little left to wait for.
    void startWriteback();
    // Gives the file its name once its data is on the disk, and puts the name on the disk too (with
    // FolderLater the caller does that, once for many files: syncFolderOf). False when the name is
    // taken or the data could not be completed.
    enum FolderSync { FolderNow, FolderLater };
    bool commit(FolderSync folder = FolderNow);

    const QString& path() const { return path_; }
    // The system's error number of the first step that failed (EEXIST for a taken name), else 0.
    int error() const { return error_; }

private:
    QString path_;
    QByteArray tempName_; // empty for a file without a name
    int fd_ = -1;
    bool failed_ = false;
    bool committed_ = false;
    int error_ = 0;

    bool fail();
};

// Writes data to path through a temporary file beside it that is synced and renamed over the old
// file, so the old file stays whole until the new one is complete. False, with the old file as it
// was, no temporary file left and errno telling why, when anything fails.
bool replaceFileAtomically(const QString& path, QByteArrayView data);

// Copies from to to through a temporary file beside to that is synced and renamed: with replace
// over an older file under the name (which stays whole until the copy is complete), else only
// when the name is free. The copy takes the source's permissions and modification time. False,
// with to as it was, no temporary file left and errno telling why, when anything fails.
bool copyFileAtomically(const QString& from, const QString& to, bool replace);

} // namespace vn
