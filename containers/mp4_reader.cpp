#include "containers/mp4_reader.h"

#include "util/file_name.h"
#include "util/text_codec.h"

#include <QFile>
#include <QIODevice>
#include <cstring>
#include <limits>

namespace vn {

namespace {

void put(Mp4Walk& w, const QString& text)
{
    if (w.dump)
        w.dump->append(text);
}

bool isType(const std::array<char, 4>& t, const char* name)
{
    return std::memcmp(t.data(), name, 4) == 0;
}

bool pathIs(const Mp4Walk& w, int depth, const char* name)
{
    return depth >= 0 && depth < Mp4MaxDepth && isType(w.path[size_t(depth)], name);
}

// A four-character code as the dump shows it: up to its first NUL, bytes as Latin-1 (0xA9 is the
// copyright sign of the iTunes item names).
QString fourCc(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return decodeText(nul >= 0 ? bytes.first(nul) : bytes, CpLatin1);
}

QString utf8Text(QByteArrayView bytes, qsizetype maxChars)
{
    const qsizetype nul = bytes.indexOf('\0');
    QString s = decodeText(nul >= 0 ? bytes.first(nul) : bytes, CpUtf8);
    if (s.size() > maxChars)
        s.truncate(maxChars);
    return s;
}

// ISO 639-2/T code packed as three 5-bit letters, each + 0x60.
QString packedLanguage(uint16_t code)
{
    const char letters[3] = {char(((code >> 10) & 0x1f) + 0x60), char(((code >> 5) & 0x1f) + 0x60),
                             char((code & 0x1f) + 0x60)};
    return QString::fromLatin1(letters, 3);
}

QString durationText(uint64_t duration, uint32_t timeScale)
{
    const uint64_t tenths = timeScale ? duration * 10 / timeScale : 0;
    return QString::asprintf(" %llu / %u = %llu:%02u.%01u", (unsigned long long)duration, timeScale,
                             (unsigned long long)(tenths / 600), unsigned(tenths / 10 % 60), unsigned(tenths % 10));
}

bool soundTrack(const Mp4Walk& w)
{
    return w.handlerType.isEmpty() || w.handlerType == "soun";
}

void checkBlockCount(Mp4Walk& w, int64_t blocks, QString& line)
{
    if (w.blockCount < 0)
        w.blockCount = blocks;
    else if (w.blockCount != blocks)
        line += QString::asprintf(" ?total_blks=%lld?", (long long)blocks);
}

int64_t saturatingMulAdd(int64_t acc, int64_t a, int64_t b)
{
    int64_t p = 0;
    if (__builtin_mul_overflow(a, b, &p) || __builtin_add_overflow(acc, p, &acc))
        return p < 0 || acc < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return acc;
}

uint32_t clampTo32(uint64_t v)
{
    return v > 0xffffffffull ? 0xffffffffu : uint32_t(v);
}

// --- handlers -----------------------------------------------------------------------------------

void onFtyp(Mp4Walk& w, ByteReader in, int)
{
    if (!w.dump)
        return;
    if (in.size() < 8) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    const QByteArrayView major = in.take(4);
    const uint32_t minor = in.be32();
    QString line = QStringLiteral(" Major brand:'") + fourCc(major) +
                   QString::asprintf("', Minor version:%u, Compatible brands:", minor);
    while (in.remaining() >= 4) {
        const QByteArrayView brand = in.take(4);
        if (brand != QByteArrayView("\0\0\0\0", 4))
            line += QStringLiteral(" '") + fourCc(brand) + u'\'';
    }
    put(w, line + QStringLiteral("\r\n"));
}

// mvhd and mdhd share their start; version 1 widens the times and the duration to 64 bits.
bool readTimes(ByteReader& in, uint32_t& timeScale, uint64_t& duration)
{
    const uint8_t version = in.u8();
    in.skip(3);
    if (version == 1) {
        in.skip(16);
        timeScale = in.be32();
        duration = in.be64();
    } else {
        in.skip(8);
        timeScale = in.be32();
        duration = in.be32();
    }
    return in.ok();
}

void onMvhd(Mp4Walk& w, ByteReader in, int)
{
    uint32_t timeScale = 0;
    uint64_t duration = 0;
    if (!readTimes(in, timeScale, duration)) { // too short to hold the fields: ignored
        put(w, QStringLiteral("\r\n"));
        return;
    }
    put(w, durationText(duration, timeScale) + QStringLiteral("\r\n"));
    if (w.record) {
        (*w.record)[RowSampleRate].size = timeScale;
        (*w.record)[RowDuration].size = clampTo32(duration);
    }
}

void onMdhd(Mp4Walk& w, ByteReader in, int)
{
    uint32_t timeScale = 0;
    uint64_t duration = 0;
    const bool ok = readTimes(in, timeScale, duration);
    const uint16_t language = in.be16();
    const uint16_t quality = in.be16();
    if (!ok || !in.ok()) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    put(w, durationText(duration, timeScale) + QStringLiteral(" lang=<") + packedLanguage(language) +
               QString::asprintf("> quality=%u\r\n", quality));
    w.haveMediaTimes = true;
    w.mediaTimeScale = timeScale;
    w.mediaDuration = clampTo32(duration);
}

void onHdlr(Mp4Walk& w, ByteReader in, int depth)
{
    in.skip(8);
    const QByteArrayView type = in.take(4);
    if (!in.ok()) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    put(w, QStringLiteral(" '") + fourCc(type) + QStringLiteral("'\r\n"));
    // Only the media's own handler says what kind of track this is; minf and meta carry others.
    if (pathIs(w, depth - 1, "mdia"))
        w.handlerType = type.toByteArray();
}

void onTkhd(Mp4Walk& w, ByteReader in, int)
{
    const uint8_t version = in.u8();
    in.skip(3);
    in.skip(version == 1 ? 16 : 8);
    const uint32_t trackId = in.be32();
    in.skip(4);
    const uint64_t duration = version == 1 ? in.be64() : in.be32();
    if (!in.ok()) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    put(w, QString::asprintf(" trackID:%u duration:%llu\r\n", trackId, (unsigned long long)duration));
}

void onSmhd(Mp4Walk& w, ByteReader in, int)
{
    in.skip(4);
    const int16_t balance = int16_t(in.be16());
    put(w, in.ok() ? QString::asprintf(" balance=%d\r\n", balance) : QStringLiteral("\r\n"));
}

void walkChildren(Mp4Walk& w, ByteReader in, int depth)
{
    while (in.remaining() >= 8) {
        const uint64_t n = parseAtom(w, in, depth);
        if (n == 0 || !in.skip(size_t(n)))
            break;
    }
}

void onStsd(Mp4Walk& w, ByteReader in, int depth)
{
    w.blockCount = -1;
    // Full-box header, entry count, then the first sample entry: size, type, 6 reserved bytes, data
    // reference index, and the sound fields.
    if (in.size() < 44) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    const QByteArrayView type = in.viewAt(12, 4);
    const uint32_t entrySize = in.be32At(8);
    const uint16_t version = in.be16At(24);
    const uint16_t channels = in.be16At(32);
    const uint16_t sampleSize = in.be16At(34);
    const uint32_t rate = in.be32At(40);
    QString line;
    if (version != 0)
        line += QString::asprintf(" (v%u)", version);
    line += QStringLiteral(" ") + fourCc(type) +
            QString::asprintf(", %uch, %ubits, (%u.%03u Hz)\r\n", channels, sampleSize, rate >> 16,
                              unsigned((rate & 0xffff) * 1000ull / 65536));
    put(w, line);
    if (w.record && soundTrack(w)) {
        (*w.record)[RowCodec] = valueIn(w.buffer, type);
        (*w.record)[RowBitsPerSample].size = sampleSize;
    }
    // Sound descriptions of version 1 and 2 carry 16 and 36 more bytes before their child atoms.
    size_t childStart = 44 + (version == 1 ? 16 : version == 2 ? 36 : 0);
    size_t entryEnd = 8 + size_t(entrySize);
    if (entrySize < 8 || entryEnd > in.size())
        entryEnd = in.size();
    if (entryEnd > childStart + 8) {
        ByteReader children(in.data() + childStart, entryEnd - childStart);
        walkChildren(w, children, depth + 1);
    }
}

const char* const StreamTypeNames[16] = {"Forbidden", "ObjectDescr", "ClockRef", "SceneDescr", "Visual",
                                         "Audio", "MPEG7", "IPMP", "ObjectCInfo", "MPEGJ", "Interaction",
                                         "IPMPTool", "reservedISO", "reservedISO", "reservedISO", "reservedISO"};

const char* const AudioObjectTypeNames[32] = {
    "Null", "AAC main", "AAC LC", "AAC SSR", "AAC LTP", "(Reserved)", "AAC Scalable", "TwinVQ", "CELP", "HVXC",
    "(Reserved)", "(Reserved)", "TTSI", "Main synthetic", "Wavetable synthesis", "General MIDI",
    "Algorithmic Synthesis and Audio FX", "ER AAC LC", "(Reserved)", "ER AAC LTP", "ER AAC scalable",
    "ER TwinVQ", "ER BSAC", "ER AAC LD", "ER CELP", "ER HVXC", "ER HILN", "ER Parametric", "(Reserved)",
    "(Reserved)", "(Reserved)", "(Reserved)"};

const uint32_t SamplingFrequencies[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                          16000, 12000, 11025, 8000,  7350,  0,     0,     0};

struct EsInfo {
    uint16_t esId = 0;
    uint8_t esFlags = 0;
    uint8_t objectType = 0;
    uint8_t streamType = 0;
    uint8_t upStream = 0;
    uint32_t bufferSize = 0;
    uint32_t maxBitrate = 0;
    uint32_t avgBitrate = 0;
    uint8_t audioObjectType = 0;
    uint32_t frequency = 0;
    uint8_t channelConfig = 0;
    uint8_t frameLengthFlag = 0;
    uint8_t dependsOnCoreCoder = 0;
    uint8_t extensionFlag = 0;
    uint8_t slPredefined = 0;
    uint8_t slFlag1 = 0;
    uint8_t slFlag2 = 0;
};

// Reads bits most significant first from a bounded span; past its end it yields zeros.
struct BitCursor {
    const ByteReader& in;
    size_t bit = 0;
    uint32_t take(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++bit)
            v = v << 1 | ((in.at(bit / 8) >> (7 - bit % 8)) & 1);
        return v;
    }
};

void parseDescriptors(ByteReader in, EsInfo& es, int level)
{
    if (level > 4) // the chain is three deep in real files
        return;
    while (in.remaining() >= 2) {
        const uint8_t tag = in.u8();
        uint32_t length = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = in.u8();
            length = length << 7 | (b & 0x7f);
            if (!(b & 0x80))
                break;
        }
        ByteReader body = in.sub(length);
        switch (tag) {
        case 3:
            es.esId = body.be16();
            es.esFlags = body.u8();
            if (es.esFlags & 0x80) // depends-on ES id
                body.skip(2);
            if (es.esFlags & 0x40) // URL
                body.skip(body.u8());
            if (es.esFlags & 0x20) // OCR ES id
                body.skip(2);
            parseDescriptors(body.sub(body.remaining()), es, level + 1);
            break;
        case 4: {
            es.objectType = body.u8();
            const uint8_t b = body.u8();
            es.streamType = b >> 2;
            es.upStream = (b >> 1) & 1;
            es.bufferSize = body.be24();
            es.maxBitrate = body.be32();
            es.avgBitrate = body.be32();
            parseDescriptors(body.sub(body.remaining()), es, level + 1);
            break;
        }
        case 5: {
            BitCursor bits{body};
            es.audioObjectType = uint8_t(bits.take(5));
            const uint32_t index = bits.take(4);
            es.frequency = index == 15 ? bits.take(24) : SamplingFrequencies[index];
            es.channelConfig = uint8_t(bits.take(4));
            if (es.audioObjectType == 2) {
                es.frameLengthFlag = uint8_t(bits.take(1));
                es.dependsOnCoreCoder = uint8_t(bits.take(1));
                es.extensionFlag = uint8_t(bits.take(1));
            }
            break;
        }
        case 6: {
            es.slPredefined = body.u8();
            if (es.slPredefined == 0) {
                const uint8_t b = body.u8();
                es.slFlag1 = b >> 7;
                es.slFlag2 = (b >> 6) & 1;
            } else {
                es.slFlag1 = es.slPredefined == 2 ? 1 : 0;
                es.slFlag2 = 0;
            }
            break;
        }
        default:
            break;
        }
    }
}

