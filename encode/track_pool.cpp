#include "encode/track_pool.h"

#include "util/feedback.h"
#include "util/safe_file.h"

#include <QFile>
#include <QThread>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vn {

namespace {

QString encodingText(const TrackPoolSettings& s, int index)
{
    return QString::asprintf("Track %u/%u Encoding (%s)....", unsigned(s.base + index + 1), unsigned(s.total),
                             qUtf8Printable(s.toolName));
}

QString percentText(int percent)
{
    return QString::asprintf("%3d%%", percent);
}

void finish(const TrackPoolSettings& s, int count, bool percentShown, Feedback& feedback)
{
    feedback.setStatus(2, QString::asprintf("Track %u/%u Encoding completed", unsigned(s.base + count), unsigned(s.total)));
    feedback.setStatus(3, QString());
    feedback.setStatus(4, QString());
    if (percentShown)
        feedback.setStatus(5, QString());
}

struct Finished {
    int code = 0;
    PendingFile pending;
};

// Names a finished track, or tells why it has none. True when the run goes on.
bool settle(const TrackPlan& plan, Finished& done, const TrackPoolSettings& s, TrackPoolOutcome& outcome)
{
    int code = done.code;
    if (code == 0 && !done.pending.commit())
        code = s.nameTakenCode;
    if (code == 0) {
        outcome.written << plan.outputPath;
        return true;
    }
    if (!s.stopOnFailure) {
        if (s.onSkipped)
            s.onSkipped(plan, code);
        return true;
    }
    outcome.code = code;
    outcome.failedIndex = plan.index;
    outcome.failedError = done.pending.error;
    return false;
}

TrackPoolOutcome runOneByOne(const std::vector<TrackPlan>& plans, const TrackJob& job, const TrackPoolSettings& s,
                             Feedback& feedback)
{
    TrackPoolOutcome outcome;
    TrackProgress progress;
    if (s.percentPart)
        progress.percent = [&feedback](int percent) { feedback.setStatus(5, percentText(percent)); };
    for (const TrackPlan& plan : plans) {
        feedback.setStatus(2, encodingText(s, plan.index));
        feedback.setStatus(3, QString::number(plan.index + 1));
        feedback.setStatus(4, plan.name);
        Finished done;
        done.code = job(plan, done.pending, progress);
        if (!settle(plan, done, s, outcome))
            return outcome;
        feedback.pumpMessages();
    }
    finish(s, int(plans.size()), s.percentPart, feedback);
    return outcome;
}

// Tracks are handed out in order; a failed track stops the handing out and cancels the tracks after
// it that are still running, while those before it run to their end and keep their files.
class SideBySide {
public:
    SideBySide(const std::vector<TrackPlan>& plans, const TrackJob& job, const TrackPoolSettings& s)
        : plans_(plans), job_(job), s_(s), results_(plans.size())
    {
    }

    TrackPoolOutcome run(Feedback& feedback)
    {
        const int n = int(plans_.size());
        std::vector<std::thread> workers;
        for (int w = 0; w < std::min(s_.jobs, n); ++w)
            workers.emplace_back([this] { work(); });

        TrackPoolOutcome outcome;
        uint64_t totalFrames = 0;
        for (const TrackPlan& plan : plans_)
            totalFrames += plan.last >= plan.first ? plan.last - plan.first + 1 : 0;
        feedback.setStatus(2, encodingText(s_, 0));
        feedback.setStatus(3, QStringLiteral("0"));
        feedback.setStatus(4, n ? plans_[0].name : QString());
        int named = 0, doneCount = 0, lastPercent = -1;
        size_t seen = 0;
        bool stopped = false;
        std::unique_lock<std::mutex> lock(mutex_);
        // After an abort only the tracks already handed out are waited for.
        while (named < n && !stopped && !(outcome.aborted && named >= next_)) {
            changed_.wait_for(lock, std::chrono::milliseconds(100), [&] { return finishOrder_.size() > seen; });
            int lastFinished = -1;
            for (; seen < finishOrder_.size(); ++seen, ++doneCount)
                lastFinished = finishOrder_[seen];
            std::vector<int> ready;
            for (int i = named; i < n && results_[size_t(i)]; ++i)
                ready.push_back(i);
            lock.unlock();

            if (lastFinished >= 0) {
                feedback.setStatus(2, encodingText(s_, lastFinished));
                feedback.setStatus(3, QString::number(doneCount));
                feedback.setStatus(4, plans_[size_t(lastFinished)].name);
            }
            for (int i : ready) {
                Finished done = std::move(*results_[size_t(i)]);
                if (!settle(plans_[size_t(i)], done, s_, outcome)) {
                    cancelFrom(i);
                    stopped = true;
                    break;
                }
                ++named;
            }
            const uint64_t frames = frames_.load(std::memory_order_relaxed);
            const int percent = totalFrames ? int(std::min<uint64_t>(frames, totalFrames) * 100 / totalFrames) : 100;
            if (percent != lastPercent) {
                feedback.setStatus(5, percentText(percent));
                lastPercent = percent;
            }
            feedback.pumpMessages();
            if (s_.abort && !outcome.aborted && feedback.abortRequested()) {
                s_.abort->store(true);
                outcome.aborted = true;
            }
            lock.lock();
        }
        lock.unlock();
        for (std::thread& w : workers)
            w.join();
        if (outcome.aborted) {
            feedback.setStatus(2, QStringLiteral("Encoding aborted"));
            for (int part : {3, 4, 5})
                feedback.setStatus(part, QString());
        } else if (!stopped) {
            finish(s_, n, true, feedback);
        }
        return outcome;
    }

private:
    void cancelFrom(int index)
    {
        int current = cancelFrom_.load();
        while (index < current && !cancelFrom_.compare_exchange_weak(current, index)) {
        }
    }

