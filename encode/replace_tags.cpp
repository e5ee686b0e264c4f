#include "encode/replace_tags.h"

#include "config/settings.h"
#include "containers/read_file_tags.h"
#include "encode/move_files.h"
#include "encode/read_ahead.h"
#include "util/byte_reader.h"
#include "util/safe_file.h"
#include "util/feedback.h"
#include "util/file_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vn {

namespace {

constexpr int64_t MaxTagSize = 0x0FFFFFFF; // what four 7-bit bytes can hold

void putSyncSafe(QByteArray& out, uint32_t value)
{
    for (int shift = 21; shift >= 0; shift -= 7)
        out.append(char((value >> shift) & 0x7f));
}

QString bPath(const ComparisonState& state, const TrackPair& pair)
{
    return pair.bFirst < uint32_t(state.b.count()) ? QDir(state.folderB).filePath(state.b.names[pair.bFirst]) : QString();
}

// The new tag of a pair: A's frames and B's TENC, TSSE, TLEN and MCDI in row order, then padding.
struct NewTag {
    std::array<QByteArrayView, TagFieldRowCount> frames;
    int64_t bodySize = 0;
    int64_t padding = 0;
    int64_t length() const { return 10 + bodySize + padding; }
};

NewTag newTag(const FileTags& a, const FileTags& b, int blockSize, int minPadding)
{
    NewTag t;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        t.frames[size_t(row)] = id3FrameBytes(rowFromB(row) ? b : a, row);
        t.bodySize += t.frames[size_t(row)].size();
    }
    t.padding = id3Padding(t.bodySize, blockSize, minPadding);
    return t;
}

bool validPair(const ComparisonState& state, const TrackPair& pair)
{
    return pair.aIndex >= 0 && pair.aIndex < state.a.count() && pair.bFirst < uint32_t(state.b.count());
}

// B's audio is copied from where the compare found it, which holds while B is the very file the
// compare read: of the same size and modification time.
bool sameFile(const FileTags& b, const ReadOnlyFile& file)
{
    return file.isOpen() && FileStamp{file.size(), file.modifiedNs()} == b.stamp && b.audioOffset <= file.size();
}

// The kernel copies B's audio within one file system: measured over albums of 4-5 MB files, that
// costs about half of reading the bytes out and writing them back (through ReadAhead), also behind
// a new tag that leaves every page of the audio split in two. Between file systems the kernel
// cannot, and ReadAhead reads the next pieces while the writer writes, its pieces ending on the
// new file's blocks.
dev_t deviceOf(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? st.st_dev : dev_t(-1);
}

// A file under the name that holds exactly what the pair writes is the pair's own result, named by
// a run that was stopped after it (and is now run again), not somebody else's file.
bool alreadyWritten(const QString& path, QByteArrayView tag, const QString& bFile, uint64_t audioOffset)
{
    const ReadOnlyFile done(path), b(bFile);
    return done.isOpen() && b.isOpen() && b.size() >= audioOffset &&
           done.size() == uint64_t(tag.size()) + (b.size() - audioOffset) && done.readAt(0, uint64_t(tag.size())) == tag &&
           sameBytes(done, uint64_t(tag.size()), b, audioOffset, b.size() - audioOffset);
}

// The bytes of a pair's new tag, into tag (one block for every pair: fresh memory costs more than
// the copying).
void putTag(const FileTags& a, const NewTag& t, QByteArray& tag)
{
    tag.resize(0);
    tag.reserve(qsizetype(t.length()));
    tag.append("ID3", 3);
    tag.append(char(a.header.version));
    tag.append(char(a.header.revision));
    tag.append(char(id3WrittenFlags(a.header)));
    putSyncSafe(tag, uint32_t(t.bodySize + t.padding));
    for (QByteArrayView frame : t.frames)
        tag.append(frame);
    tag.append(qsizetype(t.padding), '\0');
}

