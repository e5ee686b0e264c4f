#pragma once
// Disc and track titles from a CDDB server over HTTP: the disc id and the query for a CD image's
// track layout, the query and read exchange with one server, and the reading of its reply.

#include "cd/http_get.h"
#include "media/cue_sheet.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>

namespace vn {

class Feedback;

enum CddbCode : int {
    CddbOk = 0,
    CddbNoQueryReply = 1, // network failure, time-out or an empty reply to the query
    CddbNoMatch = 2,      // the query reply named no disc
    CddbNoReadReply = 3,  // no reply to the read, or one that is not a disc entry
    CddbNoTracks = 11,
    CddbNoServer = 12,
};

// The character pool all titles of one reply share; what does not fit is cut.
inline constexpr int CddbPoolCapacity = 65536;
inline constexpr int CddbGenreCapacity = 32;

// The disc part of the query, from the track starts in sample frames (one more than the tracks:
// the last is the end of the last track): "%08x+n", each start in sectors plus 150, the length in
// seconds. The disc id itself goes to discId when given.
QByteArray cddbQueryText(std::span<const uint32_t> starts, uint32_t* discId = nullptr);

struct CddbResult {
    uint32_t year = 0;
    uint32_t discId = 0; // from the read reply
    QString genre;
};

// Fills the sheet's titles and performers (entries 0 to trackCount; all others cleared) from a
// cddb read reply. utf8: the reply is UTF-8 (protocol level 6 and above); otherwise each value's
// encoding is detected from its bytes.
void parseCddbRead(QByteArrayView reply, CueSheet& cue, CddbResult& result, bool utf8);

struct CddbServer {
    QByteArray url; // the CGI address the query string is appended to
    QByteArray hello;
    QByteArray proto;
    HttpLimits limits;
};

// One query and read with one server. On CddbOk the sheet's titles and performers are replaced;
// otherwise they stay as they were. With a transcript, what was sent and received is appended to
// it. A CddbCode.
int cddbLookup(CueSheet& cue, CddbResult& result, const CddbServer& server, QByteArray* transcript,
               Feedback* feedback = nullptr);

// The transcript as text for the clipboard, in the encoding its bytes show.
QString cddbTranscriptText(const QByteArray& transcript);

} // namespace vn