    void work()
    {
        for (;;) {
            int i;
            {
                std::lock_guard<std::mutex> hold(mutex_);
                if (next_ >= int(plans_.size()) || next_ > cancelFrom_.load() || (s_.abort && s_.abort->load()))
                    return;
                i = next_++;
            }
            TrackProgress progress;
            progress.frames = &frames_;
            progress.cancelled = [this, i] { return i > cancelFrom_.load(std::memory_order_relaxed); };
            Finished done;
            done.code = job_(plans_[size_t(i)], done.pending, progress);
            if (done.code != 0 && s_.stopOnFailure)
                cancelFrom(i);
            {
                std::lock_guard<std::mutex> hold(mutex_);
                results_[size_t(i)] = std::move(done);
                finishOrder_.push_back(i);
            }
            changed_.notify_one();
        }
    }

    const std::vector<TrackPlan>& plans_;
    const TrackJob& job_;
    const TrackPoolSettings& s_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<Finished>> results_;
    std::vector<int> finishOrder_;
    int next_ = 0;
    std::atomic<int> cancelFrom_{INT_MAX};
    std::atomic<uint64_t> frames_{0};
};

} // namespace

PendingFile::PendingFile() = default;

PendingFile::PendingFile(PendingFile&& other) noexcept
    : file(std::move(other.file)), toolOutput(std::move(other.toolOutput)),
      toolOutputLock(std::exchange(other.toolOutputLock, -1)), path(std::move(other.path)), error(other.error)
{
    other.toolOutput.clear();
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept
{
    // What this held goes with moved, which removes it.
    PendingFile moved(std::move(other));
    std::swap(file, moved.file);
    std::swap(toolOutput, moved.toolOutput);
    std::swap(toolOutputLock, moved.toolOutputLock);
    path = std::move(moved.path);
    error = moved.error;
    return *this;
}

PendingFile::~PendingFile()
{
    if (!toolOutput.isEmpty())
        QFile::remove(toolOutput); // the tool's own partial or unnamed output, never the user's
    if (toolOutputLock >= 0)
        ::close(toolOutputLock);
}

bool PendingFile::commit()
{
    if (file) {
        const bool named = file->commit();
        error = named ? 0 : file->error();
        file.reset();
        return named;
    }
    if (toolOutput.isEmpty())
        return false;
    const bool named = moveFileNoReplace(toolOutput, path);
    if (named)
        toolOutput.clear();
    return named;
}

int defaultJobs()
{
    return std::max(1, QThread::idealThreadCount());
}

TrackPoolOutcome runTrackPool(const std::vector<TrackPlan>& plans, const TrackJob& job,
                              const TrackPoolSettings& settings, Feedback& feedback)
{
    if ((settings.jobs <= 1 || plans.size() <= 1) && !settings.onWorkers)
        return runOneByOne(plans, job, settings, feedback);
    SideBySide pool(plans, job, settings);
    return pool.run(feedback);
}

} // namespace vn
