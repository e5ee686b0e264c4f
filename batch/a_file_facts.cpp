#include "batch/a_file_facts.h"

#include "containers/read_file_tags.h"
#include "media/field_to_text.h"
#include "media/id3v2_reader.h"
#include "util/byte_reader.h"
#include "util/numbers.h"
#include "util/safe_file.h"

#include <QFileInfo>
#include <algorithm>

namespace vn {

namespace {

constexpr uint8_t LeadOutTrack = 0xAA;
constexpr uint8_t DataTrackBit = 0x04;
// A table longer than a disc can be is read no further.
constexpr size_t MaxTocValues = 101;
// Text tables count their addresses from the start of the lead-in.
constexpr int64_t LeadIn = 150;

bool audioControl(uint8_t control)
{
    return (control & 0xFC) == 0x10;
}

// The entries of either binary table; the reader stands at the first entry.
McdiTable readBinaryEntries(ByteReader& in, bool driveToc)
{
    McdiTable table;
    while (in.remaining() >= 8 && table.addresses.size() < MaxTocValues) {
        uint32_t address = 0;
        uint8_t control = 0, track = 0;
        if (driveToc) {
            in.skip(1);
            control = in.u8();
            track = in.u8();
            in.skip(1);
            address = in.be32();
        } else {
            address = in.le32();
            control = in.u8();
            track = in.u8();
            in.skip(2);
        }
        table.addresses.push_back(address);
        if (track == LeadOutTrack)
            break;
        if (control & DataTrackBit) {
            table.dataTrack = true;
            break;
        }
    }
    if (table.addresses.size() < 2)
        return McdiTable{};
    return table;
}

McdiTable readTextTable(const QString& text)
{
    McdiTable table;
    for (qsizetype i = text.indexOf(u'+'); i >= 0 && table.addresses.size() < MaxTocValues;
         i = text.indexOf(u'+', i + 1)) {
        const int64_t n = int64_t(leadingHex(QStringView(text).sliced(i + 1), UINT32_MAX));
        table.addresses.push_back(uint32_t(std::max<int64_t>(n - LeadIn, 0)));
    }
    if (table.addresses.size() < 2)
        return McdiTable{};
    return table;
}

QString textOf(const TagRecord& record, int row, uint8_t kind, int limit)
{
    QString text;
    fieldToText(text, 4096, record, row, kind);
    return text.left(limit);
}

int leadingNumber(const QString& text)
{
    return int(std::clamp<int64_t>(leadingInteger(QStringView(text)), 0, INT32_MAX));
}

// The CD identifier's value without its container's prefix.
QByteArray mcdiValue(const TagRecord& record, uint8_t kind)
{
    const TagValue& v = record[RowCdIdentifier];
    if (!v.present())
        return {};
    if (isId3Kind(kind))
        return id3FrameContent(kind, v).bytes().toByteArray(); // without a data length indicator
    if (kind == KindMp4) {
        const QByteArrayView bytes = v.bytes();
        return bytes.size() > 8 ? bytes.sliced(8).toByteArray() : QByteArray();
    }
    return v.bytes().toByteArray();
}

// The LAME tag's version text when it is one: printable characters up to a NUL.
QByteArray encoderText(const MpegStreamInfo& info)
{
    QByteArray text;
    for (char c : info.encoder) {
        if (c == 0)
            break;
        if (uint8_t(c) < 0x20 || uint8_t(c) > 0x7E)
            return {};
        text += c;
    }
    return text;
}

struct Mp3Facts {
    TagRecord record{};
    uint8_t kind = 0;
    QByteArray encoder;
    uint64_t duration = 0;
};

// The tag and the first frame only: an MP3's length follows from its first frame and its byte count.
Mp3Facts readMp3Facts(const QString& path)
{
    Mp3Facts facts;
    const ReadOnlyFile f(path);
    if (!f.isOpen())
        return facts;
    constexpr uint64_t FirstRead = 16384;
    const QByteArray head = f.readAt(0, FirstRead);
    TagHeader header;
    uint32_t tagSize = 0;
    uint64_t audioOffset = 0;
    if (id3HeaderCode(head, f.size(), header, tagSize) == ReadTagsOk && isId3Kind(header.version)) {
        const QByteArray body = 10 + qsizetype(tagSize) <= head.size() ? head.sliced(10, tagSize) : f.readAt(10, tagSize);
        if (body.size() == qsizetype(tagSize)) {
            fillId3Record(header, body, facts.record);
            facts.kind = header.version;
        }
        audioOffset = 10 + uint64_t(tagSize);
    }
    uint64_t audioEnd = f.size();
    if (audioEnd >= audioOffset + Id3v1Size && f.readAt(audioEnd - Id3v1Size, 3) == "TAG")
        audioEnd -= Id3v1Size;
    if (audioEnd <= audioOffset)
        return facts;

    // The first frame lies near the start of the audio; what stands before it is skipped as the
    // stream analysis skips it.
    constexpr uint64_t SearchBytes = 65536;
    const uint64_t searched = std::min(SearchBytes, audioEnd - audioOffset);
    const QByteArray audio = audioOffset + searched <= uint64_t(head.size())
                                 ? head.sliced(qsizetype(audioOffset), qsizetype(searched))
                                 : f.readAt(audioOffset, searched);
    const ByteReader data(audio);
    for (size_t p = 0; p + 4 <= data.size(); ++p) {
        MpegFrameHeader first;
        if (data.at(p) != 0xFF || parseFrameHeader(data.viewAt(p, 4), first) != FrameHeaderOk)
            continue;
        const bool mono = first.channels == 1;
        const size_t sideInfo = first.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
        MpegStreamInfo info;
        const bool xing = readXingHeader(data, p + 4 + sideInfo, first, info);
        facts.encoder = xing ? encoderText(info) : QByteArray();
        facts.duration = toCdSamples(mp3Duration(first, info, xing, audioEnd - audioOffset), first.sampleRate);
        break;
    }
    return facts;
}

// A container's stream length in CD samples: its sample count or its length in seconds.
uint64_t containerDuration(const TagRecord& record, uint8_t kind)
{
    if (kind == KindMatroska || kind == KindWebm) {
        const QByteArray seconds = record[RowDuration].bytes().toByteArray();
        bool ok = false;
        const double s = seconds.toDouble(&ok);
        return ok && s > 0 && s < 1e9 ? uint64_t(s * CdSampleRate + 0.5) : 0;
    }
    return toCdSamples(record[RowDuration].size, record[RowSampleRate].size);
}

} // namespace

McdiTable decodeMcdi(QByteArrayView value)
{
    ByteReader in(value);
    if (in.size() >= 8 && audioControl(in.at(4)) && in.at(5) == 1)
        return readBinaryEntries(in, false);
    if (in.size() >= 8 && in.at(4) == 0 && audioControl(in.at(5)) && in.at(6) == 1 && in.at(7) == 0) {
        const size_t length = in.be16At(0);
        if (length + 2 != in.size() && length + 4 != in.size())
            return McdiTable{};
        in.skip(4);
        return readBinaryEntries(in, true);
    }
    if (const McdiForm form = mcdiForm(value); form != McdiForm::Binary)
        return readTextTable(mcdiText(value, form));
    return McdiTable{};
}

uint64_t mp3Duration(const MpegFrameHeader& first, const MpegStreamInfo& xing, bool hasXing, uint64_t audioBytes)
{
    const uint64_t perFrame = first.samplesPerFrame;
    if (hasXing && xing.xingFrames != 0) {
        const int64_t n = int64_t(xing.xingFrames) * int64_t(perFrame) - xing.encoderDelay - xing.encoderPadding;
        return uint64_t(std::max<int64_t>(n, 0));
    }
    if (first.sampleRate == 0 || first.bitRate == 0)
        return 0;
    const uint64_t frameSize = perFrame / 8 * first.bitRate * 1000 / first.sampleRate;
    if (frameSize != 0 && audioBytes % frameSize == 0)
        return audioBytes / frameSize * perFrame + 1704; // the decoder's delay and LAME's padding
    return audioBytes * first.sampleRate / (uint64_t(first.bitRate) * 125);
}

uint64_t toCdSamples(uint64_t samples, uint32_t rate)
{
    if (rate == 0)
        return 0;
    if (rate == CdSampleRate)
        return samples;
    return (samples * CdSampleRate * 2 + rate) / (2 * uint64_t(rate));
}

AFileFacts readAFileFacts(const QString& path)
{
    AFileFacts facts;
    facts.path = path;
    const QString name = QFileInfo(path).fileName();
    qsizetype digits = 0;
    while (digits < name.size() && name[digits] >= u'0' && name[digits] <= u'9')
        ++digits;
    facts.fileTrack = digits ? leadingNumber(name.first(digits)) : 0;

    TagRecord record{};
    uint8_t kind = 0;
    if (path.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive)) {
        Mp3Facts mp3 = readMp3Facts(path);
        record = std::move(mp3.record);
        kind = mp3.kind;
        facts.encoder = mp3.encoder;
        facts.duration = mp3.duration;
    } else {
        FileTags file;
        QByteArray unused;
        if (readFileTags(path, file, unused) != ReadTagsOk)
            return facts;
        record = std::move(file.record);
        kind = file.header.version;
        facts.duration = containerDuration(record, kind);
    }
    if (kind == 0)
        return facts;
    facts.album = textOf(record, RowAlbum, kind, 255);
    facts.artist = textOf(record, RowArtist, kind, 63);
    facts.albumArtist = textOf(record, RowAlbumArtist, kind, 63);
    facts.tagTrack = leadingNumber(textOf(record, RowTrack, kind, 255));
    facts.mcdi = decodeMcdi(mcdiValue(record, kind));
    return facts;
}

} // namespace vn
