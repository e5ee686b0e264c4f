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
#include <optional>
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

// The kernel's own copy hands the source's pages over in batches of sixteen: it is the cheapest copy
// when they land on whole pages of the new file, from a source offset on a page to a new tag whose
// length is a multiple of such a batch (large ID3_Blk values give one). Behind any other tag it
// would copy every page in two pieces into small pages of the new file, which costs more than
// reading through the cache-sized pieces of ReadAhead, whose writes fill whole blocks.
constexpr uint64_t PageSize = 4096;
constexpr uint64_t KernelCopyBatch = 16 * PageSize;

// A file under the name that holds exactly what the pair writes is the pair's own result, named by
// a run that was stopped after it (and is now run again), not somebody else's file.
bool alreadyWritten(const QString& path, QByteArrayView tag, const QString& bFile, uint64_t audioOffset)
{
    const ReadOnlyFile done(path), b(bFile);
    if (!done.isOpen() || !b.isOpen() || b.size() < audioOffset ||
        done.size() != uint64_t(tag.size()) + (b.size() - audioOffset) || done.readAt(0, uint64_t(tag.size())) != tag)
        return false;
    constexpr uint64_t Piece = 1 << 20;
    for (uint64_t at = 0; at < b.size() - audioOffset; at += Piece) {
        if (done.readAt(uint64_t(tag.size()) + at, Piece) != b.readAt(audioOffset + at, Piece))
            return false;
    }
    return true;
}

int writeOnePair(const ComparisonState& state, const QString& destination, const TrackPair& pair, const QString& bFile,
                 int blockSize, int minPadding, QString& path, int& error, QByteArray& tag, ReadAhead& audio)
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

    tag.resize(0); // one block for every pair: fresh memory costs more than the copying
    tag.reserve(qsizetype(t.length()));
    tag.append("ID3", 3);
    tag.append(char(a.header.version));
    tag.append(char(a.header.revision));
    tag.append(char(id3WrittenFlags(a.header)));
    putSyncSafe(tag, uint32_t(t.bodySize + t.padding));
    for (QByteArrayView frame : t.frames)
        tag.append(frame);
    tag.append(qsizetype(t.padding), '\0');

    // An existing file of that name is not looked for first: naming the finished file refuses it.
    NewFile out(path);
    if (!out.open() || !out.write(tag.constData(), tag.size())) {
        error = out.error();
        return WriteCannotCreate;
    }
    if (whole && !out.copyFrom(whole->handle(), b.audioOffset, whole->size() - b.audioOffset)) {
        error = out.error();
        if (!sameFile(b, ReadOnlyFile(bFile))) {
            path = bFile; // B changed while it was copied
            return WriteCannotReadB;
        }
        return WriteCannotCreate;
    }
    while (!whole) {
        if (!out.write(piece.data, piece.size)) {
            error = out.error();
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
    if (!out.commit()) {
        error = out.error();
        if (error == EEXIST && alreadyWritten(path, tag, bFile, b.audioOffset))
            return WriteOk;
        return error == EEXIST || nameTaken(path) ? WriteDestinationTaken : WriteCannotCreate;
    }
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
    // B's audio is read, in pair order, while the files before it are written; the first piece of
    // a file ends where the new file's first block does.
    QStringList sources;
    for (int i = 0; i < count; ++i)
        sources << bPath(state, pairs[size_t(i)]);
    ReadAhead audio(sources, [&](int i, const ReadOnlyFile& file, uint64_t& offset, uint64_t& firstPiece) {
        const TrackPair& pair = pairs[size_t(i)];
        if (!validPair(state, pair) || !sameFile(state.b.files[pair.bFirst], file))
            return false;
        const FileTags& b = state.b.files[pair.bFirst];
        offset = b.audioOffset;
        const uint64_t tagLength = uint64_t(newTag(state.a.files[size_t(pair.aIndex)], b, blockSize, minPadding).length());
        if (offset % PageSize == 0 && tagLength % KernelCopyBatch == 0)
            firstPiece = 0; // the kernel's copy, by the writer
        else
            firstPiece = uint64_t(ReadAhead::PieceSize) - tagLength % uint64_t(ReadAhead::PieceSize);
        return true;
    });
    QByteArray tag;
    for (int i = 0; i < count; ++i) {
        QString path;
        int error = 0;
        int code = WriteAborted;
        if (feedback) {
            feedback->setStatus(3, QStringLiteral("%1/%2").arg(i + 1).arg(count));
            feedback->pumpMessages();
        }
        if (feedback && feedback->abortRequested())
            path = QDir(destination).filePath(state.a.names[size_t(pairs[size_t(i)].aIndex)]);
        else
            code = writeOnePair(state, destination, pairs[size_t(i)], sources[i], blockSize, minPadding, path, error, tag,
                                audio);
        if (code != WriteOk) {
            if (outcome) {
                outcome->writeCode = code;
                outcome->failedPath = path;
                if (error != 0 && code == WriteCannotCreate)
                    outcome->failedCause = systemErrorText(error);
            }
            return code;
        }
        if (outcome)
            outcome->written << path;
    }
    return WriteOk;
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
