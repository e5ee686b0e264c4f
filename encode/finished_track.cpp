#include "encode/finished_track.h"

#include "containers/read_file_tags.h"
#include "media/field_to_text.h"
#include "media/id3v2_reader.h"

namespace vn {

bool carriesTagsOf(const QString& path, const FileTags& a)
{
    FileTags produced;
    QByteArray audio;
    if (readFileTags(path, produced, audio) != ReadTagsOk)
        return false;
    for (const int row : {int(RowAlbum), int(RowArtist), int(RowTitle), int(RowTrack)}) {
        QString mine, theirs;
        fieldToText(mine, 1024, a.record, row, a.header.version);
        fieldToText(theirs, 1024, produced.record, row, produced.header.version);
        if (mine != theirs)
            return false;
    }
    return true;
}

} // namespace vn
