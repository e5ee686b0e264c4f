#include "batch/match_list.h"

#include "media/cue_sheet.h"
#include "media/folder_scan.h"
#include "util/file_name.h"
#include "util/numbers.h"
#include "util/text_codec.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <optional>

namespace vn {

namespace {

// A track number the list can name: 0 to 99.
constexpr uint32_t TrackNumberLimit = 100;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The digits at pos, as a number; pos moves past them. Nothing when there is no digit.
std::optional<uint32_t> takeNumber(QByteArrayView text, qsizetype& pos)
{
    const qsizetype start = pos;
    while (pos < text.size() && isDigit(text[pos]))
        ++pos;
    if (pos == start)
        return std::nullopt;
    return toULong(text.sliced(start, pos - start));
}

// The text between the first two double quotes (to the end when the second is missing); empty when
// the line has none.
QByteArrayView quoted(QByteArrayView line)
{
    const qsizetype open = line.indexOf('"');
    if (open < 0)
        return {};
    const QByteArrayView after = line.sliced(open + 1);
    const qsizetype close = after.indexOf('"');
    return close >= 0 ? after.first(close) : after;
}

// The lines of a text file read in text mode: split at line feeds, a carriage return before the
// line feed dropped, a last line feed ending the last line rather than starting an empty one. A
// line's text ends at a NUL.
std::vector<QByteArrayView> textLines(QByteArrayView text)
{
    std::vector<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (const qsizetype nul = line.indexOf('\0'); nul >= 0)
            line = line.first(nul);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool keywordIs(QByteArrayView token, const char* keyword)
{
    return token.size() == qsizetype(qstrlen(keyword)) && qstrnicmp(token.data(), token.size(), keyword, -1) == 0;
}

struct Candidate {
    QByteArrayView line;
    std::optional<QByteArrayView> trackList;
};

struct Block {
    bool hasA = false;
    QByteArrayView aLine;
    std::vector<Candidate> candidates;
};

// What the cue sheet declares, as the run's parser will read it: its images and its audio tracks.
struct CueFacts {
    bool fileLine = false;
    QStringList missingImages;
    std::array<bool, TrackNumberLimit> declared{};
    uint64_t badTracks = 0; // numbers out of range or declared twice
};

CueFacts scanCueSheet(const QString& cuePath, const QByteArray& content)
{
    CueFacts facts;
    for (const QByteArrayView line : textLines(content)) {
        const QList<QByteArrayView> t = cueTokens(line);
        if (t.isEmpty())
            continue;
        if (keywordIs(t[0], "FILE")) {
            facts.fileLine = true;
            const QByteArrayView rest = line.sliced(t[0].data() + t[0].size() - line.data());
            // A quoted name, or without quotes the next token, as the parser takes it.
            const QByteArrayView name = rest.indexOf('"') >= 0 ? quoted(rest) : t.size() > 1 ? t[1] : QByteArrayView();
            // The image is looked up where the run's parser will look: a name with a folder part,
            // absolute or relative to the sheet's folder, as it stands.
            const QString image = cueImagePath(cuePath, decodeText(name, CpUtf8));
            if (name.isEmpty() || !isRegularFile(image))
                facts.missingImages << image;
        } else if (keywordIs(t[0], "TRACK") && t.size() >= 3 && !t[1].isEmpty() && isDigit(t[1][0]) &&
                   keywordIs(t[2], "AUDIO")) {
            const uint32_t n = toULong(t[1]);
            // Track 0 would end the parse at run time, as a number of 100 or more does.
            if (n == 0 || n >= TrackNumberLimit || facts.declared[n])
                ++facts.badTracks;
            else
                facts.declared[n] = true;
        }
    }
    return facts;
}

class Checker {
public:
    Checker(const QString& extension, BatchList& list, QString& text) : ext_(extension), list_(list), text_(text) {}

    void error(const QString& message)
    {
        text_ += message;
        ++count_;
    }
    unsigned count() const { return count_; }

    void check(unsigned lineNo, const Block& block);

private:
    QString line(unsigned lineNo) const { return QStringLiteral("Error in line %1. ").arg(lineNo); }

    const QString& ext_;
    BatchList& list_;
    QString& text_;
    unsigned count_ = 0;
};

void Checker::check(unsigned lineNo, const Block& block)
{
    const QString at = line(lineNo);
    if (!block.hasA) {
        error(at + QStringLiteral("No %1 folder.\r\n").arg(ext_));
        return;
    }
    if (block.candidates.empty()) {
        error(at + QStringLiteral("No Cue sheet.\r\n"));
        return;
    }
    const Candidate* chosen = nullptr;
    if (block.candidates.size() == 1) {
        chosen = &block.candidates.front();
    } else {
        for (const Candidate& c : block.candidates) {
            if (c.line.contains('$')) {
                chosen = &c;
                break;
            }
        }
        if (!chosen) {
            error(at + QStringLiteral("Multiple(%1) Cue sheets. Select ONE.\r\n").arg(block.candidates.size()));
            return;
        }
    }
    const unsigned before = count_;

    // The A folder and the track numbers of its files.
    const QString folder = pathFromBytes(quoted(block.aLine));
    std::array<uint16_t, TrackNumberLimit> fileOfTrack{};
    bool folderOk = false;
    if (folder.isEmpty() || !isDirectory(folder)) {
        error(at + QStringLiteral("%1 folder \"%2\" not found.\r\n").arg(ext_, folder));
    } else {
        const QStringList names = listFolderAudio(folder, QStringList{ext_});
        if (names.isEmpty()) {
            error(at + QStringLiteral("No %1 file in folder \"%2\".\r\n").arg(ext_, folder));
        } else {
            folderOk = true;
            for (qsizetype i = 0; i < names.size() && i < 0xFFFF; ++i) {
                const int n = fileTrackNumber(names[i]);
                if (n >= 0 && n < int(TrackNumberLimit) && fileOfTrack[size_t(n)] == 0)
                    fileOfTrack[size_t(n)] = uint16_t(i + 1);
            }
        }
    }

    // The cue sheet and what it declares.
    const QString cuePath = pathFromBytes(quoted(chosen->line));
    std::optional<CueFacts> cue;
    QFile cueFile;
    if (cuePath.isEmpty() || !isRegularFile(cuePath) || !openForReading(cueFile, cuePath)) {
        error(at + QStringLiteral("CUE sheet file \"%1\" not found.\r\n").arg(cuePath));
    } else {
        cue = scanCueSheet(cuePath, cueFile.readAll());
        for (const QString& image : cue->missingImages)
            error(at + QStringLiteral("CD image file \"%1\" not found.\r\n").arg(image));
        if (!cue->fileLine)
            error(at + QStringLiteral("'FILE' not found in Cue Sheet \"%1\".\r\n").arg(cuePath));
    }

    // The items, each checked against both.
    uint64_t unmatchedA = 0;
    uint64_t unmatchedCue = cue ? cue->badTracks : 0;
    std::vector<TrackMapEntry> entries;
    if (!chosen->trackList) {
        error(at + QStringLiteral("Track Correspondence List not found.\r\n"));
    } else if (folderOk && cue) {
        std::array<bool, TrackNumberLimit> aUsed{}, cueUsed{};
        for (const TrackItem& item : parseTrackItems(*chosen->trackList)) {
            TrackMapEntry e;
            e.aTrack = uint16_t(std::min<uint32_t>(item.aTrack, 0xFFFF));
            e.first = item.first;
            e.last = item.last;
            e.kind = item.kind;
            if (item.aTrack < TrackNumberLimit && fileOfTrack[item.aTrack] != 0 && !aUsed[item.aTrack]) {
                e.aIndex = fileOfTrack[item.aTrack];
                aUsed[item.aTrack] = true;
            } else {
                ++unmatchedA;
            }
            if (item.last < item.first) {
                ++unmatchedCue; // a range that runs backwards names nothing to cut
            } else if (item.kind == RangeTracks) {
                for (uint32_t t = item.first; t <= item.last && t < TrackNumberLimit; ++t) {
                    if (!cue->declared[t] || cueUsed[t])
                        ++unmatchedCue;
                    else
                        cueUsed[t] = true;
                }
                if (item.last >= TrackNumberLimit)
                    unmatchedCue += uint64_t(item.last) - std::max(item.first, TrackNumberLimit) + 1;
            }
            entries.push_back(e);
        }
    }
    if (unmatchedA)
        error(at + QStringLiteral("Unmatched %1 track. %2\r\n").arg(ext_).arg(unmatchedA));
    if (unmatchedCue)
        error(at + QStringLiteral("Unmatched CUE track. %1\r\n").arg(unmatchedCue));

    if (count_ != before)
        return; // the block leaves nothing behind
    list_.pairs.push_back(MatchPair{folder, cuePath});
    list_.entries.insert(list_.entries.end(), entries.begin(), entries.end());
    list_.entries.push_back(TrackMapEntry{});
}

} // namespace

std::vector<TrackItem> parseTrackItems(QByteArrayView text)
{
    std::vector<TrackItem> items;
    qsizetype pos = 0;
    while (pos < text.size()) {
        TrackItem item;
        const std::optional<uint32_t> a = takeNumber(text, pos);
        if (!a || pos >= text.size() || text[pos] != ':')
            break;
        ++pos;
        item.aTrack = *a;
        item.first = takeNumber(text, pos).value_or(0);
        item.last = item.first;
        if (pos < text.size() && text[pos] == '-') {
            ++pos;
            item.last = takeNumber(text, pos).value_or(0);
            if (pos < text.size() && (text[pos] == 'f' || text[pos] == 's')) {
                item.kind = text[pos] == 'f' ? RangeSectors : RangeFrames;
                ++pos;
            }
        }
        items.push_back(item);
        if (pos >= text.size() || text[pos] != ' ')
            break;
        ++pos;
    }
    return items;
}

int fileTrackNumber(const QString& fileName)
{
    qsizetype digits = 0;
    while (digits < fileName.size() && fileName[digits] >= u'0' && fileName[digits] <= u'9')
        ++digits;
    if (digits == 0)
        return -1;
    return int(std::min<int64_t>(leadingInteger(QStringView(fileName).first(digits)), INT32_MAX));
}

int validateBatchListText(const QString& extension, QByteArrayView text, BatchList& list, QString& errorText)
{
    list = BatchList{};
    errorText.clear();
    Checker checker(extension, list, errorText);
    Block block;
    const std::vector<QByteArrayView> lines = textLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        const unsigned lineNo = unsigned(i + 1);
        if (line.isEmpty()) {
            checker.check(lineNo, block);
            block = Block{};
            continue;
        }
        switch (line[0]) {
        case 'A':
            if (block.hasA) {
                checker.error(QStringLiteral("Error in line %1. Multiple 'A'.\r\n").arg(lineNo));
            } else {
                block.hasA = true;
                block.aLine = line;
            }
            break;
        case 'M':
        case '*':
        case 'W':
        case 's':
        case '?':
            if (block.hasA)
                block.candidates.push_back(Candidate{line, std::nullopt});
            break;
        case 'T':
            if (!block.candidates.empty())
                block.candidates.back().trackList = line.sliced(std::min<qsizetype>(2, line.size()));
            break;
        default:
            break;
        }
    }
    if (block.hasA)
        checker.check(unsigned(lines.size()), block);
    errorText += QStringLiteral("Total Error Count %1\r\n").arg(checker.count());
    return int(checker.count());
}

int validateBatchList(const QString& extension, const QString& listPath, BatchList& list, QString& errorText)
{
    list = BatchList{};
    errorText.clear();
    QFile file;
    if (listPath.isEmpty() || !isRegularFile(listPath) || !openForReading(file, listPath))
        return ValidateCannotOpen;
    return validateBatchListText(extension, file.readAll(), list, errorText);
}

QString precheckReport(const BatchList& list)
{
    QString text;
    size_t at = 0;
    for (size_t k = 0; k < list.pairs.size(); ++k) {
        text += QStringLiteral("%1\r\n%2\r\n%3\r\n").arg(k + 1).arg(list.pairs[k].folderA, list.pairs[k].cuePath);
        for (; at < list.entries.size(); ++at) {
            const TrackMapEntry& e = list.entries[at];
            if (e.isEnd()) {
                ++at;
                break;
            }
            text += QStringLiteral(" %1.%2:%3").arg(e.aIndex).arg(e.aTrack).arg(e.first);
            if (e.last != e.first)
                text += QStringLiteral("-%1").arg(e.last);
            if (e.kind == RangeSectors)
                text += u'f';
            else if (e.kind == RangeFrames)
                text += u's';
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

std::vector<std::vector<TrackMapEntry>> entriesByPair(const BatchList& list)
{
    std::vector<std::vector<TrackMapEntry>> out(list.pairs.size());
    size_t k = 0;
    for (const TrackMapEntry& e : list.entries) {
        if (k >= out.size())
            break;
        if (e.isEnd())
            ++k;
        else
            out[k].push_back(e);
    }
    return out;
}

} // namespace vn
