#include "cli/encoder_choice.h"

#include "config/settings.h"
#include "encode/encoder_availability.h"
#include "encode/encoding_b.h"
#include "encode/flac_encoder.h"
#include "encode/lame_encoder.h"
#include "encode/tool_probe.h"

namespace vn::cli {

int encoderIndexNamed(const QString& name)
{
    for (int i = 1; i < int(EncoderNames.size()); ++i) {
        if (name.compare(QLatin1String(EncoderNames[size_t(i)]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString encoderUnavailable(int index, const Settings& s, EncoderAvailability& available, Feedback& feedback)
{
    switch (index) {
    case EncoderLame:
        return lameLibrary().available ? QString() : QStringLiteral("LAME (libmp3lame) is not available");
    case EncoderFlac:
        return flacLibrary().available ? QString() : QStringLiteral("FLAC (libFLAC) is not available");
    case EncoderQaac:
    case EncoderFdkaac:
    case EncoderOpusEnc:
    case EncoderFFmpeg: {
        if (probeOutsideTool(index, s, available, feedback))
            return QString();
        static const char* keys[] = {"Qaac_Exe", "Fdkaac_Exe", "OpusEnc_Exe", "FFmpeg_Exe"};
        const QString& exe = index == EncoderQaac      ? s.Qaac_Exe
                             : index == EncoderFdkaac  ? s.Fdkaac_Exe
                             : index == EncoderOpusEnc ? s.OpusEnc_Exe
                                                       : s.FFmpeg_Exe;
        const QLatin1String key(keys[index - EncoderQaac]);
        return exe.isEmpty() ? QStringLiteral("%1 is not available: %2 is not set").arg(encoderToolName(index), key)
                             : QStringLiteral("%1 is not available: %2 \"%3\" does not answer as %1 does")
                                   .arg(encoderToolName(index), key, exe);
    }
    default:
        return QStringLiteral("no encoder is selected");
    }
}

} // namespace vn::cli
