#include "containers/matroska_writer.h"

#include "containers/crc.h"
#include "util/text_codec.h"

#include <QFileInfo>
#include <QtEndian>

namespace vn {

namespace {

// Size field of exactly length bytes; the caller has checked the value fits.
QByteArray sizeField(uint64_t value, int length)
{
    QByteArray b(length, '\0');
    const uint64_t marked = value | (uint64_t(1) << (7 * length));
    for (int i = 0; i < length; ++i)
        b[length - 1 - i] = char(uint8_t(marked >> (8 * i)));
    return b;
}

bool fitsSizeField(uint64_t value, int length)
{
    return length >= 1 && length <= 8 && value < (uint64_t(1) << (7 * length)) - 1;
}

// A Void element of exactly total bytes (at least 2).
QByteArray voidElement(qint64 total)
{
    for (int length = 1; length <= 8; ++length) {
        const qint64 payload = total - 1 - length;
        if (payload >= 0 && fitsSizeField(uint64_t(payload), length))
            return ebmlId(mkv::Void) + sizeField(uint64_t(payload), length) + QByteArray(payload, '\0');
    }
    return {};
}

QByteArray crcElement(QByteArrayView rest)
{
    QByteArray e = ebmlId(mkv::Crc32) + sizeField(4, 1);
    char crc[4];
    qToLittleEndian(crc32Iso3309(rest), crc);
    e.append(crc, 4);
    return e;
}

QByteArray utf8Cut(const QString& text)
{
    const QByteArray utf8 = encodeText(text, CpUtf8);
    if (utf8.size() <= 255)
        return utf8;
    qsizetype n = 255;
    while (n > 0 && (uint8_t(utf8[n]) & 0xC0) == 0x80)
        --n;
    return utf8.left(n);
}

QByteArray simpleTag(const char* name, const QString& text)
{
    return ebmlElement(mkv::SimpleTag,
                       ebmlElement(mkv::TagName, name) + ebmlElement(mkv::TagString, utf8Cut(text)));
}

QByteArray seekHeadElement(const std::vector<MkvSeekEntry>& entries, bool withCrc)
{
    QByteArray seeks;
    for (const MkvSeekEntry& e : entries)
        seeks += ebmlElement(mkv::Seek, ebmlElement(mkv::SeekId, ebmlId(e.id)) + ebmlUInt(mkv::SeekPosition, e.position));
    return ebmlElement(mkv::SeekHead, withCrc ? crcElement(seeks) + seeks : seeks);
}

bool fitsReserved(qint64 n, qint64 reserved)
{
    return n == reserved || n + 2 <= reserved;
}

} // namespace

QByteArray ebmlId(uint32_t id)
{
    const int length = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
    QByteArray b(length, '\0');
    for (int i = 0; i < length; ++i)
        b[length - 1 - i] = char(uint8_t(id >> (8 * i)));
    return b;
}

QByteArray ebmlSize(uint64_t size)
{
    int length = 1;
    while (length < 8 && !fitsSizeField(size, length))
        ++length;
    return sizeField(size, length);
}

QByteArray ebmlElement(uint32_t id, QByteArrayView payload)
{
    return ebmlId(id) + ebmlSize(uint64_t(payload.size())) + payload.toByteArray();
}

QByteArray ebmlUInt(uint32_t id, uint64_t value)
{
    QByteArray b;
    do {
        b.prepend(char(uint8_t(value)));
        value >>= 8;
    } while (value);
    return ebmlElement(id, b);
}

QByteArray buildMatroskaTags(const QStringList& tagTexts, const QString& cdIdentifier)
{
    auto row = [&](int r) { return r < tagTexts.size() ? tagTexts[r] : QString(); };
    auto tag = [](uint64_t targetType, const QByteArray& simpleTags) {
        return ebmlElement(mkv::Tag, ebmlElement(mkv::Targets, ebmlUInt(mkv::TargetTypeValue, targetType)) + simpleTags);
    };
    const QByteArray album = tag(50, simpleTag("TITLE", row(RowAlbum)) + simpleTag("ARTIST", row(RowAlbumArtist)) +
                                         simpleTag("TOTAL_PARTS", {}) + simpleTag("PART_NUMBER", row(RowDisc)) +
                                         simpleTag("MCDI", cdIdentifier));
    const QByteArray track =
        tag(30, simpleTag("TITLE", row(RowTitle)) + simpleTag("ARTIST", row(RowArtist)) +
                    simpleTag("COMMENT", row(RowComment)) + simpleTag("COMPOSER", row(RowComposer)) +
                    simpleTag("DATE_RECORDED", row(RowYear)) + simpleTag("GENRE", row(RowGenre)) +
                    simpleTag("PART_NUMBER", row(RowTrack)) + simpleTag("ENCODER", row(RowEncodedBy)));
    const QByteArray collection = tag(60, simpleTag("TOTAL_PARTS", {}));
    const QByteArray rest = album + track + collection;
    return ebmlElement(mkv::Tags, crcElement(rest) + rest);
}

QByteArray coverMediaType(const QString& fileName, QByteArrayView picture)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == u"jpg" || ext == u"jpeg")
        return "image/jpeg";
    if (!ext.isEmpty())
        return "image/" + ext.left(5).toUtf8();
    // No extension to go by: the picture's own signature.
    if (picture.startsWith("\x89PNG"))
        return "image/png";
    if (picture.startsWith("\xFF\xD8"))
        return "image/jpeg";
    return "application/octet-stream";
}

