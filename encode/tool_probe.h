#pragma once
// The outside encoders' probes at start-up: each tool asked for its version, FFmpeg also for its
// encoders. A tool that answers is offered in the menus; one that does not stays unavailable.

#include <QByteArray>
#include <QList>
#include <QString>

namespace vn {

class Feedback;
struct EncoderAvailability;
struct Settings;

// Version text sizes, terminator counted.
inline constexpr int QaacVersionSize = 16;
inline constexpr int FdkaacVersionSize = 16;
inline constexpr int OpusEncVersionSize = 18;
inline constexpr int FfmpegVersionSize = 27;

inline constexpr int ProbeOutputSize = 16384;
inline constexpr int EncoderListOutputSize = 32768;

// Runs "executable option" and looks for keyword in what it prints. Without a label the version
// text runs from the keyword; with one it is the label, a blank, and what follows the keyword
// without blanks; either way cut at the line's end and at the first ",", "/" and ")", and to
// size - 1 bytes. 1 when the keyword was found, else 0 (and an empty text). With showError, a tool
// that printed something without the keyword brings up the missing-libraries box.
int probeTool(const QString& executable, const QString& option, const QByteArray& keyword, const QByteArray& label,
              QByteArray& version, int size, bool showError, Feedback* feedback);

// The audio encoders FFmpeg names in "-encoders"; empty when the executable is not set or printed
// nothing.
QList<QByteArray> listFfmpegEncoders(const QString& ffmpegExecutable);

// The encoder word of the FFmpeg options (their first word; the default options' when empty).
QByteArray ffmpegEncoderWord(const QString& ffmpegOptions);

// Tells the user, through an information box, when the options' encoder is not in the list.
// True when it is.
bool checkFfmpegEncoder(const QList<QByteArray>& encoders, const QString& ffmpegOptions, Feedback& feedback);

// One tool's probe by its EncoderIndex (3 qaac, 4 fdkaac, 5 opusenc, 6 FFmpeg), into its version
// text. True when the tool answered.
bool probeOutsideTool(int encoderIndex, const Settings& settings, EncoderAvailability& available, Feedback& feedback);

// The four probes in start-up order (qaac, fdkaac, opusenc, FFmpeg), then FFmpeg's encoder list and
// its check of the FFmpeg options, into available.
void probeOutsideTools(const Settings& settings, EncoderAvailability& available, Feedback& feedback);

// After the FFmpeg options changed: the check again, when an encoder list was obtained.
void ffmpegOptionsChanged(const Settings& settings, const EncoderAvailability& available, Feedback& feedback);

} // namespace vn