QString objectTypeName(uint8_t t)
{
    switch (t) {
    case 0x40: return QStringLiteral("MPEG4 AAC");
    case 0x66: return QStringLiteral("MPEG2 AAC-Main");
    case 0x67: return QStringLiteral("MPEG2 AAC-LC");
    case 0x68: return QStringLiteral("MPEG2 AAC-SSR");
    default: return QString::asprintf("(%02X)", t);
    }
}

void onEsds(Mp4Walk& w, ByteReader in, int)
{
    EsInfo es;
    if (in.skip(4))
        parseDescriptors(in.sub(in.remaining()), es, 0);
    put(w, QString::asprintf(" %04X,%02X,", es.esId, es.esFlags) + objectTypeName(es.objectType) +
               QString::asprintf(",%s,%u,%ubyte,Max%ubps,Avg%ubps,%s,%uHz,%uch,%u,%u,%u,%u,%u,%u\r\n",
                                 StreamTypeNames[es.streamType & 15], es.upStream, es.bufferSize, es.maxBitrate,
                                 es.avgBitrate, AudioObjectTypeNames[es.audioObjectType & 31], es.frequency,
                                 es.channelConfig, es.frameLengthFlag, es.dependsOnCoreCoder, es.extensionFlag,
                                 es.slPredefined, es.slFlag1, es.slFlag2));
    if (w.record && soundTrack(w)) {
        (*w.record)[RowBitrate].size = es.avgBitrate;
        (*w.record)[RowBitrate].number = es.maxBitrate;
    }
}

