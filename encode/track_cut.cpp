#include "encode/track_cut.h"

#include "media/cue_sheet.h"
#include "media/image_pcm.h"
#include "util/byte_reader.h"
#include "util/safe_file.h"

#include <QIODevice>
#include <QtEndian>
#include <algorithm>

namespace vn {

namespace {

constexpr int WavHeaderSize = 44;
// Frames per piece: a few hundred kilobytes, whatever the track's length.
constexpr uint32_t FramesPerPiece = FramesPerSector * 128;

// The image's layout checked against the range: its data offset, its header and block align.
struct ImageLayout {
    CueSheet sheet;
    uint32_t blockAlign = 4;
};

int checkImage(const QString& imagePath, uint32_t first, uint32_t last, ImageLayout& layout)
{
    const ReadOnlyFile image(imagePath);
    if (!image.isOpen())
        return CutImageUnreadable;
    const uint64_t fileSize = image.size();
    layout.sheet.imagePath = imagePath;
    uint64_t dataSize = fileSize;
    if (imagePath.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive)) {
        const QByteArray header = image.readAt(0, WavHeaderSize);
        if (header.size() < WavHeaderSize)
            return CutWavSizeWrong;
        const ByteReader in(header);
        if (uint64_t(in.le32At(4)) + 8 != fileSize)
            return CutWavSizeWrong;
        layout.blockAlign = in.le16At(32);
        dataSize = in.le32At(40);
        // A data size the file does not hold would leave the track short of its own header's length.
        if (layout.blockAlign == 0 || dataSize > fileSize - WavHeaderSize)
            return CutWavSizeWrong;
        layout.sheet.dataOffset = WavHeaderSize;
        layout.sheet.wavHeader = header;
    } else {
        layout.sheet.dataOffset = 0;
        layout.sheet.wavHeader = canonicalWavHeader(2, 44100, 16);
    }
    if (first > last || (uint64_t(last) + 1) * layout.blockAlign > dataSize)
        return CutRangePastAudio;
    return CutOk;
}

} // namespace

int cutTrack(const QString& imagePath, QIODevice& destination, uint32_t first, uint32_t last)
{
    ImageLayout layout;
    if (const int code = checkImage(imagePath, first, last, layout))
        return code;
    if (!destination.isWritable())
        return CutCannotCreate;
    const uint64_t frames = uint64_t(last) - first + 1;
    const uint64_t length = frames * layout.blockAlign;
    if (layout.sheet.dataOffset == WavHeaderSize) {
        QByteArray header = layout.sheet.wavHeader;
        // Within the data size checked above, so the RIFF size fits its field.
        qToLittleEndian(uint32_t(length + 36), header.data() + 4);
        qToLittleEndian(uint32_t(length), header.data() + 40);
        if (destination.write(header) != header.size())
            return CutCannotCreate;
    }
    const ImagePcm pcm(layout.sheet);
    if (!pcm.isOpen())
        return CutImageUnreadable;
    QByteArray piece;
    for (uint64_t done = 0; done < frames;) {
        const uint32_t want = uint32_t(std::min<uint64_t>(FramesPerPiece, frames - done));
        const uint32_t got = pcm.read(first + done, want, piece);
        if (got == 0)
            return CutImageUnreadable;
        if (destination.write(piece) != piece.size())
            return CutCannotCreate;
        done += got;
    }
    return CutOk;
}

namespace {

// NewFile as a device, so both entries share one cutter.
class NewFileDevice : public QIODevice {
public:
    explicit NewFileDevice(NewFile& file) : file_(file) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override { return file_.write(data, size) ? size : -1; }

private:
    NewFile& file_;
};

} // namespace

int cutTrack(const QString& imagePath, const QString& destinationPath, uint32_t first, uint32_t last)
{
    ImageLayout layout;
    if (const int code = checkImage(imagePath, first, last, layout))
        return code;
    NewFile file(destinationPath);
    if (!file.open())
        return CutCannotCreate;
    NewFileDevice device(file);
    const int code = cutTrack(imagePath, device, first, last);
    if (code != CutOk)
        return code; // the file is given up and leaves no name behind
    return file.commit() ? CutOk : CutCannotCreate;
}

} // namespace vn
