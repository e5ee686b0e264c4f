#include "app/features/playback_controller.h"

#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "app/window/menu_state.h"
#include "session/session.h"

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QTableView>

namespace vn {

PlaybackController::PlaybackController(FeatureContext& context)
    : c_(context), playback_(context.session.state(), context.feedback)
{
    pauseButton_ = c_.window->findChild<QAbstractButton*>(QString::number(BtnPause));
    playback_.onChanged = [this] { refresh(); };
    timer_.setInterval(PlayTimerMs);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { playback_.tick(); });

    c_.router.add({BtnPlay}, [this](int) { play(); });
    c_.router.add({BtnPause}, [this](int) { playback_.pauseOrResume(); });
    c_.router.add({BtnStop}, [this](int) { playback_.stop(); });
    c_.router.add({BtnRepeat}, [this](int) {
        playback_.albumRepeat = !playback_.albumRepeat;
        c_.router.setText(BtnRepeat,
                          playback_.albumRepeat ? QStringLiteral("Album repeat") : QStringLiteral("Track repeat"));
    });
    c_.router.add({CmdPlayMci, CmdPlayMf}, [this](int id) {
        playback_.playApi = id == CmdPlayMci ? 1 : 2;
        refreshPlayApiChecks(c_.menus, playback_.playApi);
    });
    refreshPlayApiChecks(c_.menus, playback_.playApi);

    c_.hooks.beforeCompare.push_back([this] { stopIfPlaying(); });
    c_.hooks.comparisonCleared.push_back([this] { stopIfPlaying(); });
    refresh();
}

void PlaybackController::play()
{
    const QItemSelectionModel* selection = c_.listView.selectionModel();
    const QModelIndex current = selection ? selection->currentIndex() : QModelIndex();
    playback_.play(current.isValid() ? current.row() : -1);
}

void PlaybackController::stopIfPlaying()
{
    if (playback_.playState() != PlayIdle)
        playback_.stop();
}

void PlaybackController::refresh()
{
    const int state = playback_.playState();
    const bool idle = state == PlayIdle;
    // Play needs a list to play from; whether there is one is the compare's to say, so an empty list
    // keeps it gray.
    c_.router.setEnabled(BtnPlay, idle && !c_.session.state().rows.empty());
    c_.router.setEnabled(BtnPause, !idle);
    c_.router.setEnabled(BtnStop, !idle);
    c_.router.setText(BtnPause, pauseButtonCaption(state));
    if (pauseButton_)
        AddToolTip(pauseButton_, pauseButtonToolTip(state));
    if (!playback_.timerActive())
        timer_.stop();
    else if (!timer_.isActive())
        timer_.start();
}

} // namespace vn
