#pragma once
// Which encoders this run can use, and the version texts the encoder line shows. The libraries and
// the outside tools are probed once at start-up; the menus only read these flags.

#include <QByteArray>
#include <QList>

namespace vn {

struct EncoderAvailability {
    bool lame = false;
    // The LAME engine's and the library's version numbers.
    int lameEngineMajor = 0, lameEngineMinor = 0, lameLibraryMajor = 0, lameLibraryMinor = 0;
    QByteArray lameHomepage; // the library's home page, as the LAME options dialog shows it
    bool flac = false;
    QByteArray flacVersion;
    // Empty when the tool is unusable.
    QByteArray qaacVersion, fdkaacVersion, opusEncVersion, ffmpegVersion;
    // FFmpeg's audio encoders; empty when FFmpeg is not set or named none.
    QList<QByteArray> ffmpegEncoders;

    // True when at least one encoder can be used (CD image mode needs one to offer "Encoding B").
    bool any() const
    {
        return lame || flac || !qaacVersion.isEmpty() || !fdkaacVersion.isEmpty() || !opusEncVersion.isEmpty() ||
               !ffmpegVersion.isEmpty();
    }
};

// Loads the LAME and FLAC libraries to tell whether they are present and which versions they are.
// The outside tools are left unusable until their probes run (probeOutsideTools, encode/tool_probe.h).
EncoderAvailability probeEncoders();

} // namespace vn
