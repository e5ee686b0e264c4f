// A playlist's bytes: the character set found, every entry's extension replaced where no file
// stands under its name, and all else kept byte for byte.

#include "fuzz/fuzz_target.h"

#include "util/playlist_ext.h"

using namespace vn;

VN_FUZZ_TARGET(playlist)
{
    const QByteArray content = fuzz::bytesOf(data, size);
    // Relative entries point into a folder that holds nothing, so no file exists for them.
    const PlaylistEdit edit = replaceExtensionsInPlaylist(content, fuzz::scratchFolder() + QStringLiteral("/none"),
                                                          QStringLiteral(".m4a"));
    if (edit.outcome != PlaylistRewritten)
        FUZZ_CHECK(edit.bytes == content);
    else
        FUZZ_CHECK(edit.bytes != content);
    // Lines and their ends stay: only entries change.
    FUZZ_CHECK(edit.bytes.count('\n') == content.count('\n'));
    FUZZ_CHECK(edit.counts.entries >= edit.counts.notReplaced + edit.counts.replacedExisting + edit.counts.replacedMissing);
    return 0;
}
