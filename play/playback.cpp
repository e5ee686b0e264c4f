#include "play/playback.h"

#include "media/image_pcm.h"

#include <QDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>

namespace vn {

namespace {

// The list columns a playing row shows in status parts 0 to 4: "No", "Artist", "Album title",
// "Track", "Title".
constexpr std::array<int, 5> RowStatusColumns = {0, 4, 3, 7, 6};
constexpr int RowStatusCapacity = 1024;
constexpr uint64_t TenthsPerHundredMinutes = 60000;

} // namespace

QString playTimeText(uint64_t tenths)
{
    const uint64_t t = tenths % TenthsPerHundredMinutes;
    return QString::asprintf("%02u:%02u.%1u", unsigned(t / 600), unsigned(t / 10 % 60), unsigned(t % 10));
}

QString pauseButtonCaption(int playState)
{
    return (playState & 2) && !(playState & 1) ? QStringLiteral("resume") : QStringLiteral("pause");
}

QString pauseButtonToolTip(int playState)
{
    return (playState & 2) && !(playState & 1) ? QStringLiteral("オーディオファイルの再生を再開します")
                                               : QStringLiteral("オーディオファイルの再生を一時停止します");
}

int nextRow(int row, int countA, int countB, int trackOffsetB)
{
    row += 2;
    if (row % 2 != 0) {
        // A negative offset hides B's first entries: the first B row shown is row 1.
        if (row / 2 >= countB + trackOffsetB)
            row = 2 * std::max(trackOffsetB, 0) + 1;
    } else if (row / 2 >= countA) {
        row = 0;
    }
    return row;
}

Playback::Playback(const ComparisonState& comparison, Feedback& feedback, PlayerFactory players,
                   std::function<qint64()> nowMs)
    : comparison_(comparison), feedback_(feedback), players_(std::move(players)), nowMs_(std::move(nowMs))
{
}

Playback::~Playback()
{
    // Silence every player before any is destroyed: destroying one may run the event loop.
    if (player_)
        player_->shutDown();
    std::vector<std::unique_ptr<Player>> all = std::move(retired_);
    retired_.clear();
    all.push_back(std::move(player_));
    all.clear();
}

qint64 Playback::now() const
{
    if (nowMs_)
        return nowMs_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PlayerEventFn Playback::eventsFor()
{
    const uint64_t generation = ++generation_;
    return [this, generation](int result, PlayerState state) { onPlayerEvent(generation, result, state); };
}

void Playback::play(int selectedRow)
{
    if (state_ != PlayIdle)
        stop();
    failure_.clear();
    int row = selectedRow;
    if (row < 0) {
        if (comparison_.a.count() <= 0)
            return;
        row = 0;
    }
    if (row % 2 == 0 || comparison_.folderBMode) {
        if (!startFile(row)) {
            changed();
            return;
        }
        stopRequested_ = false;
        fileMode_ = true;
    } else {
        const int k = row / 2 - comparison_.trackOffsetB;
        if (k < 0 || k >= comparison_.countB() || !comparison_.cue)
            return;
        player_ = players_.image(*comparison_.cue, eventsFor());
        const int result = player_->open();
        if (result != PlayerOk) {
            releasePlayer();
            fail(QLatin1String(result == PlayerNoOutput ? NoAudioOutputText : UnsupportedFormatText));
            changed();
            return;
        }
        row_ = row;
        fileMode_ = false;
        state_ = PlayTrack;
        // The track starts when the device reports that it is open.
    }
    changed();
}

bool Playback::startFile(int row)
{
    QString path;
    if (row % 2 != 0) {
        const int k = row / 2 - comparison_.trackOffsetB;
        if (k < 0 || k >= comparison_.b.count())
            return false;
        path = QDir(comparison_.folderB).filePath(comparison_.b.names[size_t(k)]);
    } else {
        const int i = row / 2;
        if (i >= comparison_.a.count())
            return false;
        path = QDir(comparison_.folderA).filePath(comparison_.a.names[size_t(i)]);
    }
    player_ = players_.file(path, eventsFor());
    const int result = player_->open();
    if (result != PlayerOk) {
        releasePlayer();
        fail(QLatin1String(result == PlayerNoOutput ? NoAudioOutputText : UnsupportedFormatText));
        return false;
    }
    row_ = row;
    state_ = PlayFile;
    timerActive_ = true;
    shownTenths_.reset();
    showRow(row);
    return true;
}

void Playback::startImageTrack()
{
    const CueSheet& cue = *comparison_.cue;
    const int k = row_ / 2 - comparison_.trackOffsetB;
    const bool inTable = k >= 0 && k < cue.trackCount && cue.trackCount < CueTrackLimit;
    const uint32_t last = inTable ? cue.trackStarts[size_t(cue.trackCount)] : 0;
    const FrameRange frames = inTable ? FrameRange{cue.trackStarts[size_t(k)], cue.trackStarts[size_t(k + 1)]}
                                      : FrameRange{};
    if (!inTable || ImagePcm(cue).framesInFile() < last || frames.end <= frames.first || frames.end > last) {
        // The device stays open and silent until Stop.
        failure_ = QStringLiteral("track %1 lies outside the image").arg(k + 1);
        changed();
        return;
    }
    const int result = player_->playFrames(frames);
    if (result != PlayerOk) {
        onPlayerEvent(generation_, result, player_->state());
        return;
    }
    if (state_ == PlayTrackPaused) {
        // Paused before the device was open: the track waits at its start.
        player_->toggle();
        startMs_ = 0;
    } else {
        startMs_ = now();
    }
    timerActive_ = true;
    shownTenths_.reset();
    showRow(row_);
    changed();
}

void Playback::onPlayerEvent(uint64_t generation, int result, PlayerState state)
{
    if (generation != generation_ || !player_ || state_ == PlayIdle)
        return;
    if (fileMode_ && state == PlayerState::Closed && result == PlayerCannotOpen) {
        // The file turned out unplayable after it opened: as if the open had failed.
        stopFilePlayer();
        clearStatus();
        fail(QLatin1String(UnsupportedFormatText));
        changed();
        return;
    }
    if (result < 0 || int(state) < 0 || int(state) >= PlayerStateCount) {
        const QString text = QString::asprintf("%s (0x%X)", "Media Foundation Error.", unsigned(result));
        // Stopped first, so that the message box's own event loop never reaches this player again.
        stop();
        failure_ = text;
        feedback_.message(text, QLatin1String(PlayErrorCaption), MessageButtons::Ok, MessageIcon::Error);
        changed();
        return;
    }
    if (fileMode_) {
        if (state == PlayerState::Stopped && !stopRequested_)
            endOfFile();
    } else if (state == PlayerState::Ready) {
        startImageTrack();
    } else if (state == PlayerState::Stopped) {
        endOfTrack();
    }
}

void Playback::endOfFile()
{
    if (stopAtEnd) {
        stop();
        return;
    }
    const int next =
        albumRepeat ? nextRow(row_, comparison_.a.count(), comparison_.countB(), comparison_.trackOffsetB) : row_;
    stopFilePlayer();
    clearStatus();
    startFile(next);
    changed();
}

void Playback::endOfTrack()
{
    if (stopAtEnd) {
        stop();
        return;
    }
    if (albumRepeat)
        row_ = nextRow(row_, comparison_.a.count(), comparison_.countB(), comparison_.trackOffsetB);
    startImageTrack();
}

void Playback::pauseOrResume()
{
    if (!player_ || state_ == PlayIdle)
        return;
    if (fileMode_) {
        const PlayerState before = player_->toggle();
        if (before == PlayerState::Started) {
            timerActive_ = false;
            state_ = PlayFilePaused;
        } else if (before == PlayerState::Paused) {
            timerActive_ = true;
            state_ = PlayFile;
        }
    } else if (state_ == PlayTrack) {
        player_->toggle();
        startMs_ -= now();
        state_ = PlayTrackPaused;
    } else if (state_ == PlayTrackPaused) {
        player_->toggle();
        startMs_ += now();
        state_ = PlayTrack;
    }
    changed();
}

void Playback::stop()
{
    if (fileMode_) {
        stopRequested_ = true;
        stopFilePlayer();
    } else {
        releasePlayer();
        timerActive_ = false;
        state_ = PlayIdle;
    }
    clearStatus();
    changed();
}

void Playback::stopFilePlayer()
{
    if (state_ != PlayIdle)
        timerActive_ = false;
    if (player_)
        player_->stop();
    releasePlayer();
    state_ = PlayIdle;
}

void Playback::releasePlayer()
{
    if (!player_)
        return;
    player_->shutDown();
    retired_.push_back(std::move(player_));
    ++generation_;
    QTimer::singleShot(0, &context_, [this] {
        std::vector<std::unique_ptr<Player>> done = std::move(retired_);
        retired_.clear();
    });
}

void Playback::tick()
{
    if (!timerActive_ || state_ == PlayIdle || !player_)
        return;
    uint64_t tenths = 0;
    if (!fileMode_) {
        if (state_ == PlayTrackPaused)
            return;
        tenths = uint64_t(std::max<qint64>(now() - startMs_, 0)) / 100;
    } else {
        const std::optional<qint64> ms = player_->positionMs();
        if (!ms)
            return;
        tenths = uint64_t(std::max<qint64>(*ms, 0)) / 100;
    }
    shownTenths_ = uint32_t(tenths % TenthsPerHundredMinutes);
    feedback_.setStatus(PlayTimePart, playTimeText(tenths));
}

void Playback::fail(const QString& text)
{
    failure_ = text;
    feedback_.setStatus(PlayMessagePart, text);
}

void Playback::showRow(int row)
{
    const bool have = row >= 0 && size_t(row) < comparison_.rows.size();
    for (size_t part = 0; part < RowStatusColumns.size(); ++part) {
        const QString text = have ? comparison_.rows[size_t(row)][size_t(RowStatusColumns[part])] : QString();
        feedback_.setStatus(int(part), text.left(RowStatusCapacity));
    }
}

void Playback::clearStatus()
{
    for (int part = 0; part <= PlayTimePart; ++part)
        feedback_.setStatus(part, QString());
}

void Playback::changed()
{
    if (onChanged)
        onChanged();
}

} // namespace vn
