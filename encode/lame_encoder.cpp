#include "encode/lame_encoder.h"

#include "config/settings.h"
#include "media/image_pcm.h"
#include "util/safe_file.h"

#include <QLibrary>

#include <algorithm>
#include <lame/lame.h>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace vn {

namespace {

// The library's API, resolved by name: the header gives the types, the library is never linked,
// so a machine without it still runs the program (with MP3 output unavailable).
struct LameApi {
#define VN_LAME_FN(name) decltype(&::name) name = nullptr;
    VN_LAME_FN(lame_init)
    VN_LAME_FN(lame_close)
    VN_LAME_FN(lame_init_params)
    VN_LAME_FN(lame_set_in_samplerate)
    VN_LAME_FN(lame_set_out_samplerate)
    VN_LAME_FN(lame_set_num_channels)
    VN_LAME_FN(lame_set_bWriteVbrTag)
    VN_LAME_FN(lame_set_write_id3tag_automatic)
    VN_LAME_FN(lame_set_preset)
    VN_LAME_FN(lame_set_VBR)
    VN_LAME_FN(lame_set_VBR_q)
    VN_LAME_FN(lame_set_VBR_mean_bitrate_kbps)
    VN_LAME_FN(lame_set_VBR_min_bitrate_kbps)
    VN_LAME_FN(lame_set_VBR_max_bitrate_kbps)
    VN_LAME_FN(lame_set_mode)
    VN_LAME_FN(lame_set_force_ms)
    VN_LAME_FN(lame_set_brate)
    VN_LAME_FN(lame_set_quality)
    VN_LAME_FN(lame_set_strict_ISO)
    VN_LAME_FN(lame_set_copyright)
    VN_LAME_FN(lame_set_original)
    VN_LAME_FN(lame_set_error_protection)
    VN_LAME_FN(lame_set_extension)
    VN_LAME_FN(lame_set_disable_reservoir)
    VN_LAME_FN(lame_get_version)
    VN_LAME_FN(lame_encode_buffer)
    VN_LAME_FN(lame_encode_buffer_interleaved)
    VN_LAME_FN(lame_encode_flush)
    VN_LAME_FN(lame_get_lametag_frame)
    VN_LAME_FN(get_lame_version_numerical)
#undef VN_LAME_FN
};

struct LoadedLame {
    LameLibrary info;
    LameApi api;
};

template <typename Fn>
bool resolve(QLibrary& lib, Fn& fn, const char* name)
{
    fn = reinterpret_cast<Fn>(lib.resolve(name));
    return fn != nullptr;
}

LoadedLame loadLame()
{
    LoadedLame loaded;
    static QLibrary lib(QStringLiteral("mp3lame"), 0); // stays loaded for the process
    if (!lib.load())
        return loaded;
    LameApi& a = loaded.api;
    bool ok = true;
#define VN_RESOLVE(name) ok = resolve(lib, a.name, #name) && ok;
    VN_RESOLVE(lame_init)
    VN_RESOLVE(lame_close)
    VN_RESOLVE(lame_init_params)
    VN_RESOLVE(lame_set_in_samplerate)
    VN_RESOLVE(lame_set_out_samplerate)
    VN_RESOLVE(lame_set_num_channels)
    VN_RESOLVE(lame_set_bWriteVbrTag)
    VN_RESOLVE(lame_set_write_id3tag_automatic)
    VN_RESOLVE(lame_set_preset)
    VN_RESOLVE(lame_set_VBR)
    VN_RESOLVE(lame_set_VBR_q)
    VN_RESOLVE(lame_set_VBR_mean_bitrate_kbps)
    VN_RESOLVE(lame_set_VBR_min_bitrate_kbps)
    VN_RESOLVE(lame_set_VBR_max_bitrate_kbps)
    VN_RESOLVE(lame_set_mode)
    VN_RESOLVE(lame_set_force_ms)
    VN_RESOLVE(lame_set_brate)
    VN_RESOLVE(lame_set_quality)
    VN_RESOLVE(lame_set_strict_ISO)
    VN_RESOLVE(lame_set_copyright)
    VN_RESOLVE(lame_set_original)
    VN_RESOLVE(lame_set_error_protection)
    VN_RESOLVE(lame_set_extension)
    VN_RESOLVE(lame_set_disable_reservoir)
    VN_RESOLVE(lame_get_version)
    VN_RESOLVE(lame_encode_buffer)
    VN_RESOLVE(lame_encode_buffer_interleaved)
    VN_RESOLVE(lame_encode_flush)
    VN_RESOLVE(lame_get_lametag_frame)
    VN_RESOLVE(get_lame_version_numerical)
#undef VN_RESOLVE
    if (!ok)
        return LoadedLame{};
    lame_version_t v{};
    a.get_lame_version_numerical(&v);
    loaded.info = LameLibrary{true, v.major, v.minor, v.alpha, v.beta};
    return loaded;
}

const LoadedLame& loaded()
{
    static const LoadedLame lame = loadLame();
    return lame;
}

// The library keeps tables it fills on first use; setting up and closing encoders one at a time
// keeps tracks encoded side by side from racing on them.
std::mutex& setupLock()
{
    static std::mutex lock;
    return lock;
}

int bitrateAt(int index)
{
    return LameBitrates[size_t(std::clamp(index, 0, int(LameBitrates.size()) - 1))];
}

int cbrBitrate(const Settings& s) { return bitrateAt(s.Lame_bps_CBR); }

// The legacy preset names the library knows, by the configuration's preset value.
void applyPresetOption(const LameApi& a, lame_global_flags* gfp, int preset)
{
    switch (preset) {
    case 1:
        a.lame_set_quality(gfp, 9);
        break;
    case 2:
        a.lame_set_quality(gfp, 2);
        break;
    case 3: // voice
        a.lame_set_mode(gfp, MONO);
        a.lame_set_preset(gfp, 56);
        break;
    case 4:
        a.lame_set_preset(gfp, R3MIX);
        break;
    case 5:
        a.lame_set_quality(gfp, 0);
        break;
    case 6:
        a.lame_set_preset(gfp, STANDARD);
        break;
    case 7:
        a.lame_set_preset(gfp, STANDARD_FAST);
        break;
    case 8:
        a.lame_set_preset(gfp, EXTREME);
        break;
    case 9:
        a.lame_set_preset(gfp, EXTREME_FAST);
        break;
    case 10:
        a.lame_set_preset(gfp, INSANE);
        break;
    case 13:
        a.lame_set_preset(gfp, MEDIUM);
        break;
    case 14:
        a.lame_set_preset(gfp, MEDIUM_FAST);
        break;
    default: // 0 (normal quality) keeps the library's default; 11 and 12 are set up before
        break;
    }
}

// Maps the configuration onto the library's setters in the order the configuration's meaning
// depends on: a preset first, the mode and bit rates where the preset leaves them, the flags last.
bool configure(const LameApi& a, lame_global_flags* gfp, const LameConfig& c, int channels)
{
    a.lame_set_in_samplerate(gfp, int(c.dwSampleRate));
    // The image's own channels go in; "Mono" makes the library mix them down.
    a.lame_set_num_channels(gfp, channels);
    a.lame_set_write_id3tag_automatic(gfp, 0); // the program writes its own tag
    a.lame_set_bWriteVbrTag(gfp, 0);
    if (c.nPreset == 11)
        a.lame_set_preset(gfp, std::clamp(int(c.dwVbrAbr_bps / 1000), 8, 320));
    if (c.nPreset == 12) {
        a.lame_set_preset(gfp, int(c.dwBitrate));
        a.lame_set_VBR(gfp, vbr_off);
    }
    // Presets below "--preset standard" leave the mode and the bit rates to the settings.
    if (c.nPreset < 6) {
        switch (c.nMode) {
        case LameStereo:
            a.lame_set_mode(gfp, STEREO);
            break;
        case LameJointStereo:
            a.lame_set_mode(gfp, JOINT_STEREO);
            break;
        case LameMono:
            a.lame_set_mode(gfp, MONO);
            break;
        case LameDualChannel: // the library has no working dual channel: forced mid/side stereo
            a.lame_set_force_ms(gfp, 1);
            a.lame_set_mode(gfp, STEREO);
            break;
        default:
            return false;
        }
        if (c.bEnableVBR) {
            a.lame_set_VBR_q(gfp, c.nVBRQuality);
            switch (c.nVbrMethod) {
            case -1:
                a.lame_set_VBR(gfp, vbr_off);
                break;
            case 0:
                a.lame_set_VBR(gfp, vbr_default);
                break;
            case 1:
                a.lame_set_VBR(gfp, vbr_rh);
                break;
            case 2:
            case 3:
                a.lame_set_VBR(gfp, vbr_mtrh);
                break;
            case 4:
                a.lame_set_VBR(gfp, vbr_abr);
                break;
            default:
                return false;
            }
        } else {
            a.lame_set_VBR(gfp, vbr_off);
        }
        a.lame_set_brate(gfp, int(c.dwBitrate));
        if (c.dwVbrAbr_bps > 0) {
            a.lame_set_VBR(gfp, vbr_abr);
            a.lame_set_VBR_mean_bitrate_kbps(gfp, std::clamp(int((c.dwVbrAbr_bps + 500) / 1000), 8, 320));
        }
    }
    if (c.nPreset != -1)
        applyPresetOption(a, gfp, c.nPreset);
    if (c.dwReSampleRate > 0)
        a.lame_set_out_samplerate(gfp, int(c.dwReSampleRate));
    if (c.nMode == LameMono)
        a.lame_set_mode(gfp, MONO);
    a.lame_set_strict_ISO(gfp, c.bStrictIso ? 1 : 0);
    if (c.bCopyright)
        a.lame_set_copyright(gfp, 1);
    a.lame_set_original(gfp, c.bOriginal ? 1 : 0);
    a.lame_set_error_protection(gfp, c.bCRC ? 1 : 0);
    a.lame_set_extension(gfp, c.bPrivate ? 1 : 0);
    if (c.dwBitrate > 0)
        a.lame_set_VBR_min_bitrate_kbps(gfp, int(c.dwBitrate));
    if (c.dwMaxBitrate > 0)
        a.lame_set_VBR_max_bitrate_kbps(gfp, int(c.dwMaxBitrate));
    if (c.bNoRes)
        a.lame_set_disable_reservoir(gfp, 1);
    a.lame_set_bWriteVbrTag(gfp, c.bWriteVBRHeader ? 1 : 0);
    // The quality counts only when its high byte is the complement of its low byte.
    if ((c.nQuality & 0xff) == ((~(c.nQuality >> 8)) & 0xff))
        a.lame_set_quality(gfp, c.nQuality & 0xff);
    return a.lame_init_params(gfp) == 0;
}

// One encoder for one track, closed on every path.
class LameStream {
public:
    explicit LameStream(const LameApi& api) : api_(api)
    {
        std::lock_guard<std::mutex> hold(setupLock());
        gfp_ = api_.lame_init();
    }
    ~LameStream()
    {
        if (gfp_) {
            std::lock_guard<std::mutex> hold(setupLock());
            api_.lame_close(gfp_);
        }
    }
    LameStream(const LameStream&) = delete;
    LameStream& operator=(const LameStream&) = delete;

