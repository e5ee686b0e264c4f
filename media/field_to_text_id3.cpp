#include "media/field_to_text.h"

#include "media/id3v2_reader.h"
#include "util/byte_reader.h"
#include "util/text_codec.h"

namespace vn {

namespace {

int commentText(QString& out, int capacity, QByteArrayView value)
{
    QString decoded;
    const int descriptionLength = id3TextToWide(decoded, value, 4);
    const QString description = decoded.left(descriptionLength);
    QString text;
    if (descriptionLength < decoded.size()) {
        text = decoded.mid(descriptionLength + 1);
        const qsizetype nul = text.indexOf(QChar(0));
        if (nul >= 0)
            text.truncate(nul);
    }
    if (description.isEmpty())
        return setConverted(out, capacity, text);
    if (text.isEmpty())
        return setConverted(out, capacity, description);
    return setConverted(out, capacity, description + u':' + text);
}

} // namespace

int fieldToTextId3(QString& out, int capacity, const TagValue& value, int row, uint8_t kind, PictureRef* picture)
{
    out.clear();
    if (row < 0 || row > RowCdIdentifier || !value.present())
        return 0; // the stream facts are records, not frames
    const TagValue content = id3FrameContent(kind, value);
    const QByteArrayView v = content.bytes();
    if (!content.present())
        return 0;

    switch (row) {
    case RowComment:
        return commentText(out, capacity, v);
    case RowPicture: {
        Id3Picture pic;
        if (!parseId3Picture(v, kind == KindId3v22, pic))
            return 0;
        if (picture)
            *picture = valueIn(content.buffer, pic.data);
        return setFormatted(out, capacity,
                            QStringLiteral("%1 %2 bytes").arg(decodeText(pic.mime, CpLatin1)).arg(pic.data.size()));
    }
    case RowCdIdentifier: {
        const McdiForm form = mcdiForm(v);
        if (form == McdiForm::Binary)
            return setFormatted(out, capacity, QStringLiteral("%1 bytes").arg(v.size()));
        return setFormatted(out, capacity, mcdiText(v, form));
    }
    default: {
        QString text;
        const int length = id3TextToWide(text, v, 1);
        text.truncate(length);
        return setConverted(out, capacity, text);
    }
    }
}

} // namespace vn
