#pragma once
// What playback asks of a player: a file player (one object per file, never reused) or the player
// of a CD image's tracks (one output device, a track after another). Players report back through
// an event function, always from the event loop and never from inside a call their owner made, so
// the owner may change anything while it handles an event.

#include "media/cue_sheet.h"
#include "media/image_pcm.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace vn {

// The seven states a player passes through.
enum class PlayerState : int {
    Closed = 0,
    Ready = 1,
    OpenPending = 2,
    Started = 3,
    Paused = 4,
    Stopped = 5,
    Closing = 6,
};
inline constexpr int PlayerStateCount = 7;

// 0 for success, negative for a failure.
enum PlayerResult : int {
    PlayerOk = 0,
    PlayerInvalidRequest = -1, // asked in a state that does not allow it; nothing changed
    PlayerNoOutput = -2,       // no audio output device to play on
    PlayerCannotOpen = -3,     // the file or image cannot be read or holds nothing playable
    PlayerPlayError = -4,      // the output or the decoder failed while playing
};

// result and the player's state after the event. A file player reports Started when it begins to
// play, Stopped at the end of the file, (PlayerCannotOpen, Closed) when the file turns out not to
// be playable after open returned. An image player reports Ready when its device is open and a
// track can start, Stopped at the end of each track.
using PlayerEventFn = std::function<void(int result, PlayerState state)>;

class Player {
public:
    virtual ~Player() = default;

    // File players: opens the file; playing starts by itself when the file is ready. Image
    // players: opens the output device. A PlayerResult; on failure the state stays Closed.
    virtual int open() = 0;
    virtual PlayerState state() const = 0;
    // Started -> Paused, Paused -> Started; any other state is left alone. Returns the state before.
    virtual PlayerState toggle() = 0;
    // Stops playing (Started or Paused -> Stopped); PlayerInvalidRequest in any other state.
    virtual int stop() = 0;
    // Stops all sound and every event for good (Closing, then Closed). The object may be destroyed
    // later; it stays silent until then.
    virtual void shutDown() = 0;
    // Milliseconds into the file while Started; nothing otherwise, and always nothing for image
    // tracks, whose time their owner keeps.
    virtual std::optional<qint64> positionMs() const = 0;
    // Image players: plays these sample frames of the image from their start, in place of any track
    // playing. File players answer PlayerInvalidRequest.
    virtual int playFrames(FrameRange frames) = 0;
};

// Makes the players; tests hand in their own.
struct PlayerFactory {
    std::function<std::unique_ptr<Player>(const QString& path, PlayerEventFn events)> file;
    std::function<std::unique_ptr<Player>(const CueSheet& cue, PlayerEventFn events)> image;
};

// Qt Multimedia's players: files through a media player, image tracks through an audio sink.
PlayerFactory qtPlayers();

} // namespace vn
