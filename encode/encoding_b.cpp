#include "encode/encoding_b.h"

#include "config/settings.h"
#include "encode/cli_encoders.h"
#include "encode/finished_track.h"
#include "encode/move_files.h"
#include "util/feedback.h"
#include "util/file_name.h"
#include "util/safe_file.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace vn {

namespace {

uint64_t startOf(const CueSheet& cue, uint64_t index)
{
    const uint64_t k = std::min<uint64_t>(index, uint64_t(std::clamp(cue.trackCount, 0, CueTrackLimit - 1)));
    return cue.trackStarts[size_t(k)];
}

void appendToErrorLog(const QString& logPath, const QString& outputPath, const QString& tool)
{
    if (logPath.isEmpty())
        return;
    QFile log(logPath);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QByteArray path = QDir::toNativeSeparators(outputPath).toUtf8();
    if (path.size() > 2047)
        path.truncate(2047);
    log.write("\"" + path + "\" Not Created by " + tool.toUtf8() + "\n");
}

} // namespace

QString encodeErrorText(int code)
{
    return QString::asprintf("Encode Error %d\n", code);
}

QString encoderToolName(int encoderIndex)
{
    switch (encoderIndex) {
    case EncoderLame:
        return QStringLiteral("LAME");
    case EncoderFlac:
        return QStringLiteral("Flac");
    case EncoderQaac:
        return QStringLiteral("qaac");
    case EncoderFdkaac:
        return QStringLiteral("fdkaac");
    case EncoderOpusEnc:
        return QStringLiteral("OpusEnc");
    case EncoderFFmpeg:
        return QStringLiteral("FFmpeg");
    default:
        return QString();
    }
}

ImagePairing imagePairs(int countA, const CueSheet& cue, int trackOffsetB, bool bTags, const BatchRun* batch,
                        int batchTrackCount)
{
    ImagePairing p;
    if (bTags) {
        for (int i = 0; i < cue.trackCount; ++i)
            p.pairs.push_back(TrackPair{0, uint32_t(i), uint32_t(i), 0});
        p.total = int(p.pairs.size());
        return p;
    }
    if (batch && batch->entries && batch->cursor) {
        const std::vector<BatchEntry>& entries = *batch->entries;
        size_t& at = *batch->cursor;
        for (; at < entries.size() && entries[at].mark != 0; ++at) {
            const BatchEntry& e = entries[at];
            const bool tracks = e.rangeKind == 0;
            p.pairs.push_back(TrackPair{int32_t(e.aNumber) - 1, tracks ? e.first - 1 : e.first,
                                        tracks ? e.last - 1 : e.last, e.rangeKind});
        }
        if (at < entries.size())
            ++at; // past the entry that ends the folder's list
        if (batchTrackCount != 0) {
            p.base = batch->trackBase;
            p.total = batch->trackTotal;
        } else {
            p.total = int(p.pairs.size());
        }
        return p;
    }
    p.pairs = folderPairs(countA, cue.trackCount, trackOffsetB);
    p.total = int(p.pairs.size());
    return p;
}

void trackRange(const TrackPair& pair, const CueSheet& cue, uint64_t& first, uint64_t& last)
{
    switch (pair.rangeKind) {
    case 0:
        first = startOf(cue, pair.bFirst);
        last = startOf(cue, uint64_t(pair.bLast) + 1) - 1;
        break;
    case 1:
        first = uint64_t(pair.bFirst) * FramesPerSector;
        last = (uint64_t(pair.bLast) + 1) * FramesPerSector - 1;
        break;
    default:
        first = pair.bFirst;
        last = pair.bLast;
        break;
    }
}

TrackPoolSettings poolSettings(const ImageRun& run, const QString& tool)
{
    TrackPoolSettings s;
    s.toolName = tool;
    s.base = run.base;
    s.total = run.total;
    s.jobs = run.jobs;
    return s;
}

