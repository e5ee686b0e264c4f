// The whole road of one file of a side: readFileTags by extension (the input's first byte chooses
// it, the rest is the file), the MPEG analysis, the list row and the File Properties text.

#include "fuzz/fuzz_target.h"

#include "containers/properties.h"
#include "containers/read_file_tags.h"
#include "media/comparison.h"

#include <array>

using namespace vn;

VN_FUZZ_TARGET(read_file_tags)
{
    static constexpr std::array<const char*, 8> Extensions = {"mp3", "m4a", "mp4", "flac", "mka", "webm", "wav", "MP3"};
    if (size == 0)
        return 0;
    const QString name = QStringLiteral("f.") + QLatin1String(Extensions[data[0] % Extensions.size()]);
    const QString path = fuzz::writeScratch(name, fuzz::bytesOf(data + 1, size - 1));

    FileTags file;
    QByteArray readBuffer;
    if (readFileTags(path, file, readBuffer) == ReadTagsOk) {
        // The audio lies inside the file, and a tag the list knows has had its audio walked.
        FUZZ_CHECK(uint64_t(file.audioOffset) + file.audioSize <= size - 1 || !isId3Kind(file.header.version));
        if (isId3Kind(file.header.version))
            FUZZ_CHECK(file.audioAnalysed);
        buildListRow(0, name, file);
    }
    QString text, kind, problem;
    const int code = dumpFile(path, text, kind, &problem);
    FUZZ_CHECK(code >= PropertiesOk && code <= PropertiesMalformed);
    // Every refusal says why.
    FUZZ_CHECK(code == PropertiesOk || !problem.isEmpty());
    return 0;
}
