#pragma once
// The outside tools as Encoding B runs them: qaac, fdkaac, opusenc and FFmpeg, each track on a
// worker of the run's pool, stopped through the run's abort flag.

#include "encode/encoding_b.h"

namespace vn {

struct EncoderAvailability;

// The extension of the files an encoder index makes: ".mp3", ".flac", ".m4a" (qaac, fdkaac),
// OpusEnc_Ext (opusenc) or the FFmpeg options' container; empty for no encoder.
QString encoderExtension(int encoderIndex, const Settings& settings);

// The four tools, with the version texts the probes found (FFmpeg's goes into its Matroska tags).
OutsideTools outsideTools(const EncoderAvailability& available);

} // namespace vn