int runEncoderPool(const ImageRun& run, const std::vector<TrackPlan>& plans, const TrackJob& job,
                   const TrackPoolSettings& settings, EncodeOutcome& outcome)
{
    const TrackPoolOutcome result = runTrackPool(plans, job, settings, run.feedback);
    outcome.written << result.written;
    if (result.failedIndex >= 0)
        outcome.failedPath = plans[size_t(result.failedIndex)].outputPath;
    outcome.failedError = result.failedError;
    return result.code;
}

bool planTrack(const ImageRun& run, const TrackPair& pair, int i, const QString& extension, TrackPlan& plan)
{
    plan = TrackPlan{};
    plan.index = i;
    if (run.bTags) {
        plan.listRow = 2 * i + 1;
        if (size_t(plan.listRow) >= run.state.rows.size())
            return false;
        plan.name = run.state.rows[size_t(plan.listRow)][1];
    } else {
        if (pair.aIndex < 0 || pair.aIndex >= run.state.a.count())
            return false;
        plan.aIndex = pair.aIndex;
        plan.listRow = 2 * pair.aIndex;
        const QString& file = run.state.a.names[size_t(pair.aIndex)];
        const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
        plan.name = dot > 0 ? file.left(dot) : file;
    }
    plan.outputPath = QDir(run.destination).filePath(plan.name + extension);
    trackRange(pair, run.cue, plan.first, plan.last);
    return !plan.name.isEmpty();
}

int encodeCliTracks(const ImageRun& run, const PairList& pairs, int count, const OutsideTools& tools,
                    EncodeOutcome& outcome)
{
    const int k = run.settings.EncoderIndex;
    if (k < EncoderQaac || k > EncoderFFmpeg || !tools.encode || !tools.extension)
        return EncodeNoEncoder;
    const QString tool = encoderToolName(k);
    const QString extension = tools.extension(k, run.settings);
    std::vector<TrackPlan> plans(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        if (!planTrack(run, pairs[size_t(i)], i, extension, plans[size_t(i)]))
            return EncodeBadPair;
    }
    // An abort stops the running tools, not only the tracks still to come: a tool may hang.
    std::atomic<bool> abort{false};
    const TrackJob job = [&](const TrackPlan& plan, PendingFile& pending, const TrackProgress& progress) {
        OutsideToolTrack track;
        track.encoderIndex = k;
        track.cue = &run.cue;
        track.first = plan.first;
        track.last = plan.last;
        track.outputPath = plan.outputPath;
        track.a = run.bTags ? nullptr : &run.state.a.files[size_t(plan.aIndex)];
        track.listRow = run.bTags ? &run.state.rows[size_t(plan.listRow)] : nullptr;
        track.discToc = run.cue.discToc;
        track.cancel = &abort;
        QString made;
        const int code = tools.encode(track, run.settings, made);
        // Whatever the tool made is removed unless it takes its name.
        pending.toolOutput = made;
        if (!made.isEmpty())
            pending.toolOutputLock = lockTemporary(made);
        pending.path = plan.outputPath;
        progress.advance(plan.last >= plan.first ? plan.last - plan.first + 1 : 0);
        if (code == CliEncodeAborted)
            return int(CliEncodeAborted);
        // As always, the tool is judged by the file it left.
        return code == CliEncodeDone && !made.isEmpty() && nameTaken(made) ? 0 : int(EncodeNoEncoder);
    };
    TrackPoolSettings s = poolSettings(run, tool);
    s.stopOnFailure = false;
    s.nameTakenCode = EncodeNoEncoder;
    s.abort = &abort;
    s.onWorkers = true;
    s.onSkipped = [&](const TrackPlan& plan, int code) {
        // A track the user stopped is not a tool's failure.
        if (code == CliEncodeAborted)
            return;
        outcome.notCreated << plan.outputPath;
        appendToErrorLog(run.settings.Batch_Log_EncErr, plan.outputPath, tool);
    };
    const TrackPoolOutcome result = runTrackPool(plans, job, s, run.feedback);
    outcome.written << result.written;
    outcome.aborted = result.aborted;
    return 0;
}

