#include "util/playlist_ext.h"

#include "util/file_name.h"
#include "util/safe_file.h"
#include "util/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace vn {

namespace {

// Larger files are no playlists anyone wrote by hand or by player; they are left alone rather than
// read whole into memory.
constexpr qint64 MaxPlaylistBytes = qint64(256) << 20;

bool isPlaylistName(const QString& name)
{
    return name.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive)
           || name.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
}

void collectPlaylists(const QString& folder, QSet<QString>& visited, QStringList& out)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty() || visited.contains(canonical))
        return; // a link back up the tree would otherwise be searched forever
    visited.insert(canonical);
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir())
            collectPlaylists(entry.filePath(), visited, out);
        else if (isPlaylistName(entry.fileName()) && (entry.isFile() || !entry.exists())) // no pipes or devices
            out.append(entry.filePath());
    }
}

// "scheme://...": a stream, not a file whose extension could have changed. Two letters at least,
// so that a drive letter is no scheme.
bool isUrl(const QString& entry)
{
    qsizetype i = 0;
    while (i < entry.size() && (entry[i].isLetterOrNumber() || entry[i] == u'+' || entry[i] == u'-' || entry[i] == u'.'))
        ++i;
    return i >= 2 && entry[0].isLetter() && entry.mid(i, 3) == QLatin1String("://");
}

// The entry as a path of this system: playlists written on Windows separate with backslashes and
// may begin with a drive letter.
QString fullPathOf(const QString& entry, const QString& folder)
{
    QString path = entry;
    path.replace(u'\\', u'/');
    const bool drive = path.size() >= 3 && path[0].isLetter() && path[1] == u':' && path[2] == u'/';
    if (path.startsWith(u'/') || drive)
        return path;
    return folder.endsWith(u'/') ? folder + path : folder + u'/' + path;
}

// Where the extension of the entry's file name begins: its last dot, or the end when it has none.
qsizetype extensionStart(const QString& entry)
{
    const qsizetype nameStart = std::max(entry.lastIndexOf(u'/'), entry.lastIndexOf(u'\\')) + 1;
    const qsizetype dot = entry.lastIndexOf(u'.');
    return dot >= nameStart ? dot : entry.size();
}

QString withExtension(const QString& path, const QString& newExtension)
{
    return path.left(extensionStart(path)) + newExtension;
}

struct Span {
    qsizetype begin = 0;
    qsizetype end = 0; // one past the last byte; begin == end: no entry
};

// Only the space counts as a blank; the entry runs from the first non-blank to the last non-blank
// before the first '#'. The bytes looked at are ASCII, which no byte of a multibyte character of
// the code pages read here can be, so the scan works on the encoded line.
Span findEntry(QByteArrayView line, bool toLineEnd)
{
    qsizetype i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    if (i == line.size() || line[i] == '#')
        return {};
    Span span{i, i + 1};
    for (qsizetype j = i; j < line.size() && (toLineEnd || line[j] != '#'); ++j) {
        if (line[j] != ' ')
            span.end = j + 1;
    }
    return span;
}

} // namespace

QStringList findPlaylists(const QString& baseFolder)
{
    QStringList out;
    QSet<QString> visited;
    if (!baseFolder.isEmpty())
        collectPlaylists(baseFolder, visited, out);
    return out;
}

int playlistCodePage(QByteArrayView content)
{
    switch (detectCodePage(content)) {
    case CpUtf8:
        return CpUtf8;
    case CpShiftJis:
        return CpShiftJis;
    case CpEucJp:
        return CpEucJp;
    case CpUtf16Le:
    case CpUtf16Be:
    case CpIso2022Jp:
        return -1; // a line end, a blank or a '#' may be part of a character there
    default:
        return CpAnsi;
    }
}

