#pragma once
// Adding a text the MP4 tag list has no item of its own for (the CD identifier, "CDTOC") as an
// iTunes freeform item to a file another program wrote. The file is rebuilt beside itself and
// renamed over, so a failure leaves it as it was.

#include <QByteArray>
#include <QString>

namespace vn {

enum Mp4TagWriteCode : int {
    Mp4TagWritten = 0,
    Mp4TagCannotRead = 1,
    Mp4TagNotMp4 = 2,     // no movie atom, or atoms that run past the file
    Mp4TagCannotWrite = 3,
};

// Appends "----:com.apple.iTunes:NAME" holding value as UTF-8 to the file's tag list (making the
// user data, meta and list atoms when the file has none) and moves every chunk offset behind it.
int addMp4FreeformText(const QString& path, const QByteArray& name, const QByteArray& value);

} // namespace vn