void onAlac(Mp4Walk& w, ByteReader in, int)
{
    // Full-box header, then the decoder's config: frame length, version, bit depth, ... sample rate.
    if (in.size() < 28) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    const uint8_t bits = in.at(9);
    put(w, QString::asprintf(" %u bits, %u Hz\r\n", bits, in.be32At(24)));
    if (w.record && soundTrack(w)) {
        (*w.record)[RowBitrate] = TagValue{}; // the list computes it from the data size
        // The sample entry says 16 whatever the depth; the decoder's config has the true one.
        if (bits)
            (*w.record)[RowBitsPerSample].size = bits;
    }
}

void onStts(Mp4Walk& w, ByteReader in, int)
{
    in.skip(4);
    const uint32_t count = in.be32();
    const size_t n = std::min<size_t>(count, in.remaining() / 8);
    QString line;
    uint64_t blocks = 0;
    uint64_t samples = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = in.be32();
        const uint32_t d = in.be32();
        if (w.dump)
            line += QString::asprintf(i ? " + %u(blk)*%u(S/blk)" : " %u(blk)*%u(S/blk)", c, d);
        blocks += c;
        samples += uint64_t(c) * d;
    }
    line += QString::asprintf("=%lluSamples", (unsigned long long)samples);
    checkBlockCount(w, int64_t(std::min<uint64_t>(blocks, uint64_t(std::numeric_limits<int64_t>::max()))), line);
    put(w, line + QStringLiteral("\r\n"));
}

