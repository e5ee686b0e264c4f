#include "media/id3v2_reader.h"

#include "util/file_name.h"
#include "util/safe_file.h"
#include "util/text_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vn {

namespace {

constexpr uint32_t Id3HeaderSize = 10;

void clearFile(FileTags& file)
{
    file.record = {};
    file.header = {};
    file.tagBuffer = QByteArray();
    file.audioOffset = 0;
    file.audioSize = 0;
    file.audioAnalysed = false;
    file.stamp = {};
    file.mpegHeader = {};
    file.mpegInfo = {};
}

// The row a frame identifier goes to, or -1. "TDRC" (the 2.4 recording time) stands in for the year.
int rowOfFrame(QByteArrayView id, bool version2)
{
    if (id == QByteArrayView("TDRC"))
        return RowYear;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        const TagField& f = TagFieldTable[size_t(row)];
        if (id == QByteArrayView(version2 ? f.id3v22Id : f.id3v2Id))
            return row;
    }
    return -1;
}

// Removes a high surrogate left alone at the end by a cut.
void cutTo(QString& text, int maxUnits)
{
    if (text.size() <= maxUnits)
        return;
    text.truncate(std::max(maxUnits, 0));
    if (!text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);
}

// Encoding 1: strings that each begin with a byte order mark and end with a NUL unit, which is
// kept so a description and its text stay apart. A string without a mark ends the text.
QString decodeMarkedUtf16(QByteArrayView bytes, int maxUnits)
{
    QString out;
    ByteReader in(bytes);
    while (in.remaining() >= 2 && out.size() <= maxUnits) {
        const uint8_t a = in.at(in.pos()), b = in.at(in.pos() + 1);
        bool bigEndian;
        if (a == 0 && b == 0) {
            // An empty string whose writer left out the mark (common for an empty comment
            // description): still one string of the sequence.
            out += QChar(0);
            in.skip(2);
            continue;
        }
        if (a == 0xFF && b == 0xFE)
            bigEndian = false;
        else if (a == 0xFE && b == 0xFF)
            bigEndian = true;
        else
            break;
        in.skip(2);
        const size_t start = in.pos();
        size_t units = 0;
        bool ended = false;
        while (in.remaining() >= 2) {
            const uint16_t unit = in.le16(); // byte order does not matter for finding a NUL
            ++units;
            if (unit == 0) {
                ended = true;
                break;
            }
        }
        out += fromUtf16Bytes(in.viewAt(start, units * 2), bigEndian);
        if (!ended)
            break;
    }
    cutTo(out, maxUnits);
    return out;
}

const QByteArrayView UnsyncPair("\xFF\x00", 2);

// Undoes unsynchronisation: every 0xFF 0x00 becomes 0xFF. A lone 0xFF (at the end, or before any
// other byte) stays as it is.
QByteArray resynchronised(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    qsizetype from = 0;
    for (qsizetype at = bytes.indexOf(UnsyncPair); at >= 0; at = bytes.indexOf(UnsyncPair, from)) {
        out.append(bytes.sliced(from, at + 1 - from));
        from = at + 2;
    }
    out.append(bytes.sliced(from));
    return out;
}

// Four characters of A-Z and 0-9: what a version 3 or 4 tag has where a frame begins. Such bytes
// read as an extended header size would far exceed any tag, so a tag flagged for an extended
// header that begins with them has none (some writers set the flag alone).
bool looksLikeFrameId(QByteArrayView bytes)
{
    if (bytes.size() != 4)
        return false;
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

} // namespace

int id3HeaderCode(QByteArrayView header, uint64_t fileLength, TagHeader& tagHeader, uint32_t& tagSize)
{
    ByteReader in(header);
    if (fileLength < Id3HeaderSize || !in.has(Id3HeaderSize))
        return ReadTagsTooShort;
    if (in.take(3) != QByteArrayView("ID3"))
        return ReadTagsNoId3v2;
    const uint8_t version = in.u8();
    const uint8_t revision = in.u8();
    const uint8_t flags = in.u8();
    const uint32_t size = in.syncSafe32();
    if (fileLength < uint64_t(Id3HeaderSize) + size)
        return ReadTagsTagPastEnd;
    tagHeader = {version, revision, flags};
    tagSize = size;
    return ReadTagsOk;
}