// A pair's new file, complete but not yet named.
struct Unnamed {
    std::unique_ptr<NewFile> file;
    int pair = 0;
    QString bFile;
};

// Names the finished files in pair order on a thread of its own, so that the wait for a file's data
// to reach the disk goes on while the next file is written; the folder's names go to the disk once,
// at the end. After a file that cannot be named nothing more is: the files after it vanish unnamed,
// as if the run had stopped there. The worker reads the comparison only.
class Namer {
public:
    Namer(const ComparisonState& state, const PairList& pairs, int blockSize, int minPadding)
        : state_(state), pairs_(pairs), blockSize_(blockSize), minPadding_(minPadding), worker_([this] { work(); })
    {
    }
    ~Namer()
    {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    Namer(const Namer&) = delete;
    Namer& operator=(const Namer&) = delete;

    // Hands a file over, waiting while a few are still to be named. False once a name has failed.
    bool add(Unnamed u)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_.size() < MaxWaiting || failed_; });
        if (failed_)
            return false;
        waiting_.push_back(std::move(u));
        changed_.notify_all();
        return true;
    }
    bool failed()
    {
        std::lock_guard lock(mutex_);
        return failed_;
    }
    // Waits until every file handed over is named (or given up). WriteOk, or the code of the first
    // that could not be named, with its path and the system's error.
    int finish(QStringList& named, QString& path, int& error)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_.empty() && !busy_; });
        named = std::move(named_);
        named_.clear();
        if (!named.isEmpty())
            syncFolderOf(named.last());
        path = failedPath_;
        error = failedError_;
        return failedCode_;
    }

private:
    static constexpr size_t MaxWaiting = 4;

    void work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !waiting_.empty() || closed_; });
            if (waiting_.empty())
                return;
            Unnamed u = std::move(waiting_.front());
            waiting_.pop_front();
            if (failed_)
                continue; // given up unnamed
            busy_ = true;
            lock.unlock();
            int error = 0;
            const int code = name(u, error);
            lock.lock();
            busy_ = false;
            if (code == WriteOk) {
                named_ << u.file->path();
            } else {
                failed_ = true;
                failedCode_ = code;
                failedPath_ = u.file->path();
                failedError_ = error;
            }
            changed_.notify_all();
        }
    }

    int name(Unnamed& u, int& error)
    {
        NewFile& out = *u.file;
        if (out.commit(NewFile::FolderLater))
            return WriteOk;
        error = out.error();
        const QString& path = out.path();
        if (error == EEXIST) {
            const TrackPair& pair = pairs_[size_t(u.pair)];
            const FileTags& a = state_.a.files[size_t(pair.aIndex)];
            const FileTags& b = state_.b.files[pair.bFirst];
            putTag(a, newTag(a, b, blockSize_, minPadding_), tag_);
            if (alreadyWritten(path, tag_, u.bFile, b.audioOffset))
                return WriteOk;
        }
        return error == EEXIST || nameTaken(path) ? WriteDestinationTaken : WriteCannotCreate;
    }

    const ComparisonState& state_;
    const PairList& pairs_;
    const int blockSize_;
    const int minPadding_;
    QByteArray tag_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Unnamed> waiting_;
    bool busy_ = false;
    bool closed_ = false;
    bool failed_ = false;
    QStringList named_;
    int failedCode_ = WriteOk;
    QString failedPath_;
    int failedError_ = 0;
    std::thread worker_;
};

