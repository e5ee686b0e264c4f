#include "encode/read_ahead.h"

#include <algorithm>

namespace vn {

ReadAhead::ReadAhead(QStringList paths, Check check) : paths_(std::move(paths)), check_(std::move(check))
{
    for (int i = 0; i < Buffers; ++i) {
        buffers_.emplace_back(new char[PieceSize]);
        free_.push_back(buffers_.back().get());
    }
    reader_ = std::thread([this] { readAll(); });
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

ReadAhead::Piece ReadAhead::next()
{
    std::unique_lock lock(mutex_);
    if (held_) {
        free_.push_back(const_cast<char*>(held_));
        held_ = nullptr;
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty())
        return Piece{nullptr, 0, true, true}; // asked past the last file
    const Piece piece = ready_.front();
    ready_.pop_front();
    held_ = piece.failed ? nullptr : piece.data;
    return piece;
}

char* ReadAhead::takeFreeBuffer()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || !free_.empty(); });
    if (stop_)
        return nullptr;
    char* buffer = free_.back();
    free_.pop_back();
    return buffer;
}

void ReadAhead::push(const Piece& piece)
{
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(piece);
    }
    changed_.notify_all();
}

void ReadAhead::readAll()
{
    FileRead result = FileDone;
    for (int i = 0; i < paths_.size() && result == FileDone; ++i) {
        result = readFile(i);
        if (result == FileFailed)
            push(Piece{nullptr, 0, true, true}); // the writer stops here; so does the reading
    }
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

ReadAhead::FileRead ReadAhead::readFile(int index)
{
    const ReadOnlyFile file(paths_[index]);
    uint64_t offset = 0;
    uint64_t piece = PieceSize;
    if (!file.isOpen() || !check_(index, file, offset, piece) || offset > file.size())
        return FileFailed;
    if (piece == 0) {
        push(Piece{nullptr, 0, true, false, true});
        return FileDone;
    }
    piece = std::min<uint64_t>(piece, PieceSize);
    uint64_t left = file.size() - offset;
    do {
        char* buffer = takeFreeBuffer();
        if (!buffer)
            return FileStopped;
        const qsizetype want = qsizetype(std::min(left, piece));
        piece = PieceSize;
        const qsizetype got = file.readInto(offset, buffer, want);
        if (got != want) {
            std::lock_guard lock(mutex_);
            free_.push_back(buffer);
            return FileFailed; // the file shrank or cannot be read
        }
        offset += uint64_t(got);
        left -= uint64_t(got);
        push(Piece{buffer, got, left == 0, false});
    } while (left > 0);
    return FileDone;
}

} // namespace vn