Id3FrameWalker::Id3FrameWalker(const TagHeader& header, const QByteArray& body)
    : bytes_(body), version_(header.version)
{
    const bool unsynchronised = header.flags & Id3TagUnsynchronised;
    const bool extended = header.flags & Id3TagExtendedHeader;
    if (version_ < 2 || version_ > 4 || (version_ == 2 && extended)) {
        // An unknown layout, or a compressed tag (of which version 2 never defined the scheme).
        bytes_ = QByteArray();
        return;
    }
    if (version_ < 4 && unsynchronised && bytes_.contains(UnsyncPair))
        bytes_ = resynchronised(bytes_);
    in_ = ByteReader(bytes_);
    if (version_ >= 3 && extended && !looksLikeFrameId(in_.viewAt(0, 4))) {
        // Version 3 counts the extended header without its size field, version 4 with it.
        const uint64_t size = version_ == 3 ? 4 + uint64_t(in_.be32At(0)) : ByteReader(in_.viewAt(0, 4)).syncSafe32();
        if (size < 6 || !in_.seek(size_t(size))) {
            in_.seek(in_.size());
            return;
        }
    }
    if (version_ == 4 && unsynchronised) {
        // Each frame's flag made explicit, in a copy of the bytes, so that a frame copied into a
        // tag without the tag's flag still says it is unsynchronised.
        QByteArray marked(bytes_.constData(), bytes_.size());
        const size_t start = in_.pos();
        Id3Frame frame;
        while (next(frame)) {
            const qsizetype formatFlags = frame.data.data() - bytes_.constData() - 1;
            marked[formatFlags] = char(uint8_t(marked[formatFlags]) | Id3FrameUnsynchronised);
        }
        bytes_ = marked;
        in_ = ByteReader(bytes_);
        in_.seek(start);
        padding_ = 0;
    }
}

bool Id3FrameWalker::next(Id3Frame& frame)
{
    const size_t headerSize = version_ == 2 ? 6 : 10;
    while (!in_.atEnd()) {
        if (in_.at(in_.pos()) == 0) {
            in_.skip(1);
            ++padding_;
            continue;
        }
        if (!in_.has(headerSize))
            break;
        const QByteArrayView id = in_.take(version_ == 2 ? 3 : 4);
        uint32_t size;
        uint16_t flags = 0;
        if (version_ == 2) {
            size = in_.be24();
        } else {
            size = version_ == 3 ? in_.be32() : in_.syncSafe32();
            flags = in_.be16();
        }
        if (!in_.has(size))
            break;
        frame.id = id;
        frame.data = in_.take(size);
        frame.flags = flags;
        frame.paddingBefore = padding_;
        padding_ = 0;
        return true;
    }
    in_.seek(in_.size());
    return false;
}

void fillId3Record(const TagHeader& header, const QByteArray& body, TagRecord& record)
{
    Id3FrameWalker walker(header, body);
    Id3Frame frame;
    while (walker.next(frame)) {
        const int row = rowOfFrame(frame.id, header.version == 2);
        if (row >= 0)
            record[size_t(row)] = valueIn(walker.bytes(), frame.data, frame.flags);
    }
}

TagValue id3FrameContent(uint8_t version, const TagValue& frame)
{
    if (version != 4 || !(frame.flags & (Id3FrameDataLength | Id3FrameUnsynchronised)))
        return frame;
    ByteReader in(frame.bytes());
    if ((frame.flags & Id3FrameDataLength) && !in.skip(4))
        return TagValue{};
    const QByteArrayView content = in.take(in.remaining());
    if (!(frame.flags & Id3FrameUnsynchronised) || !content.contains(UnsyncPair))
        return valueIn(frame.buffer, content, frame.flags);
    return ownValue(resynchronised(content), frame.flags);
}

