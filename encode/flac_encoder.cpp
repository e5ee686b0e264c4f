#include "encode/flac_encoder.h"

#include "encode/lame_id3_tag.h"
#include "media/field_to_text.h"
#include "media/image_pcm.h"
#include "util/byte_reader.h"
#include "util/safe_file.h"

#include <QLibrary>

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vn {

namespace {

// The library's API, resolved by name: the headers give the types, the library is never linked.
struct FlacApi {
#define VN_FLAC_FN(name) decltype(&::name) name = nullptr;
    VN_FLAC_FN(FLAC__stream_encoder_new)
    VN_FLAC_FN(FLAC__stream_encoder_set_verify)
    VN_FLAC_FN(FLAC__stream_encoder_set_compression_level)
    VN_FLAC_FN(FLAC__stream_encoder_set_channels)
    VN_FLAC_FN(FLAC__stream_encoder_set_bits_per_sample)
    VN_FLAC_FN(FLAC__stream_encoder_set_sample_rate)
    VN_FLAC_FN(FLAC__stream_encoder_set_total_samples_estimate)
    VN_FLAC_FN(FLAC__stream_encoder_set_metadata)
    VN_FLAC_FN(FLAC__stream_encoder_get_state)
    VN_FLAC_FN(FLAC__stream_encoder_init_stream)
    VN_FLAC_FN(FLAC__stream_encoder_process_interleaved)
    VN_FLAC_FN(FLAC__stream_encoder_finish)
    VN_FLAC_FN(FLAC__stream_encoder_delete)
    VN_FLAC_FN(FLAC__metadata_object_new)
    VN_FLAC_FN(FLAC__metadata_object_delete)
    VN_FLAC_FN(FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair)
    VN_FLAC_FN(FLAC__metadata_object_vorbiscomment_append_comment)
    VN_FLAC_FN(FLAC__metadata_object_picture_set_mime_type)
    VN_FLAC_FN(FLAC__metadata_object_picture_set_description)
    VN_FLAC_FN(FLAC__metadata_object_picture_set_data)
#undef VN_FLAC_FN
};

struct LoadedFlac {
    FlacLibrary info;
    FlacApi api;
};

template <typename Fn>
bool resolve(QLibrary& lib, Fn& fn, const char* name)
{
    fn = reinterpret_cast<Fn>(lib.resolve(name));
    return fn != nullptr;
}

bool resolveAll(QLibrary& lib, FlacApi& a)
{
    bool ok = true;
#define VN_RESOLVE(name) ok = resolve(lib, a.name, #name) && ok;
    VN_RESOLVE(FLAC__stream_encoder_new)
    VN_RESOLVE(FLAC__stream_encoder_set_verify)
    VN_RESOLVE(FLAC__stream_encoder_set_compression_level)
    VN_RESOLVE(FLAC__stream_encoder_set_channels)
    VN_RESOLVE(FLAC__stream_encoder_set_bits_per_sample)
    VN_RESOLVE(FLAC__stream_encoder_set_sample_rate)
    VN_RESOLVE(FLAC__stream_encoder_set_total_samples_estimate)
    VN_RESOLVE(FLAC__stream_encoder_set_metadata)
    VN_RESOLVE(FLAC__stream_encoder_get_state)
    VN_RESOLVE(FLAC__stream_encoder_init_stream)
    VN_RESOLVE(FLAC__stream_encoder_process_interleaved)
    VN_RESOLVE(FLAC__stream_encoder_finish)
    VN_RESOLVE(FLAC__stream_encoder_delete)
    VN_RESOLVE(FLAC__metadata_object_new)
    VN_RESOLVE(FLAC__metadata_object_delete)
    VN_RESOLVE(FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair)
    VN_RESOLVE(FLAC__metadata_object_vorbiscomment_append_comment)
    VN_RESOLVE(FLAC__metadata_object_picture_set_mime_type)
    VN_RESOLVE(FLAC__metadata_object_picture_set_description)
    VN_RESOLVE(FLAC__metadata_object_picture_set_data)
#undef VN_RESOLVE
    return ok;
}

LoadedFlac loadFlac()
{
    static QLibrary libs[] = {QLibrary(QStringLiteral("FLAC"), 12), QLibrary(QStringLiteral("FLAC"), 8)};
    for (QLibrary& lib : libs) {
        if (!lib.load())
            continue;
        LoadedFlac loaded;
        // Exported variables: each symbol's address holds the pointer to the text.
        auto version = reinterpret_cast<const char* const*>(lib.resolve("FLAC__VERSION_STRING"));
        auto vendor = reinterpret_cast<const char* const*>(lib.resolve("FLAC__VENDOR_STRING"));
        if (!resolveAll(lib, loaded.api) || !version || !*version || !vendor || !*vendor) {
            lib.unload();
            continue;
        }
        loaded.info = FlacLibrary{true, QByteArray(*version), QByteArray(*vendor)};
        return loaded;
    }
    return {};
}

const LoadedFlac& loaded()
{
    static const LoadedFlac flac = loadFlac();
    return flac;
}

void putLe16(QByteArray& h, int at, uint16_t v)
{
    h[at] = char(v & 0xff);
    h[at + 1] = char(v >> 8);
}

void putLe32(QByteArray& h, int at, uint32_t v)
{
    putLe16(h, at, uint16_t(v & 0xffff));
    putLe16(h, at + 2, uint16_t(v >> 16));
}

// A field's text as UTF-8, cut at a character boundary to what the comment may hold.
QByteArray utf8Value(const QString& text, qsizetype limit)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > limit) {
        qsizetype cut = limit;
        while (cut > 0 && (uchar(bytes[cut]) & 0xc0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    return bytes;
}

constexpr qsizetype RecordTextLimit = 3071; // 3072 bytes with the terminator
constexpr int ListTextLimit = 1024;

QByteArray encoderText(const QByteArray& flacVersion)
{
    return "libFLAC " + flacVersion;
}

// The encoder writes through these into the file being made; seeking back fills in the stream's
// header once its length is known.
struct Sink {
    NewFile* out;
    uint64_t position = 0;
};

FLAC__StreamEncoderWriteStatus writeToSink(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                           uint32_t, uint32_t, void* data)
{
    Sink& sink = *static_cast<Sink*>(data);
    if (!sink.out->writeAt(sink.position, reinterpret_cast<const char*>(buffer), qint64(bytes)))
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    sink.position += bytes;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus seekSink(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* data)
{
    static_cast<Sink*>(data)->position = offset;
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus tellSink(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* data)
{
    *offset = static_cast<Sink*>(data)->position;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

// The three metadata objects and the encoder, released on every path; releasing what was never
// made is harmless.
struct FlacObjects {
    const FlacApi& api;
    FLAC__StreamEncoder* encoder = nullptr;
    FLAC__StreamMetadata* blocks[3] = {nullptr, nullptr, nullptr};
    ~FlacObjects()
    {
        for (FLAC__StreamMetadata* block : blocks) {
            if (block)
                api.FLAC__metadata_object_delete(block);
        }
        if (encoder)
            api.FLAC__stream_encoder_delete(encoder);
    }
};

int applyTags(const FlacApi& a, FLAC__StreamMetadata* comments, FLAC__StreamMetadata* picture, const FlacTags& tags)
{
    int code = tags.code;
    if (!tags.pictureData.isEmpty()) {
        QByteArray mime = tags.pictureMime;
        QByteArray description = "Front Cover";
        QByteArray data = tags.pictureData;
        const bool set = a.FLAC__metadata_object_picture_set_mime_type(picture, mime.data(), true) &&
                         a.FLAC__metadata_object_picture_set_description(
                             picture, reinterpret_cast<FLAC__byte*>(description.data()), true) &&
                         a.FLAC__metadata_object_picture_set_data(picture, reinterpret_cast<FLAC__byte*>(data.data()),
                                                                   FLAC__uint32(data.size()), true);
        if (!set)
            code = FlacPictureRefused;
    }
    for (const auto& [name, value] : tags.comments) {
        FLAC__StreamMetadata_VorbisComment_Entry entry{};
        if (!a.FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.constData(),
                                                                               value.constData())) {
            code = FlacCommentRefused;
            continue;
        }
        if (!a.FLAC__metadata_object_vorbiscomment_append_comment(comments, entry, false)) {
            std::free(entry.entry); // not taken over
            code = FlacCommentRefused;
        }
    }
    return code;
}

// Samples of the image's width into the encoder's 32-bit integers.
void convertSamples(const QByteArray& raw, int bits, std::vector<FLAC__int32>& out)
{
    const auto* p = reinterpret_cast<const uint8_t*>(raw.constData());
    const size_t width = size_t(bits / 8);
    const size_t n = size_t(raw.size()) / width;
    out.resize(n);
    for (size_t i = 0; i < n; ++i, p += width) {
        switch (bits) {
        case 8:
            out[i] = FLAC__int32(p[0]) - 128;
            break;
        case 16:
            out[i] = int16_t(uint16_t(p[0] | p[1] << 8));
            break;
        case 24:
            out[i] = int32_t(uint32_t(p[0] << 8 | p[1] << 16 | uint32_t(p[2]) << 24)) >> 8;
            break;
        default:
            out[i] = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
            break;
        }
    }
}

} // namespace

const FlacLibrary& flacLibrary()
{
    return loaded().info;
}

int checkWavHeader(QByteArray& header)
{
    header.resize(44, '\0');
    const ByteReader in(header);
    const bool wav = in.viewAt(0, 4) == "RIFF" && in.viewAt(8, 4) == "WAVE" && in.viewAt(12, 4) == "fmt " &&
                     in.le32At(16) == 16 && in.le16At(20) == 1 && in.viewAt(36, 4) == "data";
    if (!wav) {
        putLe16(header, 22, 2);
        putLe32(header, 24, 44100);
        putLe16(header, 34, 16);
        putLe16(header, 32, 4);
        putLe32(header, 28, 176400);
        return 0;
    }
    const uint16_t bits = uint16_t((in.le16At(34) + 7) / 8 * 8);
    putLe16(header, 34, bits);
    const uint16_t channels = in.le16At(22);
    const uint32_t rate = in.le32At(24);
    const uint16_t blockAlign = in.le16At(32);
    // A header that agrees with itself but has no samples to speak of (no channels, no width, no
    // rate) would make every frame count a division by zero.
    if (channels == 0 || bits == 0 || bits > 32 || rate == 0)
        return -1;
    const bool consistent = blockAlign == uint32_t(channels) * bits / 8 && in.le32At(28) == uint64_t(blockAlign) * rate;
    return consistent ? 44 : -1;
}

int openFlacImage(const CueSheet& cue, FlacImage& image)
{
    ReadOnlyFile file(cue.imagePath);
    if (!file.isOpen())
        return FlacImageUnreadable;
    if (file.size() < 44)
        return FlacImageTooShort;
    QByteArray header = file.readAt(0, 44);
    if (header.size() < 44)
        return FlacImageUnreadable;
    image.layout = cue;
    switch (checkWavHeader(header)) {
    case 44:
        image.layout.dataOffset = 44;
        image.totalFrames = ByteReader(header).le32At(40) / ByteReader(header).le16At(32);
        break;
    case 0:
        image.layout.dataOffset = 0;
        image.totalFrames = file.size() / 4;
        break;
    default:
        return FlacBadFormat;
    }
    image.layout.wavHeader = header;
    return FlacOk;
}

FlacTags flacCommentsFromRecord(const TagRecord& record, uint8_t kind, const QByteArray& discToc,
                                const QByteArray& flacVersion)
{
    FlacTags tags;
    for (int row = 0; row <= RowCdIdentifier; ++row) {
        if (!record[size_t(row)].present())
            continue;
        if (row == RowPicture) {
            QString text;
            PictureRef picture;
            fieldToText(text, 1024, record, row, kind, &picture);
            const QByteArray mime = pictureMimeType(text);
            if (mime.isEmpty() || picture.bytes().isEmpty()) {
                tags.code = FlacPictureRefused;
                continue;
            }
            tags.pictureMime = mime;
            tags.pictureData = picture.bytes().toByteArray();
            continue;
        }
        const char* name = TagFieldTable[size_t(row)].vorbisName;
        if (!*name)
            continue;
        QByteArray value;
        if (row == RowEncodedBy) {
            value = encoderText(flacVersion);
        } else if (row == RowCdIdentifier) {
            value = discToc;
        } else {
            QString text;
            fieldToText(text, int(RecordTextLimit) + 1, record, row, kind);
            value = utf8Value(text, RecordTextLimit);
        }
        if (!value.isEmpty())
            tags.comments.emplace_back(name, value);
    }
    return tags;
}

FlacTags flacCommentsFromList(const ListRow& row, const QByteArray& discToc, const QByteArray& flacVersion)
{
    FlacTags tags;
    for (int r = 0; r <= RowCdIdentifier; ++r) {
        const char* name = TagFieldTable[size_t(r)].vorbisName;
        if (r == RowPicture || !*name)
            continue;
        if (r == RowEncodedBy) {
            tags.comments.emplace_back(name, encoderText(flacVersion));
        } else if (r == RowCdIdentifier) {
            tags.comments.emplace_back(name, discToc); // even when empty
        } else {
            const QByteArray value = row[size_t(r + 3)].left(ListTextLimit).toUtf8();
            if (!value.isEmpty())
                tags.comments.emplace_back(name, value);
        }
    }
    return tags;
}

int encodeFlacTrack(const FlacImage& image, NewFile& out, uint64_t first, uint64_t count, const FlacTags& tags,
                    const FlacParameters& parameters, const TrackProgress& progress)
{
    const LoadedFlac& flac = loaded();
    if (!flac.info.available)
        return FlacNoEncoder;
    if (first >= image.totalFrames)
        return FlacBadFormat;
    if (count == 0)
        count = image.totalFrames - first;
    ImagePcm pcm(image.layout);
    if (!pcm.isOpen())
        return FlacImageUnreadable;
    const CueSheet& format = image.layout;
    const FlacApi& a = flac.api;
    FlacObjects objects{a};
    objects.encoder = a.FLAC__stream_encoder_new();
    if (!objects.encoder)
        return FlacNoEncoder;
    FLAC__StreamEncoder* encoder = objects.encoder;
    int code = FlacOk;
    const bool set = a.FLAC__stream_encoder_set_verify(encoder, true) &&
                     a.FLAC__stream_encoder_set_compression_level(encoder, uint32_t(parameters.compressionLevel)) &&
                     a.FLAC__stream_encoder_set_channels(encoder, format.channels()) &&
                     a.FLAC__stream_encoder_set_bits_per_sample(encoder, format.bitsPerSample()) &&
                     a.FLAC__stream_encoder_set_sample_rate(encoder, format.sampleRate()) &&
                     a.FLAC__stream_encoder_set_total_samples_estimate(encoder, count);
    if (!set)
        code = FlacParameterRefused;
    const FLAC__MetadataType kinds[3] = {FLAC__METADATA_TYPE_VORBIS_COMMENT, FLAC__METADATA_TYPE_PICTURE,
                                         FLAC__METADATA_TYPE_PADDING};
    for (int i = 0; i < 3 && code == FlacOk; ++i) {
        objects.blocks[i] = a.FLAC__metadata_object_new(kinds[i]);
        if (!objects.blocks[i])
            code = FlacNoCommentObject + i;
    }
    if (code == FlacOk)
        code = applyTags(a, objects.blocks[0], objects.blocks[1], tags);
    if (code == FlacOk) {
        objects.blocks[2]->length = uint32_t(std::max(parameters.paddingLength, 0));
        if (!a.FLAC__stream_encoder_set_metadata(encoder, objects.blocks, 3))
            code = FlacMetadataRefused;
    }
    Sink sink{&out};
    if (code == FlacOk &&
        a.FLAC__stream_encoder_init_stream(encoder, writeToSink, seekSink, tellSink, nullptr, &sink) !=
            FLAC__STREAM_ENCODER_INIT_STATUS_OK)
        code = FlacCannotCreate;

    const int bits = format.bitsPerSample();
    const uint32_t perCall = uint32_t(std::clamp(parameters.framesPerCall, 16, 65535));
    QByteArray raw;
    std::vector<FLAC__int32> samples;
    uint64_t done = 0;
    while (code == FlacOk && done < count) {
        if (progress.stop()) {
            code = FlacCancelled;
            break;
        }
        const uint32_t want = uint32_t(std::min<uint64_t>(perCall, count - done));
        const uint32_t got = pcm.read(first + done, want, raw);
        if (got != want) {
            code = FlacImageEnded;
            break;
        }
        convertSamples(raw, bits, samples);
        if (!a.FLAC__stream_encoder_process_interleaved(encoder, samples.data(), got))
            code = FlacEncodeFailed;
        done += got;
        progress.advance(got);
    }
    if (!a.FLAC__stream_encoder_finish(encoder))
        code = FlacFinishFailed;
    a.FLAC__stream_encoder_get_state(encoder);
    return code;
}

} // namespace vn
