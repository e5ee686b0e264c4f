#include "support/sound_server.h"

#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <cmath>

namespace vn::test {

namespace {

constexpr const char* SinkName = "vornelic_null";
// How many times to look, 50 ms apart, for the daemon or the recorder to be ready.
constexpr int ReadyAttempts = 200;

} // namespace

SoundServer::SoundServer() = default;

SoundServer::~SoundServer()
{
    for (QProcess* p : {&recorder_, &daemon_}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
}

QString SoundServer::address() const
{
    return QStringLiteral("unix:") + dir_.filePath("native");
}

QProcessEnvironment SoundServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", address());
    return env;
}

bool SoundServer::pactl(const QStringList& args, QByteArray* out) const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start("pactl", args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(10000))
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool SoundServer::start(QString& error)
{
    if (!dir_.isValid()) {
        error = "no temporary folder";
        return false;
    }
    // Everything the daemon keeps goes into the test's own folder; no system-wide daemon, no
    // session bus, and running as root (as CI does) is allowed.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("PULSE_SERVER");
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "PULSE_RUNTIME_PATH",
                             "PULSE_STATE_PATH"})
        env.insert(name, dir_.path());
    daemon_.setProcessEnvironment(env);
    daemon_.setStandardOutputFile(dir_.filePath("daemon.log"));
    daemon_.setStandardErrorFile(dir_.filePath("daemon.log"), QIODevice::Append);
    daemon_.start("pulseaudio",
                  {"-n", "--daemonize=no", "--system=no", "--exit-idle-time=-1", "--use-pid-file=no",
                   "--disable-shm=yes", "--log-target=stderr", "--log-level=warning",
                   // Without rewinds the monitor carries every sample a stream plays, its first ones too.
                   QStringLiteral("--load=module-null-sink sink_name=%1 format=s16le rate=%2 channels=%3 norewinds=1")
                       .arg(SinkName)
                       .arg(SinkRate)
                       .arg(SinkChannels),
                   QStringLiteral("--load=module-native-protocol-unix socket=%1 auth-anonymous=1").arg(dir_.filePath("native"))});
    if (!daemon_.waitForStarted(10000)) {
        error = "pulseaudio does not start: " + daemon_.errorString();
        return false;
    }
    for (int i = 0; i < ReadyAttempts; ++i) {
        if (daemon_.state() != QProcess::Running)
            break;
        if (pactl({"info"}))
            return true;
        QThread::msleep(50);
    }
    error = "pulseaudio does not answer: " + QString::fromUtf8(readFile(dir_.filePath("daemon.log")));
    return false;
}

bool SoundServer::startRecording(QString& error)
{
    recording_ = dir_.filePath("monitor.raw");
    QFile::remove(recording_);
    recorder_.setProcessEnvironment(environment());
    recorder_.setStandardOutputFile(recording_);
    recorder_.setStandardErrorFile(dir_.filePath("recorder.log"));
    recorder_.start("parec", {"--raw", "--format=s16le", QStringLiteral("--rate=%1").arg(SinkRate),
                              QStringLiteral("--channels=%1").arg(SinkChannels), "--latency-msec=20",
                              QStringLiteral("--device=%1.monitor").arg(SinkName)});
    if (!recorder_.waitForStarted(10000)) {
        error = "parec does not start: " + recorder_.errorString();
        return false;
    }
    // Recording has begun once the server lists the recorder's stream.
    for (int i = 0; i < ReadyAttempts; ++i) {
        QByteArray out;
        if (recorder_.state() != QProcess::Running)
            break;
        if (pactl({"list", "short", "source-outputs"}, &out) && !out.trimmed().isEmpty())
            return true;
        QThread::msleep(50);
    }
    error = "parec does not record: " + QString::fromUtf8(readFile(dir_.filePath("recorder.log")));
    return false;
}

std::vector<int16_t> SoundServer::stopRecording()
{
    recorder_.terminate();
    if (!recorder_.waitForFinished(10000)) {
        recorder_.kill();
        recorder_.waitForFinished(5000);
    }
    const QByteArray bytes = readFile(recording_);
    std::vector<int16_t> samples(size_t(bytes.size()) / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(uint16_t(uint8_t(bytes[qsizetype(2 * i)])) | uint16_t(uint8_t(bytes[qsizetype(2 * i + 1)])) << 8);
    return samples;
}

int SoundServer::playbackStreams() const
{
    QByteArray out;
    if (!pactl({"list", "short", "sink-inputs"}, &out))
        return -1;
    return int(out.trimmed().isEmpty() ? 0 : out.trimmed().count('\n') + 1);
}

QProcessEnvironment environmentWithoutSoundServer(const QString& folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", QStringLiteral("unix:") + QDir(folder).filePath("nobody-listens"));
    return env;
}

size_t audibleFrames(const std::vector<int16_t>& samples)
{
    size_t n = 0;
    for (size_t i = 0; i + 1 < samples.size(); i += 2)
        n += samples[i] != 0 || samples[i + 1] != 0;
    return n;
}

std::pair<size_t, size_t> audibleSpan(const std::vector<int16_t>& samples)
{
    size_t first = 0, last = 0;
    bool any = false;
    for (size_t f = 0; 2 * f + 1 < samples.size(); ++f) {
        if (samples[2 * f] != 0 || samples[2 * f + 1] != 0) {
            if (!any)
                first = f;
            any = true;
            last = f;
        }
    }
    return {first, last};
}

long bestAlignment(const std::vector<int16_t>& recording, const std::vector<int16_t>& pcm, size_t window)
{
    const size_t recFrames = recording.size() / 2;
    if (pcm.size() / 2 < window || recFrames < window)
        return -1;
    double pcmEnergy = 0;
    for (size_t k = 0; k < window; ++k)
        pcmEnergy += double(pcm[2 * k]) * pcm[2 * k];
    double recEnergy = 0;
    for (size_t k = 0; k < window; ++k)
        recEnergy += double(recording[2 * k]) * recording[2 * k];
    long best = -1;
    double bestScore = 0;
    for (size_t off = 0; off + window <= recFrames; ++off) {
        if (off > 0) {
            const double out = recording[2 * (off - 1)], in = recording[2 * (off + window - 1)];
            recEnergy += in * in - out * out;
        }
        if (recEnergy <= 0 || pcmEnergy <= 0)
            continue;
        double dot = 0;
        for (size_t k = 0; k < window; ++k)
            dot += double(recording[2 * (off + k)]) * pcm[2 * k];
        const double score = dot / std::sqrt(recEnergy * pcmEnergy);
        if (score > bestScore) {
            bestScore = score;
            best = long(off);
        }
    }
    return best;
}

} // namespace vn::test
