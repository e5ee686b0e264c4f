#include "media/cue_sheet.h"

#include "util/file_name.h"
#include "util/byte_reader.h"
#include "util/numbers.h"
#include "util/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace vn {

QList<QByteArrayView> cueTokens(QByteArrayView line)
{
    QList<QByteArrayView> out;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const qsizetype start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            out += line.sliced(start, i - start);
    }
    return out;
}

namespace {

bool keywordIs(QByteArrayView token, const char* keyword)
{
    return token.size() == qsizetype(qstrlen(keyword)) && qstrnicmp(token.data(), token.size(), keyword, -1) == 0;
}

// Decimal with leading zeros, stopping at the first non-digit; bounded so that sector arithmetic on
// it cannot overflow.
int64_t number(QByteArrayView text)
{
    return std::clamp<int64_t>(leadingInteger(text), -(int64_t(1) << 40), int64_t(1) << 40);
}

// MM:SS:FF in sectors; missing parts are 0.
int64_t cueTime(QByteArrayView text)
{
    int64_t part[3] = {0, 0, 0};
    int k = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size() && k < 3; ++i) {
        if (i == text.size() || text[i] == ':') {
            part[k++] = number(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    return (part[0] * 60 + part[1]) * 75 + part[2];
}

uint32_t clampU32(int64_t v)
{
    return uint32_t(std::clamp<int64_t>(v, 0, std::numeric_limits<uint32_t>::max()));
}

// The text between the first two double quotes after the keyword (to the line's end when the
// second is missing), or, without any quote, the next token.
QByteArrayView quotedOrToken(QByteArrayView rest, bool* hadQuote = nullptr)
{
    const qsizetype open = rest.indexOf('"');
    if (hadQuote)
        *hadQuote = open >= 0;
    if (open >= 0) {
        const QByteArrayView after = rest.sliced(open + 1);
        const qsizetype close = after.indexOf('"');
        return close >= 0 ? after.first(close) : after;
    }
    const auto t = cueTokens(rest);
    return t.isEmpty() ? QByteArrayView() : t.first();
}

struct ParseResult {
    int error = 0;
    QByteArray fileName; // the last accepted FILE line's name
    int trackCount = 0;  // highest track number with an INDEX 01
    std::array<int64_t, CueTrackLimit + 1> starts{}; // sectors
    bool dataTrack = false;
    bool utf8Mark = false;
    struct Text {
        bool title;
        int entry;
        QByteArray value;
    };
    std::vector<Text> texts;
};

ParseResult parseLines(const QByteArray& content, int trackLimit)
{
    ParseResult r;
    QByteArrayView all(content);
    if (all.startsWith("\xEF\xBB\xBF")) {
        r.utf8Mark = true;
        all = all.sliced(3);
    }
    int current = 0;
    bool inAudio = false;
    bool inData = false;
    // Data tracks are left out, as a player leaves them out: the audio before a data track ends at
    // its first index (its pregap, or its start without one), its texts are nobody's, and audio
    // tracks after leading data tracks (a mixed-mode disc) are counted from 1.
    bool dataEndsAudio = false;
    bool seenAudio = false;
    int leadingData = 0;
    int skipped = 0;
    qsizetype start = 0;
    while (start < all.size()) {
        // A line ends at a line feed, a carriage return and line feed, or a carriage return alone
        // (old Mac editors); the empty line between CR and LF is skipped like any other.
        qsizetype end = start;
        while (end < all.size() && all[end] != '\n' && all[end] != '\r')
            ++end;
        QByteArrayView line = all.sliced(start, end - start);
        start = end + 1;
        if (const qsizetype nul = line.indexOf('\0'); nul >= 0)
            line = line.first(nul); // the line's text ends there, as it always has
        const auto t = cueTokens(line);
        if (t.isEmpty())
            continue;
        // Everything after the keyword, for the quoted values.
        const QByteArrayView rest = line.sliced(t[0].data() - line.data() + t[0].size());
        if (keywordIs(t[0], "FILE")) {
            bool quoted = false;
            const QByteArrayView name = quotedOrToken(rest, &quoted);
            QByteArrayView afterName = quoted ? rest.sliced(rest.indexOf('"') + 1) : QByteArrayView();
            if (quoted) {
                const qsizetype close = afterName.indexOf('"');
                afterName = close >= 0 ? afterName.sliced(close + 1) : QByteArrayView();
            } else if (t.size() > 2) {
                afterName = t[2];
            }
            const auto typeTokens = cueTokens(afterName);
            if (!typeTokens.isEmpty() && (keywordIs(typeTokens[0], "BINARY") || keywordIs(typeTokens[0], "WAVE")))
                r.fileName = name.first(std::min<qsizetype>(name.size(), 1023)).toByteArray();
        } else if (keywordIs(t[0], "TRACK") && t.size() >= 3) {
            if (keywordIs(t[2], "AUDIO")) {
                const int64_t nn = number(t[1]);
                if (nn < 1 || nn + 1 > trackLimit) {
                    r.error = CueBadTrackNumber;
                    return r;
                }
                if (!seenAudio)
                    skipped = int(std::min<int64_t>(leadingData, nn - 1));
                // A number at or below the leading data tracks once audio has begun names no track.
                if (nn - skipped < 1) {
                    r.error = CueBadTrackNumber;
                    return r;
                }
                seenAudio = true;
                current = int(nn) - skipped;
                inAudio = true;
                inData = false;
            } else {
                dataEndsAudio = inAudio;
                if (!seenAudio)
                    ++leadingData;
                inAudio = false;
                inData = true;
                r.dataTrack = true;
            }
        } else if (keywordIs(t[0], "INDEX") && t.size() >= 3) {
            const int64_t index = number(t[1]);
            const int64_t position = cueTime(t[2]);
            if (inAudio) {
                if (index == 1 && current > 0) {
                    r.starts[size_t(current - 1)] = position;
                    r.trackCount = std::max(r.trackCount, current);
                }
            } else if (dataEndsAudio && (index == 0 || index == 1)) {
                r.starts[size_t(r.trackCount)] = position;
                dataEndsAudio = false;
            }
        } else if (keywordIs(t[0], "TITLE") || keywordIs(t[0], "PERFORMER")) {
            if (inData || (rest.indexOf('"') < 0 && t.size() < 2))
                continue;
            r.texts.push_back({keywordIs(t[0], "TITLE"), current, quotedOrToken(rest).toByteArray()});
        }
    }
    return r;
}

// The image named by the sheet. Sheets written elsewhere use backslashes and may differ from the
// file system in letter case; a relative name is taken from the sheet's own folder.
QString imagePathFor(const QString& cuePath, const QString& name)
{
    QString fixed = name;
    fixed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QDir cueDir = QFileInfo(cuePath).absoluteDir();
    const QString path = QDir::isAbsolutePath(fixed) ? QDir::cleanPath(fixed) : QDir::cleanPath(cueDir.filePath(fixed));
    if (QFileInfo::exists(path))
        return path;
    const QFileInfo info(path);
    const QStringList near = info.dir().entryList(QDir::Files);
    for (const QString& candidate : near) {
        if (candidate.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return info.dir().filePath(candidate);
    }
    return path;
}

// What the message about a refused sheet adds: the file concerned and the cause.
QString fileProblem(const QString& path, const QString& cause)
{
    return QDir::toNativeSeparators(displayPath(path)) + QStringLiteral(": ") +
           (cause.isEmpty() ? QStringLiteral("cannot be read") : cause);
}

// A sheet whose track starts do not increase: most often an image that ends before the sheet's
// tracks do.
QString startsProblem(const CueSheet& sheet, const std::array<uint32_t, CueTrackLimit>& starts, int n, qint64 imageSize)
{
    if (imageSize <= sheet.dataOffset)
        return fileProblem(sheet.imagePath, imageSize == 0 ? QStringLiteral("the image file is empty")
                                                           : QStringLiteral("the image file holds no audio"));
    for (int k = 0; k < n; ++k) {
        if (starts[size_t(k)] < starts[size_t(k + 1)])
            continue;
        if (k + 1 == n)
            return fileProblem(sheet.imagePath,
                               QStringLiteral("the image file is too short: its audio ends at byte %1, track %2 starts at byte %3")
                                   .arg(qint64(starts[size_t(n)]) * 4 + sheet.dataOffset)
                                   .arg(n)
                                   .arg(qint64(starts[size_t(n - 1)]) * 4 + sheet.dataOffset));
        return fileProblem(sheet.cuePath, QStringLiteral("track %1 does not start after track %2").arg(k + 2).arg(k + 1));
    }
    return {};
}

// Sheets are a few kilobytes; anything this large is some other file under a .cue name.
constexpr qint64 MaxCueSheetBytes = qint64(16) << 20;

bool readWhole(const QString& path, QByteArray& content)
{
    QFile f;
    if (!openForReading(f, path) || f.size() > MaxCueSheetBytes)
        return false;
    content = f.readAll();
    return true;
}

} // namespace

QString cueImagePath(const QString& cuePath, const QString& name)
{
    return imagePathFor(cuePath, name);
}

QByteArray canonicalWavHeader(uint16_t channels, uint32_t rate, uint16_t bits)
{
    QByteArray h(44, '\0');
    auto put16 = [&](int at, uint16_t v) {
        h[at] = char(v & 0xff);
        h[at + 1] = char(v >> 8);
    };
    auto put32 = [&](int at, uint32_t v) {
        put16(at, uint16_t(v & 0xffff));
        put16(at + 2, uint16_t(v >> 16));
    };
    h.replace(0, 4, "RIFF");
    h.replace(8, 8, "WAVEfmt ");
    put32(16, 16);
    put16(20, 1);
    put16(22, channels);
    put32(24, rate);
    put32(28, rate * channels * bits / 8);
    put16(32, uint16_t(channels * bits / 8));
    put16(34, bits);
    h.replace(36, 4, "data");
    return h;
}

uint16_t CueSheet::formatTag() const { return ByteReader(wavHeader).le16At(20); }
uint16_t CueSheet::channels() const { return ByteReader(wavHeader).le16At(22); }
uint32_t CueSheet::sampleRate() const { return ByteReader(wavHeader).le32At(24); }
uint32_t CueSheet::byteRate() const { return ByteReader(wavHeader).le32At(28); }
uint16_t CueSheet::blockAlign() const { return ByteReader(wavHeader).le16At(32); }
uint16_t CueSheet::bitsPerSample() const { return ByteReader(wavHeader).le16At(34); }

int parseCueSheet(const QString& cuePath, int trackLimit, int codePage, CueSheet& sheet)
{
    sheet = CueSheet{};
    sheet.cuePath = cuePath;
    QByteArray content;
    if (!readWhole(cuePath, content)) {
        const QString problem = readProblem(cuePath);
        sheet.problem = fileProblem(cuePath, problem.isEmpty() ? QStringLiteral("larger than 16 MB: not a cue sheet") : problem);
        return CueCannotOpen;
    }
    ParseResult r = parseLines(content, std::min(trackLimit, CueTrackLimit));
    if (r.error) {
        sheet.problem = fileProblem(cuePath, QStringLiteral("a TRACK ... AUDIO line has a number outside 1 to %1")
                                                 .arg(std::min(trackLimit, CueTrackLimit) - 1));
        return r.error;
    }
    if (r.fileName.isEmpty()) {
        sheet.problem = fileProblem(cuePath, QStringLiteral("no FILE line of type BINARY or WAVE"));
        return CueNoImageFile;
    }
    const int cp = r.utf8Mark ? CpUtf8 : codePage;
    sheet.imagePath = imagePathFor(cuePath, decodeText(r.fileName, cp).left(259));
    sheet.dataOffset = sheet.imagePath.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive) ? 44 : 0;
    const QFileInfo image(sheet.imagePath);
    if (!image.isFile()) {
        sheet.problem = fileProblem(sheet.imagePath, readProblem(sheet.imagePath));
        return CueImageMissing;
    }
    const int n = r.trackCount;
    if (n == 0) {
        sheet.problem = fileProblem(cuePath, QStringLiteral("no audio track with an INDEX 01"));
        return 0;
    }
    std::array<uint32_t, CueTrackLimit> starts{};
    for (int k = 0; k <= n && k < CueTrackLimit; ++k)
        starts[size_t(k)] = clampU32(r.starts[size_t(k)] * FramesPerSector);
    if (starts[size_t(n)] == 0)
        starts[size_t(n)] = clampU32((image.size() - sheet.dataOffset) / 4);
    for (int k = 0; k < n; ++k) {
        if (starts[size_t(k)] >= starts[size_t(k + 1)]) {
            sheet.problem = startsProblem(sheet, starts, n, image.size());
            return CueStartsNotIncreasing;
        }
    }
    sheet.trackCount = n;
    sheet.trackStarts = starts;
    for (const auto& text : r.texts) {
        auto& entries = text.title ? sheet.titles : sheet.performers;
        entries[size_t(text.entry)] = decodeText(text.value, cp);
    }
    if (sheet.dataOffset == 44) {
        QFile f;
        if (openForReading(f, sheet.imagePath))
            sheet.wavHeader = f.read(44);
        sheet.wavHeader.resize(44, '\0');
    } else {
        sheet.wavHeader = canonicalWavHeader(2, 44100, 16);
    }
    sheet.discToc = QByteArray::number(n, 16).toUpper();
    for (int k = 0; k <= n; ++k)
        sheet.discToc += '+' + QByteArray::number(starts[size_t(k)] / FramesPerSector + 150, 16).toUpper();
    return n;
}

int parseCueForMatch(CueImageEntry& entry, std::vector<uint32_t>& sectors)
{
    QByteArray content;
    if (!readWhole(entry.cuePath, content))
        return CueCannotOpen;
    ParseResult r = parseLines(content, CueMatchTrackLimit);
    entry.dataTrack = r.dataTrack ? 1 : 0;
    if (r.error)
        return r.error;
    if (r.fileName.isEmpty())
        return CueNoImageFile;
    const QString imagePath =
        imagePathFor(entry.cuePath, decodeText(r.fileName, r.utf8Mark ? CpUtf8 : CpAnsi).left(259));
    const int dataOffset = imagePath.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive) ? 44 : 0;
    const QFileInfo image(imagePath);
    if (!image.isFile())
        return CueImageMissing;
    const int n = r.trackCount;
    std::vector<uint32_t> starts(size_t(n) + 1);
    for (int k = 0; k <= n; ++k)
        starts[size_t(k)] = clampU32(r.starts[size_t(k)]);
    if (starts[size_t(n)] == 0)
        starts[size_t(n)] = clampU32((image.size() - dataOffset) / 2352);
    for (int k = 0; k < n; ++k) {
        if (starts[size_t(k)] >= starts[size_t(k + 1)])
            return CueStartsNotIncreasing;
    }
    entry.imagePath = imagePath;
    entry.endSector = starts[size_t(n)];
    entry.totalSamples = clampU32(int64_t(entry.endSector) * FramesPerSector);
    entry.trackCount = uint32_t(n);
    entry.firstIndex = uint32_t(sectors.size());
    sectors.insert(sectors.end(), starts.begin(), starts.end());
    return 0;
}

int findCueSheets(const QString& folder, std::vector<CueImageEntry>& entries, std::vector<uint32_t>& sectors)
{
    QDir dir(folder);
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    for (const QString& name : names) {
        if (!name.endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive))
            continue;
        CueImageEntry entry;
        entry.cuePath = dir.filePath(name);
        if (parseCueForMatch(entry, sectors) == 0)
            entries.push_back(std::move(entry));
    }
    return int(entries.size());
}

} // namespace vn
