#include "media/id3_dump.h"

#include "media/id3v2_reader.h"
#include "util/byte_reader.h"
#include "util/numbers.h"
#include "util/text_codec.h"

namespace vn {

namespace {

constexpr size_t MaxTocEntries = 100;
constexpr qsizetype MaxUfidCharacters = 191;

QString latin1UpToNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.first(nul));
}

// A decoded text up to its first NUL.
QString firstString(QByteArrayView value, int offset)
{
    QString text;
    text.truncate(id3TextToWide(text, value, offset));
    return text;
}

void appendTextFrame(QString& line, QByteArrayView data)
{
    line += QString::asprintf("%x ", ByteReader(data).at(0)) + firstString(data, 1);
}

void appendComment(QString& line, QByteArrayView data)
{
    const ByteReader in(data);
    QString decoded;
    const int descriptionLength = id3TextToWide(decoded, data, 4);
    QString text;
    if (descriptionLength < decoded.size()) {
        text = decoded.mid(descriptionLength + 1);
        text.truncate(text.indexOf(QChar(0)) < 0 ? text.size() : text.indexOf(QChar(0)));
    }
    line += QString::asprintf("%x (", in.at(0)) + latin1UpToNul(in.viewAt(1, 3)) + QStringLiteral(") '") +
            decoded.left(descriptionLength) + QStringLiteral("' '") + text + u'\'';
}

void appendUfid(QString& line, QByteArrayView data)
{
    ByteReader in(data);
    line += u'\'' + QString::fromLatin1(in.takeCString()) + u'\'';
    const QByteArrayView rest = in.take(in.remaining());
    const qsizetype nul = rest.indexOf('\0');
    const QByteArrayView identifier = nul < 0 ? rest : rest.first(nul);
    bool printable = true;
    for (char c : identifier)
        printable = printable && uint8_t(c) >= 32 && uint8_t(c) <= 126;
    const ByteReader id(rest);
    const uint32_t lead = uint32_t(id.at(0)) << 16 | uint32_t(id.at(1)) << 8 | id.at(2);
    if (printable) {
        line += QStringLiteral(" '") + QString::fromLatin1(identifier) + u'\'';
    } else if (rest.size() >= 3 && (lead & 0xF0C0C0) == 0xE08080) {
        line += QStringLiteral(" '") + decodeText(identifier, CpUtf8).left(MaxUfidCharacters) + u'\'';
    } else {
        for (char c : rest)
            line += QString::asprintf(" %02X", uint8_t(c));
    }
}

void appendPicture(QString& line, QByteArrayView data, bool version2)
{
    Id3Picture pic;
    if (!parseId3Picture(data, version2, pic))
        return;
    QByteArray description(1, char(pic.encoding));
    description += pic.description;
    const ByteReader bytes(pic.data);
    line += QString::asprintf("%x ", pic.encoding) + latin1UpToNul(pic.mime) +
            QString::asprintf(" %02X '", pic.type) + firstString(description, 1) +
            QString::asprintf("' %d bytes %02X%02X", int(pic.data.size()), bytes.at(0), bytes.at(1));
}

void appendToc(QString& line, QByteArrayView data)
{
    for (const TocEntry& e : decodeCdToc(data)) {
        const int64_t a = e.address;
        line += QString::asprintf("\r\n%c%02lld:%02lld.%02lld", e.dataTrack ? '*' : ' ', (long long)(a / 4500),
                                  (long long)(a % 4500 / 75), (long long)(a % 75));
    }
}

// ID3v1 fields are fixed-width and padded with NULs or blanks.
QString id3v1Field(const ByteReader& block, size_t offset, size_t width)
{
    QByteArrayView bytes = block.viewAt(offset, width);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes = bytes.first(nul);
    QString s = decodeText(bytes, CpAnsi).left(128);
    while (s.endsWith(u' '))
        s.chop(1);
    return s;
}

} // namespace

std::vector<TocEntry> decodeCdToc(QByteArrayView value)
{
    std::vector<TocEntry> entries;
    ByteReader in(value);
    const uint8_t b4 = in.at(4), b5 = in.at(5), b6 = in.at(6), b7 = in.at(7);
    const uint16_t length = in.be16At(0);
    if (in.size() >= 8 && b4 >= 0x10 && b4 <= 0x13 && b5 == 1 && b6 == 0 && b7 == 0) {
        while (in.remaining() >= 8 && entries.size() < MaxTocEntries) {
            const uint32_t address = in.le32();
            const uint8_t control = in.u8();
            const uint8_t track = in.u8();
            in.skip(2);
            entries.push_back({address, (control & 4) != 0});
            if (track == 0xAA)
                break;
        }
    } else if (in.size() >= 8 && b4 == 0 && b5 >= 0x10 && b5 <= 0x13 && b6 == 1 && b7 == 0 &&
               (length + 2u == in.size() || length + 4u == in.size())) {
        in.skip(4);
        while (in.remaining() >= 8 && entries.size() < MaxTocEntries) {
            in.skip(1);
            const uint8_t control = in.u8();
            const uint8_t track = in.u8();
            in.skip(1);
            entries.push_back({in.be32(), (control & 4) != 0});
            if (track == 0xAA)
                break;
        }
    } else if (const McdiForm form = mcdiForm(value); form != McdiForm::Binary) {
        const QString text = mcdiText(value, form);
        for (qsizetype i = text.indexOf(u'+'); i >= 0 && entries.size() < MaxTocEntries;
             i = text.indexOf(u'+', i + 1)) {
            const uint64_t n = leadingHex(QStringView(text).sliced(i + 1), UINT32_MAX);
            // Text tables count from the start of the lead-in; a number below it shows as 0.
            entries.push_back({n < 150 ? 0 : int64_t(n) - 150, false});
        }
    }
    return entries;
}

