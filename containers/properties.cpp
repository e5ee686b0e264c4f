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
#include <cerrno>
#include <sys/stat.h>

namespace vn {

namespace {

QString wavProblem(int code)
{
    switch (code) {
    case WavRf64: return QStringLiteral("an RF64 file (64-bit sizes), which this program does not read");
    case WavBadFormatChunk: return QStringLiteral("no fmt chunk with the 16 bytes of the PCM format before the data");
    default: return QStringLiteral("no RIFF/WAVE header");
    }
}

} // namespace

int dumpFile(const QString& path, QString& text, QString& kindName, QString* problem)
{
    text.clear();
    kindName.clear();
    QString why;
    const int code = [&] {
        if (!isRegularFile(path)) {
            why = readProblem(path);
            return PropertiesCannotOpen;
        }
        const QString ext = QFileInfo(path).suffix().toLower();
        struct stat st;
        const bool empty = ::stat(pathBytes(path).constData(), &st) == 0 && st.st_size == 0;
        if (ext == u"mp3") { // mp3 branch
            kindName = QStringLiteral("MP3");
            FileTags file;
            QByteArray readBuffer;
            const int read = readMp3FileTags(path, file, readBuffer);
            if (read != ReadTagsOk || !file.audioAnalysed) {
                why = read == ReadTagsNoMemory ? systemErrorText(ENOMEM) : readTagsProblem(path);
                if (why.isEmpty())
                    why = QStringLiteral("the file changed while it was read");
                // No ID3v2 tag of a version the listing knows.
                return read == ReadTagsCannotOpen || read == ReadTagsNoMemory ? PropertiesCannotOpen : PropertiesUnknownKind;
            }
            const QFileInfo info(path);
            dumpHeading(text, QDir::toNativeSeparators(info.absolutePath()), info.fileName());
            dumpId3v2(text, file.header, file.tagBuffer);
            dumpMpeg(text, file.mpegHeader, file.mpegInfo);
            return PropertiesOk;
        }
        if (ext == u"m4a" || ext == u"mp4") { // mp4 branch
            kindName = QStringLiteral("MP4");
            const int read = readMp4File(&text, path, nullptr);
            if (read == Mp4Ok)
                return PropertiesOk;
            why = read == Mp4CannotOpen ? readProblem(path)
                  : empty              ? QStringLiteral("the file is empty")
                                       : QStringLiteral("no ftyp, moov or mdat atom: not an MP4 file");
            return read == Mp4CannotOpen ? PropertiesCannotOpen : PropertiesMalformed;
        }
        if (ext == u"flac") { // flac branch
            kindName = QStringLiteral("FLAC");
            // A file without the FLAC signature still shows its first line.
            const int read = readFlacFile(&text, path, nullptr);
            if (read == FlacOk)
                return PropertiesOk;
            why = read == FlacCannotOpen ? readProblem(path)
                  : empty                ? QStringLiteral("the file is empty")
                                         : QStringLiteral("no fLaC signature: not a FLAC file");
            return read == FlacCannotOpen ? PropertiesCannotOpen : PropertiesMalformed;
        }
        if (ext == u"wav") { // wav branch
            kindName = QStringLiteral("WAVE");
            ContainerTags wav;
            const int read = readWavFile(path, wav);
            if (read == WavCannotOpen) {
                why = readProblem(path);
                return PropertiesCannotOpen;
            }
            if (read != WavOk) {
                why = empty ? QStringLiteral("the file is empty") : wavProblem(read);
                return PropertiesMalformed;
            }
            dumpWavHeader(text, wav.buffer);
            return PropertiesOk;
        }
        if (ext == u"mka" || ext == u"webm") { // matroska branch
            kindName = ext == u"mka" ? QStringLiteral("Matroska (.mka)") : QStringLiteral("WebM");
            MatroskaJob job;
            job.dumpFlags = MkvDumpText;
            MatroskaResult result;
            if (processMatroska(path, job, result) == MkvCannotOpen) {
                why = readProblem(path);
                return PropertiesCannotOpen;
            }
            text = std::move(result.dump);
            if (!result.ebmlHeader) {
                why = empty ? QStringLiteral("the file is empty") : QStringLiteral("no EBML header: not a Matroska or WebM file");
                return PropertiesMalformed;
            }
            return PropertiesOk;
        }
        why = QStringLiteral("no reader for the extension \"%1\"").arg(QFileInfo(path).suffix());
        return PropertiesUnknownKind;
    }();
    if (problem)
        *problem = why;
    return code;
}

} // namespace vn
