#include "containers/read_file_tags.h"

#include "containers/flac_reader.h"
#include "containers/matroska.h"
#include "containers/mp4_reader.h"
#include "containers/wav_reader.h"
#include "media/id3v2_reader.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace vn {

namespace {

void readContainerFileTags(const QString& path, const QString& ext, FileTags& file);

} // namespace

bool isContainerExtension(const QString& ext)
{
    return ext == u"mp4" || ext == u"m4a" || ext == u"flac" || ext == u"mka" || ext == u"webm" || ext == u"wav";
}

int readFileTags(const QString& path, FileTags& file, QByteArray& readBuffer)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == u"mp3")
        return readMp3FileTags(path, file, readBuffer);
    file = FileTags{};
    if (!isContainerExtension(ext))
        return ReadTagsCannotOpen;
    readContainerFileTags(path, ext, file);
    return ReadTagsOk;
}

int readFileTags(const QString& folder, const QString& fileName, FileTags& file, QByteArray& readBuffer)
{
    return readFileTags(QDir(folder).filePath(fileName), file, readBuffer);
}

namespace {

void readContainerFileTags(const QString& path, const QString& ext, FileTags& file)
{
    ContainerTags tags;
    uint8_t kind = KindWave;
    if (ext == u"mp4" || ext == u"m4a") {
        kind = KindMp4;
        readMp4File(nullptr, path, &tags);
    } else if (ext == u"flac") {
        kind = KindFlac;
        readFlacFile(nullptr, path, &tags);
    } else if (ext == u"mka" || ext == u"webm") {
        kind = ext == u"mka" ? KindMatroska : KindWebm;
        readMatroskaTags(path, tags);
    } else {
        readWavFile(path, tags);
    }
    file.record = tags.record;
    file.tagBuffer = std::move(tags.buffer);
    file.header = TagHeader{kind, 0, 0};
    constexpr qint64 most = std::numeric_limits<uint32_t>::max();
    file.audioOffset = uint32_t(std::clamp<qint64>(tags.audioOffset, 0, most));
    file.audioSize = uint32_t(std::clamp<qint64>(tags.audioSize, 0, most));
}

} // namespace

} // namespace vn
