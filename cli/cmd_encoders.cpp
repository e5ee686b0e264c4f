// encoders: which of the six encoders this machine offers, with the versions the encoder line shows,
// and the audio encoders of the FFmpeg named in the settings.

#include "cli/cli.h"
#include "encode/encoder_availability.h"
#include "encode/tool_probe.h"

namespace vn::cli {

namespace {

int runEncoders(Context& context, const QStringList& args)
{
    if (!args.isEmpty())
        return usageError("encoders", QStringLiteral("unexpected argument: %1").arg(args.first()));
    EncoderAvailability available = probeEncoders();
    probeOutsideTools(context.settings, available, context.feedback);

    auto line = [](const char* name, bool usable, const QString& version) {
        printOut(QStringLiteral("%1\t%2\n").arg(QLatin1String(name), usable ? version : QStringLiteral("unavailable")));
    };
    line("LAME", available.lame,
         QStringLiteral("LAME%1.%2 (%3.%4)")
             .arg(available.lameEngineMajor)
             .arg(available.lameEngineMinor)
             .arg(available.lameLibraryMajor)
             .arg(available.lameLibraryMinor));
    line("FLAC", available.flac, QStringLiteral("FLAC ") + QString::fromLatin1(available.flacVersion));
    const std::pair<const char*, const QByteArray*> tools[] = {{"qaac", &available.qaacVersion},
                                                               {"fdkaac", &available.fdkaacVersion},
                                                               {"opusenc", &available.opusEncVersion},
                                                               {"FFmpeg", &available.ffmpegVersion}};
    for (const auto& [name, version] : tools)
        line(name, !version->isEmpty(), QString::fromLatin1(*version));

    printOut(QStringLiteral("FFmpeg audio encoders:%1\n")
                 .arg(available.ffmpegEncoders.isEmpty() ? QStringLiteral(" none") : QString()));
    for (const QByteArray& name : available.ffmpegEncoders)
        printOut(QStringLiteral("  %1\n").arg(QString::fromUtf8(name)));
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("encoders", "",
               "probe the encoders: each with its version text or \"unavailable\"; FFmpeg's audio encoders",
               runEncoders);

} // namespace vn::cli
