#include "containers/cd_image_properties.h"

#include "util/file_name.h"
#include "util/text_codec.h"

#include <QFile>

namespace vn {

namespace {

QString cdTime(uint64_t frames, uint64_t byteRate)
{
    const uint64_t f = byteRate ? frames * 4 * 75 / byteRate : 0;
    return QString::asprintf("%02d:%02d:%02d", int(f / 4500), int(f / 75 % 60), int(f % 75));
}

} // namespace

QString dumpCdImage(const CueSheet& cue, int codePage)
{
    QString text = QStringLiteral("[Image File] %1\r\n").arg(cue.imagePath);
    text += QString::asprintf("\r\nFormat= %s\r\nChannels= %d\r\nBits/sample= %d bits\r\nSample rate= %d Hz\r\n",
                              cue.formatTag() == 1 ? "PCM" : "Other", cue.channels(), cue.bitsPerSample(),
                              int(cue.sampleRate()));
    text += QStringLiteral("\r\nTrk mm:ss:ff / duration start_byte / duration\r\n");
    const uint64_t byteRate = cue.byteRate();
    const int n = cue.trackCount;
    for (int k = 0; k <= n; ++k) {
        const uint64_t start = cue.trackStarts[size_t(k)] - cue.trackStarts[0];
        const uint64_t length = k < n ? cue.trackStarts[size_t(k + 1)] - cue.trackStarts[size_t(k)] : start;
        text += k < n ? QString::asprintf(" %02d", k + 1) : QStringLiteral("Ttl");
        text += QStringLiteral(" %1 / %2 %3 %4\r\n")
                    .arg(cdTime(start, byteRate), cdTime(length, byteRate))
                    .arg(uint64_t(cue.dataOffset) + uint64_t(cue.trackStarts[size_t(k)]) * 4, 10)
                    .arg(length * 4, 10);
    }
    QFile sheet;
    if (openForReading(sheet, cue.cuePath)) {
        text += QStringLiteral("\r\n[Cue File] %1\r\n\r\n").arg(cue.cuePath);
        QByteArray all = sheet.readAll();
        int cp = codePage;
        if (all.startsWith("\xEF\xBB\xBF")) {
            all.remove(0, 3);
            cp = CpUtf8;
        }
        // Lines end as the parser takes them: LF, CR LF or a lone CR.
        all.replace("\r\n", "\n").replace('\r', '\n');
        for (const QByteArray& line : all.split('\n'))
            text += decodeText(line, cp) + QStringLiteral("\r\n");
        if (all.endsWith('\n'))
            text.chop(2); // the file's last line end starts no line of its own
    }
    return text;
}

int dumpCueFile(const QString& cuePath, int codePage, QString& text)
{
    CueSheet cue;
    const int n = parseCueSheet(cuePath, CueTrackLimit, codePage, cue);
    if (n < 1) {
        text = cue.problem;
        return n < 0 ? n : CueStartsNotIncreasing;
    }
    text = dumpCdImage(cue, codePage);
    return 0;
}

} // namespace vn