void onStsz(Mp4Walk& w, ByteReader in, int)
{
    in.skip(4);
    const uint32_t sampleSize = in.be32();
    const uint32_t count = in.be32();
    uint64_t total = 0;
    if (sampleSize != 0) {
        total = uint64_t(sampleSize) * count; // one size for all: the table is absent
    } else if (w.dump) {
        // Only the dump shows the sum. A four-minute track has some ten thousand entries, and
        // adding them up would otherwise be most of the time a compare spends on an MP4 file.
        const size_t n = std::min<size_t>(count, in.remaining() / 4);
        for (size_t i = 0; i < n; ++i)
            total += in.be32();
    }
    QString line = QString::asprintf(" %ublks,total=%llubytes", count, (unsigned long long)total);
    checkBlockCount(w, count, line);
    put(w, line + QStringLiteral("\r\n"));
}

void onStsc(Mp4Walk& w, ByteReader in, int)
{
    in.skip(4);
    const uint32_t count = in.be32();
    const size_t n = std::min<size_t>(count, in.remaining() / 12);
    QString line = QStringLiteral(" ");
    int64_t used = 0;
    uint32_t prevFirst = 0;
    uint32_t prevPerChunk = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t first = in.be32();
        const uint32_t perChunk = in.be32();
        in.skip(4);
        if (i > 0) {
            const int64_t chunks = int64_t(first) - int64_t(prevFirst);
            line += QString::asprintf("%u*%lld+", prevPerChunk, (long long)chunks);
            used = saturatingMulAdd(used, prevPerChunk, chunks);
        }
        prevFirst = first;
        prevPerChunk = perChunk;
    }
    if (n > 0) {
        int64_t chunks = 1;
        bool uneven = true;
        if (w.blockCount >= 0 && prevPerChunk != 0 && used >= 0 && used <= w.blockCount) {
            const int64_t rest = w.blockCount - used;
            chunks = rest / prevPerChunk;
            uneven = rest % prevPerChunk != 0;
        }
        line += QString::asprintf("%u*%lld%s=%lldblks", prevPerChunk, (long long)chunks, uneven ? "?" : "",
                                  (long long)saturatingMulAdd(used, prevPerChunk, chunks));
    }
    put(w, line + QStringLiteral("\r\n"));
}

