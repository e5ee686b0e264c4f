#include "media/tag_record.h"

#include "util/byte_reader.h"

#include <algorithm>

namespace vn {

QByteArrayView TagValue::bytes() const
{
    if (buffer.isNull())
        return {};
    return ByteReader(buffer).viewAt(offset, size);
}

TagValue valueIn(const QByteArray& buffer, QByteArrayView part, uint16_t flags)
{
    const auto begin = reinterpret_cast<uintptr_t>(buffer.constData());
    const auto at = reinterpret_cast<uintptr_t>(part.data());
    const auto size = uintptr_t(part.size());
    if (!buffer.isNull() && at >= begin && at - begin <= uintptr_t(buffer.size()) &&
        size <= uintptr_t(buffer.size()) - (at - begin) && size <= UINT32_MAX)
        return TagValue{buffer, uint32_t(at - begin), uint32_t(size), flags, 0};
    return ownValue(part.toByteArray(), flags);
}

TagValue ownValue(QByteArray bytes, uint16_t flags)
{
    const auto size = uint32_t(std::min<qsizetype>(bytes.size(), UINT32_MAX));
    return TagValue{std::move(bytes), 0, size, flags, 0};
}

TagValue numberValue(uint32_t size, uint32_t number)
{
    return TagValue{QByteArray(), 0, size, 0, number};
}

QString tagKindName(uint8_t kind)
{
    switch (kind) {
    case KindWave:
        return QStringLiteral("WAVE");
    case KindId3v22:
        return QStringLiteral("ID3v2.2");
    case KindId3v23:
        return QStringLiteral("ID3v2.3");
    case KindId3v24:
        return QStringLiteral("ID3v2.4");
    case KindMp4:
        return QStringLiteral("MP4");
    case KindFlac:
        return QStringLiteral("FLAC");
    case KindMatroska:
        return QStringLiteral("Matroska");
    case KindWebm:
        return QStringLiteral("WebM");
    default:
        return QStringLiteral("notID3v2");
    }
}

} // namespace vn
