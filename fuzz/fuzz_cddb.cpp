// A CDDB read reply, as a server sends it, into the titles of a disc of 0 to 99 tracks (from the
// reply's first byte), read as UTF-8 or by detection; and the transcript shown for the clipboard.

#include "fuzz/fuzz_target.h"

#include "cd/cddb.h"

using namespace vn;

VN_FUZZ_TARGET(cddb)
{
    const QByteArray reply = fuzz::bytesOf(data, size);
    CueSheet cue;
    cue.trackCount = size ? data[0] % CueTrackLimit : 0;
    CddbResult result;
    parseCddbRead(reply, cue, result, size && (data[0] & 0x80));
    qsizetype pool = 0;
    for (int k = 0; k <= cue.trackCount; ++k)
        pool += cue.titles[size_t(k)].size();
    // Every title shares one pool; the disc performer split off the disc title is its copy.
    FUZZ_CHECK(pool < CddbPoolCapacity);
    for (size_t k = size_t(cue.trackCount) + 1; k < cue.titles.size(); ++k)
        FUZZ_CHECK(cue.titles[k].isNull() && cue.performers[k].isNull());
    FUZZ_CHECK(result.genre.size() < CddbGenreCapacity);
    cddbTranscriptText(reply);
    return 0;
}