void onStco(Mp4Walk& w, ByteReader in, int)
{
    in.skip(4);
    const uint32_t count = in.be32();
    QString line = QString::asprintf(" %uchunks,", count);
    for (uint32_t i = 0; i < count && i < 2 && in.remaining() >= 4; ++i)
        line += QString::asprintf(" %08X", in.be32());
    if (count > 2)
        line += QStringLiteral(" ....");
    put(w, line + QStringLiteral("\r\n"));
}

void onData(Mp4Walk& w, ByteReader in, int depth)
{
    if (in.size() < 8) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    const uint32_t type = in.be32();
    const uint32_t locale = in.be32();
    const QByteArrayView value = in.take(in.remaining());
    if (w.dump) {
        QString line = QString::asprintf(" (%u,%X) ", type, locale);
        switch (type) {
        case 0:
            for (const char c : value)
                line += QString::asprintf(" %02X", uint8_t(c));
            break;
        case 1:
            line += u'\'' + utf8Text(value, 2047) + u'\'';
            break;
        case 13:
            line += QString::asprintf("JPEG %lld bytes", (long long)value.size());
            break;
        case 14:
            line += QString::asprintf("PNG %lld bytes", (long long)value.size());
            break;
        case 21: {
            int32_t n = 0;
            if (value.size() >= 1 && value.size() <= 4) {
                uint32_t u = 0;
                for (const char c : value)
                    u = u << 8 | uint8_t(c);
                const int shift = int(32 - 8 * value.size());
                n = int32_t(u << shift) >> shift;
            }
            line += QString::asprintf(" (int%lldBE) %d", (long long)value.size() * 8, n);
            break;
        }
        default:
            break;
        }
        put(w, line + QStringLiteral("\r\n"));
    }
    if (!w.record || depth < 2 || !pathIs(w, depth - 2, "ilst"))
        return;
    const std::array<char, 4>& item = w.path[size_t(depth - 1)];
    const TagValue v = valueIn(w.buffer, in.view());
    for (int row = 0; row < TagFieldRowCount; ++row) {
        const char* atom = TagFieldTable[size_t(row)].mp4Atom;
        if (std::strlen(atom) == 4 && isType(item, atom))
            (*w.record)[size_t(row)] = v;
    }
    if (isType(item, "gnre"))
        (*w.record)[RowGenre] = v;
    if (isType(item, "----") && w.freeformName == "CDTOC")
        (*w.record)[RowCdIdentifier] = v;
}

