#include "containers/read_file_tags.h"

#include "containers/flac_reader.h"
#include "containers/matroska.h"
#include "containers/mp4_reader.h"
#include "containers/wav_reader.h"
#include "media/id3v2_reader.h"
#include "util/file_name.h"
#include "util/safe_file.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace vn {

namespace {

bool readContainerFileTags(const QString& path, const QString& ext, FileTags& file);

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
    return readContainerFileTags(path, ext, file) ? ReadTagsOk : ReadTagsCannotOpen;
}

int readFileTags(const QString& folder, const QString& fileName, FileTags& file, QByteArray& readBuffer)
{
    return readFileTags(QDir(folder).filePath(fileName), file, readBuffer);
}

QString readTagsProblem(const QString& path)
{
    if (const QString problem = readProblem(path); !problem.isEmpty())
        return problem;
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext != u"mp3")
        return isContainerExtension(ext) ? QString() : QStringLiteral("no reader for the extension \"%1\"").arg(ext);
    const ReadOnlyFile file(path);
    if (file.size() > std::numeric_limits<uint32_t>::max())
        return QStringLiteral("larger than 4 GB");
    TagHeader header;
    uint32_t tagSize = 0;
    switch (id3HeaderCode(file.readAt(0, 10), file.size(), header, tagSize)) {
    case ReadTagsOk:
        return isId3Kind(header.version) ? QString() : QStringLiteral("ID3v2.%1 is not a version this program reads").arg(header.version);
    case ReadTagsTooShort:
        return file.size() == 0 ? QStringLiteral("the file is empty") : QStringLiteral("shorter than an ID3v2 header");
    case ReadTagsNoId3v2:
        return QStringLiteral("no ID3v2 tag");
    default:
        return QStringLiteral("its ID3v2 tag runs past the end of the file");
    }
}

namespace {

// False when the file cannot be opened (every reader's code 1); any other outcome counts as read.
bool readContainerFileTags(const QString& path, const QString& ext, FileTags& file)
{
    ContainerTags tags;
    uint8_t kind = KindWave;
    bool opened = true;
    if (ext == u"mp4" || ext == u"m4a") {
        kind = KindMp4;
        opened = readMp4File(nullptr, path, &tags) != Mp4CannotOpen;
    } else if (ext == u"flac") {
        kind = KindFlac;
        opened = readFlacFile(nullptr, path, &tags) != FlacCannotOpen;
    } else if (ext == u"mka" || ext == u"webm") {
        kind = ext == u"mka" ? KindMatroska : KindWebm;
        opened = readMatroskaTags(path, tags) != MkvCannotOpen;
    } else {
        opened = readWavFile(path, tags) != WavCannotOpen;
    }
    if (!opened)
        return false;
    file.record = tags.record;
    file.tagBuffer = std::move(tags.buffer);
    file.header = TagHeader{kind, 0, 0};
    constexpr qint64 most = std::numeric_limits<uint32_t>::max();
    file.audioOffset = uint32_t(std::clamp<qint64>(tags.audioOffset, 0, most));
    file.audioSize = uint32_t(std::clamp<qint64>(tags.audioSize, 0, most));
    return true;
}

} // namespace

} // namespace vn