    bool init(const LameConfig& config, int channels)
    {
        if (!gfp_)
            return false;
        std::lock_guard<std::mutex> hold(setupLock());
        return configure(api_, gfp_, config, channels);
    }
    lame_global_flags* get() const { return gfp_; }

private:
    const LameApi& api_;
    lame_global_flags* gfp_ = nullptr;
};

} // namespace

LameConfig lameConfigFrom(const Settings& s, uint32_t sampleRate)
{
    LameConfig c;
    const int mode = std::clamp(s.Lame_Bitrate_Mode, 0, 2);
    const int method = std::clamp(s.Lame_VBR_Method, 0, int(VbrMethodValues.size()) - 1);
    c.dwSampleRate = sampleRate;
    c.nMode = std::clamp(s.Lame_Channel_Mode, 0, 3);
    c.dwBitrate = uint32_t(mode == LameModeCbr ? cbrBitrate(s) : bitrateAt(s.Lame_bps_Min));
    c.dwMaxBitrate = uint32_t(bitrateAt(s.Lame_bps_Max));
    c.nPreset = LamePresetValues[size_t(std::clamp(s.Lame_Preset, 0, int(LamePresetValues.size()) - 1))];
    c.bPrivate = s.Lame_Private;
    c.bCRC = s.Lame_CRC;
    c.bCopyright = s.Lame_Copyright;
    c.bOriginal = s.Lame_Original;
    c.bEnableVBR = mode != LameModeCbr;
    c.nVBRQuality = s.Lame_VBR_Quality;
    const bool abr = mode == LameModeAbr || (mode == LameModeVbr && method == VbrMethodAbrIndex);
    c.dwVbrAbr_bps = abr ? uint32_t(std::max(s.Lame_bps_ABR, 0)) * 1000 : 0;
    c.nVbrMethod = c.bEnableVBR ? VbrMethodValues[size_t(method)] : -1;
    if (c.nPreset == -1) {
        const uint8_t q = uint8_t(s.Lame_Quality);
        c.nQuality = uint16_t(q | uint16_t(uint8_t(~q)) << 8);
    }
    return c;
}

