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

// The files of both sides, read by the calling thread and a worker side by side: each takes the
// next file nobody has taken yet, so the two share the bytes of both folders, however the files'
// sizes fall. The worker never talks to the user; once told to stop, it takes no further file.
class BothSides {
public:
    explicit BothSides(ComparisonState& state)
    {
        for (auto [folder, side] : {std::pair{&state.folderA, &state.a}, std::pair{&state.folderB, &state.b}})
            for (int i = 0; i < side->count(); ++i)
                files_.push_back(File{folder, side, i});
        read_.resize(files_.size());
        if (files_.size() > 1)
            worker_ = std::thread([this] {
                QByteArray readBuffer;
                while (readNext(readBuffer)) {
                }
            });
    }
    ~BothSides()
    {
        stop_.store(true);
        if (worker_.joinable())
            worker_.join();
    }
    BothSides(const BothSides&) = delete;
    BothSides& operator=(const BothSides&) = delete;

    int count() const { return int(files_.size()); }
    int done() const { return done_.load(); }
    // Reads the next file nobody has taken; false when none is left (or the reading is stopped).
    bool readNext(QByteArray& readBuffer)
    {
        const int i = stop_.load() ? count() : next_.fetch_add(1);
        if (i >= count())
            return false;
        const File& f = files_[size_t(i)];
        read_[size_t(i)] = readOne(*f.folder, *f.side, f.index, readBuffer);
        {
            std::lock_guard lock(mutex_);
            done_.fetch_add(1);
        }
        changed_.notify_all();
        return true;
    }
    // Waits until every file is read or up to ms milliseconds; true when every file is read.
    bool waitFor(qint64 ms)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done() == count(); });
    }
    // Once all are read: whether file index of side A (or B) could be.
    bool readA(int index) const { return read_[size_t(index)] != 0; }
    bool readB(int index, int countA) const { return read_[size_t(countA + index)] != 0; }

private:
    struct File {
        const QString* folder;
        FileList* side;
        int index;
    };
    std::vector<File> files_;
    std::vector<char> read_;
    std::atomic<int> next_{0};
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
    std::optional<BothSides> reading(std::in_place, state);
    auto aborted = [&] {
        reading.reset(); // the worker stops before the state it fills is cleared
        return finish(CompareAborted);
    };
    // The count of files read is shown for the first and the last file and a few times a second in
    // between (a repaint for every one of thousands of small files would cost more than reading
    // them), and the window is pumped before each file the calling thread reads and while it waits
    // for the worker's last.
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
    do {
        if (!showCount(std::min(reading->done() + 1, files)))
            return aborted();
    } while (reading->readNext(readBuffer));
    while (!reading->waitFor(ShowCountEveryMs)) {
        if (!showCount(reading->done()))
            return aborted();
    }
    if (shown != files)
        showCount(files);

    for (int i = 0; i < countA || i < countB + state.trackOffsetB; ++i) {
        state.rows.push_back(i < countA ? rowOf(state.a, i, 2 * i, reading->readA(i)) : ListRow{});
        const int j = i - state.trackOffsetB;
        if (j < 0 || j >= countB)
            state.rows.push_back(ListRow{});
        else if (state.cue)
            state.rows.push_back(buildCueTrackRow(i + 1, state.trackOffsetB, *state.cue));
        else
            state.rows.push_back(rowOf(state.b, j, 2 * i + 1, reading->readB(j, countA)));
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
