#include "batch/batch_runner.h"

#include "config/settings.h"
#include "encode/finished_track.h"
#include "session/session.h"
#include "util/feedback.h"
#include "util/file_name.h"

#include <QDir>
#include <QFile>

namespace vn {

namespace {

// What a pair's steps see: the user's feedback, except that the stop request waits for the next
// pair, so the pair that runs is finished whole (its files moved, none left behind in the TempFile
// folder).
class PairFeedback : public Feedback {
public:
    explicit PairFeedback(Feedback& outer) : outer_(outer) {}
    void setStatus(int part, const QString& text) override { outer_.setStatus(part, text); }
    void pumpMessages() override { outer_.pumpMessages(); }
    bool abortRequested() const override { return false; }
    int message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) override
    {
        return outer_.message(text, title, buttons, icon);
    }
    int inputBox(const QString& title, const QString& prompt, QString& value, int capacity, const QString& okText,
                 const QString& cancelText) override
    {
        return outer_.inputBox(title, prompt, value, capacity, okText, cancelText);
    }

private:
    Feedback& outer_;
};

void appendToLog(const QString& logPath, const QByteArray& line)
{
    if (logPath.isEmpty())
        return;
    QFile log(logPath);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(line);
}

QString stemOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

struct PairPlan {
    std::vector<BatchEntry> toEncode; // closed by an end entry
    PairList done;                    // tracks an earlier run finished, as Move Files takes them
    QString destination;              // empty when it cannot be known before the run
};

// Which of the pair's entries still need their file. A file stands under its name only once it is
// complete, so a file there with A's tags is a finished track.
PairPlan planPair(const std::vector<TrackMapEntry>& entries, const ComparisonState& state, const QString& destination,
                  const QString& extension)
{
    PairPlan plan;
    plan.destination = destination;
    for (const TrackMapEntry& e : entries) {
        const int a = int(e.aIndex) - 1;
        // The end of a pair's list is marked by 0 alone; every other entry carries a non-zero mark,
        // so an A file numbered 0 is not taken for the end.
        const BatchEntry entry{e.aIndex, 1, e.first, e.last, e.kind};
        if (!destination.isEmpty() && !extension.isEmpty() && a >= 0 && a < state.a.count()) {
            const QString output = QDir(destination).filePath(stemOf(state.a.names[size_t(a)]) + extension);
            if (isRegularFile(output) && carriesTagsOf(output, state.a.files[size_t(a)])) {
                plan.done.push_back(TrackPair{a, e.first, e.last, e.kind});
                continue;
            }
        }
        plan.toEncode.push_back(entry);
    }
    plan.toEncode.push_back(BatchEntry{});
    return plan;
}

} // namespace

bool BatchOutcome::failed() const
{
    for (const BatchPairReport& p : pairs) {
        if (p.failed())
            return true;
    }
    return false;
}

QString producedExtension(const Settings& settings, const OutsideTools* tools)
{
    const int k = settings.EncoderIndex;
    if (k >= EncoderQaac && k <= EncoderFFmpeg)
        return tools && tools->extension ? tools->extension(k, settings) : QString();
    return k == EncoderLame ? QStringLiteral(".mp3") : k == EncoderFlac ? QStringLiteral(".flac") : QString();
}

