// The MP3-Cue Match List File as a user may have edited it: blocks, candidates, track items, read
// back against a small folder of A files and a cue sheet with its image. "@A" and "@C" in the input
// stand for the paths of that folder and that cue sheet, so that whole blocks can be accepted.

#include "fuzz/fuzz_target.h"

#include "batch/match_list.h"

#include <QDir>

using namespace vn;

namespace {

struct Disk {
    QString folderA;
    QString cuePath;
};

const Disk& disk()
{
    static const Disk d = [] {
        Disk made;
        made.folderA = fuzz::scratchFolder() + QStringLiteral("/A");
        QDir().mkpath(made.folderA);
        for (const char* name : {"01 x.mp3", "02 y.mp3", "03 z.mp3", "03 z2.mp3", "notes.txt"})
            fuzz::writeScratch(QStringLiteral("A/") + QLatin1String(name), QByteArray());
        QDir().mkpath(fuzz::scratchFolder() + QStringLiteral("/c"));
        fuzz::writeScratch(QStringLiteral("c/disc.bin"), QByteArray(2352 * 900, '\0'));
        made.cuePath = fuzz::writeScratch(QStringLiteral("c/disc.cue"),
                                          "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                          "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n  TRACK 03 AUDIO\n"
                                          "    INDEX 00 00:07:00\n    INDEX 01 00:08:00\n");
        return made;
    }();
    return d;
}

} // namespace

VN_FUZZ_TARGET(match_list)
{
    QByteArray text = fuzz::bytesOf(data, size);
    text.replace("@A", disk().folderA.toUtf8()).replace("@C", disk().cuePath.toUtf8());
    BatchList list;
    QString errors;
    const int count = validateBatchListText(QStringLiteral(".mp3"), text, list, errors);
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(errors.endsWith(QStringLiteral("Total Error Count %1\r\n").arg(count)));
    if (count == 0) {
        // Every pair's entries end with the zero entry, and the report names every pair.
        FUZZ_CHECK(list.entries.empty() || list.entries.back().isEnd());
        const auto byPair = entriesByPair(list);
        FUZZ_CHECK(byPair.size() == list.pairs.size());
        (void)precheckReport(list);
    }
    (void)parseTrackItems(QByteArrayView(text).first(std::min<qsizetype>(text.size(), 4096)));
    return 0;
}
