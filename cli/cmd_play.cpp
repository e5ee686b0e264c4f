#include "cli/cli.h"
#include "cli/device_commands.h"
#include "containers/read_file_tags.h"
#include "media/comparison.h"
#include "play/playback.h"
#include "util/numbers.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>
#include <cstdio>

namespace vn::cli {

namespace {

// A side of one file, or a CD image, as the list would hold it; row is the list row to play.
bool loadTarget(const Context& context, const QString& target, ComparisonState& state, int& row, QString& error)
{
    const qsizetype hash = target.lastIndexOf(QLatin1Char('#'));
    const QString head = hash >= 0 ? target.left(hash) : target;
    if (head.endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive)) {
        int track = 1;
        if (hash >= 0) {
            const std::optional<int> n = wholeNumber(target.mid(hash + 1));
            if (!n || *n < 1) {
                error = QStringLiteral("%1: the track after # is a number from 1").arg(target);
                return false;
            }
            track = *n;
        }
        CueSheet sheet;
        if (parseCueSheet(head, CueTrackLimit, context.settings.CP_Cue_Sheet, sheet) < 1) {
            error = QStringLiteral("Error : Illegal Cue sheet");
            return false;
        }
        if (track > sheet.trackCount) {
            error = QStringLiteral("%1 has no track %2").arg(head).arg(track);
            return false;
        }
        state.folderBMode = false;
        state.folderB = head;
        state.cue = std::move(sheet);
        row = 2 * (track - 1) + 1;
        state.rows.resize(size_t(row) + 1);
        state.rows[size_t(row)] = buildCueTrackRow(track, 0, *state.cue);
        return true;
    }
    const QFileInfo info(target);
    if (!info.isFile()) {
        error = QStringLiteral("cannot open %1").arg(target);
        return false;
    }
    state.folderA = info.absolutePath();
    state.a.names.push_back(info.fileName());
    state.a.files.emplace_back();
    // The tags only label the status texts; a file they cannot be read from still plays.
    QByteArray readBuffer;
    if (readFileTags(state.folderA, info.fileName(), state.a.files.back(), readBuffer) == 0)
        state.rows.push_back(buildListRow(0, info.fileName(), state.a.files.back()));
    row = 0;
    return true;
}

int runPlay(Context& context, const QStringList& given)
{
    QStringList args = given;
    QString secondsText, error;
    const bool hasSeconds = takeOption(args, QStringLiteral("--seconds"), secondsText, error);
    if (!error.isEmpty() || args.size() != 1)
        return usageError("play", error.isEmpty() ? QStringLiteral("play takes one file or CUE#TRACK") : error);
    const std::optional<int> seconds = hasSeconds ? wholeNumber(secondsText) : std::optional<int>(0);
    if (!seconds || *seconds < 0)
        return usageError("play", QStringLiteral("--seconds takes a whole number of seconds"));

    ComparisonState state;
    int row = 0;
    if (!loadTarget(context, args.first(), state, row, error)) {
        printErr(error + QLatin1Char('\n'));
        return ExitFailure;
    }

    // The media back end lists its codecs as debug output; the time lines are this command's output.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    Playback playback(state, context.feedback);
    playback.stopAtEnd = true;
    QEventLoop loop;
    playback.onChanged = [&] {
        if (playback.playState() == PlayIdle || !playback.failure().isEmpty())
            loop.quit();
    };
    playback.play(row);
    if (playback.playState() != PlayIdle && playback.failure().isEmpty()) {
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { playback.tick(); });
        tick.start(PlayTimerMs);
        QTimer print;
        QObject::connect(&print, &QTimer::timeout, [&] {
            if (playback.shownTenths())
                printOut(playTimeText(*playback.shownTenths()) + QLatin1Char('\n'));
            std::fflush(stdout);
        });
        print.start(1000);
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [&] { playback.stop(); });
        if (*seconds > 0)
            limit.start(*seconds * 1000);
        loop.exec();
    }
    const QString failure = playback.failure();
    if (playback.playState() != PlayIdle)
        playback.stop();
    if (!failure.isEmpty()) {
        printErr(failure + QLatin1Char('\n'));
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND(PlayCommand.name, PlayCommand.usage, PlayCommand.summary, runPlay);

} // namespace vn::cli
