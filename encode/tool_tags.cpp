#include "encode/tool_tags.h"

#include "media/field_to_text.h"
#include "util/safe_file.h"
#include "util/text_helpers.h"

#include <QDir>

#include <unistd.h>

namespace vn {

namespace {

// The text rows the tools take; the rows after them describe the file, not the music.
constexpr int LastTextRow = RowComposer;
// A value or list text longer than this reaches no tool.
constexpr int ValueCapacity = 1024;

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString escaped(QString text)
{
    escapeQuotes(text);
    return text;
}

const char* toolFieldName(CliTool tool, int row)
{
    const TagField& field = TagFieldTable[size_t(row)];
    switch (tool) {
    case CliTool::Qaac:
        return field.qaacName;
    case CliTool::Fdkaac:
        return field.fdkaacName;
    case CliTool::OpusEnc:
        return field.vorbisName;
    case CliTool::FFmpeg:
        return field.ffmpegName;
    }
    return "";
}

// One tag as its tool takes it: qaac and fdkaac `--name "value"`, opusenc `--comment "NAME=value"`,
// FFmpeg `-metadata name="value"`. The value is one argument whatever it holds.
void addTag(ToolCommand& command, CliTool tool, const char* name, const QString& value)
{
    const QString n = QString::fromLatin1(name);
    switch (tool) {
    case CliTool::Qaac:
    case CliTool::Fdkaac:
        command.add(QStringLiteral("--") + n, QStringLiteral(" --") + n);
        command.add(value, QLatin1Char(' ') + quoted(escaped(value)));
        break;
    case CliTool::OpusEnc:
        command.add(QStringLiteral("--comment"), QStringLiteral(" --comment"));
        command.add(n + QLatin1Char('=') + value, QLatin1Char(' ') + quoted(n + QLatin1Char('=') + escaped(value)));
        break;
    case CliTool::FFmpeg:
        command.add(QStringLiteral("-metadata"), QStringLiteral(" -metadata"));
        command.add(n + QLatin1Char('=') + value, QLatin1Char(' ') + n + QLatin1Char('=') + quoted(escaped(value)));
        break;
    }
}

void addDiscToc(ToolCommand& command, CliTool tool, const QByteArray& discToc)
{
    const QString toc = QString::fromLatin1(discToc);
    switch (tool) {
    case CliTool::Qaac:
    case CliTool::Fdkaac:
        command.add(QStringLiteral("--long-tag"), QStringLiteral(" --long-tag"));
        command.add(QStringLiteral("CDTOC:") + toc, QLatin1Char(' ') + quoted(QStringLiteral("CDTOC:") + toc));
        break;
    case CliTool::OpusEnc:
    case CliTool::FFmpeg:
        addTag(command, tool, "CDTOC", toc);
        break;
    }
}

bool startsWithNoCase(const QString& text, const char* prefix)
{
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

} // namespace

QString cliToolName(CliTool tool)
{
    switch (tool) {
    case CliTool::Qaac:
        return QStringLiteral("qaac");
    case CliTool::Fdkaac:
        return QStringLiteral("fdkaac");
    case CliTool::OpusEnc:
        return QStringLiteral("OpusEnc");
    case CliTool::FFmpeg:
        return QStringLiteral("FFmpeg");
    }
    return {};
}

namespace {

// Locked for as long as it lives, so that a later run cleaning the folder tells it from the
// leftovers of a run that was killed.
class LockedTempFile : public QTemporaryFile {
public:
    using QTemporaryFile::QTemporaryFile;
    ~LockedTempFile() override
    {
        if (lock_ >= 0)
            ::close(lock_);
    }
    bool openLocked()
    {
        if (!open())
            return false;
        lock_ = lockTemporary(fileName());
        return lock_ >= 0;
    }

private:
    int lock_ = -1;
};

} // namespace

std::unique_ptr<QTemporaryFile> makeTempFile(const QString& folder, const QString& prefix, const QString& suffix)
{
    // The system's temporary folder is shared with other programs and cleaned by the system.
    if (!folder.isEmpty())
        removeStaleTemporariesOnce(folder, prefix.startsWith(QLatin1Char('_')) ? StaleScope::TempFileFolder
                                                                                : StaleScope::AnyFolder);
    const QString where = folder.isEmpty() ? QDir::tempPath() : folder;
    auto file = std::make_unique<LockedTempFile>(QDir(where).filePath(prefix + QStringLiteral("XXXXXX") + suffix));
    if (!file->openLocked())
        return nullptr;
    return file;
}

QString pictureExtension(const QString& m)
{
    if (m.contains(QLatin1String("jpeg")) || startsWithNoCase(m, "JPG") || startsWithNoCase(m, "JPEG"))
        return QStringLiteral("jpg");
    if (m.contains(QLatin1String("png")) || startsWithNoCase(m, "PNG"))
        return QStringLiteral("png");
    if (m.contains(QLatin1String("gif")) || startsWithNoCase(m, "GIF"))
        return QStringLiteral("gif");
    return QStringLiteral("jpg");
}

int writePictureFile(const TagRecord& record, uint8_t kind, const QString& tempFolder, TrackTempFiles& temp)
{
    temp.picture.reset();
    if (!record[RowPicture].present())
        return 0;
    QString mime;
    PictureRef picture;
    if (fieldToText(mime, ValueCapacity, record, RowPicture, kind, &picture) == 0 || picture.bytes().isEmpty())
        return 0;
    auto file = makeTempFile(tempFolder, QStringLiteral("_tmppict"), QLatin1Char('.') + pictureExtension(mime));
    if (!file)
        return 0;
    const QByteArrayView bytes = picture.bytes();
    if (file->write(bytes.data(), bytes.size()) != bytes.size() || !file->flush())
        return 0; // the holder goes, and the partial file with it
    file->close();
    temp.picture = std::move(file);
    return 1;
}

QString recordText(const TagRecord& record, int row, uint8_t kind)
{
    QString text;
    fieldToText(text, ValueCapacity, record, row, kind);
    return text;
}

QString listText(const ListRow& listRow, int row)
{
    return truncateToCapacity(listRow[size_t(row + 3)], ValueCapacity);
}

void tagArgsFromRecord(ToolCommand& command, CliTool tool, const TagRecord& record, const QByteArray& discToc,
                       uint8_t kind, const QString& tempFolder, TrackTempFiles& temp)
{
    for (int row = 0; row <= LastTextRow; ++row) {
        const char* name = toolFieldName(tool, row);
        if (*name && record[size_t(row)].present())
            addTag(command, tool, name, recordText(record, row, kind));
    }
    if (!discToc.isEmpty())
        addDiscToc(command, tool, discToc);
    if (!writePictureFile(record, kind, tempFolder, temp))
        return;
    const QString path = temp.picturePath();
    switch (tool) {
    case CliTool::Qaac:
        command.add(QStringLiteral("--artwork"), QStringLiteral(" --artwork "));
        command.add(path, quoted(path));
        break;
    case CliTool::Fdkaac:
        command.add(QStringLiteral("--tag-from-file"), QStringLiteral(" --tag-from-file "));
        command.add(QStringLiteral("covr:") + path, QStringLiteral("covr:") + quoted(path));
        break;
    case CliTool::OpusEnc:
        command.add(QStringLiteral("--picture"), QStringLiteral(" --picture "));
        command.add(path, quoted(path));
        break;
    case CliTool::FFmpeg:
        break; // FFmpeg takes its picture as an input of its own
    }
}

void ffmpegTagArgsFromRecord(ToolCommand& command, const TagRecord& record, uint8_t kind, const QByteArray& discToc)
{
    for (int row = 0; row <= LastTextRow; ++row) {
        const char* name = toolFieldName(CliTool::FFmpeg, row);
        if (*name && record[size_t(row)].present())
            addTag(command, CliTool::FFmpeg, name, recordText(record, row, kind));
    }
    // The CD identifier travels as the other tools carry it.
    if (!discToc.isEmpty())
        addDiscToc(command, CliTool::FFmpeg, discToc);
}

void tagArgsFromList(ToolCommand& command, CliTool tool, const QByteArray& discToc, const ListRow& row)
{
    for (int r = 0; r <= LastTextRow; ++r) {
        const char* name = toolFieldName(tool, r);
        const QString text = listText(row, r);
        if (*name && !text.isEmpty())
            addTag(command, tool, name, text);
    }
    if (tool != CliTool::FFmpeg || !discToc.isEmpty())
        addDiscToc(command, tool, discToc);
}

} // namespace vn
