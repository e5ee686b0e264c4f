#include "verify/opening_pcm.h"

#include "util/safe_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>

namespace vn {

namespace {

// The containers and codecs the collections hold; anything else is not the audio of a track.
constexpr const char* Demuxers = "mp3,mov,flac,matroska,wav,ogg";
constexpr std::array AcceptedCodecs = {
    AV_CODEC_ID_MP1,       AV_CODEC_ID_MP2,       AV_CODEC_ID_MP3,       AV_CODEC_ID_AAC,
    AV_CODEC_ID_ALAC,      AV_CODEC_ID_FLAC,      AV_CODEC_ID_OPUS,      AV_CODEC_ID_VORBIS,
    AV_CODEC_ID_PCM_U8,    AV_CODEC_ID_PCM_S8,    AV_CODEC_ID_PCM_S16LE, AV_CODEC_ID_PCM_S16BE,
    AV_CODEC_ID_PCM_S24LE, AV_CODEC_ID_PCM_S24BE, AV_CODEC_ID_PCM_S32LE, AV_CODEC_ID_PCM_S32BE,
    AV_CODEC_ID_PCM_F32LE, AV_CODEC_ID_PCM_F32BE, AV_CODEC_ID_PCM_F64LE, AV_CODEC_ID_PCM_F64BE,
};
constexpr int IoBufferSize = 64 * 1024;
// Other rates through libswresample: the fingerprint hears only up to about 3.5 kHz, so a short
// low-pass, as the fingerprinter's own resampler uses, is enough.
constexpr int ResampleTaps = 16;
constexpr double ResampleCutoff = 0.8;

// The libraries' own complaints about a damaged file would land on the command line's stderr; the
// check reports what it could not decode itself.
void quietLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct IoCloser {
    void operator()(AVIOContext* io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwrCloser {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

// The file as the demuxer reads it: our descriptor, positioned reads, nothing else.
struct FileSource {
    explicit FileSource(const QString& path) : file(path) {}
    ReadOnlyFile file;
    uint64_t pos = 0;
};

int readSource(void* opaque, uint8_t* buffer, int size)
{
    auto* source = static_cast<FileSource*>(opaque);
    const qsizetype n = size > 0 ? source->file.readInto(source->pos, reinterpret_cast<char*>(buffer), size) : 0;
    if (n <= 0)
        return AVERROR_EOF;
    source->pos += uint64_t(n);
    return int(n);
}

int64_t seekSource(void* opaque, int64_t offset, int whence)
{
    auto* source = static_cast<FileSource*>(opaque);
    const int64_t size = int64_t(source->file.size());
    int64_t base;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = int64_t(source->pos);
        break;
    case SEEK_END:
        base = size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    int64_t to;
    if (__builtin_add_overflow(base, offset, &to) || to < 0)
        return AVERROR(EINVAL);
    source->pos = uint64_t(to);
    return to;
}

// A container that names another file or address (a reference movie, a playlist) gets nothing.
int refuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

// One halving of the sample rate: a half-band low-pass (every other tap but the centre is zero) and
// every other sample. Pairs is the number of non-zero taps on each side.
template <int Pairs>
class HalfbandStage {
public:
    static constexpr int Reach = 2 * Pairs - 1; // samples on each side of the centre

    HalfbandStage()
    {
        // Windowed sinc (Blackman), scaled to a gain of one.
        double sum = 0.5;
        for (int j = 0; j < Pairs; ++j) {
            const int n = 2 * j + 1;
            const double x = M_PI * n / 2;
            const double w = 0.42 + 0.5 * std::cos(M_PI * n / (Reach + 1)) + 0.08 * std::cos(2 * M_PI * n / (Reach + 1));
            taps_[j] = 0.5 * std::sin(x) / x * w;
            sum += 2 * taps_[j];
        }
        centre_ = float(0.5 / sum);
        for (double& t : taps_)
            t /= sum;
        for (int j = 0; j < Pairs; ++j)
            tapsF_[j] = float(taps_[j]);
        pending_.assign(size_t(Reach), 0.0f); // centred: output m stands for input 2m
    }

    // in[0, n) halved into the stage's own buffer (valid until the next call); the count made.
    size_t process(const float* in, size_t n)
    {
        pending_.insert(pending_.end(), in, in + n);
        const size_t size = pending_.size();
        const size_t outputs = size > size_t(2 * Reach) ? (size - 2 * Reach + 1) / 2 : 0;
        if (out_.size() < outputs)
            out_.resize(outputs);
        if (outputs == 0)
            return 0;
        // The centres (odd positions, as Reach is odd) and their neighbours (even positions) apart,
        // so that every loop below reads its arrays in order and runs on vector instructions.
        if (even_.size() < size / 2 + 1) {
            even_.resize(size / 2 + 1);
            odd_.resize(size / 2 + 1);
        }
        for (size_t k = 0; 2 * k + 1 < size; ++k) {
            even_[k] = pending_[2 * k];
            odd_[k] = pending_[2 * k + 1];
        }
        if (size % 2)
            even_[size / 2] = pending_[size - 1];
        const float* centre = odd_.data() + (Pairs - 1);
        const float* e = even_.data();
        float* y = out_.data();
        for (size_t m = 0; m < outputs; ++m) {
            float acc = centre_ * centre[m];
            for (int j = 0; j < Pairs; ++j)
                acc += tapsF_[j] * (e[m + Pairs - 1 - j] + e[m + Pairs + j]);
            y[m] = acc;
        }
        pending_.erase(pending_.begin(), pending_.begin() + qsizetype(2 * outputs));
        return outputs;
    }

    const float* output() const { return out_.data(); }

private:
    double taps_[Pairs] = {};
    float tapsF_[Pairs] = {};
    float centre_ = 0.5f;
    std::vector<float> pending_;
    std::vector<float> even_, odd_, out_;
};

// The rates of the 44.1 kHz family (nearly every collection's) are OpeningRate times 1, 2, 4 or 8:
// for them the resampling is one to three halvings, done here at a fraction of what a general
// resampler spends. The last halving keeps 0 to 3.5 kHz, all the fingerprint hears, and stops what
// would fold back onto it; the ones before need less.
class Decimator {
public:
    static bool handles(int format, int rate)
    {
        const int k = rate > 0 && rate % OpeningRate == 0 ? rate / OpeningRate : 0;
        if (k != 1 && k != 2 && k != 4 && k != 8)
            return false;
        switch (format) {
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP:
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P:
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_S32P:
            return true;
        default:
            return false;
        }
    }

    Decimator(int format, int rate, int channels)
        : format_(format), halvings_(rate / OpeningRate == 8 ? 3 : rate / OpeningRate == 4 ? 2 : rate / OpeningRate == 2 ? 1 : 0),
          channels_(channels), early_(size_t(std::max(halvings_ - 1, 0)))
    {
    }

    void push(const uint8_t* const* data, int frames, std::vector<int16_t>& out, size_t limit)
    {
        if (mono_.size() < size_t(frames))
            mono_.resize(size_t(frames));
        monoCount_ = size_t(frames);
        inputFrames_ += size_t(frames);
        switch (format_) {
        case AV_SAMPLE_FMT_FLTP:
            downmix<float, true>(data, frames, 1.0f);
            break;
        case AV_SAMPLE_FMT_FLT:
            downmix<float, false>(data, frames, 1.0f);
            break;
        case AV_SAMPLE_FMT_S16P:
            downmix<int16_t, true>(data, frames, 1.0f / 32768);
            break;
        case AV_SAMPLE_FMT_S16:
            downmix<int16_t, false>(data, frames, 1.0f / 32768);
            break;
        case AV_SAMPLE_FMT_S32P:
            downmix<int32_t, true>(data, frames, 1.0f / 2147483648.0f);
            break;
        default:
            downmix<int32_t, false>(data, frames, 1.0f / 2147483648.0f);
            break;
        }
        deliver(out, limit);
    }

    // The samples the filters still hold: silence pushes them out, and no more samples come out
    // than the input's length stands for.
    void flush(std::vector<int16_t>& out, size_t limit)
    {
        monoCount_ = size_t(64) << halvings_;
        mono_.assign(monoCount_, 0.0f);
        const size_t factor = size_t(1) << halvings_;
        deliver(out, std::min(limit, out.size() + (inputFrames_ + factor - 1) / factor - delivered_));
    }

private:
    template <typename T, bool Planar>
    void downmix(const uint8_t* const* data, int frames, float scale)
    {
        const float weight = scale / float(channels_);
        float* mono = mono_.data();
        const int step = Planar ? 1 : channels_;
        for (int c = 0; c < channels_; ++c) {
            const T* in = reinterpret_cast<const T*>(data[Planar ? c : 0]) + (Planar ? 0 : c);
            if (c == 0) {
                for (int i = 0; i < frames; ++i)
                    mono[i] = float(in[i * step]) * weight;
            } else {
                for (int i = 0; i < frames; ++i)
                    mono[i] += float(in[i * step]) * weight;
            }
        }
    }

    void deliver(std::vector<int16_t>& out, size_t limit)
    {
        const float* from = mono_.data();
        size_t count = monoCount_;
        for (auto& stage : early_) {
            count = stage.process(from, count);
            from = stage.output();
        }
        if (halvings_ > 0) {
            count = last_.process(from, count);
            from = last_.output();
        }
        const size_t at = out.size();
        const size_t n = std::min(count, limit > at ? limit - at : 0);
        delivered_ += n;
        out.resize(at + n);
        int16_t* to = out.data() + at;
        // Rounded to nearest by truncating a positive value, which vector instructions do.
        for (size_t i = 0; i < n; ++i) {
            const float v = std::min(std::max(from[i] * 32768.0f, -32768.0f), 32767.0f);
            to[i] = int16_t(int32_t(v + 32768.5f) - 32768);
        }
    }

    int format_;
    int halvings_;
    int channels_;
    std::vector<HalfbandStage<5>> early_;
    HalfbandStage<7> last_;
    std::vector<float> mono_;
    size_t monoCount_ = 0;
    size_t inputFrames_ = 0;
    size_t delivered_ = 0;
};

// Down-mixes and resamples whatever arrives to one channel at OpeningRate, up to a limit.
class MonoResampler {
public:
    explicit MonoResampler(std::vector<int16_t>& out, size_t limit) : out_(out), limit_(limit) {}
    ~MonoResampler() { av_channel_layout_uninit(&inLayout_); }
    MonoResampler(const MonoResampler&) = delete;
    MonoResampler& operator=(const MonoResampler&) = delete;

    bool full() const { return out_.size() >= limit_; }

    bool push(const uint8_t* const* data, int frames, const AVChannelLayout& layout, int format, int rate)
    {
        if (frames <= 0 || full())
            return true;
        if ((!swr_ && !decimator_) || rate != inRate_ || format != inFormat_
            || av_channel_layout_compare(&layout, &inLayout_) != 0) {
            flush();
            if (!configure(layout, format, rate))
                return false;
        }
        if (decimator_) {
            decimator_->push(data, frames, out_, limit_);
            return true;
        }
        return convert(data, frames);
    }

    // What the resampler still holds (its filter's delay).
    void flush()
    {
        if (decimator_)
            decimator_->flush(out_, limit_);
        else if (swr_)
            convert(nullptr, 0);
    }

private:
    bool configure(const AVChannelLayout& given, int format, int rate)
    {
        swr_.reset();
        decimator_.reset();
        av_channel_layout_uninit(&inLayout_);
        AVChannelLayout layout{};
        if (given.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&given) == 0)
            av_channel_layout_default(&layout, given.nb_channels);
        else if (av_channel_layout_copy(&layout, &given) < 0)
            return false;
        if (layout.nb_channels <= 0 || rate <= 0) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        if (Decimator::handles(format, rate)) {
            decimator_ = std::make_unique<Decimator>(format, rate, layout.nb_channels);
        } else {
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            SwrContext* swr = nullptr;
            if (swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_S16, OpeningRate, &layout, AVSampleFormat(format), rate,
                                    0, nullptr) < 0
                || av_opt_set_int(swr, "filter_size", ResampleTaps, 0) < 0
                || av_opt_set_double(swr, "cutoff", ResampleCutoff, 0) < 0 || swr_init(swr) < 0) {
                swr_free(&swr);
                av_channel_layout_uninit(&layout);
                return false;
            }
            swr_.reset(swr);
        }
        inLayout_ = layout;
        inFormat_ = format;
        inRate_ = rate;
        return true;
    }

    bool convert(const uint8_t* const* data, int frames)
    {
        const int room = swr_get_out_samples(swr_.get(), frames);
        if (room < 0)
            return false;
        if (room == 0)
            return true;
        const size_t at = out_.size();
        out_.resize(at + size_t(room));
        uint8_t* to = reinterpret_cast<uint8_t*>(out_.data() + at);
        const int made = swr_convert(swr_.get(), &to, room, const_cast<const uint8_t**>(data), frames);
        out_.resize(at + size_t(std::max(made, 0)));
        return made >= 0;
    }

    std::vector<int16_t>& out_;
    size_t limit_;
    std::unique_ptr<SwrContext, SwrCloser> swr_;
    std::unique_ptr<Decimator> decimator_;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;
};

bool accepted(AVCodecID id)
{
    return std::find(AcceptedCodecs.begin(), AcceptedCodecs.end(), id) != AcceptedCodecs.end();
}

} // namespace

QString openingErrorText(int code)
{
    switch (code) {
    case OpeningCannotOpen:
        return QStringLiteral("cannot be read");
    case OpeningNoAudio:
        return QStringLiteral("holds no audio this check reads");
    case OpeningUnsupported:
        return QStringLiteral("its audio codec is not decoded by this check");
    case OpeningDecodeFailed:
        return QStringLiteral("its audio cannot be decoded");
    case OpeningNoSamples:
        return QStringLiteral("holds no audio samples");
    default:
        return QString();
    }
}

int decodeOpening(const QString& path, int seconds, std::vector<int16_t>& samples)
{
    quietLibraries();
    samples.clear();
    FileSource source(path);
    if (!source.file.isOpen())
        return OpeningCannotOpen;

    auto* ioBuffer = static_cast<uint8_t*>(av_malloc(IoBufferSize));
    if (!ioBuffer)
        return OpeningCannotOpen;
    AVIOContext* rawIo = avio_alloc_context(ioBuffer, IoBufferSize, 0, &source, readSource, nullptr, seekSource);
    if (!rawIo) {
        av_free(ioBuffer);
        return OpeningCannotOpen;
    }
    const std::unique_ptr<AVIOContext, IoCloser> io(rawIo);

    AVFormatContext* rawFormat = avformat_alloc_context();
    if (!rawFormat)
        return OpeningCannotOpen;
    rawFormat->pb = io.get();
    rawFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    rawFormat->io_open = refuseOtherFiles;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", Demuxers, 0);
    const int opened = avformat_open_input(&rawFormat, nullptr, nullptr, &options); // frees rawFormat on failure
    av_dict_free(&options);
    if (opened < 0)
        return OpeningNoAudio;
    const std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);