const LameLibrary& lameLibrary()
{
    return loaded().info;
}

QString lameVersionText(const LameLibrary& library)
{
    return QString::asprintf("LAME%d.%d", library.engineMajor, library.engineMinor).left(9);
}

QString lameSettingsText(const Settings& s, const QString& versionText)
{
    const int index = std::clamp(s.Lame_Preset, 0, int(LamePresetValues.size()) - 1);
    const int preset = LamePresetValues[size_t(index)];
    const auto modeText = [&] {
        if (s.Lame_Bitrate_Mode == LameModeCbr)
            return QString::asprintf(" cbr%d", cbrBitrate(s));
        if (s.Lame_Bitrate_Mode == LameModeAbr || s.Lame_VBR_Method == VbrMethodAbrIndex)
            return QString::asprintf(" abr%d", s.Lame_bps_ABR);
        return QString::asprintf(" V%d", s.Lame_VBR_Quality);
    };
    QString suffix;
    switch (preset) {
    case -1:
        suffix = modeText() + QString::asprintf(" q%d", s.Lame_Quality);
        break;
    case 0:
    case 1:
    case 2:
    case 5:
        suffix = modeText();
        break;
    case 11:
        suffix = QString::number(s.Lame_bps_ABR);
        break;
    case 12:
        suffix = QString::number(cbrBitrate(s));
        break;
    default:
        break;
    }
    return QStringLiteral("%1 %2%3").arg(versionText, QLatin1String(LamePresetNames[size_t(index)]), suffix).left(63);
}

