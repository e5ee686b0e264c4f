#pragma once
// Where the program's own files are. A build or a portable folder keeps them beside the
// executables; an installed program has its executables in PREFIX/bin and its data, the manual
// among it, in PREFIX/share/vornelic.

#include <QString>

namespace vn {

inline constexpr const char* ManualFileName = "Vornelic_help.htm";

// exeDir/../share/vornelic, cleaned.
QString installedDataDir(const QString& exeDir);

// True when exeDir is the bin folder of an installed program: its share folder holds the manual.
// Such a folder is no place for settings, even when the user may write there (root, a user prefix).
bool isInstalledLayout(const QString& exeDir);

// The user's manual of a program in exeDir: beside it, else in the installed share folder (found
// from exeDir, so a moved prefix still works, then at the prefix the build was made for). When
// none exists, the path beside the executable, which the message that it is missing can name.
QString findManual(const QString& exeDir);

// findManual for the running program.
QString manualPath();

} // namespace vn
