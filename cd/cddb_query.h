#pragma once
// The CDDB command over the comparison: both servers in turn, and the B rows refreshed from the
// titles found.

#include "cd/cddb.h"
#include "media/comparison.h"

#include <QString>

namespace vn {

class Feedback;
struct Settings;

// The status bar part the query reports in.
inline constexpr int CddbStatusPart = 2;

// The server settings as one request description (Cddb_Timeout in seconds; 0 or less: 10).
CddbServer cddbServerFrom(const Settings& settings, const QByteArray& url);

// Asks Cddb_Server1, then, on any failure, Cddb_Server2, for the titles of the comparison's CD
// image; on success the sheet holds them and the B rows show them. Status part 2 tells
// "Querying CDDB for CD data....", then "CDDB Successful" or "CDDB Failed". In interactive mode
// transcript receives the text for the clipboard: what was sent to and received from the last
// server asked. found, when given, receives the year, disc id and genre of a success. Returns the
// CddbCode of the last server asked (CddbNoServer when neither is set).
int queryCddb(ComparisonState& state, const Settings& settings, Feedback& feedback, bool interactive,
              QString* transcript = nullptr, CddbResult* found = nullptr);

// Rewrites the B rows of the CD image's tracks from its titles and performers: file name, album,
// artist, album artist, title, year (empty for 0) and genre.
void refreshCueRows(ComparisonState& state, const CddbResult& result);

} // namespace vn
