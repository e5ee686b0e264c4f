#include "encode/lame_id3_tag.h"

#include "encode/replace_tags.h"
#include "media/field_to_text.h"
#include "util/text_codec.h"

#include <algorithm>

namespace vn {

namespace {

constexpr int64_t MaxTagSize = 0x0FFFFFFF;

void putBigEndian(QByteArray& out, uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
}

void putSyncSafe(QByteArray& out, uint32_t value)
{
    for (int shift = 21; shift >= 0; shift -= 7)
        out.append(char((value >> shift) & 0x7f));
}

bool plainAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

QByteArray pictureMimeType(const QString& text)
{
    const auto names = [&](const char* inside, std::initializer_list<const char*> starts) {
        return text.contains(QLatin1String(inside), Qt::CaseInsensitive) ||
               std::any_of(starts.begin(), starts.end(),
                           [&](const char* s) { return text.startsWith(QLatin1String(s), Qt::CaseInsensitive); });
    };
    if (names("jpeg", {"JPG", "JPEG"}))
        return "image/jpeg";
    if (names("png", {"PNG"}))
        return "image/png";
    if (names("gif", {"GIF"}))
        return "image/gif";
    return {};
}

void writeFrameHeader(QByteArray& out, uint8_t version, int row, uint32_t size)
{
    const TagField& field = TagFieldTable[size_t(row)];
    if (version == KindId3v22) {
        out.append(field.id3v22Id, 3);
        putBigEndian(out, size, 3);
        return;
    }
    out.append(field.id3v2Id, 4);
    if (version == KindId3v24)
        putSyncSafe(out, size);
    else
        putBigEndian(out, size, 4);
    out.append(2, '\0');
}

void writeTextFrame(QByteArray& out, uint8_t version, int row, const QString& text)
{
    const bool ascii = plainAscii(text);
    QByteArray body;
    if (row != RowCdIdentifier)
        body.append(char(ascii ? 0 : 1));
    if (row == RowComment) {
        body.append(ascii ? "eng" : "jpn", 3);
        // An empty description comes first: without its terminator every reader would take the
        // comment for its description.
        body.append(ascii ? QByteArray(1, '\0') : QByteArray("\xff\xfe\0\0", 4));
    }
    if (ascii) {
        body.append(text.toLatin1());
        body.append('\0');
    } else {
        body.append("\xff\xfe", 2);
        body.append(toUtf16Bytes(text, false));
        body.append(2, '\0');
    }
    writeFrameHeader(out, version, row, uint32_t(body.size()));
    out.append(body);
}

void writePictureFrame(QByteArray& out, const TagRecord& record, uint8_t kind)
{
    QString text;
    PictureRef picture;
    fieldToText(text, 1024, record, RowPicture, kind, &picture);
    if (picture.bytes().isEmpty())
        return;
    QByteArray mime = pictureMimeType(text);
    if (mime.isEmpty())
        mime = "image/jpeg"; // a picture of another kind still goes in, as JPEG
    writeFrameHeader(out, KindId3v23, RowPicture, uint32_t(mime.size() + picture.bytes().size()) + 4);
    out.append('\0');
    out.append(mime);
    out.append('\0');
    out.append(char(3)); // front cover
    out.append('\0');    // empty description
    out.append(picture.bytes());
}

QByteArray lameId3Tag(const LameTagSource& source, int blockSize, int minPadding)
{
    QByteArray frames;
    for (int row = 0; row <= RowCdIdentifier; ++row) {
        switch (row) {
        case RowEncodedBy:
            writeTextFrame(frames, source.version, row, source.encodedBy);
            continue;
        case RowEncoderSettings:
            writeTextFrame(frames, source.version, row, source.encoderSettings);
            continue;
        case RowLength:
            writeTextFrame(frames, source.version, row, source.length);
            continue;
        case RowCdIdentifier:
            writeTextFrame(frames, source.version, row, QString::fromLatin1(source.discToc));
            continue;
        default:
            break;
        }
        if (source.copyFrom) {
            frames.append(id3FrameBytes(*source.copyFrom, row));
        } else if (row == RowPicture) {
            if (source.pictureRecord)
                writePictureFrame(frames, *source.pictureRecord, source.pictureKind);
        } else if (source.listRow) {
            const QString text = (*source.listRow)[size_t(row + 3)].left(LameListTextLimit);
            if (!text.isEmpty())
                writeTextFrame(frames, source.version, row, text);
        }
    }
    const int64_t padding = id3Padding(frames.size(), blockSize, minPadding);
    if (frames.size() + padding > MaxTagSize)
        return {};
    QByteArray tag("ID3", 3);
    tag.append(char(source.version));
    tag.append(char(source.revision));
    tag.append(char(source.flags));
    putSyncSafe(tag, uint32_t(frames.size() + padding));
    tag.append(frames);
    tag.append(qsizetype(padding), '\0');
    return tag;
}

} // namespace vn
