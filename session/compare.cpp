#include "session/compare.h"

#include "containers/read_file_tags.h"
#include "util/feedback.h"
#include "util/file_name.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace vn {

namespace {

constexpr qint64 ShowCountEveryMs = 50;

// Reads one file of a side and gives its row: the full row, or only position and name when the
// file cannot be read. Every file goes through the one read buffer.
ListRow readAndBuildRow(const QString& folder, FileList& side, int index, int row, QByteArray& readBuffer)
{
    FileTags& file = side.files[size_t(index)];
    const QString& name = side.names[size_t(index)];
    if (readFileTags(folder, name, file, readBuffer) != ReadTagsOk) {
        file.header = TagHeader{KindUnreadable, 0, 0};
        ListRow cells;
        cells[0] = QStringLiteral("%1%2").arg(QChar(row % 2 ? u'B' : u'A')).arg(row / 2 + 1);
        cells[1] = displayPath(name);
        cells[2] = QString::fromLatin1(UnreadableKindText);
        return cells;
    }
    return buildListRow(row, name, file);
}

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
    int done = 0;
    QByteArray readBuffer;
    feedback.setStatus(2, QStringLiteral("Compare A/B...."));
    auto finish = [&](int code) {
        feedback.setStatus(2, QString());
        feedback.setStatus(3, QString());
        if (code != CompareOk)
            clearComparison(state);
        return code;
    };
    // Each file is counted and followed by a pump, so the window stays alive on a large folder. The
    // count is shown for the first and the last file and a few times a second in between: a repaint
    // for every one of thousands of small files would cost more than reading them.
    QElapsedTimer sinceShown;
    auto nextFile = [&] {
        ++done;
        if (done == 1 || done == files || sinceShown.hasExpired(ShowCountEveryMs)) {
            feedback.setStatus(3, QStringLiteral("%1/%2").arg(done).arg(files));
            sinceShown.start();
        }
        feedback.pumpMessages();
        return !feedback.abortRequested();
    };
    for (int i = 0; i < countA || i < countB + state.trackOffsetB; ++i) {
        if (i >= countA)
            state.rows.push_back(ListRow{});
        else if (!nextFile())
            return finish(CompareAborted);
        else
            state.rows.push_back(readAndBuildRow(state.folderA, state.a, i, 2 * i, readBuffer));
        const int j = i - state.trackOffsetB;
        if (j < 0 || j >= countB)
            state.rows.push_back(ListRow{});
        else if (state.cue)
            state.rows.push_back(buildCueTrackRow(i + 1, state.trackOffsetB, *state.cue));
        else if (!nextFile())
            return finish(CompareAborted);
        else
            state.rows.push_back(readAndBuildRow(state.folderB, state.b, j, 2 * i + 1, readBuffer));
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
