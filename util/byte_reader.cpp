#include "util/byte_reader.h"

namespace vn {

bool ByteReader::need(size_t n)
{
    if (n <= remaining())
        return true;
    pos_ = size_;
    ok_ = false;
    return false;
}

bool ByteReader::seek(size_t pos)
{
    if (pos > size_) {
        pos_ = size_;
        ok_ = false;
        return false;
    }
    pos_ = pos;
    return true;
}

bool ByteReader::skip(size_t n)
{
    if (!need(n))
        return false;
    pos_ += n;
    return true;
}

uint8_t ByteReader::u8()
{
    if (!need(1))
        return 0;
    return data_[pos_++];
}

uint16_t ByteReader::be16()
{
    uint16_t v = be16At(pos_);
    return skip(2) ? v : 0;
}

uint32_t ByteReader::be24()
{
    if (!need(3))
        return 0;
    const uint8_t* p = data_ + pos_;
    pos_ += 3;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

uint32_t ByteReader::be32()
{
    uint32_t v = be32At(pos_);
    return skip(4) ? v : 0;
}

uint64_t ByteReader::be64()
{
    uint64_t hi = be32At(pos_);
    uint64_t lo = be32At(pos_ + 4);
    return skip(8) ? (hi << 32 | lo) : 0;
}

uint16_t ByteReader::le16()
{
    uint16_t v = le16At(pos_);
    return skip(2) ? v : 0;
}

uint32_t ByteReader::le32()
{
    uint32_t v = le32At(pos_);
    return skip(4) ? v : 0;
}

uint64_t ByteReader::le64()
{
    uint64_t lo = le32At(pos_);
    uint64_t hi = le32At(pos_ + 4);
    return skip(8) ? (hi << 32 | lo) : 0;
}

uint32_t ByteReader::syncSafe32()
{
    if (!need(4))
        return 0;
    const uint8_t* p = data_ + pos_;
    pos_ += 4;
    return uint32_t(p[0] & 0x7f) << 21 | uint32_t(p[1] & 0x7f) << 14 | uint32_t(p[2] & 0x7f) << 7 | (p[3] & 0x7f);
}

QByteArrayView ByteReader::take(size_t n)
{
    if (!need(n))
        return {};
    QByteArrayView v(reinterpret_cast<const char*>(data_ + pos_), qsizetype(n));
    pos_ += n;
    return v;
}

ByteReader ByteReader::sub(size_t n)
{
    size_t len = n <= remaining() ? n : remaining();
    ByteReader child(data_ + pos_, len);
    if (len < n)
        ok_ = false;
    pos_ += len;
    return child;
}

QByteArrayView ByteReader::takeCString()
{
    size_t end = pos_;
    while (end < size_ && data_[end] != 0)
        ++end;
    QByteArrayView v(reinterpret_cast<const char*>(data_ + pos_), qsizetype(end - pos_));
    pos_ = end < size_ ? end + 1 : end;
    return v;
}

uint16_t ByteReader::be16At(size_t offset) const
{
    if (offset > size_ || size_ - offset < 2)
        return 0;
    return uint16_t(data_[offset] << 8 | data_[offset + 1]);
}

uint32_t ByteReader::be32At(size_t offset) const
{
    if (offset > size_ || size_ - offset < 4)
        return 0;
    const uint8_t* p = data_ + offset;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint16_t ByteReader::le16At(size_t offset) const
{
    if (offset > size_ || size_ - offset < 2)
        return 0;
    return uint16_t(data_[offset] | data_[offset + 1] << 8);
}

uint32_t ByteReader::le32At(size_t offset) const
{
    if (offset > size_ || size_ - offset < 4)
        return 0;
    const uint8_t* p = data_ + offset;
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

QByteArrayView ByteReader::viewAt(size_t offset, size_t n) const
{
    if (offset > size_ || size_ - offset < n)
        return {};
    return QByteArrayView(reinterpret_cast<const char*>(data_ + offset), qsizetype(n));
}

} // namespace vn