int writeOnePair(const ComparisonState& state, const QString& destination, const TrackPair& pair, const QString& bFile,
                 int blockSize, int minPadding, QString& path, int& error, QByteArray& tag, ReadAhead& audio,
                 std::unique_ptr<NewFile>& written)
{
    if (!validPair(state, pair))
        return WriteNotId3Pair;
    path = QDir(state.folderA).filePath(state.a.names[size_t(pair.aIndex)]);
    const FileTags& a = state.a.files[size_t(pair.aIndex)];
    const FileTags& b = state.b.files[pair.bFirst];
    if (!isId3Kind(a.header.version) || a.header.version != b.header.version)
        return WriteNotId3Pair;

    path = bFile;
    ReadAhead::Piece piece = audio.next();
    if (piece.failed)
        return WriteCannotReadB;

    const NewTag t = newTag(a, b, blockSize, minPadding);
    path = QDir(destination).filePath(state.a.names[size_t(pair.aIndex)]);
    if (t.bodySize + t.padding > MaxTagSize)
        return WriteTagTooLarge;
    // The kernel copies this one: B is opened again and must still be the file the compare read.
    std::optional<ReadOnlyFile> whole;
    if (piece.leftToWriter) {
        whole.emplace(bFile);
        if (!sameFile(b, *whole)) {
            path = bFile;
            return WriteCannotReadB;
        }
    }
    putTag(a, t, tag);

    // An existing file of that name is not looked for first: naming the finished file refuses it.
    auto out = std::make_unique<NewFile>(path);
    if (!out->open() || !out->write(tag.constData(), tag.size())) {
        error = out->error();
        return WriteCannotCreate;
    }
    if (whole && !out->copyFrom(whole->handle(), b.audioOffset, whole->size() - b.audioOffset)) {
        error = out->error();
        if (!sameFile(b, ReadOnlyFile(bFile))) {
            path = bFile; // B changed while it was copied
            return WriteCannotReadB;
        }
        return WriteCannotCreate;
    }
    while (!whole) {
        if (!out->write(piece.data, piece.size)) {
            error = out->error();
            return WriteCannotCreate;
        }
        if (piece.last)
            break;
        piece = audio.next();
        if (piece.failed) {
            path = bFile;
            return WriteCannotReadB;
        }
    }
    out->startWriteback();
    written = std::move(out);
    return WriteOk;
}

} // namespace

// A row's complete frame, header and body, as it stands in the bytes the tag's walk went over: the
// tag body with a tag-level unsynchronisation undone and in version 4 each frame's own flags made
// explicit. Empty when the row is absent or its value does not sit behind a whole frame header.
QByteArrayView id3FrameBytes(const FileTags& file, int row)
{
    const TagValue& value = file.record[size_t(row)];
    if (!value.present())
        return {};
    const uint32_t headerSize = file.header.version == KindId3v22 ? 6 : 10;
    if (value.offset < headerSize)
        return {};
    return ByteReader(value.buffer).viewAt(value.offset - headerSize, size_t(value.size) + headerSize);
}

// A's flags go on as they are, except those the new tag does not keep: its frames are copied
// de-unsynchronised (in version 4 each keeps its own flag), and no extended header, footer or
// version 2 compression is written; a reader believing such a flag would misread the frames.
uint8_t id3WrittenFlags(const TagHeader& header)
{
    const uint8_t dropped = Id3TagUnsynchronised | Id3TagExtendedHeader | (header.version == KindId3v24 ? 0x10 : 0);
    return header.flags & ~dropped;
}

QString tagVersionErrorText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("Folder-A : Inconsistent Tag Version");
    case 2:
        return QStringLiteral("Folder-B : Inconsistent Tag Version");
    case 3:
        return QStringLiteral("Folder-A : Not ID3v2");
    case 4:
        return QStringLiteral("Folder-B : Not ID3v2");
    case 5:
        return QStringLiteral("ID3v2 version Mismatched");
    default:
        return QString();
    }
}

