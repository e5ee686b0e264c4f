#pragma once
// Misc file copy: re-encoding makes a new tree of music files, and the other files of the old tree
// (cover pictures, booklets, logs, cue sheets) stay behind. This copies every file that is not a
// music file from a source tree into the matching folders of a destination tree that already
// exists; it never creates a folder.

#include "util/feedback.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>

namespace vn {

// Files with these extensions (case ignored) are music and are not copied.
inline constexpr std::array<const char*, 9> MiscCopyMusicExtensions = {".mp3", ".m4a", ".mp4", ".flac", ".mka",
                                                                       ".webm", ".ogg", ".opus", ".wav"};

// What the dialog collects; kept by the window between openings, never saved.
struct MiscCopyParams {
    QString sourceFolder;
    QString destinationFolder;
    bool failIfExists = false; // false: a file of the same name is replaced
};

struct MiscCopyResult {
    unsigned copied = 0;
    QStringList failed; // source files whose copy failed; the destination keeps what it had
    QStringList failedCauses; // the system's error text for each of them, in the same order
};

bool isMusicFileName(QStringView name);

// Copies the tree. A source or destination subfolder that is a symbolic link is followed only when
// it leads to a folder inside its own tree, and no folder is visited twice. A file is never copied
// onto itself. Pumps between files and stops early when an abort is asked.
MiscCopyResult copyMiscFiles(const QString& sourceFolder, const QString& destinationFolder, bool failIfExists,
                             Feedback& feedback);

// The text of the result box: "%u files copied", and the failures when there were any.
QString miscCopyResultText(const MiscCopyResult& result);
inline constexpr const char* MiscCopyResultTitle = "Result: Misc File Copy Utility";

// The utility's run after the dialog's OK: the copy, then the result box. Returns the number of
// files copied.
unsigned runMiscFileCopy(const MiscCopyParams& params, Feedback& feedback);

} // namespace vn
