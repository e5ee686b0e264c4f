#include "containers/matroska.h"

#include "util/file_name.h"
#include "containers/crc.h"
#include "containers/matroska_writer.h"
#include "media/packed_tags.h"
#include "util/byte_reader.h"
#include "util/safe_file.h"
#include "util/text_codec.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vn {

namespace {

enum class Shown : uint8_t { Plain, UInt, UIntHex, String, Float, Crc, SegmentK, SeekHeadK, SeekIdK, SeekPosK };

struct KnownElement {
    uint32_t id;
    const char* name;
    Shown shown;
    bool enter;
};

constexpr KnownElement KnownElements[] = {
    {mkv::Ebml, "EBML", Shown::Plain, true},
    {0x4286, "EBMLVersion", Shown::UInt, false},
    {0x42F7, "EBMLReadVersion", Shown::UInt, false},
    {0x42F2, "EBMLMaxIDLength", Shown::UInt, false},
    {0x42F3, "EBMLMaxSizeLength", Shown::UInt, false},
    {mkv::DocType, "DocType", Shown::String, false},
    {0x4287, "DocTypeVersion", Shown::UInt, false},
    {0x4285, "DocTypeReadVersion", Shown::UInt, false},
    {mkv::Crc32, "CRC-32", Shown::Crc, false},
    {mkv::Void, "Void", Shown::Plain, false},
    {mkv::Segment, "Segment", Shown::SegmentK, true},
    {mkv::SeekHead, "SeekHead", Shown::SeekHeadK, true},
    {mkv::Seek, "Seek", Shown::Plain, true},
    {mkv::SeekId, "SeekID", Shown::SeekIdK, false},
    {mkv::SeekPosition, "SeekPosition", Shown::SeekPosK, false},
    {mkv::Info, "Info", Shown::Plain, true},
    {0x2AD7B1, "TimestampScale", Shown::UInt, false},
    {0x4489, "Duration", Shown::Float, false},
    {0x7BA9, "Title", Shown::String, false},
    {0x4D80, "MuxingApp", Shown::String, false},
    {0x5741, "WritingApp", Shown::String, false},
    {mkv::Tracks, "Tracks", Shown::Plain, true},
    {0xAE, "TrackEntry", Shown::Plain, true},
    {0xD7, "TrackNumber", Shown::UInt, false},
    {0x73C5, "TrackUID", Shown::UInt, false},
    {0x83, "TrackType", Shown::UInt, false},
    {0x22B59C, "Language", Shown::String, false},
    {0x86, "CodecID", Shown::String, false},
    {0xE1, "Audio", Shown::Plain, true},
    {0xB5, "SamplingFrequency", Shown::Float, false},
    {0x9F, "Channels", Shown::UInt, false},
    {0x6264, "BitDepth", Shown::UInt, false},
    {mkv::Cues, "Cues", Shown::Plain, false},
    {mkv::Cluster, "Cluster", Shown::Plain, false},
    {mkv::Attachments, "Attachments", Shown::Plain, true},
    {mkv::AttachedFile, "AttachedFile", Shown::Plain, true},
    {0x467E, "FileDescription", Shown::String, false},
    {mkv::FileName, "FileName", Shown::String, false},
    {mkv::FileMediaType, "FileMediaType", Shown::String, false},
    {mkv::FileData, "FileData", Shown::Plain, false},
    {mkv::FileUid, "FileUID", Shown::UIntHex, false},
    {mkv::Tags, "Tags", Shown::Plain, true},
    {mkv::Tag, "Tag", Shown::Plain, true},
    {mkv::Targets, "Targets", Shown::Plain, true},
    {mkv::TargetTypeValue, "TargetTypeValue", Shown::UInt, false},
    {0x63C5, "TagTrackUID", Shown::UIntHex, false},
    {mkv::SimpleTag, "SimpleTag", Shown::Plain, true},
    {mkv::TagName, "TagName", Shown::String, false},
    {0x447A, "TagLanguage", Shown::String, false},
    {0x447B, "TagLanguageBCP47", Shown::String, false},
    {0x4484, "TagDefault", Shown::UIntHex, false},
    {mkv::TagString, "TagString", Shown::String, false},
};

const KnownElement* findElement(uint32_t id)
{
    for (const KnownElement& e : KnownElements)
        if (e.id == id)
            return &e;
    return nullptr;
}

constexpr int MaxEnterDepth = 7;

struct Header {
    uint32_t id = 0;
    size_t pos = 0;
    size_t sizePos = 0;
    int sizeLength = 0;
    uint64_t declared = 0;
    bool unknownSize = false;
    size_t payload = 0;
    size_t end = 0;    // clamped to the parent
    bool whole = true; // the declared size fits the parent
};

// Reads an element header at pos within [.., end). False when none can be read there: an ID or
// size longer than EBML allows, or one running past the parent.
bool readHeader(const ByteReader& file, size_t pos, size_t end, Header& h)
{
    if (pos >= end)
        return false;
    const uint8_t first = file.at(pos);
    if (first == 0)
        return false;
    int idLength = 1;
    while (idLength <= 4 && !(first & (0x80 >> (idLength - 1))))
        ++idLength;
    if (idLength > 4 || end - pos < size_t(idLength) + 1)
        return false;
    h.pos = pos;
    h.id = 0;
    for (int i = 0; i < idLength; ++i)
        h.id = h.id << 8 | file.at(pos + size_t(i));
    h.sizePos = pos + size_t(idLength);
    const uint8_t s = file.at(h.sizePos);
    if (s == 0)
        return false;
    int sizeLength = 1;
    while (!(s & (0x80 >> (sizeLength - 1))))
        ++sizeLength;
    if (end - h.sizePos < size_t(sizeLength))
        return false;
    uint64_t value = s & (0xFF >> sizeLength);
    bool allOnes = value == uint64_t(0xFF >> sizeLength);
    for (int i = 1; i < sizeLength; ++i) {
        const uint8_t b = file.at(h.sizePos + size_t(i));
        value = value << 8 | b;
        allOnes = allOnes && b == 0xFF;
    }
    h.sizeLength = sizeLength;
    h.declared = value;
    h.unknownSize = allOnes;
    h.payload = h.sizePos + size_t(sizeLength);
    h.whole = true;
    if (allOnes) {
        h.end = end;
    } else if (value > end - h.payload) {
        h.end = end;
        h.whole = false;
    } else {
        h.end = h.payload + size_t(value);
    }
    return true;
}

bool isTopLevel(uint32_t id)
{
    return id == mkv::Cluster || id == mkv::Cues || id == mkv::Tags || id == mkv::Attachments ||
           id == mkv::SeekHead || id == mkv::Info || id == mkv::Tracks || id == mkv::Chapters;
}

// A Cluster of unknown size (live recordings) ends where the next top-level element begins.
// closed: its children end there, or at the end, each where it says.
size_t unknownClusterEnd(const ByteReader& file, size_t pos, size_t end, bool& closed)
{
    Header h;
    closed = false;
    while (readHeader(file, pos, end, h)) {
        if (isTopLevel(h.id)) {
            closed = true;
            return pos;
        }
        if (h.unknownSize || !h.whole)
            return end;
        pos = h.end;
    }
    closed = pos == end;
    return end;
}

uint64_t readUInt(QByteArrayView bytes)
{
    uint64_t v = 0;
    for (qsizetype i = 0; i < bytes.size() && i < 8; ++i)
        v = v << 8 | uint8_t(bytes[i]);
    return v;
}

double readFloat(QByteArrayView bytes)
{
    if (bytes.size() == 4) {
        const uint32_t bits = uint32_t(readUInt(bytes));
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    if (bytes.size() == 8) {
        const uint64_t bits = readUInt(bytes);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    return 0;
}

QByteArrayView untilNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul >= 0 ? bytes.first(nul) : bytes;
}

// Cuts UTF-8 text to at most max bytes without splitting a character.
QByteArray cutUtf8(QByteArrayView text, qsizetype max)
{
    if (text.size() <= max)
        return text.toByteArray();
    qsizetype n = max;
    while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80)
        --n;
    return text.first(n).toByteArray();
}

int rowForTagName(QByteArrayView name, uint64_t targetType)
{
    auto is = [&](const char* s) { return name.compare(QByteArrayView(s), Qt::CaseInsensitive) == 0; };
    if (is("TITLE"))
        return targetType == 30 ? RowTitle : RowAlbum;
    if (is("ARTIST"))
        return targetType == 30 ? RowArtist : RowAlbumArtist;
    if (is("PART_NUMBER"))
        return targetType == 50 ? RowDisc : RowTrack;
    if (is("COMMENT"))
        return RowComment;
    if (is("COMPOSER"))
        return RowComposer;
    if (is("DATE_RECORDED"))
        return RowYear;
    if (is("GENRE"))
        return RowGenre;
    if (is("ENCODER"))
        return RowEncodedBy;
    if (is("MCDI"))
        return RowCdIdentifier;
    return -1;
}

QString seekIdName(uint32_t id)
{
    switch (id) {
    case mkv::Info: return QStringLiteral("Info");
    case mkv::Tracks: return QStringLiteral("Tracks");
    case mkv::Cluster: return QStringLiteral("Cluster");
    case mkv::Cues: return QStringLiteral("Cues");
    case mkv::Attachments: return QStringLiteral("Attachments");
    case mkv::Tags: return QStringLiteral("Tags");
    default: return QString();
    }
}

struct Walker {
    ByteReader file;
    MatroskaScan& scan;
    QString* dump;
    uint64_t targetType = 0;
    int tagRow = -1;
    bool inFirstSeekHead = false;
    MkvSeekEntry seek;
    bool trackFactsTaken = false;