QString unreadableFilesText(const ComparisonState& state, int which, bool openFailuresOnly)
{
    QStringList lines;
    for (const auto& [folder, side] : {std::pair{&state.folderA, &state.a}, std::pair{&state.folderB, &state.b}}) {
        if ((which == 1 && side != &state.a) || (which == 2 && side != &state.b))
            continue;
        for (int i = 0; i < side->count(); ++i) {
            if (side->files[size_t(i)].header.version != KindUnreadable)
                continue;
            const QString path = QDir(*folder).filePath(side->names[size_t(i)]);
            if (openFailuresOnly && readProblem(path).isEmpty())
                continue;
            const QString cause = readTagsProblem(path);
            lines << QDir::toNativeSeparators(displayPath(path)) + QStringLiteral(": ") +
                         (cause.isEmpty() ? QStringLiteral("could not be read") : cause);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString writeReplacedErrorText(int code, const QString& path)
{
    const QString where = QDir::toNativeSeparators(path);
    switch (code) {
    case WriteCannotReadB:
        return QStringLiteral("Cannot read \"%1\" as the comparison found it.").arg(where);
    case WriteCannotCreate:
        return QStringLiteral("Cannot create \"%1\".").arg(where);
    case WriteDestinationTaken:
        return QStringLiteral("\"%1\" already exists and was left as it is.").arg(where);
    case WriteTagTooLarge:
        return QStringLiteral("The tag for \"%1\" is too large for ID3v2.").arg(where);
    case WriteNotId3Pair:
        return QStringLiteral("\"%1\" is not part of an ID3v2 pair of one version.").arg(where);
    case WriteAborted:
        return QStringLiteral("Stopped before \"%1\"; the files before it were written.").arg(where);
    case WriteNoLevelFolder:
        return QStringLiteral("Folder A \"%1\" has fewer folder levels than the level folder asks for.").arg(where);
    default:
        return QString();
    }
}

int64_t id3Padding(int64_t bodySize, int blockSize, int minPadding)
{
    if (blockSize >= 1) {
        const int64_t whole = bodySize + 10;
        int64_t padding = (whole / blockSize + 1) * blockSize - whole;
        if (padding < minPadding)
            padding += blockSize;
        return padding;
    }
    return std::max(minPadding, 0);
}

PairList folderPairs(int countA, int countB, int trackOffsetB)
{
    PairList pairs;
    const int64_t o = trackOffsetB;
    const int64_t n = std::max<int64_t>(0, o < 0 ? std::min<int64_t>(countA, countB + o) : std::min<int64_t>(countB, countA - o));
    pairs.reserve(size_t(n));
    for (int64_t i = 0; i < n; ++i) {
        const int64_t a = o < 0 ? i : i + o;
        const int64_t b = o < 0 ? i - o : i;
        pairs.push_back(TrackPair{int32_t(a), uint32_t(b), uint32_t(b), 0});
    }
    return pairs;
}

int writeReplacedTags(const ComparisonState& state, const QString& destination, const PairList& pairs, int count,
                      int blockSize, int minPadding, ReplaceOutcome* outcome, Feedback* feedback)
{
    count = std::clamp<int>(count, 0, int(pairs.size()));
    // B's audio is read, in pair order, while the files before it are written (unless the kernel
    // copies it); the first piece of a file ends where the new file's first block does.
    dev_t destinationDevice = dev_t(-1);
    if (const int folder = ::open(pathBytes(destination).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folder >= 0) {
        destinationDevice = deviceOf(folder);
        ::close(folder);
    }
    QStringList sources;
    for (int i = 0; i < count; ++i)
        sources << bPath(state, pairs[size_t(i)]);
    ReadAhead audio(sources, [&](int i, const ReadOnlyFile& file, uint64_t& offset, uint64_t& firstPiece) {
        const TrackPair& pair = pairs[size_t(i)];
        if (!validPair(state, pair) || !sameFile(state.b.files[pair.bFirst], file))
            return false;
        const FileTags& b = state.b.files[pair.bFirst];
        offset = b.audioOffset;
        if (destinationDevice != dev_t(-1) && deviceOf(file.handle()) == destinationDevice) {
            firstPiece = 0; // the kernel's copy, by the writer
            return true;
        }
        const uint64_t tagLength = uint64_t(newTag(state.a.files[size_t(pair.aIndex)], b, blockSize, minPadding).length());
        firstPiece = uint64_t(ReadAhead::PieceSize) - tagLength % uint64_t(ReadAhead::PieceSize);
        return true;
    });
    QByteArray tag;
    Namer namer(state, pairs, blockSize, minPadding);
    QString path;
    int error = 0;
    int code = WriteOk;
    for (int i = 0; i < count && code == WriteOk && !namer.failed(); ++i) {
        if (feedback) {
            feedback->setStatus(3, QStringLiteral("%1/%2").arg(i + 1).arg(count));
            feedback->pumpMessages();
        }
        std::unique_ptr<NewFile> written;
        if (feedback && feedback->abortRequested()) {
            path = QDir(destination).filePath(state.a.names[size_t(pairs[size_t(i)].aIndex)]);
            code = WriteAborted;
        } else {
            code = writeOnePair(state, destination, pairs[size_t(i)], sources[i], blockSize, minPadding, path, error, tag,
                                audio, written);
        }
        if (written)
            namer.add(Unnamed{std::move(written), i, sources[i]});
    }
    // The files before a failure are named first: a failure among them is the run's first.
    QStringList named;
    QString namePath;
    int nameError = 0;
    if (const int nameCode = namer.finish(named, namePath, nameError); nameCode != WriteOk) {
        code = nameCode;
        path = namePath;
        error = nameError;
    }
    if (outcome)
        outcome->written << named;
    if (code != WriteOk && outcome) {
        outcome->writeCode = code;
        outcome->failedPath = path;
        if (error != 0 && code == WriteCannotCreate)
            outcome->failedCause = systemErrorText(error);
    }
    return code;
}

int replaceOrEncode(const ComparisonState& state, const Settings& settings, const ReplaceOptions& options,
                    Feedback& feedback, PairList& pairs, ReplaceOutcome& outcome)
{
    outcome = ReplaceOutcome{};
    pairs.clear();
    if (!options.batch && !options.batchRunning) {
        const int code = checkTagVersions(state);
        if (code != 0) {
            outcome.precheck = code;
            // A file that could not be read has no kind of its own: say which, and why. ("Not ID3v2"
            // is true of a file without a tag; of one that cannot be opened it says too little.)
            const QString unreadable = unreadableFilesText(state, code == 1 || code == 3 ? 1 : 2, code >= 3);
            feedback.message(unreadable.isEmpty() ? tagVersionErrorText(code) : tagVersionErrorText(code) + QLatin1Char('\n') + unreadable,
                             QString::fromLatin1(state.folderBMode ? ReplaceTagsCaption : EncodingBCaption),
                             MessageButtons::Ok, MessageIcon::Warning);
            return 0;
        }
    }
    // Encoding B, the CD image branch, is not part of this build.
    if (!state.folderBMode)
        return 0;

    pairs = folderPairs(state.a.count(), state.b.count(), state.trackOffsetB);
    const int n = int(pairs.size());
    if (options.backupMode) {
        outcome.destination = settings.Path_Temp;
    } else {
        const int level = makeLevelFolder(outcome.destination, settings.Path_Otpt, state.folderA,
                                          settings.BkupFldr_Level, settings.BkupFldr_Exist != 0, feedback);
        // A folder that could not be made is no place to write into.
        if (level < 0) {
            outcome.writeCode = level == LevelTooFewLevels ? WriteNoLevelFolder : WriteCannotCreate;
            outcome.failedPath = level == LevelTooFewLevels ? state.folderA : outcome.destination;
            return n;
        }
    }
    feedback.setStatus(2, QStringLiteral("Replace Tags...."));
    writeReplacedTags(state, outcome.destination, pairs, n, settings.ID3_Blk, settings.ID3_Pad, &outcome, &feedback);
    feedback.setStatus(2, QString());
    feedback.setStatus(3, QString());
    return n;
}

} // namespace vn
