#pragma once
// One bounded cursor over bytes that every reader in the program uses. A read past the end never
// touches memory outside the span: it yields zeros, moves the cursor to the end and clears ok().

#include <QByteArray>
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

namespace vn {

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    ByteReader(QByteArrayView bytes)
        : ByteReader(reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size())) {}

    const uint8_t* data() const { return data_; }
    const uint8_t* here() const { return data_ + pos_; }
    size_t size() const { return size_; }
    size_t pos() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool atEnd() const { return pos_ >= size_; }
    bool has(size_t n) const { return n <= remaining(); }
    // False once any read, skip or seek ran past the end.
    bool ok() const { return ok_; }

    bool seek(size_t pos);
    bool skip(size_t n);

    uint8_t u8();
    uint16_t be16();
    uint32_t be24();
    uint32_t be32();
    uint64_t be64();
    uint16_t le16();
    uint32_t le32();
    uint64_t le64();
    // ID3v2 sync-safe integer: four bytes of seven bits each.
    uint32_t syncSafe32();

    // Takes n bytes: a view of them, or an empty view (and !ok()) when fewer are left.
    QByteArrayView take(size_t n);
    // Takes n bytes as a reader of their own; a short span gives what is left and clears ok().
    ByteReader sub(size_t n);
    // The bytes up to (not including) the next NUL, or to the end; the cursor moves past the NUL.
    QByteArrayView takeCString();

    // Random access without moving the cursor; out-of-range offsets read as zero.
    uint8_t at(size_t offset) const { return offset < size_ ? data_[offset] : 0; }
    uint16_t be16At(size_t offset) const;
    uint32_t be32At(size_t offset) const;
    uint32_t le32At(size_t offset) const;
    uint16_t le16At(size_t offset) const;
    QByteArrayView viewAt(size_t offset, size_t n) const;
    QByteArrayView view() const { return viewAt(0, size_); }

private:
    bool need(size_t n);

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace vn
