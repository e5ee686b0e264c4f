#pragma once
// Names as the file system holds them. Paths inside the program are QStrings; a name whose bytes are
// not valid UTF-8 (common on collections copied from old Windows or Japanese systems) keeps each
// stray byte as a lone surrogate U+DC80..U+DCFF, so the file reopens by its own bytes and a name
// built from it is written back unchanged. Only the screen sees replacement characters.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QFile;

namespace vn {

// The path of the bytes; valid UTF-8 reads as itself.
QString pathFromBytes(QByteArrayView bytes);
// The bytes of the path, exactly those it was read from.
QByteArray pathBytes(const QString& path);
// The path for a person to read: each stray byte shown as U+FFFD.
QString displayPath(const QString& path);

// Opens file for reading by the path's own bytes (QFile's own open would lose a stray byte). Only a
// regular file opens: a pipe would hold the read forever, a device is nobody's music.
// Unbuffered: every read is a read of exactly its bytes, for a reader that seeks from block to block
// (a buffer would read ahead bytes it then throws away at the next seek and reads again).
bool openForReading(QFile& file, const QString& path, bool unbuffered = false);
// Why path cannot be read as a file, for a message: the system's error text, or that it is a folder
// or no regular file. Empty when it can be read.
QString readProblem(const QString& path);
// Why the folder's names cannot be listed: the system's error text; empty when they can.
QString folderListingProblem(const QString& folder);
// The system's text for an error number.
QString systemErrorText(int error);
// What stands under the name, following symbolic links.
bool isDirectory(const QString& path);
bool isRegularFile(const QString& path);
// Makes the folder with its missing parents, by the path's own bytes: 0 when it stands as a folder
// afterwards, else the system's error number (EEXIST when something else has the name).
int makeFolderPath(const QString& path);
// The names in a folder (not "." and ".."), as pathFromBytes gives them; entries that are folders
// (followed through links) are left out. Empty when the folder cannot be read.
QStringList listFiles(const QString& folder);

} // namespace vn