    void walk(size_t begin, size_t end, int depth, uint32_t parent);
    void line(const Header& h, int depth, const QString& text)
    {
        char head[80];
        int n = std::snprintf(head, sizeof head, "%08llx ", (unsigned long long)h.pos);
        dump->append(QLatin1StringView(head, n));
        for (int i = 0; i < depth; ++i)
            dump->append(u'_');
        n = std::snprintf(head, sizeof head, "%x 0x%llx(%lld)", h.id, (unsigned long long)h.declared,
                          (long long)h.declared);
        dump->append(QLatin1StringView(head, n));
        dump->append(text);
        dump->append(QLatin1StringView("\r\n"));
    }
};

void Walker::walk(size_t begin, size_t end, int depth, uint32_t parent)
{
    size_t pos = begin;
    MkvSpan* reserving = nullptr; // the element a directly following Void would extend
    const bool segmentLevel = depth == 1 && parent == mkv::Segment && qint64(begin) == scan.segmentDataPos;
    bool lastClosed = true;
    while (pos < end) {
        Header h;
        if (!readHeader(file, pos, end, h))
            break;
        bool clusterClosed = false;
        if (h.unknownSize && h.id == mkv::Cluster)
            h.end = unknownClusterEnd(file, h.payload, end, clusterClosed);
        const QByteArrayView payload = file.viewAt(h.payload, h.end - h.payload);
        const KnownElement* known = findElement(h.id);
        QString text;
        if (known && dump) {
            text = QStringLiteral(" <") + QLatin1StringView(known->name) + u'>';
            switch (known->shown) {
            case Shown::UInt:
                text += QString::asprintf(" %llu", (unsigned long long)readUInt(payload));
                break;
            case Shown::UIntHex:
                text += QString::asprintf(" 0x%llx", (unsigned long long)readUInt(payload));
                break;
            case Shown::String:
                text += QStringLiteral(" '") + decodeText(untilNul(payload), CpUtf8) + u'\'';
                break;
            case Shown::Float:
                text += QString::asprintf(" %f", readFloat(payload));
                break;
            case Shown::Crc: {
                const uint32_t stored = payload.size() == 4 ? ByteReader(payload).le32() : 0;
                const uint32_t computed = crc32Iso3309(file.viewAt(h.end, end - h.end));
                text = QString::asprintf(" <CRC-32> (little-endian) %x %x", stored, computed);
                if (stored != computed)
                    text += QStringLiteral(" ** Not match **");
                break;
            }
            case Shown::SegmentK: {
                const uint64_t segmentEnd = h.unknownSize ? h.end : uint64_t(h.payload) + h.declared;
                text = QString::asprintf(" <Segment> filesize=%llu %llu", (unsigned long long)segmentEnd,
                                         (unsigned long long)file.size());
                if (segmentEnd != file.size())
                    text += QStringLiteral(" ** Not match **");
                break;
            }
            case Shown::SeekHeadK:
                text = QString::asprintf(" <SeekHead> base_adr=%llx", (unsigned long long)scan.segmentDataPos);
                break;
            case Shown::SeekIdK: {
                const uint32_t id = uint32_t(readUInt(payload.first(std::min<qsizetype>(4, payload.size()))));
                text = QString::asprintf(" <SeekID> %x <", id) + seekIdName(id) + u'>';
                break;
            }
            case Shown::SeekPosK: {
                const uint64_t offset = readUInt(payload);
                text = QString::asprintf(" <SeekPosition> offset=%llx target=%llx", (unsigned long long)offset,
                                         (unsigned long long)(scan.segmentDataPos + offset));
                break;
            }
            case Shown::Plain:
                break;
            }
        }
        if (dump)
            line(h, depth, text);

        // What the packing and the writer need.
        MkvSpan* span = nullptr;
        switch (h.id) {
        case mkv::Ebml:
            if (h.pos == 0)
                scan.ebmlHeader = true;
            break;
        case mkv::DocType:
            if (parent == mkv::Ebml && scan.docType.isEmpty())
                scan.docType = untilNul(payload).toByteArray();
            break;
        case mkv::Segment:
            if (scan.segmentPos < 0 && depth == 0) {
                scan.segmentPos = qint64(h.pos);
                scan.segmentSizePos = qint64(h.sizePos);
                scan.segmentSizeLength = h.sizeLength;
                scan.segmentDataPos = qint64(h.payload);
                scan.segmentUnknownSize = h.unknownSize;
                scan.segmentSize = h.declared;
            }
            break;
        case mkv::SeekHead:
            if (parent == mkv::Segment && !scan.seekHead.present()) {
                span = &scan.seekHead;
                inFirstSeekHead = true;
            }
            break;
        case mkv::Seek:
            seek = MkvSeekEntry{};
            break;
        case mkv::SeekId:
            seek.id = uint32_t(readUInt(payload.first(std::min<qsizetype>(4, payload.size()))));
            break;
        case mkv::SeekPosition:
            seek.position = readUInt(payload);
            break;
        case mkv::Tags:
            if (parent == mkv::Segment)
                span = &scan.tags;
            break;
        case mkv::Attachments:
            if (parent == mkv::Segment)
                span = &scan.attachments;
            break;
        case 0x2AD7B1:
            scan.timestampScale = readUInt(payload);
            break;
        case 0x4489:
            scan.haveDuration = true;
            scan.duration = readFloat(payload);
            break;
        case 0xB5:
            if (!scan.haveSamplingFrequency) {
                scan.haveSamplingFrequency = true;
                scan.samplingFrequency = readFloat(payload);
            }
            break;
        case 0x6264:
            if (!scan.haveBitDepth) {
                scan.haveBitDepth = true;
                scan.bitDepth = readUInt(payload);
            }
            break;
        case mkv::FileMediaType:
            scan.mediaType = cutUtf8(untilNul(payload), 63);
            break;
        case mkv::FileData:
            scan.fileData = payload;
            break;
        case mkv::Tag:
            targetType = 0; // each Tag names its own target
            break;
        case mkv::TargetTypeValue:
            targetType = readUInt(payload);
            break;
        case mkv::SimpleTag:
            tagRow = -1;
            break;
        case mkv::TagName:
            tagRow = rowForTagName(untilNul(payload), targetType);
            break;
        case mkv::TagString:
            if (tagRow >= 0)
                scan.tagValues[size_t(tagRow)] = cutUtf8(untilNul(payload), 255);
            break;
        default:
            break;
        }
        if (span) {
            span->pos = qint64(h.pos);
            span->end = qint64(h.end);
            span->reservedEnd = qint64(h.end);
            span->whole = h.whole && !h.unknownSize;
        } else if (h.id == mkv::Void && reserving) {
            reserving->reservedEnd = qint64(h.end);
        }

        if (known && known->enter && depth < MaxEnterDepth)
            walk(h.payload, h.end, depth + 1, h.id);

        if (h.id == mkv::Seek && inFirstSeekHead && parent == mkv::SeekHead)
            scan.seeks.push_back(seek);
        if (h.id == mkv::SeekHead && span)
            inFirstSeekHead = false;
        reserving = span;
        lastClosed = h.whole && (!h.unknownSize || clusterClosed);
        if (h.end <= pos)
            break;
        pos = h.end;
    }
    if (segmentLevel)
        scan.segmentTailClosed = pos == end && lastClosed;
}

} // namespace

