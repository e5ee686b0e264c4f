#pragma once
// The File Properties text: what the program can say about one file, by its kind.

#include <QString>

namespace vn {

enum PropertiesCode : int {
    PropertiesOk = 0,
    PropertiesCannotOpen = 1,
    PropertiesUnknownKind = 2,
    PropertiesNotAvailable = 3, // the reader for this kind is not part of this build
};

// Reads the file at path and describes it with the reader of its kind (chosen by extension).
// kindName receives the name shown in the title ("MP3", "MP4", ...).
int dumpFile(const QString& path, QString& text, QString& kindName);

} // namespace vn
