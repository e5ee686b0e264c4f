#include "play/file_player.h"

#include "play/audio_output.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>

namespace vn {

FilePlayer::FilePlayer(const QString& path, PlayerEventFn events) : path_(path), events_(std::move(events))
{
    chooseMediaBackend();
}

FilePlayer::~FilePlayer()
{
    shutDown();
    release();
}

int FilePlayer::open()
{
    if (state_ != PlayerState::Closed || !events_)
        return PlayerInvalidRequest;
    if (!haveAudioOutput())
        return PlayerNoOutput;
    const QFileInfo info(path_);
    if (!info.isFile() || !info.isReadable())
        return PlayerCannotOpen;

    relay_ = std::make_unique<QObject>();
    output_ = std::make_unique<QAudioOutput>();
    media_ = std::make_unique<QMediaPlayer>();
    media_->setAudioOutput(output_.get());
    state_ = PlayerState::Ready;
    QObject::connect(media_.get(), &QMediaPlayer::mediaStatusChanged, relay_.get(),
                     [this](QMediaPlayer::MediaStatus status) { onStatus(status); }, Qt::QueuedConnection);
    QObject::connect(media_.get(), &QMediaPlayer::errorOccurred, relay_.get(), [this] { onError(); },
                     Qt::QueuedConnection);
    media_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    state_ = PlayerState::OpenPending;
    // A file the decoder cannot open at all is known at once.
    if (media_->error() != QMediaPlayer::NoError) {
        release();
        state_ = PlayerState::Closed;
        return PlayerCannotOpen;
    }
    return PlayerOk;
}

void FilePlayer::onStatus(int status)
{
    if (!media_)
        return;
    if (state_ == PlayerState::OpenPending) {
        if (status == QMediaPlayer::InvalidMedia) {
            failOpen();
        } else if (status == QMediaPlayer::LoadedMedia) {
            // A file that opens but holds no audio would end at once, over and over under repeat.
            if (media_->error() != QMediaPlayer::NoError || !media_->hasAudio() || media_->duration() <= 0) {
                failOpen();
                return;
            }
            media_->play();
            state_ = PlayerState::Started;
            post(PlayerOk);
        }
    } else if (status == QMediaPlayer::EndOfMedia &&
               (state_ == PlayerState::Started || state_ == PlayerState::Paused)) {
        state_ = PlayerState::Stopped;
        post(PlayerOk);
    }
}

void FilePlayer::onError()
{
    if (!media_)
        return;
    if (state_ == PlayerState::OpenPending)
        failOpen();
    else if (state_ == PlayerState::Started || state_ == PlayerState::Paused)
        post(PlayerPlayError);
}

void FilePlayer::failOpen()
{
    release();
    state_ = PlayerState::Closed;
    post(PlayerCannotOpen);
}

void FilePlayer::post(int result)
{
    if (events_)
        events_(result, state_);
}

PlayerState FilePlayer::toggle()
{
    const PlayerState before = state_;
    if (state_ == PlayerState::Started) {
        media_->pause();
        state_ = PlayerState::Paused;
    } else if (state_ == PlayerState::Paused) {
        media_->play();
        state_ = PlayerState::Started;
    }
    return before;
}

int FilePlayer::stop()
{
    if (state_ != PlayerState::Started && state_ != PlayerState::Paused)
        return PlayerInvalidRequest;
    media_->stop();
    state_ = PlayerState::Stopped;
    return PlayerOk;
}

void FilePlayer::shutDown()
{
    if (state_ == PlayerState::Closed && !media_)
        return;
    state_ = PlayerState::Closing;
    events_ = nullptr;
    if (media_) {
        QObject::disconnect(media_.get(), nullptr, relay_.get(), nullptr);
        media_->stop();
    }
    state_ = PlayerState::Closed;
}

void FilePlayer::release()
{
    if (media_) {
        QObject::disconnect(media_.get(), nullptr, relay_.get(), nullptr);
        media_->stop();
    }
    media_.reset();
    output_.reset();
}

std::optional<qint64> FilePlayer::positionMs() const
{
    if (state_ != PlayerState::Started || !media_)
        return std::nullopt;
    return media_->position();
}

} // namespace vn
