#include "containers/properties.h"

#include "util/file_name.h"

#include "containers/flac_reader.h"
#include "containers/matroska.h"
#include "containers/mp4_reader.h"
#include "containers/wav_reader.h"
#include "media/id3_dump.h"
#include "media/id3v2_reader.h"

#include <QDir>
#include <QFileInfo>

namespace vn {

int dumpFile(const QString& path, QString& text, QString& kindName)
{
    text.clear();
    kindName.clear();
    if (!isRegularFile(path))
        return PropertiesCannotOpen;
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == u"mp3") { // mp3 branch
        kindName = QStringLiteral("MP3");
        FileTags file;
        QByteArray readBuffer;
        const int code = readMp3FileTags(path, file, readBuffer);
        if (code == ReadTagsCannotOpen || code == ReadTagsNoMemory)
            return PropertiesCannotOpen;
        if (code != ReadTagsOk || !file.audioAnalysed)
            return PropertiesUnknownKind; // no ID3v2 tag of a version the listing knows
        const QFileInfo info(path);
        dumpHeading(text, QDir::toNativeSeparators(info.absolutePath()), info.fileName());
        dumpId3v2(text, file.header, file.tagBuffer);
        dumpMpeg(text, file.mpegHeader, file.mpegInfo);
        return PropertiesOk;
    }
    if (ext == u"m4a" || ext == u"mp4") { // mp4 branch
        kindName = QStringLiteral("MP4");
        return readMp4File(&text, path, nullptr) == Mp4Ok ? PropertiesOk : PropertiesCannotOpen;
    }
    if (ext == u"flac") { // flac branch
        kindName = QStringLiteral("FLAC");
        // A file without the FLAC signature still shows its first line.
        return readFlacFile(&text, path, nullptr) == FlacCannotOpen ? PropertiesCannotOpen : PropertiesOk;
    }
    if (ext == u"wav") { // wav branch
        kindName = QStringLiteral("WAVE");
        ContainerTags wav;
        const int code = readWavFile(path, wav);
        if (code == WavCannotOpen)
            return PropertiesCannotOpen;
        if (code == WavOk)
            dumpWavHeader(text, wav.buffer);
        return PropertiesOk;
    }
    if (ext == u"mka" || ext == u"webm") { // matroska branch
        kindName = ext == u"mka" ? QStringLiteral("Matroska (.mka)") : QStringLiteral("WebM");
        MatroskaJob job;
        job.dumpFlags = MkvDumpText;
        MatroskaResult result;
        if (processMatroska(path, job, result) == MkvCannotOpen)
            return PropertiesCannotOpen;
        text = std::move(result.dump);
        return PropertiesOk;
    }
    return PropertiesUnknownKind;
}

} // namespace vn