namespace {

PlaylistEdit editPlaylist(QByteArrayView content, const QString& folder, const QString& newExtension, int cp)
{
    PlaylistEdit edit;
    edit.codePage = cp;
    const QByteArray newExtensionBytes = encodeText(newExtension, cp);
    QByteArray& out = edit.bytes;
    out.reserve(content.size() + 64);

    qsizetype pos = 0;
    if (content.startsWith("\xEF\xBB\xBF")) {
        out.append(content.first(3)); // the byte-order mark is no part of the first entry
        pos = 3;
    }
    while (pos < content.size()) {
        qsizetype next = content.indexOf('\n', pos);
        next = next < 0 ? content.size() : next + 1;
        QByteArrayView line = content.sliced(pos, next - pos);
        QByteArrayView ending;
        qsizetype textLength = line.size();
        if (textLength > 0 && line[textLength - 1] == '\n')
            --textLength;
        if (textLength > 0 && line[textLength - 1] == '\r')
            --textLength;
        ending = line.sliced(textLength);
        line = line.first(textLength);
        pos = next;

        Span span = findEntry(line, false);
        if (span.begin == span.end || isUrl(decodeText(line.sliced(span.begin, span.end - span.begin), cp))) {
            out.append(line);
            out.append(ending);
            continue;
        }
        // A '#' inside a file name ("Symphony #5.flac") is no comment when the whole text names the
        // file, as it is or under its new extension.
        const Span whole = findEntry(line, true);
        if (whole.end != span.end) {
            const QString wholeEntry = decodeText(line.sliced(whole.begin, whole.end - whole.begin), cp);
            const QString full = fullPathOf(wholeEntry, folder);
            const bool inName = wholeEntry.indexOf(u'#') < extensionStart(wholeEntry);
            if (QFileInfo::exists(full) || (inName && QFileInfo::exists(withExtension(full, newExtension))))
                span = whole;
        }

        const QByteArrayView entryBytes = line.sliced(span.begin, span.end - span.begin);
        const QString entry = decodeText(entryBytes, cp);
        const QString full = fullPathOf(entry, folder);
        ++edit.counts.entries;
        QByteArray newEntryBytes = entryBytes.toByteArray();
        if (QFileInfo::exists(full)) {
            ++edit.counts.notReplaced;
        } else {
            if (QFileInfo::exists(withExtension(full, newExtension)))
                ++edit.counts.replacedExisting;
            else
                ++edit.counts.replacedMissing;
            // Only the old extension's bytes are exchanged, so a name that does not convert back
            // exactly keeps its own bytes.
            const qsizetype at = extensionStart(entry);
            const QByteArray oldExtensionBytes = encodeText(QStringView(entry).sliced(at), cp);
            if (entryBytes.endsWith(oldExtensionBytes))
                newEntryBytes = entryBytes.chopped(oldExtensionBytes.size()).toByteArray() + newExtensionBytes;
            else
                newEntryBytes = encodeText(QString(entry.left(at) + newExtension), cp);
        }
        if (newEntryBytes != entryBytes)
            edit.outcome = PlaylistRewritten;
        out.append(line.first(span.begin));
        out.append(newEntryBytes);
        out.append(line.sliced(span.end));
        out.append(ending);
    }
    return edit;
}

} // namespace

PlaylistEdit replaceExtensionsInPlaylist(QByteArrayView content, const QString& folder, const QString& newExtension)
{
    const int cp = playlistCodePage(content);
    if (cp < 0) {
        PlaylistEdit refused;
        refused.outcome = PlaylistEncodingUnsupported;
        refused.codePage = cp;
        refused.bytes = content.toByteArray();
        return refused;
    }
    PlaylistEdit edit = editPlaylist(content, folder, newExtension, cp);
    // A few accented letters of Western text can pass for UTF-8, Shift_JIS or EUC-JP. The files on
    // the disk decide: the reading that finds more of them wins, the detector's on a tie.
    if (cp != CpAnsi && cp != ansiCodePage()) {
        const auto found = [](const PlaylistEdit& e) { return e.counts.notReplaced + e.counts.replacedExisting; };
        PlaylistEdit ansi = editPlaylist(content, folder, newExtension, CpAnsi);
        if (found(ansi) > found(edit))
            edit = std::move(ansi);
    }
    return edit;
}