void onText3gpp(Mp4Walk& w, ByteReader in, int)
{
    in.skip(4);
    const uint16_t language = in.be16();
    if (!in.ok()) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    const QByteArrayView text = in.take(in.remaining());
    QString s;
    if (text.size() >= 2 && uint8_t(text[0]) == 0xFE && uint8_t(text[1]) == 0xFF)
        s = fromUtf16Bytes(text.sliced(2), true);
    else
        s = utf8Text(text, 2047);
    put(w, QStringLiteral(" <") + packedLanguage(language) + QStringLiteral("> '") + s + QStringLiteral("'\r\n"));
}

void onYrrc(Mp4Walk& w, ByteReader in, int)
{
    in.skip(4);
    const uint16_t year = in.be16();
    put(w, in.ok() ? QString::asprintf(" %u\r\n", year) : QStringLiteral("\r\n"));
}

void onMeanOrName(Mp4Walk& w, ByteReader in, int depth)
{
    const uint8_t version = in.u8();
    const uint32_t flags = in.be24();
    if (!in.ok()) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    const QByteArrayView text = in.take(in.remaining());
    put(w, QString::asprintf(" (%u,%X) '", version, flags) + utf8Text(text, 2047) + QStringLiteral("'\r\n"));
    if (pathIs(w, depth, "name"))
        w.freeformName = text.first(std::min<qsizetype>(6, text.size())).toByteArray();
}

