#pragma once
// FLAC output through libFLAC, loaded at run time: the image's format from its first 44 bytes, the
// Vorbis comments and picture a track's file carries, and the encoding of one sample range.

#include "encode/track_progress.h"
#include "media/comparison.h"

#include <QByteArray>
#include <utility>
#include <vector>

namespace vn {

class NewFile;

struct FlacLibrary {
    bool available = false;
    QByteArray version; // FLAC__VERSION_STRING
    QByteArray vendor;  // FLAC__VENDOR_STRING
};
const FlacLibrary& flacLibrary();

enum FlacCode : int {
    FlacOk = 0,
    FlacImageUnreadable = 1,
    FlacImageTooShort = 2,
    FlacBadFormat = 3,       // a WAV header with inconsistent fields, or a range starting past the end
    FlacNoEncoder = 4,
    FlacParameterRefused = 10,
    FlacNoCommentObject = 21,
    FlacNoPictureObject = 22,
    FlacNoPaddingObject = 23,
    FlacPictureRefused = 24,  // also: a picture that is not JPEG, PNG or GIF
    FlacCommentRefused = 25,
    FlacMetadataRefused = 27,
    FlacCannotCreate = 30,    // also: the file's name is taken
    FlacImageEnded = 41,
    FlacEncodeFailed = 42,
    FlacFinishFailed = 43,
    FlacCancelled = -1,       // a track after a failed one, stopped on purpose; never reported
};

// Checks the first 44 bytes of an image: 44 for a canonical PCM WAV header (bits per sample
// rounded up to whole bytes in it), 0 when they are no WAV header at all (then CD audio is written
// into them), -1 for a WAV header whose fields disagree or that no encoder could take.
int checkWavHeader(QByteArray& header);

// The image as the FLAC encoder reads it: format, where the samples start and how many there are.
struct FlacImage {
    CueSheet layout; // the sheet with the format and data offset checkWavHeader found
    uint64_t totalFrames = 0;
};
// 0, or 1, 2 or 3 as encodeFlacTracks reports them.
int openFlacImage(const CueSheet& cue, FlacImage& image);

// The Vorbis comments (name, UTF-8 value) and the picture of one file.
struct FlacTags {
    std::vector<std::pair<QByteArray, QByteArray>> comments;
    QByteArray pictureMime;
    QByteArray pictureData;
    int code = FlacOk; // FlacPictureRefused when A's picture has a type FLAC cannot name
};

// From A's record: rows 0 to 9 with their texts, ENCODER and CDTOC when A has them, the picture.
FlacTags flacCommentsFromRecord(const TagRecord& record, uint8_t kind, const QByteArray& discToc,
                                const QByteArray& flacVersion);
// From a list row (a B-tags run): rows 0 to 9, ENCODER and CDTOC always, no picture.
FlacTags flacCommentsFromList(const ListRow& row, const QByteArray& discToc, const QByteArray& flacVersion);

struct FlacParameters {
    int compressionLevel = 5;
    int framesPerCall = 4096;
    int paddingLength = 256;
};

// Encodes frames first to first + count - 1 (count 0: to the end of the image) into out, which
// must be empty. 0 or a FlacCode.
int encodeFlacTrack(const FlacImage& image, NewFile& out, uint64_t first, uint64_t count, const FlacTags& tags,
                    const FlacParameters& parameters, const TrackProgress& progress);

} // namespace vn