int processPlaylist(const QString& path, const QString& newExtension, PlaylistExtCounts& counts)
{
    ++counts.playlists;
    const QFileInfo info(path);
    // The link stays a link: its target is the playlist that is rewritten.
    const QString target = info.isSymLink() ? info.canonicalFilePath() : path;
    QFile file(target);
    auto leaveAlone = [&](const QString& cause, int outcome) {
        counts.leftAlone.append(path);
        counts.leftAloneCauses.append(cause);
        return outcome;
    };
    if (target.isEmpty())
        return leaveAlone(QStringLiteral("the link leads nowhere"), PlaylistReadFailed);
    if (!QFileInfo(target).isFile() || !file.open(QIODevice::ReadOnly))
        return leaveAlone(file.errorString(), PlaylistReadFailed);
    if (file.size() > MaxPlaylistBytes)
        return leaveAlone(QStringLiteral("larger than 256 MB"), PlaylistReadFailed);
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return leaveAlone(file.errorString(), PlaylistReadFailed);
    file.close();

    const PlaylistEdit edit = replaceExtensionsInPlaylist(content, info.absolutePath(), newExtension);
    if (edit.outcome == PlaylistEncodingUnsupported)
        return leaveAlone(QStringLiteral("UTF-16 or ISO-2022-JP text, whose lines cannot be edited in place"), edit.outcome);
    if (edit.outcome == PlaylistRewritten && !replaceFileAtomically(target, edit.bytes))
        return leaveAlone(systemErrorText(errno), PlaylistWriteFailed);
    counts.entries += edit.counts.entries;
    counts.notReplaced += edit.counts.notReplaced;
    counts.replacedExisting += edit.counts.replacedExisting;
    counts.replacedMissing += edit.counts.replacedMissing;
    if (edit.outcome == PlaylistRewritten)
        ++counts.rewritten;
    return edit.outcome;
}

PlaylistExtCounts replacePlaylistExtensions(const QString& baseFolder, const QString& newExtension, Feedback& feedback)
{
    PlaylistExtCounts counts;
    for (const QString& playlist : findPlaylists(baseFolder)) {
        feedback.pumpMessages();
        if (feedback.abortRequested())
            break;
        processPlaylist(playlist, newExtension, counts);
    }
    return counts;
}

QString playlistExtResultText(const PlaylistExtCounts& counts, const QString& newExtension)
{
    QString text = QStringLiteral(
                       "Total number of music file entries in the processed playlist files: %1\n"
                       "  Not replaced, the music file with original extension exists: %2\n"
                       "  Replaced, the music file with new extension(%3) exists: %4\n"
                       "  Replaced, the music file with new extension(%3) does not exist: %5\n"
                       "Total number of processed playlist files (.m3u;.m3u8): %6")
                       .arg(QString::number(counts.entries), QString::number(counts.notReplaced), newExtension,
                            QString::number(counts.replacedExisting), QString::number(counts.replacedMissing),
                            QString::number(counts.playlists));
    if (!counts.leftAlone.isEmpty())
        text += QStringLiteral("\n  Left as they were, could not be read or rewritten: %1").arg(counts.leftAlone.size());
    return text;
}

int runPlaylistExtReplacement(const PlaylistExtParams& params, Feedback& feedback)
{
    if (params.extensionIndex < 0 || params.extensionIndex >= int(PlaylistNewExtensions.size()))
        return -1;
    const QString newExtension = QLatin1String(PlaylistNewExtensions[size_t(params.extensionIndex)]);
    const PlaylistExtCounts counts = replacePlaylistExtensions(params.baseFolder, newExtension, feedback);
    feedback.message(playlistExtResultText(counts, newExtension), QLatin1String(PlaylistExtResultTitle),
                     MessageButtons::Ok, counts.leftAlone.isEmpty() ? MessageIcon::Information : MessageIcon::Warning);
    return int(counts.playlists);
}

} // namespace vn
