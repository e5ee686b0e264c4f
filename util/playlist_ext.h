#pragma once
// Playlist extension replacement: after a collection has been re-encoded, the playlists under a
// base folder still name the old files. Every entry whose file is gone gets the new extension; the
// rest of each playlist (its character set, line ends, comments) stays byte for byte as it was.

#include "util/feedback.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <array>

namespace vn {

// The new extensions the user chooses from, by index.
inline constexpr std::array<const char*, 8> PlaylistNewExtensions = {".mp3", ".flac", ".m4a", ".mp4",
                                                                     ".mka", ".webm", ".ogg", ".opus"};
inline constexpr int PlaylistDefaultExtensionIndex = 2; // ".m4a"

// What the dialog collects; kept by the window between openings, never saved.
struct PlaylistExtParams {
    QString baseFolder;
    int extensionIndex = PlaylistDefaultExtensionIndex;
};

struct PlaylistExtCounts {
    unsigned entries = 0;          // music file entries seen
    unsigned notReplaced = 0;      // the file with the original extension exists
    unsigned replacedExisting = 0; // replaced, and the file with the new extension exists
    unsigned replacedMissing = 0;  // replaced, and no file has the new extension either
    unsigned playlists = 0;        // playlists processed, including those left alone
    unsigned rewritten = 0;        // playlists written back with changed entries
    QStringList leftAlone;         // could not be read, understood or written back: as they were
    QStringList leftAloneCauses;   // why, for each of them in the same order
};

enum PlaylistOutcome : int {
    PlaylistUnchanged = 0,           // no entry changed: the file is not touched
    PlaylistRewritten = 1,           // written back through a temporary file and a rename
    PlaylistReadFailed = -1,         // could not be read
    PlaylistEncodingUnsupported = -2, // UTF-16 or ISO-2022-JP: lines cannot be edited in place
    PlaylistWriteFailed = -3,        // the new text could not be written; the old file stands
};

// The result of editing one playlist's bytes.
struct PlaylistEdit {
    int outcome = PlaylistUnchanged; // PlaylistUnchanged, PlaylistRewritten (= changed) or PlaylistEncodingUnsupported
    int codePage = 0;                // the code page the entries were read and written in (0: ANSI)
    QByteArray bytes;                // the new content; equals the old one unless changed
    PlaylistExtCounts counts;        // the entry counters of this playlist
};

// Every ".m3u" and ".m3u8" file (case ignored) under baseFolder, depth first. A folder reached
// again through a symbolic link is not searched twice. An unreadable base folder gives none.
QStringList findPlaylists(const QString& baseFolder);

// The code page a playlist's entries are read and written in: UTF-8, Shift_JIS, EUC-JP, or 0 for
// the ANSI code page; -1 for encodings whose lines cannot be edited in place.
int playlistCodePage(QByteArrayView content);

// Edits one playlist's content, whose relative entries are relative to folder (a path with '/'),
// giving every entry whose file does not exist the new extension. Touches no file.
PlaylistEdit replaceExtensionsInPlaylist(QByteArrayView content, const QString& folder, const QString& newExtension);

// Reads, edits and, when an entry changed, rewrites one playlist file (a symbolic link's target is
// rewritten, the link stays). The counters of a playlist that could not be rewritten are not added.
int processPlaylist(const QString& path, const QString& newExtension, PlaylistExtCounts& counts);

// Every playlist under baseFolder. Pumps between playlists and stops early when an abort is asked.
PlaylistExtCounts replacePlaylistExtensions(const QString& baseFolder, const QString& newExtension,
                                            Feedback& feedback);

// The text of the result box.
QString playlistExtResultText(const PlaylistExtCounts& counts, const QString& newExtension);
inline constexpr const char* PlaylistExtResultTitle = "Result: Playlist Extension Replacement Utility";

// The utility's run after the dialog's OK: nothing when the index is outside the list (returns
// -1), else the replacement and the result box. Returns the number of playlists processed.
int runPlaylistExtReplacement(const PlaylistExtParams& params, Feedback& feedback);

} // namespace vn
