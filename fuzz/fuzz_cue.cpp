// A cue sheet beside the images it may name: the main window's reader, the matcher's reader and
// the File Properties text of the image.

#include "fuzz/fuzz_target.h"

#include "containers/cd_image_properties.h"
#include "media/cue_sheet.h"

#include <QDir>

using namespace vn;

namespace {

// The images a sheet may name: a BIN of ten sectors, a WAV of four, an empty one and a folder.
void makeImages()
{
    static const bool made = [] {
        fuzz::writeScratch(QStringLiteral("a.bin"), QByteArray(10 * 2352, '\1'));
        QByteArray wav = canonicalWavHeader(2, 44100, 16) + QByteArray(4 * 2352, '\2');
        fuzz::writeScratch(QStringLiteral("a.wav"), wav);
        fuzz::writeScratch(QStringLiteral("empty.bin"), QByteArray());
        QDir(fuzz::scratchFolder()).mkpath(QStringLiteral("d.bin"));
        return true;
    }();
    (void)made;
}

} // namespace

VN_FUZZ_TARGET(cue)
{
    makeImages();
    const QString path = fuzz::writeScratch(QStringLiteral("s.cue"), fuzz::bytesOf(data, size));

    CueSheet sheet;
    const int n = parseCueSheet(path, CueTrackLimit, 0, sheet);
    FUZZ_CHECK(n <= CueTrackLimit - 1);
    if (n >= 1) {
        FUZZ_CHECK(sheet.trackCount == n && sheet.wavHeader.size() == 44);
        for (int k = 0; k < n; ++k)
            FUZZ_CHECK(sheet.trackStarts[size_t(k)] < sheet.trackStarts[size_t(k + 1)]);
        FUZZ_CHECK(sheet.discToc.count('+') == n + 1);
        FUZZ_CHECK(!dumpCdImage(sheet, 0).isEmpty());
    } else {
        FUZZ_CHECK(!sheet.problem.isEmpty()); // a refused sheet always says why
    }

    CueImageEntry entry;
    entry.cuePath = path;
    std::vector<uint32_t> sectors;
    if (parseCueForMatch(entry, sectors) == 0) {
        FUZZ_CHECK(sectors.size() == entry.trackCount + 1);
        FUZZ_CHECK(entry.endSector == sectors.back());
    } else {
        FUZZ_CHECK(sectors.empty());
    }
    return 0;
}
