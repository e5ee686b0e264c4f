#include "encode/cli_encoders.h"

#include "config/settings.h"
#include "containers/matroska.h"
#include "containers/mp4_tag_writer.h"
#include "encode/encoder_availability.h"
#include "encode/track_cut.h"
#include "util/safe_file.h"

#include <QFileInfo>

namespace vn {

namespace {

// What each tool gets when its options are not set.
constexpr char DefaultFdkaacOptions[] = "-m5";
constexpr char DefaultOpusEncOptions[] = "--bitrate 192";
constexpr char DefaultFfmpegOptions[] = "aac -q:a 1";

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString orDefault(const QString& options, const char* fallback)
{
    return options.isEmpty() ? QString::fromLatin1(fallback) : options;
}

bool isWavImage(const QString& imagePath)
{
    return imagePath.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive);
}

QString dottedSuffix(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
}

// Words that are one argument each and shown as they stand, after one blank.
void addWords(ToolCommand& command, std::initializer_list<const char*> words)
{
    for (const char* w : words)
        command.add(QString::fromLatin1(w), QLatin1Char(' ') + QLatin1String(w));
}

// Cuts the job's track into a new temporary file with the image's own extension.
int cutIntoTemp(const CliTrackJob& job, const Settings& settings, TrackTempFiles& temp)
{
    temp.cut = makeTempFile(settings.Path_Temp, QStringLiteral("_tmp"), dottedSuffix(job.imagePath));
    if (!temp.cut)
        return CutCannotCreate;
    const int code = cutTrack(job.imagePath, *temp.cut, job.first, job.last);
    if (!temp.cut->flush())
        return CutCannotCreate;
    temp.cut->close();
    return code;
}

void addTags(ToolCommand& command, CliTool tool, const CliTrackJob& job, const Settings& settings, TrackTempFiles& temp)
{
    if (job.bTagsRun) {
        if (job.listRow)
            tagArgsFromList(command, tool, job.discToc, *job.listRow);
    } else if (job.record) {
        if (tool == CliTool::FFmpeg)
            ffmpegTagArgsFromRecord(command, *job.record, job.kind, job.discToc);
        else
            tagArgsFromRecord(command, tool, *job.record, job.discToc, job.kind, settings.Path_Temp, temp);
    }
}

bool sameNoCase(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

ToolCommand qaacCommand(const CliTrackJob& job, const QString& out, const Settings& settings, TrackTempFiles& temp)
{
    ToolCommand c = toolCommand(settings.Qaac_Exe);
    c.show(QStringLiteral(" "));
    if (!isWavImage(job.imagePath))
        c.add(QStringLiteral("-R"), QStringLiteral("-R "));
    c.add(job.imagePath, quoted(job.imagePath));
    // The "s" makes qaac read the numbers as sample frames.
    const QString first = QString::number(job.first) + QLatin1Char('s');
    const QString last = QString::number(job.last) + QLatin1Char('s');
    addWords(c, {"--start"});
    c.add(first, QLatin1Char(' ') + first);
    addWords(c, {"--end"});
    c.add(last, QLatin1Char(' ') + last);
    addWords(c, {"-o"});
    c.add(out, QLatin1Char(' ') + quoted(out));
    c.show(QStringLiteral(" "));
    c.addOptions(settings.Qaac_Options);
    addTags(c, CliTool::Qaac, job, settings, temp);
    return c;
}

ToolCommand fdkaacCommand(const CliTrackJob& job, const QString& out, const Settings& settings, TrackTempFiles& temp)
{
    ToolCommand c = toolCommand(settings.Fdkaac_Exe);
    c.show(QStringLiteral(" "));
    c.addOptions(orDefault(settings.Fdkaac_Options, DefaultFdkaacOptions));
    c.show(QStringLiteral(" "));
    if (!isWavImage(job.imagePath))
        c.add(QStringLiteral("-R"), QStringLiteral("-R "));
    c.add(temp.cutPath(), quoted(temp.cutPath()));
    addWords(c, {"-o"});
    c.add(out, QLatin1Char(' ') + quoted(out));
    addTags(c, CliTool::Fdkaac, job, settings, temp);
    return c;
}

ToolCommand opusEncCommand(const CliTrackJob& job, const QString& out, const Settings& settings, TrackTempFiles& temp)
{
    ToolCommand c = toolCommand(settings.OpusEnc_Exe);
    c.show(QStringLiteral(" "));
    c.addOptions(orDefault(settings.OpusEnc_Options, DefaultOpusEncOptions));
    addTags(c, CliTool::OpusEnc, job, settings, temp);
    c.show(QStringLiteral(" "));
    if (settings.OpusEnc_Msg.isEmpty())
        c.add(QStringLiteral("--quiet"), QStringLiteral("--quiet "));
    if (!isWavImage(job.imagePath)) {
        c.add(QStringLiteral("--raw"), QStringLiteral("--raw "));
        c.add(QStringLiteral("--raw-rate"), QStringLiteral("--raw-rate "));
        c.add(QStringLiteral("44100"), QStringLiteral("44100 "));
    }
    c.add(temp.cutPath(), quoted(temp.cutPath()));
    c.show(QStringLiteral(" "));
    c.add(out, quoted(out));
    return c;
}

ToolCommand ffmpegCommand(const CliTrackJob& job, const QString& out, const Settings& settings, TrackTempFiles& temp)
{
    ToolCommand c = toolCommand(settings.FFmpeg_Exe);
    if (!isWavImage(job.imagePath))
        addWords(c, {"-f", "s16le", "-ar", "44100", "-ac", "2"});
    addWords(c, {"-i"});
    c.add(temp.cutPath(), QLatin1Char(' ') + quoted(temp.cutPath()));

    const QString extension = dottedSuffix(job.outputPath);
    const bool mka = sameNoCase(extension, ".mka");
    const bool webm = sameNoCase(extension, ".webm");
    bool picture = !omitPicture(settings, extension) && !job.bTagsRun && job.record &&
                   writePictureFile(*job.record, job.kind, settings.Path_Temp, temp);
    const QString picturePath = temp.picturePath();
    if (picture && !mka && !webm) {
        addWords(c, {"-i"});
        c.add(picturePath, QLatin1Char(' ') + quoted(picturePath));
        addWords(c, {"-map", "0:a", "-map", "1:v"});
    }
    addWords(c, {"-c:a"});
    c.show(QStringLiteral(" "));
    c.addOptions(orDefault(settings.FFmpeg_Options, DefaultFfmpegOptions));
    if (picture && mka) {
        addWords(c, {"-attach"});
        c.add(picturePath, QLatin1Char(' ') + quoted(picturePath));
        // The attachment's type follows the picture, which is not always a JPEG.
        const QString ext = QFileInfo(picturePath).suffix();
        const QString mime = QStringLiteral("mimetype=image/") + (ext == u"jpg" ? QStringLiteral("jpeg") : ext);
        addWords(c, {"-metadata:s:t"});
        c.add(mime, QLatin1Char(' ') + mime);
    } else if (picture && !webm) {
        addWords(c, {"-c:v", "copy", "-disposition:1", "attached_pic"});
    }
    addTags(c, CliTool::FFmpeg, job, settings, temp);
    if (sameNoCase(extension, ".mp3"))
        addWords(c, {"-id3v2_version", "3"});
    addWords(c, {"-hide_banner", "-y"});
    c.add(out, QLatin1Char(' ') + quoted(out));
    return c;
}

// FFmpeg's Matroska and WebM tags are replaced by the program's own, with the CD identifier and the
// encoder, and WebM, which takes no attachment from FFmpeg, gets the picture here.
void writeMatroskaTags(const QString& path, bool webm, const CliTrackJob& job, const Settings& settings,
                       const QByteArray& ffmpegVersion, const TrackTempFiles& temp)
{
    MatroskaJob mkv;
    mkv.writeFlags = MkvWriteTags;
    for (int row = 0; row <= RowComposer; ++row) {
        if (job.bTagsRun)
            mkv.tagTexts << (job.listRow ? listText(*job.listRow, row) : QString());
        else
            mkv.tagTexts << (job.record ? recordText(*job.record, row, job.kind) : QString());
    }
    mkv.tagTexts << QString::fromLatin1(ffmpegVersion) + QLatin1Char(' ') +
                        orDefault(settings.FFmpeg_Options, DefaultFfmpegOptions);
    mkv.cdIdentifier = QString::fromLatin1(job.discToc);
    if (webm && !temp.picturePath().isEmpty()) {
        mkv.writeFlags |= MkvWriteCover;
        mkv.coverPath = temp.picturePath();
    }
    MatroskaResult result;
    // A file the writer cannot rewrite keeps the tags FFmpeg gave it.
    processMatroska(path, mkv, result);
}

} // namespace

QString ffmpegContainerFor(const Settings& settings)
{
    for (const QString& item : settings.FFmpeg_Containers.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype dot = item.indexOf(QLatin1Char('.'));
        // An item without a key would match any options.
        if (dot <= 0)
            continue;
        if (settings.FFmpeg_Options.contains(item.left(dot)))
            return item.mid(dot);
    }
    return QStringLiteral(".m4a");
}

bool omitPicture(const Settings& settings, const QString& extension)
{
    const QStringList items = settings.FFmpeg_Omit_Pict.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const bool last = i == items.size() - 1;
        if (last ? extension.compare(items[i], Qt::CaseInsensitive) == 0
                 : extension.startsWith(items[i], Qt::CaseInsensitive))
            return true;
    }
    return false;
}

