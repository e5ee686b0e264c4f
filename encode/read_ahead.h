#pragma once
// Reading a list of files in order on a thread of its own, a few pieces ahead of the one who writes
// them out: over a folder of files the reading and the writing go on side by side, on two cores
// (a plain copy through one buffer does them one after the other), while the disk still sees one
// file after the other from start to end. The pieces are of a size that stays in the processor's
// cache, and the first of a file may be shorter, so that the writes after a head of the writer's
// own (a new tag) fill whole blocks of the new file: the kernel keeps such a file in large pages.

#include "util/safe_file.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vn {

class ReadAhead {
public:
    static constexpr qsizetype PieceSize = qsizetype(1) << 18;

    // Decides, with file number index open, where the bytes to copy start (they run to the file's
    // end) and how long the file's first piece is (PieceSize unless lowered; 0 leaves the file to
    // the writer, who copies it some other way); false refuses the file. Called on the reading
    // thread.
    using Check = std::function<bool(int index, const ReadOnlyFile& file, uint64_t& offset, uint64_t& firstPiece)>;

    ReadAhead(QStringList paths, Check check);
    // Stops the reading wherever it is; the writer may give up at any piece.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    struct Piece {
        const char* data = nullptr;
        qsizetype size = 0;
        bool last = false;   // the file's last piece (an empty file has one empty piece)
        bool failed = false; // the file could not be opened, was refused or came out short: nothing follows
        bool leftToWriter = false; // the check chose to leave the file (one empty last piece)
    };
    // The next piece in file order, waiting for it. It stays valid until the next call.
    Piece next();

private:
    enum FileRead { FileDone, FileFailed, FileStopped };
    void readAll();
    FileRead readFile(int index);
    char* takeFreeBuffer();
    void push(const Piece& piece);

    static constexpr int Buffers = 4;

    QStringList paths_;
    Check check_;
    std::vector<std::unique_ptr<char[]>> buffers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<char*> free_;   // buffers nobody holds
    std::deque<Piece> ready_;   // read, not yet taken
    const char* held_ = nullptr; // the buffer of the piece the writer holds
    bool stop_ = false;          // the writer has gone
    bool finished_ = false;      // the reading has ended, whichever way
    std::thread reader_;
};

} // namespace vn
