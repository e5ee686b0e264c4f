#pragma once
// Plays one audio file (MP3, M4A, FLAC, Matroska audio, WAV) on the default audio output through
// Qt Multimedia's media player.

#include "play/player.h"

#include <QObject>
#include <memory>

class QMediaPlayer;
class QAudioOutput;

namespace vn {

class FilePlayer final : public Player {
public:
    FilePlayer(const QString& path, PlayerEventFn events);
    ~FilePlayer() override;

    int open() override;
    PlayerState state() const override { return state_; }
    PlayerState toggle() override;
    int stop() override;
    void shutDown() override;
    std::optional<qint64> positionMs() const override;
    int playFrames(FrameRange) override { return PlayerInvalidRequest; }

private:
    void onStatus(int status);
    void onError();
    void failOpen();
    void post(int result);
    void release();

    QString path_;
    PlayerEventFn events_;
    PlayerState state_ = PlayerState::Closed;
    // Receives the media player's signals as queued calls, so they are handled from the event
    // loop; destroyed with the player, taking any call still queued with it.
    std::unique_ptr<QObject> relay_;
    std::unique_ptr<QMediaPlayer> media_;
    std::unique_ptr<QAudioOutput> output_;
};

} // namespace vn
