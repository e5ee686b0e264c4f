#include "encode/encoding_b_tools.h"

#include "config/settings.h"
#include "encode/cli_encoders.h"
#include "encode/encoder_availability.h"

#include <limits>

namespace vn {

namespace {

const QByteArray& messageMode(int encoderIndex, const Settings& s)
{
    switch (encoderIndex) {
    case EncoderQaac:
        return s.Qaac_Msg;
    case EncoderFdkaac:
        return s.Fdkaac_Msg;
    case EncoderOpusEnc:
        return s.OpusEnc_Msg;
    default:
        return s.FFmpeg_Msg;
    }
}

} // namespace

QString encoderExtension(int encoderIndex, const Settings& settings)
{
    switch (encoderIndex) {
    case EncoderLame:
        return QStringLiteral(".mp3");
    case EncoderFlac:
        return QStringLiteral(".flac");
    case EncoderQaac:
    case EncoderFdkaac:
        return QStringLiteral(".m4a");
    case EncoderOpusEnc:
        return settings.OpusEnc_Ext.isEmpty() ? QStringLiteral(".opus") : settings.OpusEnc_Ext;
    case EncoderFFmpeg:
        return ffmpegContainerFor(settings);
    default:
        return QString();
    }
}

OutsideTools outsideTools(const EncoderAvailability& available)
{
    OutsideTools tools;
    tools.extension = [](int encoderIndex, const Settings& settings) {
        return encoderExtension(encoderIndex, settings);
    };
    tools.encode = [available](const OutsideToolTrack& track, const Settings& settings, QString& made) {
        made.clear();
        if (track.encoderIndex < EncoderQaac || track.encoderIndex > EncoderFFmpeg || !track.cue)
            return int(CliEncodeToolFailed);
        // A range beyond what a tool's sample counts reach lies beyond any image the cut can read.
        constexpr uint64_t most = std::numeric_limits<uint32_t>::max();
        if (track.first > most || track.last > most)
            return int(CliEncodeCutFailed);
        CliTrackJob job;
        job.imagePath = track.cue->imagePath;
        job.first = uint32_t(track.first);
        job.last = uint32_t(track.last);
        job.outputPath = track.outputPath;
        if (track.a) {
            job.record = &track.a->record;
            job.kind = track.a->header.version;
        }
        job.discToc = track.discToc;
        job.listRow = track.listRow;
        job.bTagsRun = track.a == nullptr;
        job.console = isConsoleMode(messageMode(track.encoderIndex, settings));
        job.cancel = track.cancel;
        job.unnamed = &made;
        return encodeCliTrack(CliTool(track.encoderIndex), job, settings, available, nullptr);
    };
    return tools;
}

} // namespace vn
