#pragma once
// Listening to the rows of the comparison list: play, pause or resume, stop, album or track repeat,
// and the play time in the status bar. A row of side A, or of side B in Folder B mode, is a file;
// a B row in CD image mode is a track of the image. The front end owns the buttons and a timer; it
// calls the commands below, its timer calls tick() every 100 ms while timerActive(), and it refreshes
// its buttons whenever onChanged runs.

#include "media/comparison.h"
#include "play/player.h"
#include "util/feedback.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vn {

// Bit 0 set means playing, bit 1 paused; the high nibble tells a file from an image track.
enum PlayState : int {
    PlayIdle = 0,
    PlayFile = 0x11,
    PlayFilePaused = 0x12,
    PlayTrack = 0x21,
    PlayTrackPaused = 0x22,
};

inline constexpr int PlayTimerMs = 100;
// Status parts: the row in 0 to 4, the play time in 5.
inline constexpr int PlayTimePart = 5;
inline constexpr int PlayMessagePart = 4;
inline constexpr const char* UnsupportedFormatText = "Unsupported media format in MF";
inline constexpr const char* NoAudioOutputText = "No audio output device";
inline constexpr const char* PlayErrorCaption = "Media Foundation Error";

// "%02u:%02u.%1u" of a time in tenths of a second, taken modulo 100 minutes.
QString playTimeText(uint64_t tenths);
// The pause button's caption and tooltip for a PlayState.
QString pauseButtonCaption(int playState);
QString pauseButtonToolTip(int playState);
// The row after row on the same side, wrapping to the side's first row: 0 for A, the first B row
// shown for B.
int nextRow(int row, int countA, int countB, int trackOffsetB);

class Playback {
public:
    // comparison and feedback must outlive the object. nowMs is the millisecond clock of image
    // tracks; by default a monotonic clock.
    Playback(const ComparisonState& comparison, Feedback& feedback, PlayerFactory players = qtPlayers(),
             std::function<qint64()> nowMs = {});
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // "Audio play": the first selected row, or -1 when none is selected.
    void play(int selectedRow);
    // "pause" / "resume".
    void pauseOrResume();
    // "stop"; also before a new Compare A/B while playState() is not PlayIdle.
    void stop();
    // The 100 ms timer: the play time into status part 5.
    void tick();

    // Settings of the window: "Album repeat" / "Track repeat", and the play API menu (1 or 2;
    // both play files through the same player).
    bool albumRepeat = true;
    int playApi = 2;
    // Ends playback at the end of the row instead of repeating (the command line's single play).
    bool stopAtEnd = false;

    int playState() const { return state_; }
    int currentRow() const { return row_; }
    bool fileMode() const { return fileMode_; }
    bool stopRequested() const { return stopRequested_; }
    bool timerActive() const { return timerActive_; }
    // The time tick() showed last, in tenths; nothing before the first.
    std::optional<uint32_t> shownTenths() const { return shownTenths_; }
    // Why the last play failed or ended early (the text shown, or a text for the command line);
    // empty when nothing failed.
    const QString& failure() const { return failure_; }

    // Runs after every change of the play state, the row, the timer or a failure.
    std::function<void()> onChanged;

private:
    bool startFile(int row);
    void startImageTrack();
    void onPlayerEvent(uint64_t generation, int result, PlayerState state);
    void endOfFile();
    void endOfTrack();
    void stopFilePlayer();
    void releasePlayer();
    void fail(const QString& text);
    void showRow(int row);
    void clearStatus();
    void changed();
    PlayerEventFn eventsFor();
    qint64 now() const;

    const ComparisonState& comparison_;
    Feedback& feedback_;
    PlayerFactory players_;
    std::function<qint64()> nowMs_;

    int state_ = PlayIdle;
    int row_ = 0;
    bool fileMode_ = false;
    bool stopRequested_ = false;
    bool timerActive_ = false;
    // Image tracks: the clock at the track's start; while paused, minus the time played.
    qint64 startMs_ = 0;
    std::optional<uint32_t> shownTenths_;
    QString failure_;

    std::unique_ptr<Player> player_;
    // Events carry the generation of the player they come from; a released player's are dropped.
    uint64_t generation_ = 0;
    // Players shut down but not yet destroyed: never destroyed inside one of their own events.
    std::vector<std::unique_ptr<Player>> retired_;
    QObject context_;
};

} // namespace vn
