// The Matroska tag writer on a copy of the file: the input's last byte chooses new Tags (1), a new
// cover attachment (2) or both (3), the bytes before it are the file. What it writes must be a
// file it can read and rewrite again.

#include "fuzz/fuzz_target.h"

#include "containers/matroska.h"
#include "containers/matroska_writer.h"

using namespace vn;

namespace {

QStringList tagTexts()
{
    QStringList texts;
    for (int row = 0; row < TagRowCount; ++row)
        texts << QString();
    texts[RowAlbum] = QStringLiteral("Album \u30a2\u30eb\u30d0\u30e0");
    texts[RowTitle] = QStringLiteral("Title");
    texts[RowArtist] = QString(300, QChar(u'\u00e9')); // cut at 255 bytes, between characters
    texts[RowTrack] = QStringLiteral("7");
    return texts;
}

} // namespace

VN_FUZZ_TARGET(matroska_write)
{
    if (size == 0)
        return 0;
    const QByteArray file = fuzz::bytesOf(data, size - 1);
    MatroskaScan scan;
    scanMatroska(file, scan, nullptr);

    const int flags = 1 + data[size - 1] % 3;
    const QByteArray tags = flags & MkvWriteTags ? buildMatroskaTags(tagTexts(), QStringLiteral("2+96+4EB6")) : QByteArray();
    const QByteArray cover = flags & MkvWriteCover
                                 ? buildMatroskaAttachments(QByteArray("\x89PNG\r\n\x1a\n picture", 17), QStringLiteral("cover.png"))
                                 : QByteArray();
    QByteArray output;
    if (rewriteMatroska(file, scan, tags, cover, output) != MkvOk) {
        FUZZ_CHECK(output.isEmpty());
        return 0;
    }
    FUZZ_CHECK(output.size() <= file.size() + tags.size() + cover.size() + 4096);
    if (!tags.isEmpty())
        FUZZ_CHECK(output.contains(tags));
    if (!cover.isEmpty())
        FUZZ_CHECK(output.contains(cover));

    MatroskaScan again;
    scanMatroska(output, again, nullptr);
    FUZZ_CHECK(again.segmentPos == scan.segmentPos);
    if (!again.segmentUnknownSize)
        FUZZ_CHECK(uint64_t(again.segmentDataPos) + again.segmentSize == uint64_t(output.size()));
    // Its own output is a file the writer takes again (mkv-tags run twice on one file).
    QByteArray second;
    FUZZ_CHECK(rewriteMatroska(output, again, tags, cover, second) == MkvOk);
    return 0;
}
