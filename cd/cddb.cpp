#include "cd/cddb.h"

#include "util/numbers.h"
#include "util/text_codec.h"

#include <algorithm>
#include <limits>

namespace vn {

namespace {

constexpr uint32_t FramesPerSecond = 44100;

uint32_t digitSum(uint32_t n)
{
    uint32_t sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

// The word that starts at from (after any blanks), up to the next blank or line end.
QByteArrayView wordAt(QByteArrayView text, qsizetype& from)
{
    while (from < text.size() && text[from] == ' ')
        ++from;
    const qsizetype start = from;
    while (from < text.size() && text[from] != ' ' && text[from] != '\r' && text[from] != '\n')
        ++from;
    return text.sliced(start, from - start);
}

QByteArrayView firstLine(QByteArrayView text)
{
    const qsizetype end = text.indexOf('\n');
    QByteArrayView line = end >= 0 ? text.first(end) : text;
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The titles of one reply, written as the pool rules have them: a value split over several lines
// is joined only while nothing else was stored after its first part.
class TitlePool {
public:
    TitlePool(CueSheet& cue, bool utf8) : cue_(cue), utf8_(utf8) {}

    void store(int entry, QByteArrayView value)
    {
        QString& title = cue_.titles[size_t(entry)];
        if (!title.isNull() && last_ != entry)
            return; // something else came after it: the continuation has nowhere to go
        const QString text = fit(decode(value));
        if (title.isNull()) {
            title = text.isNull() ? QStringLiteral("") : text;
            used_ += 1; // its terminator
        } else {
            title += text;
        }
        used_ += int(text.size());
        last_ = entry;
    }

    QString decode(QByteArrayView value) const
    {
        if (utf8_)
            return decodeText(value, CpUtf8);
        const int codePage = detectCodePage(value);
        return decodeText(value, codePage > 0 ? codePage : CpAnsi);
    }

private:
    QString fit(const QString& text) const
    {
        const int room = std::max(0, CddbPoolCapacity - used_ - 1);
        return text.size() <= room ? text : text.first(room);
    }

    CueSheet& cue_;
    bool utf8_;
    int used_ = 0;
    int last_ = -1;
};

QString genreText(QByteArrayView value, bool utf8)
{
    const QString text = decodeText(value, utf8 ? CpUtf8 : CpAnsi);
    return text.size() < CddbGenreCapacity ? text : text.first(CddbGenreCapacity - 1);
}

QByteArray requestUrl(const CddbServer& server, const QByteArray& command)
{
    return server.url + "?cmd=" + command + "&hello=" + server.hello + "&proto=" + server.proto;
}

bool isUtf8Level(const QByteArray& proto)
{
    return leadingInteger(proto) >= 6;
}

} // namespace

QByteArray cddbQueryText(std::span<const uint32_t> starts, uint32_t* discId)
{
    if (starts.size() < 2)
        return {};
    const uint32_t n = uint32_t(starts.size() - 1);
    uint32_t sum = 0;
    for (uint32_t k = 0; k < n; ++k)
        sum += digitSum(starts[k] / FramesPerSecond + 2);
    const uint32_t length = starts[n] / FramesPerSecond - starts[0] / FramesPerSecond;
    const uint32_t id = ((sum % 255) << 24) | (length << 8) | n;
    if (discId)
        *discId = id;
    QByteArray text = QString::asprintf("%08x+%u", id, n).toLatin1();
    for (uint32_t k = 0; k < n; ++k)
        text += QString::asprintf("+%u", starts[k] / FramesPerSector + 150).toLatin1();
    text += QString::asprintf("+%u", length).toLatin1();
    return text;
}

void parseCddbRead(QByteArrayView reply, CueSheet& cue, CddbResult& result, bool utf8)
{
    result = CddbResult{};
    for (QString& t : cue.titles)
        t = QString();
    for (QString& p : cue.performers)
        p = QString();
    const int n = std::clamp(cue.trackCount, 0, CueTrackLimit - 1);
    TitlePool pool(cue, utf8);

    qsizetype start = 0;
    for (qsizetype end; (end = reply.indexOf('\n', start)) >= 0; start = end + 1) {
        QByteArrayView line = reply.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('#'))
            continue;
        if (line.startsWith('.'))
            break;
        if (line.startsWith("210 ")) {
            qsizetype at = 4;
            result.genre = genreText(wordAt(line, at), utf8);
            const QByteArrayView id = wordAt(line, at);
            result.discId = uint32_t(leadingHex(QString::fromLatin1(id), std::numeric_limits<uint32_t>::max()));
        } else if (line.startsWith("DTITLE=")) {
            pool.store(0, line.sliced(7));
        } else if (line.startsWith("TTITLE")) {
            qsizetype digits = 6;
            while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
                ++digits;
            if (digits == 6 || digits >= line.size() || line[digits] != '=')
                continue;
            const int64_t k = leadingInteger(line.sliced(6, digits - 6));
            if (k < n)
                pool.store(int(k) + 1, line.sliced(digits + 1));
        } else if (line.startsWith("DGENRE=")) {
            result.genre = genreText(line.sliced(7), utf8);
        } else if (line.startsWith("DYEAR=")) {
            result.year = toULong(line.sliced(6));
        } else if (line.startsWith("EXTD= YEAR:")) {
            if (result.year == 0)
                result.year = toULong(line.sliced(11));
        }
    }

    const qsizetype split = cue.titles[0].indexOf(QStringLiteral(" / "));
    if (split >= 0) {
        cue.performers[0] = cue.titles[0].first(split);
        cue.titles[0] = cue.titles[0].sliced(split + 3);
        for (int t = 1; t <= n; ++t)
            cue.performers[size_t(t)] = cue.performers[0];
    }
}

int cddbLookup(CueSheet& cue, CddbResult& result, const CddbServer& server, QByteArray* transcript, Feedback* feedback)
{
    const int n = cue.trackCount;
    if (n < 1 || n >= CueTrackLimit)
        return CddbNoTracks;
    if (server.url.isEmpty())
        return CddbNoServer;

    const QByteArray disc = cddbQueryText(std::span<const uint32_t>(cue.trackStarts.data(), size_t(n) + 1));
    const QByteArray queryUrl = requestUrl(server, "cddb+query+" + disc);
    if (transcript)
        *transcript += queryUrl + "\r\n";
    QByteArray reply;
    if (httpGetText(QString::fromUtf8(queryUrl), reply, server.limits, feedback) <= 0)
        return CddbNoQueryReply;
    if (transcript)
        *transcript += reply + "\r\n";

    // An exact match names the disc on the status line; a list of matches (inexact, or several
    // exact ones at protocol level 4 and above) on the line after it, of which the first is taken.
    QByteArrayView match;
    if (reply.startsWith("200 ")) {
        match = QByteArrayView(reply).sliced(4);
    } else if (reply.startsWith("211 ") || reply.startsWith("210 ")) {
        const qsizetype eol = reply.indexOf('\n');
        if (eol >= 0)
            match = QByteArrayView(reply).sliced(eol + 1);
    }
    match = firstLine(match);
    qsizetype at = 0;
    const QByteArrayView category = wordAt(match, at);
    const QByteArrayView discId = wordAt(match, at);
    if (category.isEmpty() || discId.isEmpty() || category.startsWith('.'))
        return CddbNoMatch;

    const QByteArray readUrl = requestUrl(server, "cddb+read+" + category.toByteArray() + "+" + discId.toByteArray());
    if (transcript)
        *transcript += readUrl + "\r\n";
    if (httpGetText(QString::fromUtf8(readUrl), reply, server.limits, feedback) <= 0)
        return CddbNoReadReply;
    if (transcript)
        *transcript += reply + "--------\r\n";
    // Anything but a disc entry (an error status, or a page that is no CDDB reply at all) would
    // leave the disc without titles.
    if (!reply.startsWith("210 "))
        return CddbNoReadReply;

    parseCddbRead(reply, cue, result, isUtf8Level(server.proto));
    return CddbOk;
}

QString cddbTranscriptText(const QByteArray& transcript)
{
    const int codePage = detectCodePage(transcript);
    switch (codePage) {
    case CpShiftJis:
    case CpEucJp:
    case CpUtf8:
    case CpIso2022Jp:
        return decodeText(transcript, codePage);
    default: // plain ASCII, or bytes no recogniser accepts
        return decodeText(transcript, CpAnsi);
    }
}

} // namespace vn