int readMp3FileTags(const QString& path, FileTags& file, QByteArray& readBuffer)
{
    clearFile(file);
    const ReadOnlyFile f(path);
    if (!f.isOpen())
        return ReadTagsCannotOpen;
    uint64_t length = f.size();
    // Offsets and sizes are kept in 32 bits.
    if (length > UINT32_MAX)
        return ReadTagsCannotOpen;
    file.stamp = FileStamp{length, f.modifiedNs()};
    const qsizetype capacity = Mp3ReadPiece + qsizetype(MpegStreamWalker::MostKept);
    if (readBuffer.size() < capacity)
        readBuffer = QByteArray(capacity, Qt::Uninitialized);
    char* const buffer = readBuffer.data();

    // The first piece holds the header and, mostly, the whole tag and the audio's start.
    qsizetype have = f.readInto(0, buffer, qsizetype(std::min<uint64_t>(length, uint64_t(Mp3ReadPiece))));
    uint64_t readTo = uint64_t(have);
    uint32_t tagSize = 0;
    TagHeader tagHeader;
    const int code = id3HeaderCode(QByteArrayView(buffer, have), length, tagHeader, tagSize);
    if (code != ReadTagsOk)
        return code;
    file.header = tagHeader;

    try {
        file.tagBuffer.resize(qsizetype(tagSize));
    } catch (const std::bad_alloc&) {
        file.tagBuffer = QByteArray();
        return ReadTagsNoMemory;
    }
    const qsizetype inPiece = std::min<qsizetype>(have - qsizetype(Id3HeaderSize), qsizetype(tagSize));
    std::memcpy(file.tagBuffer.data(), buffer + Id3HeaderSize, size_t(inPiece));
    if (inPiece < qsizetype(tagSize)) {
        // A tag larger than the piece: its rest straight into its own buffer.
        const qsizetype rest = qsizetype(tagSize) - inPiece;
        if (f.readInto(readTo, file.tagBuffer.data() + inPiece, rest) != rest) {
            clearFile(file); // the file shrank under us
            return ReadTagsTagPastEnd;
        }
        readTo += uint64_t(rest);
        have = 0;
    }
    fillId3Record(tagHeader, file.tagBuffer, file.record);
    file.audioOffset = Id3HeaderSize + tagSize;
    file.audioSize = uint32_t(length) - file.audioOffset;
    // Only the versions the list knows are walked; the others need none of their audio.
    if (!isId3Kind(tagHeader.version))
        return ReadTagsOk;
    file.audioAnalysed = true;
    if (file.audioSize == 0)
        return ReadTagsOk;

    MpegStreamWalker walker(file.audioSize);
    // The piece's bytes from start on are audio; the walk keeps a few of them for the next piece.
    qsizetype start = have > qsizetype(file.audioOffset) ? qsizetype(file.audioOffset) : have;
    for (;;) {
        const bool last = readTo >= length;
        const size_t done = walker.walk(QByteArrayView(buffer + start, have - start), last);
        if (last)
            break;
        const qsizetype kept = have - start - qsizetype(done);
        std::memmove(buffer, buffer + start + qsizetype(done), size_t(kept));
        start = 0;
        const qsizetype want = qsizetype(std::min<uint64_t>(length - readTo, uint64_t(capacity - kept)));
        const qsizetype got = f.readInto(readTo, buffer + kept, want);
        have = kept + got;
        readTo += uint64_t(got);
        if (got != want) {
            // The file ended early (it shrank under us): the walk ends where its bytes do.
            length = readTo;
            file.audioSize = uint32_t(length - file.audioOffset);
        }
    }
    walker.finish(file.mpegHeader, file.mpegInfo, file.record);
    if (walker.hasId3v1())
        file.audioSize -= Id3v1Size;
    return ReadTagsOk;
}

