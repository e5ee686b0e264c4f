// The CDDB step of the session, apart from the rest: it needs the network library, which programs
// that never ask CDDB do not load.
#include "session/session.h"

#include "cd/cddb_query.h"

namespace vn {

int ComparisonSession::queryCddb(const Settings& settings, Feedback& feedback, bool interactive, QString* transcript,
                                 CddbResult* found)
{
    const Job job(busy_);
    if (!job.taken())
        return SessionBusy;
    return vn::queryCddb(state_, settings, feedback, interactive, transcript, found);
}

} // namespace vn
