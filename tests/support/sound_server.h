#pragma once
// A private sound server for the tests: a PulseAudio daemon of the test's own, with its own runtime
// folder and socket, whose only output is a null sink, and a recorder of that sink's monitor. The
// audio a player sends to the default output can be read back sample for sample.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <vector>

namespace vn::test {

// The null sink's format: CD audio, so a CD image track passes unchanged.
inline constexpr int SinkRate = 44100;
inline constexpr int SinkChannels = 2;

class SoundServer {
public:
    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Starts the daemon and waits until it answers; false with the reason in error.
    bool start(QString& error);
    bool running() const { return daemon_.state() == QProcess::Running; }
    // "unix:" and the socket, for PULSE_SERVER.
    QString address() const;
    // This process's environment with PULSE_SERVER naming the server.
    QProcessEnvironment environment() const;

    // Records the null sink's monitor from now on (raw 16-bit stereo frames).
    bool startRecording(QString& error);
    // Stops the recording; its frames, interleaved left and right.
    std::vector<int16_t> stopRecording();
    // Playback streams connected to the sink right now.
    int playbackStreams() const;

private:
    bool pactl(const QStringList& args, QByteArray* out = nullptr) const;

    QTemporaryDir dir_;
    QProcess daemon_;
    QProcess recorder_;
    QString recording_;
};

// A program with PULSE_SERVER set to a socket nobody listens on: no audio output at all.
QProcessEnvironment environmentWithoutSoundServer(const QString& folder);

// The frames in which either channel is not zero.
size_t audibleFrames(const std::vector<int16_t>& samples);
// The first and last frame in which either channel is not zero; {0, 0} for silence.
std::pair<size_t, size_t> audibleSpan(const std::vector<int16_t>& samples);
// The frame of recording at which the first `window` frames of pcm line up best, by normalised
// cross-correlation of the left channel; -1 when the recording is too short.
long bestAlignment(const std::vector<int16_t>& recording, const std::vector<int16_t>& pcm, size_t window);

} // namespace vn::test