constexpr Mp4AtomEntry AtomTable[] = {
    {"ftyp", Mp4Decoded, onFtyp},
    {"moov", Mp4Container, nullptr},
    {"trak", Mp4Container, nullptr},
    {"mdia", Mp4Container, nullptr},
    {"minf", Mp4Container, nullptr},
    {"dinf", Mp4Container, nullptr},
    {"stbl", Mp4Container, nullptr},
    {"udta", Mp4Container, nullptr},
    {"meta", Mp4Container, nullptr},
    {"ilst", Mp4Container, nullptr},
    {"mvhd", Mp4Decoded, onMvhd},
    {"hdlr", Mp4Decoded, onHdlr},
    {"tkhd", Mp4Decoded, onTkhd},
    {"mdhd", Mp4Decoded, onMdhd},
    {"smhd", Mp4Decoded, onSmhd},
    {"stsd", Mp4Decoded, onStsd},
    {"esds", Mp4Decoded, onEsds},
    {"alac", Mp4Decoded, onAlac},
    {"stts", Mp4Decoded, onStts},
    {"stsz", Mp4Decoded, onStsz},
    {"stsc", Mp4Decoded, onStsc},
    {"stco", Mp4Decoded, onStco},
    {"data", Mp4Decoded, onData},
    {"titl", Mp4Decoded, onText3gpp},
    {"perf", Mp4Decoded, onText3gpp},
    {"albm", Mp4Decoded, onText3gpp},
    {"dscp", Mp4Decoded, onText3gpp},
    {"gnre", Mp4ItemOrText, onText3gpp},
    {"yrrc", Mp4Decoded, onYrrc},
    {"mean", Mp4Decoded, onMeanOrName},
    {"name", Mp4Decoded, onMeanOrName},
    {"trkn", Mp4Container, nullptr},
    {"disk", Mp4Container, nullptr},
    {"covr", Mp4Container, nullptr},
    {"aART", Mp4Container, nullptr},
    {"\xA9nam", Mp4Container, nullptr},
    {"\xA9" "cpy", Mp4Container, nullptr},
    {"\xA9" "alb", Mp4Container, nullptr},
    {"\xA9gen", Mp4Container, nullptr},
    {"\xA9" "ART", Mp4Container, nullptr},
    {"\xA9" "day", Mp4Container, nullptr},
    {"\xA9" "cmt", Mp4Container, nullptr},
    {"\xA9too", Mp4Container, nullptr},
    {"\xA9wrt", Mp4Container, nullptr},
    {"----", Mp4Container, nullptr},
    {"sonm", Mp4Container, nullptr},
    {"soar", Mp4Container, nullptr},
    {"soal", Mp4Container, nullptr},
    {"soaa", Mp4Container, nullptr},
    {"cpil", Mp4Container, nullptr},
    {"pgap", Mp4Container, nullptr},
    {"tmpo", Mp4Container, nullptr},
};

const Mp4AtomEntry* findAtom(const std::array<char, 4>& type)
{
    for (const Mp4AtomEntry& e : AtomTable)
        if (isType(type, e.type))
            return &e;
    return nullptr;
}

// Parses one atom whose bytes, possibly cut short by its parent or the file, are exactly atom.
void parseAtomBytes(Mp4Walk& w, ByteReader atom, size_t headerSize, int depth)
{
    std::array<char, 4> type{};
    std::memcpy(type.data(), atom.data() + 4, 4);
    const size_t payloadSize = atom.size() - headerSize;
    ByteReader payload(atom.data() + headerSize, payloadSize);
    if (w.dump)
        w.dump->append(QString(2 * depth, u' ') + u'\'' + fourCc(QByteArrayView(type.data(), 4)) +
                       QString::asprintf("' %llu:", (unsigned long long)payloadSize));
    if (depth >= Mp4MaxDepth) {
        put(w, QStringLiteral("\r\n"));
        return;
    }
    w.path[size_t(depth)] = type;
    const Mp4AtomEntry* entry = findAtom(type);
    Mp4AtomKind kind = entry ? entry->kind : Mp4Leaf;
    if (kind == Mp4ItemOrText)
        kind = pathIs(w, depth - 1, "ilst") ? Mp4Container : Mp4Decoded;
    if (kind == Mp4Container) {
        put(w, QStringLiteral("\r\n"));
        const bool media = isType(type, "mdia");
        if (media) {
            w.handlerType.clear();
            w.haveMediaTimes = false;
        }
        if (isType(type, "----"))
            w.freeformName.clear();
        walkChildren(w, payload, depth + 1);
        if (media && w.haveMediaTimes && w.record && soundTrack(w)) {
            TagValue& rate = (*w.record)[RowSampleRate];
            TagValue& duration = (*w.record)[RowDuration];
            rate.size = std::max(rate.size, w.mediaTimeScale);
            duration.size = std::max(duration.size, w.mediaDuration);
        }
        return;
    }
    if (entry && entry->handler)
        entry->handler(w, payload, depth);
    else
        put(w, QStringLiteral("\r\n"));
}

} // namespace

const std::span<const Mp4AtomEntry> Mp4AtomTable(AtomTable);

