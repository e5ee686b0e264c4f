#include "play/image_player.h"

#include "play/audio_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace vn {

namespace {

// How often a playing track looks whether its end has been heard.
constexpr int WatchMs = 20;

// The sample format of the image's PCM, or Unknown when the sink cannot take it as it stands.
QAudioFormat::SampleFormat sampleFormatOf(const CueSheet& cue)
{
    const uint16_t tag = cue.formatTag();
    switch (cue.bitsPerSample()) {
    case 8:
        return tag == 1 ? QAudioFormat::UInt8 : QAudioFormat::Unknown;
    case 16:
        return tag == 1 ? QAudioFormat::Int16 : QAudioFormat::Unknown;
    case 32:
        return tag == 1 ? QAudioFormat::Int32 : tag == 3 ? QAudioFormat::Float : QAudioFormat::Unknown;
    default:
        return QAudioFormat::Unknown;
    }
}

} // namespace

ImageTrackSource::ImageTrackSource(const CueSheet& cue) : pcm_(cue) {}

void ImageTrackSource::setFrames(FrameRange frames)
{
    frames_ = frames;
    next_ = frames.first;
    handedOut_ = 0;
    exhausted_ = frames.count() == 0;
}

qint64 ImageTrackSource::bytesAvailable() const
{
    const uint64_t left = frames_.end > next_ ? frames_.end - next_ : 0;
    return qint64(left * pcm_.frameBytes()) + QIODevice::bytesAvailable();
}

qint64 ImageTrackSource::readData(char* data, qint64 maxSize)
{
    if (exhausted_ || maxSize <= 0)
        return 0;
    const uint32_t frameBytes = pcm_.frameBytes();
    const uint64_t left = frames_.end > next_ ? frames_.end - next_ : 0;
    const uint64_t want = std::min<uint64_t>(uint64_t(maxSize) / frameBytes, left);
    if (want == 0) {
        exhausted_ = left == 0;
        return 0;
    }
    const uint32_t got = pcm_.read(next_, uint32_t(std::min<uint64_t>(want, UINT32_MAX)), piece_);
    if (got == 0) {
        // The image ends early or cannot be read: the track ends here.
        exhausted_ = true;
        return 0;
    }
    std::memcpy(data, piece_.constData(), size_t(got) * frameBytes);
    next_ += got;
    handedOut_ += got;
    exhausted_ = next_ >= frames_.end;
    return qint64(got) * frameBytes;
}

ImagePlayer::ImagePlayer(const CueSheet& cue, PlayerEventFn events)
    : cue_(cue), events_(std::move(events)), source_(cue_)
{
    chooseMediaBackend();
}

ImagePlayer::~ImagePlayer()
{
    shutDown();
    // The sink pumps events as it goes; nothing of ours listens any more.
    sink_.reset();
    watch_.reset();
    relay_.reset();
}

int ImagePlayer::open()
{
    if (state_ != PlayerState::Closed || !events_)
        return PlayerInvalidRequest;
    if (!haveAudioOutput())
        return PlayerNoOutput;
    const QAudioFormat::SampleFormat sampleFormat = sampleFormatOf(cue_);
    if (!source_.imageOpen() || sampleFormat == QAudioFormat::Unknown || cue_.channels() == 0 ||
        cue_.sampleRate() == 0)
        return PlayerCannotOpen;
    QAudioFormat format;
    format.setSampleRate(int(cue_.sampleRate()));
    format.setChannelCount(cue_.channels());
    format.setSampleFormat(sampleFormat);
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return PlayerNoOutput;
    if (!device.isFormatSupported(format))
        return PlayerCannotOpen;

    relay_ = std::make_unique<QObject>();
    sink_ = std::make_unique<QAudioSink>(device, format);
    watch_ = std::make_unique<QTimer>();
    QObject::connect(watch_.get(), &QTimer::timeout, relay_.get(), [this] { watch(); });
    source_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    state_ = PlayerState::Ready;
    QMetaObject::invokeMethod(
        relay_.get(),
        [this] {
            if (state_ == PlayerState::Ready)
                post(PlayerOk);
        },
        Qt::QueuedConnection);
    return PlayerOk;
}

int ImagePlayer::playFrames(FrameRange frames)
{
    if (!sink_ || frames.count() == 0 || state_ == PlayerState::Closed || state_ == PlayerState::Closing)
        return PlayerInvalidRequest;
    // Each track gets a stream of its own, so the server's pre-buffering fits a short track too;
    // the last one has drained by now.
    sink_->stop();
    source_.setFrames(frames);
    sink_->start(&source_);
    if (sink_->state() == QAudio::StoppedState) {
        watch_->stop();
        state_ = PlayerState::Stopped;
        return PlayerPlayError;
    }
    state_ = PlayerState::Started;
    watch_->start(WatchMs);
    return PlayerOk;
}

void ImagePlayer::watch()
{
    if (!sink_ || state_ != PlayerState::Started)
        return;
    const QAudio::Error error = sink_->error();
    if (sink_->state() == QAudio::StoppedState && error != QAudio::NoError && error != QAudio::UnderrunError) {
        watch_->stop();
        post(PlayerPlayError);
        return;
    }
    // The track has ended when the sink took every frame handed out and the server's buffer has
    // run empty: the last piece has been heard, not just read.
    if (!source_.exhausted())
        return;
    const qint64 handedOutUSecs = qint64(1000000) * qint64(source_.framesHandedOut()) / qint64(cue_.sampleRate());
    if (sink_->processedUSecs() < handedOutUSecs || sink_->bytesFree() < sink_->bufferSize())
        return;
    watch_->stop();
    state_ = PlayerState::Stopped;
    post(PlayerOk);
}

void ImagePlayer::post(int result)
{
    if (events_)
        events_(result, state_);
}

PlayerState ImagePlayer::toggle()
{
    const PlayerState before = state_;
    if (state_ == PlayerState::Started) {
        sink_->suspend();
        state_ = PlayerState::Paused;
    } else if (state_ == PlayerState::Paused) {
        sink_->resume();
        state_ = PlayerState::Started;
    }
    return before;
}

int ImagePlayer::stop()
{
    if (state_ != PlayerState::Started && state_ != PlayerState::Paused)
        return PlayerInvalidRequest;
    watch_->stop();
    sink_->stop();
    state_ = PlayerState::Stopped;
    return PlayerOk;
}

void ImagePlayer::shutDown()
{
    if (state_ == PlayerState::Closed && !sink_)
        return;
    state_ = PlayerState::Closing;
    events_ = nullptr;
    if (watch_)
        watch_->stop();
    if (sink_)
        sink_->stop();
    state_ = PlayerState::Closed;
}

} // namespace vn
