#include "session/compare.h"

#include "containers/read_file_tags.h"
#include "util/feedback.h"
#include "util/file_name.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vn {

namespace {

constexpr qint64 ShowCountEveryMs = 50;

// Reads one file of a side; a file that cannot be read keeps only its name.
bool readOne(const QString& folder, FileList& side, int index, QByteArray& readBuffer)
{
    FileTags& file = side.files[size_t(index)];
    if (readFileTags(folder, side.names[size_t(index)], file, readBuffer) == ReadTagsOk)
        return true;
    file.header = TagHeader{KindUnreadable, 0, 0};
    return false;
}

// A file's row: the full row, or only position and name when the file could not be read.
ListRow rowOf(const FileList& side, int index, int row, bool read)
{
    const QString& name = side.names[size_t(index)];
    if (read)
        return buildListRow(row, name, side.files[size_t(index)]);
    ListRow cells;
    cells[0] = QStringLiteral("%1%2").arg(QChar(row % 2 ? u'B' : u'A')).arg(row / 2 + 1);
    cells[1] = displayPath(name);
    cells[2] = QString::fromLatin1(UnreadableKindText);
    return cells;
}

// Side B's files read in order on a thread of their own while the calling thread reads side A's:
// the two folders take the time of the larger one. The worker never talks to the user; it counts
// the files it has read and stops before the next one once told to.
class SideReader {
public:
    SideReader(const QString& folder, FileList& side) : folder_(folder), side_(side), read_(size_t(side.count()))
    {
        worker_ = std::thread([this] { work(); });
    }
    ~SideReader()
    {
        stop_.store(true);
        worker_.join();
    }
    SideReader(const SideReader&) = delete;
    SideReader& operator=(const SideReader&) = delete;

    int done() const { return done_.load(); }
    bool finished() const { return done() == side_.count(); }
    // Waits until the side is read or up to ms milliseconds.
    void waitFor(qint64 ms)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished(); });
    }
    // Once finished: whether file index could be read.
    bool read(int index) const { return read_[size_t(index)] != 0; }

private:
    void work()
    {
        QByteArray readBuffer;
        for (int j = 0; j < side_.count() && !stop_.load(); ++j) {
            read_[size_t(j)] = readOne(folder_, side_, j, readBuffer);
            {
                std::lock_guard lock(mutex_);
                done_.store(j + 1);
            }
            changed_.notify_all();
        }
    }

    const QString& folder_;
    FileList& side_;
    std::vector<char> read_;
    std::atomic<int> done_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

bool loadSide(const QString& folder, const QStringList& extPriorityList, FileList& side)
{
    const QStringList names = listFolderAudio(folder, extPriorityList);
    side.names.assign(names.begin(), names.end());
    side.files.clear();
    side.files.resize(size_t(names.size()));
    return !names.isEmpty();
}

} // namespace

int compareAB(ComparisonState& state, const QStringList& extPriorityList, int cueCodePage, Feedback& feedback)
{
    clearComparison(state);
    if (!isDirectory(state.folderA))
        return CompareNoFolderA;
    if (!loadSide(state.folderA, extPriorityList, state.a))
        return CompareNoAudioA;
    if (state.folderBMode) {
        if (!isDirectory(state.folderB)) {
            clearComparison(state);
            return CompareNoFolderB;
        }
        if (!loadSide(state.folderB, extPriorityList, state.b)) {
            clearComparison(state);
            return CompareNoAudioB;
        }
    } else {
        CueSheet sheet;
        if (parseCueSheet(state.folderB, CueTrackLimit, cueCodePage, sheet) < 1) {
            clearComparison(state);
            return CompareIllegalCueSheet;
        }
        state.cue = std::move(sheet);
    }

    const int countA = state.a.count();
    const int countB = state.countB();
    const int files = countA + state.b.count();
    feedback.setStatus(2, QStringLiteral("Compare A/B...."));
    auto finish = [&](int code) {
        feedback.setStatus(2, QString());
        feedback.setStatus(3, QString());
        if (code != CompareOk)
            clearComparison(state);
        return code;
    };
    std::optional<SideReader> sideB;
    if (state.b.count() > 0)
        sideB.emplace(state.folderB, state.b);
    auto readB = [&] { return sideB ? sideB->done() : 0; };
    auto aborted = [&] {
        sideB.reset(); // B's reader stops before the state it fills is cleared
        return finish(CompareAborted);
    };
    // The count of files read is shown for the first and the last file and a few times a second in
    // between (a repaint for every one of thousands of small files would cost more than reading
    // them), and the window is pumped before each A file and while B's reading goes on after A's.
    QElapsedTimer sinceShown;
    int shown = 0;
    auto showCount = [&](int done) {
        if (done != shown && (shown == 0 || done == files || sinceShown.hasExpired(ShowCountEveryMs))) {
            feedback.setStatus(3, QStringLiteral("%1/%2").arg(done).arg(files));
            sinceShown.start();
            shown = done;
        }
        feedback.pumpMessages();
        return !feedback.abortRequested();
    };
    QByteArray readBuffer;
    std::vector<char> readA(static_cast<size_t>(countA));
    for (int i = 0; i < countA; ++i) {
        if (!showCount(i + 1 + readB()))
            return aborted();
        readA[size_t(i)] = readOne(state.folderA, state.a, i, readBuffer);
    }
    while (sideB && !sideB->finished()) {
        if (!showCount(countA + readB()))
            return aborted();
        sideB->waitFor(ShowCountEveryMs);
    }
    if (shown != files)
        showCount(files);

    for (int i = 0; i < countA || i < countB + state.trackOffsetB; ++i) {
        state.rows.push_back(i < countA ? rowOf(state.a, i, 2 * i, readA[size_t(i)]) : ListRow{});
        const int j = i - state.trackOffsetB;
        if (j < 0 || j >= countB)
            state.rows.push_back(ListRow{});
        else if (state.cue)
            state.rows.push_back(buildCueTrackRow(i + 1, state.trackOffsetB, *state.cue));
        else
            state.rows.push_back(rowOf(state.b, j, 2 * i + 1, sideB->read(j)));
    }
    return finish(CompareOk);
}

int listCueSheet(ComparisonState& state, int cueCodePage)
{
    clearComparison(state);
    CueSheet sheet;
    if (parseCueSheet(state.folderB, CueTrackLimit, cueCodePage, sheet) < 1)
        return CompareIllegalCueSheet;
    state.cue = std::move(sheet);
    for (int i = 0; i < state.cue->trackCount; ++i) {
        state.rows.push_back(ListRow{});
        state.rows.push_back(buildCueTrackRow(i + 1, 0, *state.cue));
    }
    return CompareOk;
}

} // namespace vn