uint64_t parseAtom(Mp4Walk& walk, const ByteReader& parent, int depth)
{
    const size_t start = parent.pos();
    const size_t left = parent.remaining();
    if (left < 8)
        return 0;
    uint64_t size = parent.be32At(start);
    if (size == 0)
        return 4;
    size_t header = 8;
    if (size == 1) {
        if (left < 16)
            return 0;
        size = uint64_t(parent.be32At(start + 8)) << 32 | parent.be32At(start + 12);
        header = 16;
    }
    if (size < header) // cannot even hold its own header: nothing after it can be trusted
        return 0;
    if (size > left)
        size = left; // a truncated atom is read as far as its parent goes
    parseAtomBytes(walk, ByteReader(parent.data() + start, size_t(size)), header, depth);
    return size;
}

int readMp4Device(QString* dump, QIODevice& device, const QString& displayPath, ContainerTags* out)
{
    const qint64 length = device.size();
    if (dump)
        dump->append(displayPath + QString::asprintf(" %lld bytes\r\n", (long long)length));
    TagRecord record{};
    QByteArray moov;
    uint64_t mediaSize = 0;
    bool mp4Atom = false;
    qint64 pos = 0;
    while (pos < length && device.seek(pos)) {
        QByteArray head = device.read(8);
        if (head.size() < 8)
            break;
        ByteReader h(head);
        uint64_t size = h.be32();
        const QByteArrayView typeBytes = h.take(4);
        std::array<char, 4> type{};
        std::memcpy(type.data(), typeBytes.data(), 4);
        size_t header = 8;
        if (size == 1) {
            const QByteArray wide = device.read(8);
            if (wide.size() < 8)
                break;
            size = ByteReader(wide).be64();
            head += wide;
            header = 16;
        } else if (size == 0) {
            size = uint64_t(length - pos); // runs to the end of the file
        }
        if (size < header)
            break;
        mp4Atom = mp4Atom || isType(type, "ftyp") || isType(type, "moov") || isType(type, "mdat");
        const uint64_t available = std::min<uint64_t>(size, uint64_t(length - pos));
        if (isType(type, "mdat")) {
            const uint64_t payload = available - header;
            if (dump)
                dump->append(QString::asprintf("'mdat' %llu:\r\n", (unsigned long long)payload));
            mediaSize = payload;
        } else {
            const Mp4AtomEntry* entry = findAtom(type);
            const bool isMoov = isType(type, "moov");
            // Atoms the walk does not know are only listed: no need to read their bytes.
            if (dump && !entry)
                dump->append(u'\'' + fourCc(typeBytes) + QString::asprintf("' %llu:\r\n",
                                                                           (unsigned long long)(available - header)));
            else if (dump || isMoov) {
                if (!device.seek(pos))
                    break;
                QByteArray bytes = device.read(qint64(available));
                if (size_t(bytes.size()) >= header) {
                    Mp4Walk walk;
                    walk.dump = dump;
                    walk.buffer = bytes;
                    TagRecord fresh{};
                    // Only the last moov is kept; each starts from an empty record so that no
                    // value of an earlier one is left over.
                    walk.record = isMoov && out ? &fresh : nullptr;
                    parseAtomBytes(walk, ByteReader(bytes), header, 0);
                    if (isMoov) {
                        record = fresh;
                        moov = std::move(bytes);
                    }
                }
            }
        }
        pos += qint64(available);
    }
    if (out) {
        record[RowDataSize].size = clampTo32(mediaSize);
        out->record = record;
        out->buffer = std::move(moov);
        out->header = TagHeader{KindMp4, 0, 0};
        out->audioOffset = -1;
        out->audioSize = qint64(mediaSize);
    }
    return mp4Atom ? Mp4Ok : Mp4NoAtoms;
}

int readMp4File(QString* dump, const QString& path, ContainerTags* out)
{
    QFile file;
    if (!openForReading(file, path, true))
        return Mp4CannotOpen;
    return readMp4Device(dump, file, path, out);
}

} // namespace vn