void scanMatroska(QByteArrayView file, MatroskaScan& scan, QString* dump)
{
    Walker w{ByteReader(file), scan, dump, 0, -1, false, MkvSeekEntry{}, false};
    w.walk(0, size_t(file.size()), 0, 0);
    if (dump)
        dump->append(QString::asprintf("%08llx (total file size)\r\n\r\n", (unsigned long long)file.size()));
}

QByteArray packMatroskaTags(const MatroskaScan& scan)
{
    PackedTexts texts;
    for (int row = 0; row < TagFieldRowCount; ++row)
        if (row != RowEncoderSettings && row != RowLength && row != RowPicture)
            texts[size_t(row)] = scan.tagValues[size_t(row)];
    QByteArrayView picture;
    if (!scan.fileData.isEmpty()) {
        texts[RowPicture] = scan.mediaType;
        picture = scan.fileData;
    }
    if (scan.haveBitDepth)
        texts[RowBitsPerSample] = QByteArray::number(qulonglong(scan.bitDepth));
    if (scan.haveSamplingFrequency)
        texts[RowSampleRate] = QByteArray::number(scan.samplingFrequency, 'f', 0);
    if (scan.haveDuration)
        texts[RowDuration] =
            QByteArray::number(double(scan.timestampScale) * scan.duration / 1000000000.0, 'f', 3);
    return packTags(texts, picture);
}