QString lameLengthText(uint64_t frames, const CueSheet& cue)
{
    const uint64_t byteRate = cue.byteRate() ? cue.byteRate() : 176400;
    const uint64_t bytes = frames * (cue.blockAlign() ? cue.blockAlign() : 4);
    return QString::number((bytes * 1000 + byteRate / 2) / byteRate);
}

int encodeLameTrack(const CueSheet& cue, uint64_t first, uint64_t last, const LameConfig& config, NewFile& out,
                    uint64_t audioStart, const TrackProgress& progress)
{
    const LoadedLame& lame = loaded();
    ImagePcm image(cue);
    if (!image.isOpen())
        return LameImageUnreadable;
    // The encoder takes 16-bit samples; an image of any other kind cannot be fed to it.
    const int channels = cue.channels();
    if (!lame.info.available || cue.bitsPerSample() != 16 || (channels != 1 && channels != 2) ||
        image.frameBytes() != uint32_t(2 * channels))
        return LameInitFailed;
    LameStream stream(lame.api);
    if (!stream.init(config, channels))
        return LameInitFailed;
    const LameApi& a = lame.api;
    const uint32_t chunkFrames = a.lame_get_version(stream.get()) == 0 ? 576 : 1152;
    const size_t outputSize = size_t(1.25 * chunkFrames + 7200);
    std::unique_ptr<unsigned char[]> output(new (std::nothrow) unsigned char[outputSize]);
    if (!output)
        return LameNoOutputMemory;
    QByteArray input;

    const uint64_t total = last >= first ? last - first + 1 : 0;
    const uint64_t values = total * uint64_t(channels);
    // The percentage is shown every K chunks.
    const uint64_t every = uint64_t(double(values) / double(outputSize) / 5.0);
    uint64_t chunks = 0;
    uint64_t done = 0;
    while (done < total) {
        if (progress.stop())
            return LameCancelled;
        const uint32_t want = uint32_t(std::min<uint64_t>(chunkFrames, total - done));
        const uint32_t got = image.read(first + done, want, input);
        if (got != want)
            return LameImageUnreadable;
        auto* pcm = reinterpret_cast<short*>(input.data());
        const int n = channels == 2
                          ? a.lame_encode_buffer_interleaved(stream.get(), pcm, int(got), output.get(), int(outputSize))
                          : a.lame_encode_buffer(stream.get(), pcm, pcm, int(got), output.get(), int(outputSize));
        if (n < 0)
            return LameEncodeFailed;
        if (n > 0 && !out.write(reinterpret_cast<const char*>(output.get()), n))
            return LameWriteFailed;
        done += got;
        progress.advance(got);
        if (++chunks >= every) {
            chunks = 0;
            if (progress.percent)
                progress.percent(int(done * 100 / total));
        }
    }
    const int n = a.lame_encode_flush(stream.get(), output.get(), int(outputSize));
    if (n < 0)
        return LameFlushFailed;
    if (n > 0 && !out.write(reinterpret_cast<const char*>(output.get()), n))
        return LameFinalWriteFailed;
    // The Xing/Info frame, now that the stream's length and gaps are known, goes where the
    // encoder's placeholder for it stands: the first frame after the tag.
    if (config.bWriteVBRHeader) {
        const size_t size = a.lame_get_lametag_frame(stream.get(), nullptr, 0);
        if (size > 0) {
            std::vector<unsigned char> frame(size);
            const size_t got = a.lame_get_lametag_frame(stream.get(), frame.data(), frame.size());
            if (got == 0 || got > size ||
                !out.writeAt(audioStart, reinterpret_cast<const char*>(frame.data()), qint64(got)))
                return LameFinalWriteFailed;
        }
    }
    return LameOk;
}

} // namespace vn
