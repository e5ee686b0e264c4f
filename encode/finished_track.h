#pragma once
// Whether a file standing under a track's output name is that track finished by an earlier run
// (a file takes its name only once complete), so that a rerun goes on with the tracks still to do.

#include <QString>

namespace vn {

struct FileTags;

// True when the file at path carries the album, artist, title and track of A's file: what a run
// for that A file wrote, not a namesake from another album.
bool carriesTagsOf(const QString& path, const FileTags& a);

} // namespace vn
