#pragma once
// Plays the tracks of a CD image on the default audio output through a Qt audio sink, reading the
// image's PCM in pieces as the sink asks for it: never a whole track in memory.

#include "play/player.h"

#include <QIODevice>
#include <QObject>
#include <memory>

class QAudioSink;
class QTimer;

namespace vn {

// The sample frames of one track, read from the image as the sink pulls them.
class ImageTrackSource final : public QIODevice {
public:
    explicit ImageTrackSource(const CueSheet& cue);

    bool imageOpen() const { return pcm_.isOpen(); }
    const ImagePcm& pcm() const { return pcm_; }
    // Starts over at the first of these frames.
    void setFrames(FrameRange frames);
    // True once every frame of the range was handed out, or the image could not give more.
    bool exhausted() const { return exhausted_; }
    // Frames handed out since setFrames.
    uint64_t framesHandedOut() const { return handedOut_; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    ImagePcm pcm_;
    FrameRange frames_;
    uint64_t next_ = 0;
    uint64_t handedOut_ = 0;
    bool exhausted_ = true;
    QByteArray piece_;
};

class ImagePlayer final : public Player {
public:
    ImagePlayer(const CueSheet& cue, PlayerEventFn events);
    ~ImagePlayer() override;

    int open() override;
    PlayerState state() const override { return state_; }
    PlayerState toggle() override;
    int stop() override;
    void shutDown() override;
    std::optional<qint64> positionMs() const override { return std::nullopt; }
    int playFrames(FrameRange frames) override;

private:
    void watch();
    void post(int result);

    CueSheet cue_;
    PlayerEventFn events_;
    PlayerState state_ = PlayerState::Closed;
    ImageTrackSource source_;
    std::unique_ptr<QObject> relay_;
    std::unique_ptr<QAudioSink> sink_;
    // Looks for the end of the track and for a failed output while a track plays.
    std::unique_ptr<QTimer> watch_;
};

} // namespace vn