void dumpHeading(QString& text, const QString& folder, const QString& file)
{
    text = QStringLiteral("[Folder] %1\r\n[File] %2\r\n\r\n").arg(folder, file);
}

void dumpId3v2(QString& text, const TagHeader& header, const QByteArray& body)
{
    const int size = int(body.size());
    text += QString::asprintf("[ID3v2.%d.%d] tagSize=10+%d=%d bytes, flag=%02X\r\n", header.version,
                              header.revision, size, size + 10, header.flags);
    text += QStringLiteral("  pad ID    size flag en data\r\n");
    const bool version2 = header.version == 2;
    Id3FrameWalker walker(header, body);
    Id3Frame frame;
    while (walker.next(frame)) {
        const QString id = latin1UpToNul(frame.id);
        QString line = QString::asprintf("%5d ", int(frame.paddingBefore)) + id.leftJustified(4) +
                       QString::asprintf(" %5d %04X ", int(frame.data.size()), frame.flags);
        // The stored size is shown, the decoded content is listed.
        const TagValue content = id3FrameContent(header.version, valueIn(walker.bytes(), frame.data, frame.flags));
        const QByteArrayView data = content.bytes();
        if (id.startsWith(u'T'))
            appendTextFrame(line, data);
        else if (id == QStringLiteral("COMM") || id == QStringLiteral("COM"))
            appendComment(line, data);
        else if (id == QStringLiteral("UFID") || id == QStringLiteral("UFI"))
            appendUfid(line, data);
        else if (id == QStringLiteral("APIC") || id == QStringLiteral("PIC"))
            appendPicture(line, data, version2);
        else if (id == QStringLiteral("MCDI") || id == QStringLiteral("MCI"))
            appendToc(line, data);
        text += line + QStringLiteral("\r\n");
    }
    text += QString::asprintf("%5d Tag End\r\n", int(walker.trailingPadding()));
}

void dumpMpeg(QString& text, const MpegFrameHeader& header, const MpegStreamInfo& info)
{
    text += QStringLiteral("\r\n[MPEG audio] MPEG-%1 Layer-%2 (%3samples/frame)\r\n")
                .arg(mpegVersionText(header.version))
                .arg(header.layer)
                .arg(header.samplesPerFrame);
    text += QString::asprintf(" <audioDataSize> %u bytes\r\n", info.dataSize);
    if (info.xingFrames != 0) {
        text += QString::asprintf(" <Xing> dataSize=%u bytes, frames=%u, delay+endpad=%d+%dsample, ", info.xingBytes,
                                  info.xingFrames, info.encoderDelay, info.encoderPadding) +
                latin1UpToNul(QByteArrayView(info.encoder.data(), qsizetype(info.encoder.size()))) + QStringLiteral("\r\n");
    }
    text += QString::asprintf(" <totalFrames> %u (paddedFrames %u)\r\n", info.frameCount, info.paddedFrames);
    text += QString::asprintf(" <frameSize> %u - %u bytes/frame\r\n", info.minFrameLength, info.maxFrameLength);
    const uint64_t t = durationTenths(info.sampleCount, header.sampleRate);
    text += QString::asprintf(" <playTime> %u:%02u.%1u\r\n", unsigned(t / 600), unsigned(t / 10 % 60),
                              unsigned(t % 10));
    if (isConstantBitRate(info))
        text += QString::asprintf(" <bitRate> (CBR) %u kbps\r\n", info.maxBitRate);
    else
        text += QString::asprintf(" <bitRate> (VBR) %u (%u - %u) kbps\r\n", info.avgBitRate, info.minBitRate,
                                  info.maxBitRate);
    text += QString::asprintf(" <sampleRate> %u Hz\r\n", header.sampleRate);

    static const char* const ModeNames[] = {"Stereo", "Joint stereo", "Dual channel", "Mono"};
    const uint8_t b2 = header.raw[2], b3 = header.raw[3];
    const int mode = b3 >> 6;
    text += QString::asprintf(" <channel> %d (%s", header.channels, ModeNames[mode]);
    if (mode == 1)
        text += QString::asprintf(",ext.%d", (b3 >> 4) & 3);
    text += QString::asprintf(")\r\n <private/copyright/original/emphasis> %d/%d/%d/%d\r\n", b2 & 1, (b3 >> 3) & 1,
                              (b3 >> 2) & 1, b3 & 3);

    const ByteReader v1(info.id3v1.data(), info.id3v1.size());
    if (v1.viewAt(0, 3) != QByteArrayView("TAG")) {
        text += QStringLiteral(" <ID3v1> not exists\r\n");
        return;
    }
    text += QStringLiteral(" <ID3v1> 128bytes\r\n");
    text += QStringLiteral("  <title> ") + id3v1Field(v1, 3, 30) + QStringLiteral("\r\n");
    text += QStringLiteral("  <artist> ") + id3v1Field(v1, 33, 30) + QStringLiteral("\r\n");
    text += QStringLiteral("  <album> ") + id3v1Field(v1, 63, 30) + QStringLiteral("\r\n");
    text += QStringLiteral("  <year> ") + id3v1Field(v1, 93, 4) + QStringLiteral("\r\n");
    text += QStringLiteral("  <comment> ") + id3v1Field(v1, 97, 30) + QStringLiteral("\r\n");
    if (v1.at(125) == 0)
        text += QString::asprintf("  <track> %d\r\n", v1.at(126));
    text += QString::asprintf("  <genre> %d\r\n", v1.at(127));
}

} // namespace vn