bool readId3TagOnly(const QString& path, FileTags& file)
{
    file = FileTags{};
    const ReadOnlyFile f(path);
    if (!f.isOpen())
        return false;
    // Most tags fit the first page; a larger one (a big picture) takes a second read for its rest.
    // (Replace Tags copies the audio after it: little of that is read here as well.)
    constexpr uint64_t FirstRead = 4096;
    QByteArray head = f.readAt(0, FirstRead);
    TagHeader header;
    uint32_t tagSize = 0;
    if (id3HeaderCode(head, f.size(), header, tagSize) != ReadTagsOk || !isId3Kind(header.version))
        return false;
    if (10 + qsizetype(tagSize) <= head.size()) {
        file.tagBuffer = head.sliced(10, tagSize);
    } else {
        head.remove(0, 10);
        head.append(f.readAt(uint64_t(10 + head.size()), tagSize - uint64_t(head.size())));
        file.tagBuffer = std::move(head);
    }
    if (file.tagBuffer.size() != qsizetype(tagSize))
        return false;
    file.header = header;
    fillId3Record(header, file.tagBuffer, file.record);
    file.audioOffset = 10 + tagSize;
    file.audioSize = uint32_t(uint64_t(f.size()) - file.audioOffset);
    file.stamp = FileStamp{f.size(), f.modifiedNs()};
    return true;
}

int id3TextToWide(QString& out, QByteArrayView value, int textOffset, int maxUnits)
{
    out.clear();
    const ByteReader in(value);
    if (in.size() == 0 || textOffset < 0 || size_t(textOffset) > in.size())
        return 0;
    const QByteArrayView text = in.viewAt(size_t(textOffset), in.size() - size_t(textOffset));
    switch (in.at(0)) {
    case 0:
        if (text.size() > maxUnits)
            return 0;
        out = decodeText(text, CpLatin1);
        break;
    case 1:
        out = decodeMarkedUtf16(text, maxUnits);
        break;
    case 2:
        out = fromUtf16Bytes(text.first(std::min<qsizetype>(text.size(), qsizetype(maxUnits + 1) * 2)), true);
        cutTo(out, maxUnits);
        break;
    case 3:
        out = decodeText(text, CpUtf8);
        if (out.size() > maxUnits)
            out.clear();
        break;
    default:
        return 0;
    }
    const qsizetype nul = out.indexOf(QChar(0));
    return int(nul < 0 ? out.size() : nul);
}

} // namespace vn

namespace vn {

namespace {

bool isHexDigit(uint16_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// One or two hexadecimal digits, then "+"; unit(i) gives character i or 0 past the end.
template <typename Unit>
bool startsLikeToc(Unit unit)
{
    return isHexDigit(unit(0)) && (unit(1) == '+' || (isHexDigit(unit(1)) && unit(2) == '+'));
}

} // namespace

bool parseId3Picture(QByteArrayView value, bool version2, Id3Picture& picture)
{
    picture = {};
    ByteReader in(value);
    picture.encoding = in.u8();
    picture.mime = version2 ? in.take(3) : in.takeCString();
    const bool mimeEnded = version2 || in.pos() > size_t(picture.mime.size()) + 1; // its NUL was there
    picture.type = in.u8();
    if (!in.ok() || !mimeEnded)
        return false;
    const size_t start = in.pos();
    switch (picture.encoding) {
    case 0:
    case 3: {
        picture.description = in.takeCString();
        if (in.pos() == start + size_t(picture.description.size())) // no NUL before the end
            return false;
        break;
    }
    case 1:
    case 2: {
        bool ended = false;
        while (in.remaining() >= 2) {
            if (in.be16() == 0) {
                ended = true;
                break;
            }
        }
        if (!ended)
            return false;
        picture.description = in.viewAt(start, in.pos() - start - 2);
        break;
    }
    default:
        return false;
    }
    picture.data = in.take(in.remaining());
    return true;
}

McdiForm mcdiForm(QByteArrayView value)
{
    const ByteReader in(value);
    if (startsLikeToc([&](size_t i) { return uint16_t(in.at(i)); }))
        return McdiForm::Text8;
    if (startsLikeToc([&](size_t i) { return in.le16At(2 * i); }))
        return McdiForm::Text16;
    return McdiForm::Binary;
}

QString mcdiText(QByteArrayView value, McdiForm form)
{
    ByteReader in(value);
    if (form == McdiForm::Text8)
        return decodeText(in.takeCString(), CpLatin1);
    if (form != McdiForm::Text16)
        return {};
    const size_t start = in.pos();
    size_t units = 0;
    while (in.remaining() >= 2 && in.le16() != 0)
        ++units;
    return fromUtf16Bytes(in.viewAt(start, units * 2), false);
}

} // namespace vn
