#pragma once
// Listening to the rows of the list: "Audio play", "pause"/"resume", "stop", the repeat mode and
// the choice of player. The controller owns the playback, its 100 ms timer and the state of the
// three buttons; playback stops before a new compare and when the list is cleared, since it plays
// the files of the comparison shown.

#include "app/features/feature_context.h"
#include "play/playback.h"

#include <QPointer>
#include <QTimer>

class QAbstractButton;

namespace vn {

class PlaybackController : public Feature {
public:
    explicit PlaybackController(FeatureContext& context);

private:
    void play();
    void stopIfPlaying();
    // Buttons, the pause caption and tooltip, and the timer, after every change of the playback.
    void refresh();

    FeatureContext& c_;
    Playback playback_;
    QPointer<QAbstractButton> pauseButton_;
    QTimer timer_;
};

} // namespace vn