    // Most containers name their streams in the header; reading ahead for the rest costs time.
    int streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (streamIndex < 0 || format->streams[streamIndex]->codecpar->codec_id == AV_CODEC_ID_NONE) {
        if (avformat_find_stream_info(format.get(), nullptr) < 0)
            return OpeningNoAudio;
        streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    }
    if (streamIndex < 0)
        return OpeningNoAudio;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVStream* stream = format->streams[streamIndex];
    if (!accepted(stream->codecpar->codec_id))
        return OpeningUnsupported;
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        return OpeningUnsupported;
    const std::unique_ptr<AVCodecContext, CodecCloser> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return OpeningDecodeFailed;
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = 1; // the pairs already keep every core busy
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return OpeningDecodeFailed;

    const std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    if (!packet || !frame)
        return OpeningDecodeFailed;
    const size_t limit = size_t(std::max(seconds, 0)) * OpeningRate;
    samples.reserve(limit);
    MonoResampler mono(samples, limit);
    bool damaged = false;
    auto drain = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(codec.get(), frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            if (got < 0) {
                damaged = true;
                return;
            }
            if (!mono.push(frame->extended_data, frame->nb_samples, frame->ch_layout, frame->format,
                           frame->sample_rate))
                damaged = true;
            av_frame_unref(frame.get());
        }
    };
    while (!mono.full()) {
        if (av_read_frame(format.get(), packet.get()) < 0)
            break; // the end, or a container that cannot be read further
        if (packet->stream_index == streamIndex) {
            // A damaged packet is skipped; the rest of the stream still counts.
            if (avcodec_send_packet(codec.get(), packet.get()) < 0)
                damaged = true;
            else
                drain();
        }
        av_packet_unref(packet.get());
    }
    if (!mono.full() && avcodec_send_packet(codec.get(), nullptr) >= 0)
        drain();
    mono.flush();
    if (samples.size() > limit)
        samples.resize(limit);
    if (samples.empty())
        return damaged ? OpeningDecodeFailed : OpeningNoSamples;
    return OpeningOk;
}