int encodeImage(const ComparisonState& state, const Settings& settings, const EncodeOptions& options,
                Feedback& feedback, PairList& pairs, EncodeOutcome& outcome)
{
    outcome = EncodeOutcome{};
    pairs.clear();
    if (!state.cue)
        return 0;
    if (!options.batch && !options.bTags) {
        const int code = checkTagVersions(state);
        if (code != 0) {
            outcome.precheck = code;
            feedback.message(tagVersionErrorText(code), QString::fromLatin1(EncodingBCaption), MessageButtons::Ok,
                             MessageIcon::Warning);
            return 0;
        }
    }
    const CueSheet& cue = *state.cue;
    ImagePairing pairing = imagePairs(state.a.count(), cue, state.trackOffsetB, options.bTags, options.batch,
                                      settings.Batch_TrkCount);
    pairs = std::move(pairing.pairs);
    const int n = int(pairs.size());

    if (options.backupMode) {
        outcome.destination = settings.Path_Temp;
    } else {
        // A B-tags run names its folders after the disc: genre, album artist and album of its first track.
        LevelFolderNames names;
        const bool discNames = options.bTags && state.rows.size() > 1;
        if (discNames) {
            const ListRow& first = state.rows[1];
            names = {first[3 + RowGenre].left(256), first[3 + RowAlbumArtist].left(256), first[3 + RowAlbum].left(256)};
        }
        const int level = makeLevelFolder(outcome.destination, settings.Path_Otpt, state.folderA, settings.BkupFldr_Level,
                                          settings.BkupFldr_Exist != 0, feedback, discNames ? &names : nullptr);
        if (level < 0) {
            outcome.levelCode = level;
            return n;
        }
    }

    switch (settings.EncoderIndex) {
    case EncoderLame:
        outcome.extension = QStringLiteral(".mp3");
        break;
    case EncoderFlac:
        outcome.extension = QStringLiteral(".flac");
        break;
    default:
        if (options.tools && options.tools->extension)
            outcome.extension = options.tools->extension(settings.EncoderIndex, settings);
        break;
    }
    // What a killed run left in the folders this one works in goes first, even when no track is
    // left to encode.
    if (!settings.Path_Temp.isEmpty())
        removeStaleTemporariesOnce(settings.Path_Temp, StaleScope::TempFileFolder);
    if (!outcome.destination.isEmpty())
        removeStaleTemporariesOnce(outcome.destination, StaleScope::AnyFolder);
    // A track whose file an earlier, stopped run finished is not encoded again: a file takes its
    // name only once complete, so one there with its A file's tags is that track done. A file of
    // that name that is somebody else's still stops the run as a taken name.
    PairList toEncode;
    for (const TrackPair& pair : pairs) {
        if (!options.bTags && !outcome.extension.isEmpty() && pair.aIndex >= 0 && pair.aIndex < state.a.count()) {
            const QString& file = state.a.names[size_t(pair.aIndex)];
            const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
            const QString output = QDir(outcome.destination).filePath((dot > 0 ? file.left(dot) : file) + outcome.extension);
            if (isRegularFile(output) && carriesTagsOf(output, state.a.files[size_t(pair.aIndex)])) {
                outcome.finished << output;
                continue;
            }
        }
        toEncode.push_back(pair);
    }
    const int left = int(toEncode.size());

    ImageRun run{state, cue, settings, options.bTags, outcome.destination, pairing.base, pairing.total,
                 options.jobs > 0 ? options.jobs : defaultJobs(), feedback};
    int code = EncodeNoEncoder;
    switch (settings.EncoderIndex) {
    case EncoderLame:
        code = encodeLameTracks(run, toEncode, left, outcome);
        break;
    case EncoderFlac:
        code = encodeFlacTracks(run, toEncode, left, outcome);
        break;
    case EncoderQaac:
    case EncoderFdkaac:
    case EncoderOpusEnc:
    case EncoderFFmpeg:
        if (options.tools)
            code = encodeCliTracks(run, toEncode, left, *options.tools, outcome);
        break;
    default:
        break;
    }
    if (code != 0) {
        outcome.code = code;
        feedback.message(encodeErrorText(code), QString::fromLatin1(EncodeErrorCaption), MessageButtons::Ok,
                         MessageIcon::Error);
    }
    return n;
}

} // namespace vn