int processMatroska(const QString& path, const MatroskaJob& job, MatroskaResult& result)
{
    result = MatroskaResult{};
    QFile file;
    if (!openForReading(file, path))
        return MkvCannotOpen;
    // Reading only: map the file so that the clusters are never read. Rewriting needs it all.
    QByteArray bytes;
    QByteArrayView view;
    uchar* mapped = nullptr;
    if (job.writeFlags == 0 && file.size() > 0)
        mapped = file.map(0, file.size());
    if (mapped) {
        view = QByteArrayView(reinterpret_cast<const char*>(mapped), file.size());
    } else {
        bytes = file.readAll();
        view = bytes;
    }

    const bool wantDump = job.dumpFlags & (MkvDumpText | MkvDumpClipboard | MkvDumpToFile);
    QString dump;
    if (wantDump)
        dump = path + QString::asprintf(" (%lld bytes)\r\n", (long long)view.size());
    MatroskaScan scan;
    scanMatroska(view, scan, wantDump ? &dump : nullptr);
    result.kind = scan.docType == "webm" ? KindWebm : KindMatroska;
    result.ebmlHeader = scan.ebmlHeader;
    if (job.dumpFlags & MkvDumpPacked)
        result.packed = packMatroskaTags(scan);

    int code = MkvOk;
    const QString outputPath = job.outputPath.isEmpty() ? path : job.outputPath;
    const bool writing = job.writeFlags & (MkvWriteTags | MkvWriteCover);
    // Another file of the output's name is the user's, not ours to replace.
    if (writing && nameTaken(outputPath) &&
        QFileInfo(outputPath).canonicalFilePath() != QFileInfo(path).canonicalFilePath())
        code = MkvOutputExists;
    if (code == MkvOk && writing) {
        QByteArray newTags;
        QByteArray newAttachments;
        if (job.writeFlags & MkvWriteTags)
            newTags = buildMatroskaTags(job.tagTexts, job.cdIdentifier);
        if (job.writeFlags & MkvWriteCover) {
            QFile cover;
            if (!openForReading(cover, job.coverPath))
                code = MkvCannotReadCover;
            else
                newAttachments = buildMatroskaAttachments(cover.readAll(), QFileInfo(job.coverPath).fileName());
        }
        QByteArray output;
        if (code == MkvOk)
            code = rewriteMatroska(std::move(bytes), scan, newTags, newAttachments, output);
        // The new file is written beside the target and renamed over it: a failure leaves the old one.
        if (code == MkvOk && !replaceFileAtomically(outputPath, output)) {
            code = MkvCannotWrite;
            result.writeProblem = systemErrorText(errno);
        }
        scan.fileData = {};
    }
    if (mapped)
        file.unmap(mapped);

    if ((job.dumpFlags & MkvDumpToFile) && !replaceFileAtomically(job.dumpFilePath, encodeText(dump, CpUtf8)) &&
        code == MkvOk) {
        code = MkvCannotWrite;
        result.writeProblem = systemErrorText(errno);
    }
    if (job.dumpFlags & (MkvDumpText | MkvDumpClipboard))
        result.dump = std::move(dump);
    return code;
}

int readMatroskaTags(const QString& path, ContainerTags& out)
{
    MatroskaJob job;
    job.dumpFlags = MkvDumpPacked;
    MatroskaResult result;
    const int code = processMatroska(path, job, result);
    if (code != MkvOk)
        return code;
    out = ContainerTags{};
    out.buffer = std::move(result.packed);
    unpackTags(out.buffer, out.record);
    out.header = TagHeader{result.kind, 0, 0};
    return MkvOk;
}

} // namespace vn