int imageOpening(const CueSheet& cue, FrameRange range, int seconds, std::vector<int16_t>& samples)
{
    quietLibraries();
    samples.clear();
    const ImagePcm image(cue);
    if (!image.isOpen())
        return OpeningCannotOpen;
    const int channels = cue.channels();
    const int rate = int(cue.sampleRate());
    const int bits = cue.bitsPerSample();
    const bool floating = cue.formatTag() == 3;
    if (channels <= 0 || rate <= 0 || image.frameBytes() != uint32_t(channels) * uint32_t((bits + 7) / 8))
        return OpeningNoAudio;
    AVSampleFormat format;
    if (floating && bits == 32)
        format = AV_SAMPLE_FMT_FLT;
    else if (floating)
        return OpeningUnsupported;
    else if (bits == 8)
        format = AV_SAMPLE_FMT_U8;
    else if (bits == 16)
        format = AV_SAMPLE_FMT_S16;
    else if (bits == 24 || bits == 32)
        format = AV_SAMPLE_FMT_S32; // 24-bit samples are widened below
    else
        return OpeningUnsupported;

    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    const size_t limit = size_t(std::max(seconds, 0)) * OpeningRate;
    samples.reserve(limit);
    MonoResampler mono(samples, limit);
    const uint64_t wanted = std::min<uint64_t>(range.count(), uint64_t(std::max(seconds, 0)) * uint64_t(rate));
    constexpr uint32_t Piece = 16384;
    QByteArray bytes;
    QByteArray widened;
    bool failed = false;
    for (uint64_t done = 0; done < wanted && !mono.full();) {
        const uint32_t n = image.read(range.first + done, uint32_t(std::min<uint64_t>(Piece, wanted - done)), bytes);
        if (n == 0)
            break; // the image ends early
        const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.constData());
        if (bits == 24) {
            const size_t values = size_t(n) * size_t(channels);
            widened.resize(qsizetype(values * 4));
            auto* to = reinterpret_cast<int32_t*>(widened.data());
            for (size_t i = 0; i < values; ++i) {
                const uint32_t v = uint32_t(data[3 * i]) << 8 | uint32_t(data[3 * i + 1]) << 16
                                   | uint32_t(data[3 * i + 2]) << 24;
                to[i] = int32_t(v);
            }
            data = reinterpret_cast<const uint8_t*>(widened.constData());
        }
        if (!mono.push(&data, int(n), layout, format, rate)) {
            failed = true;
            break;
        }
        done += n;
    }
    mono.flush();
    av_channel_layout_uninit(&layout);
    if (samples.size() > limit)
        samples.resize(limit);
    if (samples.empty())
        return failed ? OpeningDecodeFailed : OpeningNoSamples;
    return OpeningOk;
}

} // namespace vn
