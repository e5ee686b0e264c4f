#include "verify/same_recording.h"

#include "util/feedback.h"
#include "util/file_name.h"
#include "verify/fingerprint.h"
#include "verify/opening_pcm.h"

#include <QDir>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <numeric>

namespace vn {

namespace {

// One side of one pair, fingerprinted by a worker.
struct SideJob {
    const RecordingPair* pair = nullptr;
    bool sideB = false;
    Fingerprint print;
    int code = -1; // an OpeningCode once done; -1 not done
    bool printFailed = false;
};

void fingerprintSide(SideJob& job, const CueSheet* image)
{
    std::vector<int16_t> samples;
    const RecordingPair& p = *job.pair;
    if (!job.sideB)
        job.code = decodeOpening(p.aPath, OpeningSeconds, samples);
    else if (!p.bPath.isEmpty())
        job.code = decodeOpening(p.bPath, OpeningSeconds, samples);
    else
        job.code = image ? imageOpening(*image, p.bFrames, OpeningSeconds, samples) : OpeningCannotOpen;
    if (job.code == OpeningOk)
        job.printFailed = !fingerprintOf(samples, job.print);
}

// Frame positions of the image: track starts k (0 for the first track) up to the end of the last.
uint64_t trackStart(const CueSheet& cue, uint64_t k)
{
    const uint64_t last = uint64_t(std::clamp(cue.trackCount, 0, CueTrackLimit - 1));
    return cue.trackStarts[size_t(std::min(k, last))];
}

QString sideProblem(const QString& side, const SideJob& job)
{
    if (job.code == -1)
        return QStringLiteral("not checked");
    if (job.code != OpeningOk)
        return QStringLiteral("%1 %2").arg(side, openingErrorText(job.code));
    return QStringLiteral("%1 cannot be fingerprinted").arg(side);
}

} // namespace

std::vector<RecordingPair> recordingPairs(const ComparisonState& state, const PairList& pairs)
{
    std::vector<RecordingPair> out;
    out.reserve(pairs.size());
    const int offset = state.trackOffsetB;
    for (const TrackPair& tp : pairs) {
        if (tp.aIndex < 0 || tp.aIndex >= state.a.count())
            continue;
        RecordingPair p;
        p.aName = state.a.names[size_t(tp.aIndex)];
        p.aPath = QDir(state.folderA).filePath(p.aName);
        if (state.cue) {
            const CueSheet& cue = *state.cue;
            switch (tp.rangeKind) {
            case 0:
                if (tp.bFirst >= uint32_t(cue.trackCount))
                    continue;
                p.bFrames = {trackStart(cue, tp.bFirst), trackStart(cue, uint64_t(std::max(tp.bLast, tp.bFirst)) + 1)};
                p.bName = tp.bLast > tp.bFirst ? QStringLiteral("tracks %1-%2").arg(tp.bFirst + 1).arg(tp.bLast + 1)
                                               : QStringLiteral("track %1").arg(tp.bFirst + 1);
                break;
            case 1:
                p.bFrames = {uint64_t(tp.bFirst) * FramesPerSector, (uint64_t(tp.bLast) + 1) * FramesPerSector};
                p.bName = QStringLiteral("sectors %1-%2").arg(tp.bFirst).arg(tp.bLast);
                break;
            default:
                p.bFrames = {tp.bFirst, uint64_t(tp.bLast) + 1};
                p.bName = QStringLiteral("frames %1-%2").arg(tp.bFirst).arg(tp.bLast);
                break;
            }
        } else {
            if (tp.bFirst >= uint32_t(state.b.count()))
                continue;
            p.bName = state.b.names[tp.bFirst];
            p.bPath = QDir(state.folderB).filePath(p.bName);
        }
        // The list shows A file i above B entry i - offset.
        if (tp.rangeKind == 0 && int64_t(tp.aIndex) - offset == int64_t(tp.bFirst))
            p.listRow = 2 * tp.aIndex + 1;
        out.push_back(std::move(p));
    }
    return out;
}

std::vector<RecordingPair> listPairs(const ComparisonState& state)
{
    PairList pairs;
    const int countB = state.countB();
    for (int a = 0; a < state.a.count(); ++a) {
        const int64_t b = int64_t(a) - state.trackOffsetB;
        if (b >= 0 && b < countB)
            pairs.push_back(TrackPair{a, uint32_t(b), uint32_t(b), 0});
    }
    return recordingPairs(state, pairs);
}

bool checkRecordings(const std::vector<RecordingPair>& pairs, const CueSheet* image, Feedback& feedback, int jobs,
                     std::vector<PairMatch>& matches)
{
    std::vector<SideJob> sides(pairs.size() * 2);
    for (size_t i = 0; i < sides.size(); ++i) {
        sides[i].pair = &pairs[i / 2];
        sides[i].sideB = i % 2;
    }
    QThreadPool pool;
    pool.setMaxThreadCount(jobs > 0 ? jobs : std::max(1, QThread::idealThreadCount()));
    QSemaphore finished;
    std::atomic<int> done{0};
    QFuture<void> work = QtConcurrent::map(&pool, sides, [&](SideJob& job) {
        fingerprintSide(job, image);
        ++done;
        finished.release();
    });

    const int total = int(sides.size());
    feedback.setStatus(2, QStringLiteral("Verify recordings...."));
    bool aborted = false;
    for (int seen = 0; seen < total;) {
        if (finished.tryAcquire(1, 100))
            ++seen;
        feedback.setStatus(3, QStringLiteral("%1/%2").arg(done.load()).arg(total));
        feedback.pumpMessages();
        if (feedback.abortRequested()) {
            aborted = true;
            work.cancel(); // the files being read finish; no other starts
            break;
        }
    }
    work.waitForFinished();
    feedback.setStatus(2, QString());
    feedback.setStatus(3, QString());

    matches.assign(pairs.size(), PairMatch{});
    for (size_t i = 0; i < pairs.size(); ++i) {
        const SideJob& a = sides[2 * i];
        const SideJob& b = sides[2 * i + 1];
        PairMatch& m = matches[i];
        if (a.code != OpeningOk || a.printFailed) {
            m.problem = sideProblem(QStringLiteral("A"), a);
        } else if (b.code != OpeningOk || b.printFailed) {
            m.problem = sideProblem(QStringLiteral("B"), b);
        } else {
            m.similarity = similarity(a.print, b.print);
            if (m.similarity < 0)
                m.problem = QStringLiteral("too short to tell");
        }
    }
    return !aborted;
}

std::vector<int> mismatchedPairs(const std::vector<PairMatch>& matches, int threshold)
{
    std::vector<int> out;
    for (size_t i = 0; i < matches.size(); ++i) {
        if (!sameRecording(matches[i], threshold))
            out.push_back(int(i));
    }
    return out;
}

QString matchText(const PairMatch& match)
{
    if (match.similarity >= 0)
        return QStringLiteral("%1 %").arg(match.similarity);
    return QStringLiteral("cannot be checked: %1").arg(match.problem);
}

QString pairLine(const RecordingPair& pair, const PairMatch& match)
{
    return QStringLiteral("%1 <-> %2: %3").arg(displayPath(pair.aName), displayPath(pair.bName), matchText(match));
}

QString mismatchQuestion(const std::vector<RecordingPair>& pairs, const std::vector<PairMatch>& matches,
                         const std::vector<int>& mismatched, int maxNamed)
{
    QString text = QStringLiteral("%1 of %2 pairs do not sound like the same recording. Continue?\n")
                       .arg(mismatched.size())
                       .arg(pairs.size());
    int named = 0;
    for (int i : mismatched) {
        if (named == maxNamed) {
            text += QStringLiteral("\n... and %1 more").arg(int(mismatched.size()) - named);
            break;
        }
        text += QLatin1Char('\n') + pairLine(pairs[size_t(i)], matches[size_t(i)]);
        ++named;
    }
    return text;
}

} // namespace vn
