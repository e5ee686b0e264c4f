#include "encode/tool_probe.h"

#include "config/settings.h"
#include "encode/child_process.h"
#include "encode/encoder_availability.h"
#include "util/feedback.h"
#include "util/text_helpers.h"

namespace vn {

namespace {

// Encoder and options used when FFmpeg_Options is empty.
constexpr char DefaultFfmpegOptions[] = "aac -q:a 1";

QByteArray versionFrom(QByteArray found, const QByteArray& keyword, const QByteArray& label, int size)
{
    for (char end : {'\r', '\n', ',', '/', ')'}) {
        const qsizetype at = found.indexOf(end);
        if (at >= 0)
            found.truncate(at);
    }
    if (label.isEmpty())
        return found.left(qMax(size - 1, 0));
    QByteArray version = (label + ' ').left(qMax(size - 1, 0));
    const QString rest = QString::fromLatin1(found.mid(keyword.size() + 1));
    version += copyWithoutSpaces(rest, size - int(version.size())).toLatin1();
    return version;
}

} // namespace

int probeTool(const QString& executable, const QString& option, const QByteArray& keyword, const QByteArray& label,
              QByteArray& version, int size, bool showError, Feedback* feedback)
{
    version.clear();
    if (executable.isEmpty())
        return 0;
    ToolCommand command = toolCommand(executable);
    command.add(option, QLatin1Char(' ') + option);
    QByteArray output;
    if (captureToolOutput(command, output, ProbeOutputSize) <= 0)
        return 0;
    const qsizetype at = output.indexOf(keyword);
    if (at < 0) {
        if (showError && feedback)
            feedback->message(QStringLiteral("Dynamic link libraries required by qaac not found.\n"
                                             "Please check the EnvVarPATH parameter in the configuration file "
                                             "\"Vornelic.ini\"."),
                              QStringLiteral("Error : Specified module could not be found"), MessageButtons::Ok,
                              MessageIcon::Error);
        return 0;
    }
    version = versionFrom(output.mid(at), keyword, label, size);
    return 1;
}

QList<QByteArray> listFfmpegEncoders(const QString& ffmpegExecutable)
{
    QList<QByteArray> names;
    if (ffmpegExecutable.isEmpty())
        return names;
    ToolCommand command = toolCommand(ffmpegExecutable);
    command.add(QStringLiteral("-encoders"), QStringLiteral(" -encoders"));
    QByteArray output;
    if (captureToolOutput(command, output, EncoderListOutputSize) <= 0)
        return names;
    for (const QByteArray& line : output.split('\n')) {
        // " A....D name   description": the capability letters, then the name from the ninth character.
        if (line.size() < 9 || line[1] != 'A')
            continue;
        QByteArray name = line.mid(8);
        const qsizetype blank = name.indexOf(' ');
        if (blank >= 0)
            name.truncate(blank);
        name = name.trimmed();
        // The legend above the list (" A..... = Audio") is no encoder.
        if (name.isEmpty() || name == "=")
            continue;
        names << name;
    }
    return names;
}

QByteArray ffmpegEncoderWord(const QString& ffmpegOptions)
{
    const QString options = ffmpegOptions.isEmpty() ? QString::fromLatin1(DefaultFfmpegOptions) : ffmpegOptions;
    return options.split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0).toUtf8();
}

bool checkFfmpegEncoder(const QList<QByteArray>& encoders, const QString& ffmpegOptions, Feedback& feedback)
{
    const QByteArray word = ffmpegEncoderWord(ffmpegOptions);
    if (encoders.contains(word))
        return true;
    feedback.message(QStringLiteral("The specified encoder '%1' is not installed in the current version of FFmpeg.")
                         .arg(QString::fromUtf8(word)),
                     QStringLiteral("FFmpeg does not support the Encoder"), MessageButtons::Ok,
                     MessageIcon::Information);
    return false;
}

bool probeOutsideTool(int encoderIndex, const Settings& settings, EncoderAvailability& available, Feedback& feedback)
{
    switch (encoderIndex) {
    case 3:
        return probeTool(settings.Qaac_Exe, QStringLiteral("--check"), "qaac", {}, available.qaacVersion,
                         QaacVersionSize, true, &feedback);
    case 4:
        return probeTool(settings.Fdkaac_Exe, QStringLiteral("-h"), "fdkaac", {}, available.fdkaacVersion,
                         FdkaacVersionSize, false, &feedback);
    case 5:
        return probeTool(settings.OpusEnc_Exe, QStringLiteral("--version"), "libopus", "OpusEnc",
                         available.opusEncVersion, OpusEncVersionSize, false, &feedback);
    case 6:
        return probeTool(settings.FFmpeg_Exe, QStringLiteral("-version"), "libavformat", "FFmpeg",
                         available.ffmpegVersion, FfmpegVersionSize, false, &feedback);
    default:
        return false;
    }
}

void probeOutsideTools(const Settings& settings, EncoderAvailability& available, Feedback& feedback)
{
    for (int encoderIndex = 3; encoderIndex <= 6; ++encoderIndex)
        probeOutsideTool(encoderIndex, settings, available, feedback);
    available.ffmpegEncoders = listFfmpegEncoders(settings.FFmpeg_Exe);
    ffmpegOptionsChanged(settings, available, feedback);
}

void ffmpegOptionsChanged(const Settings& settings, const EncoderAvailability& available, Feedback& feedback)
{
    if (!available.ffmpegEncoders.isEmpty())
        checkFfmpegEncoder(available.ffmpegEncoders, settings.FFmpeg_Options, feedback);
}

} // namespace vn
