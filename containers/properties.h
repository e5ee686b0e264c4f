#pragma once
// The File Properties text: what the program can say about one file, by its kind.

#include <QString>

namespace vn {

enum PropertiesCode : int {
    PropertiesOk = 0,
    PropertiesCannotOpen = 1,
    PropertiesUnknownKind = 2,
    PropertiesNotAvailable = 3, // the reader for this kind is not part of this build
    PropertiesMalformed = 4,    // not a file of its kind, or one its reader refuses; text has what could be read
};

// Reads the file at path and describes it with the reader of its kind (chosen by extension).
// kindName receives the name shown in the title ("MP3", "MP4", ...). For any code but
// PropertiesOk, problem (when given) says why, for a message.
int dumpFile(const QString& path, QString& text, QString& kindName, QString* problem = nullptr);

} // namespace vn
