#include "containers/properties.h"

#include <QFileInfo>

namespace vn {

int dumpFile(const QString& path, QString& text, QString& kindName)
{
    text.clear();
    kindName.clear();
    if (!QFileInfo(path).isFile())
        return PropertiesCannotOpen;
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == u"mp3") { // mp3 branch
        kindName = QStringLiteral("MP3");
        return PropertiesNotAvailable;
    }
    if (ext == u"m4a" || ext == u"mp4") { // mp4 branch
        kindName = QStringLiteral("MP4");
        return PropertiesNotAvailable;
    }
    if (ext == u"flac") { // flac branch
        kindName = QStringLiteral("FLAC");
        return PropertiesNotAvailable;
    }
    if (ext == u"wav") { // wav branch
        kindName = QStringLiteral("WAVE");
        return PropertiesNotAvailable;
    }
    if (ext == u"mka" || ext == u"webm") { // matroska branch
        kindName = ext == u"mka" ? QStringLiteral("Matroska (.mka)") : QStringLiteral("WebM");
        return PropertiesNotAvailable;
    }
    return PropertiesUnknownKind;
}

} // namespace vn
