#pragma once
// MP3 output through libmp3lame, loaded at run time: the encoder configuration built from the
// [LAME] settings, the texts that name it in every file (TENC and TSSE), and the encoding of one
// sample range of a CD image into a file that is being written.

#include "encode/track_progress.h"
#include "media/cue_sheet.h"

#include <QString>
#include <array>
#include <cstdint>

namespace vn {

class NewFile;
struct Settings;

// The preset values, by Lame_Preset index, as the configuration carries them.
inline constexpr std::array<int, 15> LamePresetValues = {-1, 13, 14, 4, 6, 7, 8, 9, 10, 11, 12, 1, 0, 2, 5};
// The VBR method values, by Lame_VBR_Method index.
inline constexpr std::array<int, 4> VbrMethodValues = {0, 1, 2, 4};

enum LameBitrateMode : int { LameModeVbr = 0, LameModeAbr = 1, LameModeCbr = 2 };
enum LameChannelMode : int { LameStereo = 0, LameJointStereo = 1, LameDualChannel = 2, LameMono = 3 };
inline constexpr int VbrMethodAbrIndex = 3;

// The encoder configuration of one track, field for field as the settings fill it.
struct LameConfig {
    uint32_t dwConfig = 256; // the LAME configuration kind
    uint32_t dwStructVersion = 1;
    uint32_t dwStructSize = 332;
    uint32_t dwSampleRate = 44100;
    uint32_t dwReSampleRate = 0;
    int32_t nMode = LameJointStereo;
    uint32_t dwBitrate = 0;
    uint32_t dwMaxBitrate = 0;
    int32_t nPreset = -1;
    uint32_t dwMpegVersion = 1;
    uint32_t dwPsyModel = 0;
    uint32_t dwEmphasis = 0;
    int32_t bPrivate = 0;
    int32_t bCRC = 0;
    int32_t bCopyright = 0;
    int32_t bOriginal = 0;
    int32_t bWriteVBRHeader = 1;
    int32_t bEnableVBR = 0;
    int32_t nVBRQuality = 0;
    uint32_t dwVbrAbr_bps = 0;
    int32_t nVbrMethod = -1;
    int32_t bNoRes = 0;
    int32_t bStrictIso = 0;
    uint16_t nQuality = 0; // low byte the quality, high byte its complement; 0 leaves it to the preset
};

LameConfig lameConfigFrom(const Settings& settings, uint32_t sampleRate);

// The library as this run found it: available only when it and every entry point used here load.
struct LameLibrary {
    bool available = false;
    int engineMajor = 0, engineMinor = 0;
    int alpha = 0, beta = 0;
};
const LameLibrary& lameLibrary();

// "LAME%d.%d" with the engine's version (at most 9 characters): the TENC text.
QString lameVersionText(const LameLibrary& library);
// The TSSE text (at most 63 characters): the version text, the preset's name and what the preset
// leaves to the other settings.
QString lameSettingsText(const Settings& settings, const QString& versionText);

enum LameTrackCode : int {
    LameOk = 0,
    LameImageUnreadable = 1,  // also: the image ends inside the range
    LameCannotCreate = 2,
    LameInitFailed = 3,
    LameNoOutputMemory = 4,
    LameNoInputMemory = 5,
    LameEncodeFailed = 6,
    LameWriteFailed = 7,
    LameFlushFailed = 8,
    LameFinalWriteFailed = 9,
    LameTempUnreadable = 11,
    LameOutputNotCreated = 12,
    LameCancelled = -1, // a track after a failed one, stopped on purpose; never reported
};

// Encodes sample frames first to last (inclusive) of the image into out, after what out holds,
// which is audioStart bytes; then writes the Xing/Info frame the finished stream needs over its
// first frame. 0 or a LameTrackCode.
int encodeLameTrack(const CueSheet& cue, uint64_t first, uint64_t last, const LameConfig& config, NewFile& out,
                    uint64_t audioStart, const TrackProgress& progress);

// The length of frames sample frames in milliseconds, rounded, as the TLEN text.
QString lameLengthText(uint64_t frames, const CueSheet& cue);

} // namespace vn