ToolCommand buildCliCommand(CliTool tool, const CliTrackJob& job, const QString& toolOutputPath,
                            const Settings& settings, TrackTempFiles& temp, int& cutCode)
{
    cutCode = CutOk;
    switch (tool) {
    case CliTool::Qaac:
        return qaacCommand(job, toolOutputPath, settings, temp);
    case CliTool::Fdkaac:
        cutCode = cutIntoTemp(job, settings, temp);
        return fdkaacCommand(job, toolOutputPath, settings, temp);
    case CliTool::OpusEnc:
        cutCode = cutIntoTemp(job, settings, temp);
        return opusEncCommand(job, toolOutputPath, settings, temp);
    case CliTool::FFmpeg:
        cutCode = cutIntoTemp(job, settings, temp);
        return ffmpegCommand(job, toolOutputPath, settings, temp);
    }
    return {};
}

int encodeCliTrack(CliTool tool, const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                   Feedback* feedback)
{
    if (job.unnamed)
        job.unnamed->clear();
    if (nameTaken(job.outputPath))
        return CliEncodeOutputTaken;
    // The tool writes beside the output under a name of its own; FFmpeg picks its container by the
    // extension, so the name keeps it.
    const QFileInfo output(job.outputPath);
    auto toolOutput = makeTempFile(output.absolutePath(), QStringLiteral(".vornelic-"), dottedSuffix(job.outputPath));
    if (!toolOutput)
        return CliEncodeNoTempFile;
    toolOutput->close();
    const QString toolOutputPath = toolOutput->fileName();

    TrackTempFiles temp;
    int cutCode = CutOk;
    const ToolCommand command = buildCliCommand(tool, job, toolOutputPath, settings, temp, cutCode);
    if (cutCode != CutOk)
        return temp.cut ? CliEncodeCutFailed : CliEncodeNoTempFile;

    ToolRunOptions options;
    options.console = job.console;
    options.commandLog = settings.Batch_Log_EncCmdLn;
    options.feedback = feedback;
    options.cancel = job.cancel;
    int exitCode = 0;
    const int ran = runTool(command, options, nullptr, &exitCode);
    temp.cut.reset();
    if (ran == ToolAborted)
        return CliEncodeAborted;
    if (ran == ToolNotStarted || exitCode != 0 || QFileInfo(toolOutputPath).size() == 0)
        return CliEncodeToolFailed;

    const QString extension = dottedSuffix(job.outputPath);
    if (tool == CliTool::FFmpeg && (sameNoCase(extension, ".mka") || sameNoCase(extension, ".webm")))
        writeMatroskaTags(toolOutputPath, sameNoCase(extension, ".webm"), job, settings, tools.ffmpegVersion, temp);
    // FFmpeg's MP4 writer has no item for the CD identifier: it goes in as a freeform item.
    if (tool == CliTool::FFmpeg && (sameNoCase(extension, ".m4a") || sameNoCase(extension, ".mp4")) &&
        !job.discToc.isEmpty())
        addMp4FreeformText(toolOutputPath, "CDTOC", job.discToc);

    // Temporary files are private; the output is an ordinary file of the user's.
    QFile::setPermissions(toolOutputPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ReadOther);
    if (job.unnamed) {
        toolOutput->setAutoRemove(false);
        *job.unnamed = toolOutputPath;
        return CliEncodeDone;
    }
    if (!moveFileNoReplace(toolOutputPath, job.outputPath))
        return CliEncodeOutputTaken;
    toolOutput->setAutoRemove(false);
    return CliEncodeDone;
}

int encodeQaacTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                    Feedback* feedback)
{
    return encodeCliTrack(CliTool::Qaac, job, settings, tools, feedback);
}

int encodeFdkaacTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                      Feedback* feedback)
{
    return encodeCliTrack(CliTool::Fdkaac, job, settings, tools, feedback);
}

int encodeOpusEncTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                       Feedback* feedback)
{
    return encodeCliTrack(CliTool::OpusEnc, job, settings, tools, feedback);
}

int encodeFfmpegTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                      Feedback* feedback)
{
    return encodeCliTrack(CliTool::FFmpeg, job, settings, tools, feedback);
}

} // namespace vn
