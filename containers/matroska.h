#pragma once
// Matroska (.mka) and WebM (.webm) audio files: the EBML element walk with its dump, the tags, cover
// and stream facts as a PackedTags block, and the rewrite with new Tags and Attachments elements.

#include "containers/read_file_tags.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace vn {

enum MatroskaDumpFlag : int {
    MkvDumpText = 1,      // the dump as text in MatroskaResult::dump
    MkvDumpClipboard = 2, // as 1; the front end puts it on the clipboard (the core has none)
    MkvDumpToFile = 4,    // the UTF-8 dump into MatroskaJob::dumpFilePath
    MkvDumpPacked = 8,    // the PackedTags block in MatroskaResult::packed
};

enum MatroskaWriteFlag : int {
    MkvWriteTags = 1,  // replace the Tags element with one built from the tag texts
    MkvWriteCover = 2, // replace the Attachments element with one holding the cover picture
};

enum MatroskaCode : int {
    MkvOk = 0,
    MkvCannotOpen = 1,
    MkvCannotWrite = 2,      // the output (or the dump file) cannot be written; the original stays whole
    MkvNotRewritable = 3,    // no Segment, or its size disagrees with the file: appending would corrupt it
    MkvCannotReadCover = 4,
    MkvOutputExists = 5,     // the output names another file (or a folder), which is left alone
};

struct MatroskaJob {
    int dumpFlags = 0;
    int writeFlags = 0;
    QString outputPath;   // empty: the input is replaced (a new file written beside it, renamed over it)
    QString coverPath;
    QString dumpFilePath;
    QStringList tagTexts; // one per TagFieldTable row from row 0; rows not given are empty
    QString cdIdentifier;
};

struct MatroskaResult {
    QString dump;
    QByteArray packed;
    uint8_t kind = KindMatroska; // KindWebm when the DocType says webm
    bool ebmlHeader = false;     // the file begins with an EBML header: it is Matroska or WebM at all
    QString writeProblem;        // with MkvCannotWrite: the system's error text
};

// Where one of the elements the writer replaces lies: header position, end, and the end of the
// space reserved for it (a Void directly after it belongs to it).
struct MkvSpan {
    qint64 pos = -1;
    qint64 end = 0;
    qint64 reservedEnd = 0;
    bool whole = true; // false when its declared size ran past its parent
    bool present() const { return pos >= 0; }
};

struct MkvSeekEntry {
    uint32_t id = 0;
    uint64_t position = 0; // relative to the Segment's payload
};

// What the walk keeps for the packing and the writer.
struct MatroskaScan {
    bool ebmlHeader = false; // the first element is the EBML header
    QByteArray docType;
    qint64 segmentPos = -1;
    qint64 segmentSizePos = 0;
    int segmentSizeLength = 0;
    qint64 segmentDataPos = 0;
    bool segmentUnknownSize = false;
    uint64_t segmentSize = 0; // as declared
    MkvSpan seekHead;         // the first one in the Segment: the one players read
    std::vector<MkvSeekEntry> seeks;
    MkvSpan tags;
    MkvSpan attachments;
    // The Segment's children were read to its very end and the last one ends where it says (or is a
    // Cluster of unknown size whose own children do): elements appended after it are the
    // Segment's own, not part of it.
    bool segmentTailClosed = false;
    uint64_t timestampScale = 1000000;
    bool haveDuration = false;
    double duration = 0;
    bool haveSamplingFrequency = false;
    double samplingFrequency = 0;
    bool haveBitDepth = false;
    uint64_t bitDepth = 0;
    QByteArray mediaType;
    QByteArrayView fileData; // into the scanned bytes
    std::array<QByteArray, TagFieldRowCount> tagValues;
};

// Walks the whole file. When dump is given, appends one line per element and the closing line.
void scanMatroska(QByteArrayView file, MatroskaScan& scan, QString* dump);

// The PackedTags block of a scan: tag rows, the cover, bit depth, sampling frequency, duration.
QByteArray packMatroskaTags(const MatroskaScan& scan);

int processMatroska(const QString& path, const MatroskaJob& job, MatroskaResult& result);

// The file-tag reader's entry: the PackedTags block in out.buffer, the record unpacked from it.
int readMatroskaTags(const QString& path, ContainerTags& out);

// EBML IDs the reader and the writer share.
namespace mkv {
inline constexpr uint32_t Ebml = 0x1A45DFA3;
inline constexpr uint32_t DocType = 0x4282;
inline constexpr uint32_t Crc32 = 0xBF;
inline constexpr uint32_t Void = 0xEC;
inline constexpr uint32_t Segment = 0x18538067;
inline constexpr uint32_t SeekHead = 0x114D9B74;
inline constexpr uint32_t Seek = 0x4DBB;
inline constexpr uint32_t SeekId = 0x53AB;
inline constexpr uint32_t SeekPosition = 0x53AC;
inline constexpr uint32_t Info = 0x1549A966;
inline constexpr uint32_t Tracks = 0x1654AE6B;
inline constexpr uint32_t Cues = 0x1C53BB6B;
inline constexpr uint32_t Cluster = 0x1F43B675;
inline constexpr uint32_t Chapters = 0x1043A770;
inline constexpr uint32_t Attachments = 0x1941A469;
inline constexpr uint32_t AttachedFile = 0x61A7;
inline constexpr uint32_t FileName = 0x466E;
inline constexpr uint32_t FileMediaType = 0x4660;
inline constexpr uint32_t FileData = 0x465C;
inline constexpr uint32_t FileUid = 0x46AE;
inline constexpr uint32_t Tags = 0x1254C367;
inline constexpr uint32_t Tag = 0x7373;
inline constexpr uint32_t Targets = 0x63C0;
inline constexpr uint32_t TargetTypeValue = 0x68CA;
inline constexpr uint32_t SimpleTag = 0x67C8;
inline constexpr uint32_t TagName = 0x45A3;
inline constexpr uint32_t TagString = 0x4487;
} // namespace mkv

} // namespace vn