int runBatchReencode(const BatchList& list, Settings& settings, ComparisonSession& session,
                     const BatchRunOptions& options, Feedback& feedback, BatchOutcome& outcome)
{
    outcome = BatchOutcome{};
    const std::vector<std::vector<TrackMapEntry>> perPair = entriesByPair(list);
    const int shards = std::max(options.shardCount, 1);
    std::vector<size_t> selected;
    int totalTracks = 0;
    for (size_t k = 0; k < list.pairs.size(); ++k) {
        if (int(k % size_t(shards)) == options.shardIndex) {
            selected.push_back(k);
            totalTracks += int(perPair[k].size());
        }
    }

    const int savedAutoCddb = settings.Cddb_CDimg;
    settings.Cddb_CDimg = 0;
    feedback.setStatus(0, QStringLiteral("Batch"));
    PairFeedback inner(feedback);
    // The A side is listed by the batch's extension alone, as the list's positions were counted.
    Settings pairSettings = settings;
    pairSettings.ExtPriorityList = QStringList{options.extension};
    const QString extension = producedExtension(settings, options.tools);

    for (size_t j = 0; j < selected.size(); ++j) {
        if (feedback.abortRequested()) {
            outcome.stopped = true;
            break;
        }
        const size_t k = selected[j];
        BatchPairReport report;
        report.index = k;
        report.pair = list.pairs[k];
        feedback.setStatus(1, QStringLiteral("Folder %1/%2").arg(j + 1).arg(selected.size()));
        if (options.beforePair)
            options.beforePair(report.pair);

        report.compareCode = session.compare(Sides{report.pair.folderA, report.pair.cuePath, false, 0}, pairSettings, inner);
        if (report.compareCode != CompareOk) {
            appendToLog(settings.Batch_Log_EncErr, '"' + pathBytes(report.pair.folderA) + "\" \"" +
                                                       pathBytes(report.pair.cuePath) + "\" Skipped: " +
                                                       compareErrorText(report.compareCode).toUtf8() + '\n');
            if (options.pairDone)
                options.pairDone(report);
            outcome.pairs.push_back(std::move(report));
            continue;
        }
        if (options.compared)
            options.compared(session.state());

        // Where the files go, when it can be told without making a new folder.
        QString destination;
        if (options.backupMode) {
            destination = settings.Path_Temp;
        } else if (settings.BkupFldr_Exist != 0) {
            if (makeLevelFolder(destination, settings.Path_Otpt, report.pair.folderA, settings.BkupFldr_Level, true,
                                inner) < 0)
                destination.clear();
        }
        const PairPlan plan = planPair(perPair[k], session.state(), destination, extension);
        report.alreadyDone = int(plan.done.size());

        EncodeOutcome encoded;
        PairList encodedPairs;
        if (plan.toEncode.size() > 1) {
            size_t cursor = 0;
            const BatchRun run{&plan.toEncode, &cursor, outcome.tracksEncoded, totalTracks};
            EncodeOptions encodeOptions;
            encodeOptions.backupMode = options.backupMode;
            encodeOptions.batch = &run;
            encodeOptions.jobs = options.jobs;
            encodeOptions.tools = options.tools;
            report.tracks = session.encode(pairSettings, encodeOptions, inner, encoded);
            encodedPairs = session.pairs();
            outcome.tracksEncoded += report.tracks;
            report.levelCode = encoded.levelCode;
            report.encodeCode = encoded.code;
            report.failedPath = encoded.failedPath;
            report.failedError = encoded.failedError;
            report.notCreated = encoded.notCreated;
        }

        if (!options.backupMode) {
            report.written = encoded.written;
        } else {
            // Only what this pair's run finished takes A's place.
            const ComparisonState& state = session.state();
            auto produced = [&](const TrackPair& p) {
                return QDir(settings.Path_Temp).filePath(stemOf(state.a.names[size_t(p.aIndex)]) + extension);
            };
            PairList moving = plan.done;
            for (const TrackPair& p : encodedPairs) {
                if (p.aIndex >= 0 && p.aIndex < state.a.count() && encoded.written.contains(produced(p)))
                    moving.push_back(p);
            }
            QStringList producedFiles;
            for (const TrackPair& p : moving)
                producedFiles << produced(p);
            if (!moving.empty()) {
                report.moveCode = moveFiles(state, pairSettings, true, moving, int(moving.size()), inner,
                                            &report.moves, extension);
                for (const MoveStep& step : report.moves) {
                    if (step.done && producedFiles.contains(step.from))
                        report.written << step.to;
                }
                if (report.moveCode == 0) {
                    session.clear();
                    if (options.cleared)
                        options.cleared();
                }
            }
        }
        if (options.pairDone)
            options.pairDone(report);
        outcome.pairs.push_back(std::move(report));
    }

    settings.Cddb_CDimg = savedAutoCddb;
    feedback.setStatus(0, QString());
    feedback.setStatus(1, QString::fromLatin1(BatchCompletedText));
    return outcome.tracksEncoded;
}

} // namespace vn
