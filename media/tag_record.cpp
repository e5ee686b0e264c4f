#include "media/tag_record.h"

namespace vn {

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
