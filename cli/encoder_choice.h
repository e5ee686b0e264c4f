#pragma once
// The encoder a command line names, and whether it can run here: shared by encode and batch.

#include <QString>

namespace vn {
struct EncoderAvailability;
struct Settings;
class Feedback;
} // namespace vn

namespace vn::cli {

// 1 to 6 for "lame", "flac", "qaac", "fdkaac", "opusenc", "ffmpeg" in any case; -1 otherwise.
int encoderIndexNamed(const QString& name);

// Why the selected encoder cannot run here, or nothing when it can. An outside tool is asked for its
// version, as the window does at start-up.
QString encoderUnavailable(int index, const Settings& settings, EncoderAvailability& available, Feedback& feedback);

} // namespace vn::cli
