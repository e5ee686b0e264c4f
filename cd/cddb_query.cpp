#include "cd/cddb_query.h"

#include "config/settings.h"
#include "media/tag_field.h"
#include "util/ascii_name.h"
#include "util/feedback.h"

#include <algorithm>

namespace vn {

namespace {

constexpr int DefaultTimeoutSeconds = 10;
// A file name column holds at most 1,021 characters of the title's ASCII name.
constexpr int AsciiNameCapacity = 1022;

QString& cell(ListRow& row, int tagRow)
{
    return row[size_t(ListLeadColumns.size()) + size_t(tagRow)];
}

} // namespace

CddbServer cddbServerFrom(const Settings& settings, const QByteArray& url)
{
    CddbServer server;
    server.url = url;
    server.hello = settings.Cddb_Hello;
    server.proto = settings.Cddb_Proto;
    const int seconds = settings.Cddb_Timeout > 0 ? std::min(settings.Cddb_Timeout, 3600) : DefaultTimeoutSeconds;
    server.limits.timeoutMs = seconds * 1000;
    return server;
}

int queryCddb(ComparisonState& state, const Settings& settings, Feedback& feedback, bool interactive, QString* transcript,
              CddbResult* found)
{
    feedback.setStatus(CddbStatusPart, QStringLiteral("Querying CDDB for CD data...."));
    feedback.pumpMessages();
    int code = CddbNoTracks;
    CddbResult result;
    if (state.cue) {
        for (const QByteArray* url : {&settings.Cddb_Server1, &settings.Cddb_Server2}) {
            if (url != &settings.Cddb_Server1 && feedback.abortRequested())
                break;
            QByteArray exchange;
            const int attempt = cddbLookup(*state.cue, result, cddbServerFrom(settings, *url),
                                           interactive ? &exchange : nullptr, &feedback);
            // A server that was never asked leaves the last transcript, and the last answer, as they were.
            const bool asked = attempt != CddbNoTracks && attempt != CddbNoServer;
            if (interactive && transcript && asked)
                *transcript = cddbTranscriptText(exchange);
            if (asked || code == CddbNoTracks)
                code = attempt;
            if (code == CddbOk)
                break;
        }
    }
    if (code == CddbOk) {
        refreshCueRows(state, result);
        if (found)
            *found = result;
    }
    feedback.setStatus(CddbStatusPart, code == CddbOk ? QStringLiteral("CDDB Successful") : QStringLiteral("CDDB Failed"));
    return code;
}

void refreshCueRows(ComparisonState& state, const CddbResult& result)
{
    if (!state.cue)
        return;
    const CueSheet& cue = *state.cue;
    const QString year = result.year ? QString::number(result.year) : QString();
    for (int t = 1; t <= cue.trackCount; ++t) {
        // The row that shows track t, wherever the B offset has put it.
        const int64_t row = 2 * (int64_t(t) - 1 + state.trackOffsetB) + 1;
        if (row < 0 || row >= int64_t(state.rows.size()))
            continue;
        ListRow& cells = state.rows[size_t(row)];
        const QString& title = cue.titles[size_t(t)];
        cells[1] = QString::asprintf("%02d_", t) + MakeAsciiName(title, AsciiNameCapacity);
        cell(cells, RowAlbum) = cue.titles[0];
        cell(cells, RowArtist) = cue.performers[size_t(t)];
        cell(cells, RowAlbumArtist) = cue.performers[0];
        cell(cells, RowTitle) = title;
        cell(cells, RowYear) = year;
        cell(cells, RowGenre) = result.genre;
    }
}

} // namespace vn
