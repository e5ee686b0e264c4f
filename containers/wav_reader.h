#pragma once
// RIFF/WAVE: the format and the data chunk, kept as one canonical 44-byte header.

#include "containers/read_file_tags.h"

#include <QByteArray>
#include <QString>

class QIODevice;

namespace vn {

enum WavReadCode : int {
    WavOk = 0,
    WavCannotOpen = 1,
    WavBadFormatChunk = 2, // no fmt chunk, or one shorter than the 16 bytes of PCM format fields
    WavNotWave = 3,        // does not begin with a RIFF/WAVE header
    WavRf64 = 4,           // a WAVE file with 64-bit sizes (RF64, BW64), which this program does not read
};

inline constexpr int WavHeaderSize = 44;

// Fills out->buffer with the 44-byte header: "RIFF", size, "WAVE", "fmt ", the fmt chunk's size
// and its first 16 bytes, then "data" and the data size. The record's row 15 points at it.
// out->audioOffset/audioSize give the data chunk's payload as far as the file holds it.
int readWavFile(const QString& path, ContainerTags& out);
int readWavDevice(QIODevice& device, ContainerTags& out);

// The seven lines of the File Properties text for a header as readWavFile stores it.
void dumpWavHeader(QString& text, QByteArrayView header);

} // namespace vn