QByteArray buildMatroskaAttachments(QByteArrayView picture, const QString& fileName)
{
    uint64_t uid = crc64We(picture);
    if (uid == 0) // a FileUID of 0 is not allowed
        uid = 1;
    char uidBytes[8];
    qToBigEndian(uid, uidBytes);
    const QByteArray file =
        ebmlElement(mkv::AttachedFile, ebmlElement(mkv::FileName, encodeText(fileName, CpUtf8)) +
                                           ebmlElement(mkv::FileMediaType, coverMediaType(fileName, picture)) +
                                           ebmlElement(mkv::FileData, picture) +
                                           ebmlElement(mkv::FileUid, QByteArrayView(uidBytes, 8)));
    return ebmlElement(mkv::Attachments, crcElement(file) + file);
}

int rewriteMatroska(QByteArray file, const MatroskaScan& scan, const QByteArray& newTags,
                    const QByteArray& newAttachments, QByteArray& output)
{
    output.clear();
    if (scan.segmentPos < 0)
        return MkvNotRewritable;
    // Elements are appended at the end of the file, which must then be the end of the Segment.
    if (!scan.segmentUnknownSize && uint64_t(scan.segmentDataPos) + scan.segmentSize != uint64_t(file.size()))
        return MkvNotRewritable;
    for (const MkvSpan* span : {&scan.seekHead, &scan.tags, &scan.attachments})
        if (span->present() && (!span->whole || span->reservedEnd > file.size()))
            return MkvNotRewritable;

    std::vector<MkvSeekEntry> seeks = scan.seeks;
    auto setSeek = [&](uint32_t id, qint64 absolute) {
        const uint64_t relative = uint64_t(absolute - scan.segmentDataPos);
        for (MkvSeekEntry& e : seeks)
            if (e.id == id) {
                e.position = relative;
                return;
            }
        seeks.push_back(MkvSeekEntry{id, relative});
    };

    QByteArray appended;
    struct Moved {
        uint32_t id;
        qint64 offset; // within appended
    };
    std::vector<Moved> moved;
    auto place = [&](const MkvSpan& span, const QByteArray& element, uint32_t id) {
        if (element.isEmpty())
            return;
        const qint64 n = element.size();
        const qint64 reserved = span.present() ? span.reservedEnd - span.pos : 0;
        if (span.present() && fitsReserved(n, reserved)) {
            file.replace(span.pos, n, element);
            const qint64 rest = reserved - n;
            if (rest > 0) {
                if (span.reservedEnd == file.size())
                    file.truncate(span.pos + n);
                else
                    file.replace(span.pos + n, rest, voidElement(rest));
            }
            setSeek(id, span.pos);
            return;
        }
        if (span.present())
            file.replace(span.pos, reserved, voidElement(reserved));
        moved.push_back(Moved{id, appended.size()});
        appended += element;
    };
    place(scan.tags, newTags, mkv::Tags);
    place(scan.attachments, newAttachments, mkv::Attachments);
    // What goes at the end must land after the Segment's last child, not inside one that runs on
    // (or past what a reader stops at).
    if (!appended.isEmpty() && !scan.segmentTailClosed)
        return MkvNotRewritable;
    const qint64 base = file.size();
    for (const Moved& m : moved)
        setSeek(m.id, base + m.offset);

    if (scan.seekHead.present()) {
        const qint64 reserved = scan.seekHead.reservedEnd - scan.seekHead.pos;
        QByteArray head = seekHeadElement(seeks, true);
        if (!fitsReserved(head.size(), reserved))
            head = seekHeadElement(seeks, false);
        if (!fitsReserved(head.size(), reserved)) {
            // No room for the grown list: it goes to a second SeekHead at the end, which the first
            // one points to.
            if (!scan.segmentTailClosed)
                return MkvNotRewritable;
            const qint64 secondPos = base + appended.size();
            appended += seekHeadElement(seeks, true);
            const std::vector<MkvSeekEntry> link{{mkv::SeekHead, uint64_t(secondPos - scan.segmentDataPos)}};
            head = seekHeadElement(link, true);
            if (!fitsReserved(head.size(), reserved))
                head = seekHeadElement(link, false);
        }
        if (fitsReserved(head.size(), reserved)) {
            file.replace(scan.seekHead.pos, head.size(), head);
            if (reserved > head.size())
                file.replace(scan.seekHead.pos + head.size(), reserved - head.size(),
                             voidElement(reserved - head.size()));
        }
    }

    if (!scan.segmentUnknownSize) {
        const uint64_t size = uint64_t(file.size() + appended.size() - scan.segmentDataPos);
        // Seek positions count from the Segment's payload, so a wider size field moves nothing
        // they point at relative to it.
        const int length = fitsSizeField(size, scan.segmentSizeLength) ? scan.segmentSizeLength : 8;
        file.replace(scan.segmentSizePos, scan.segmentSizeLength, sizeField(size, length));
    }
    output = file + appended;
    return MkvOk;
}

} // namespace vn
