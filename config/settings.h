#pragma once
// Every setting of the program, in one record, read once at start and written once at close, from
// the text file Vornelic.ini. The table below drives both directions in file order.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <variant>

namespace vn {

class Feedback;

inline constexpr std::array<const char*, 15> LamePresetNames = {
    "(No preset)", "--preset medium", "--preset fast medium", "--r3mix", "--preset standard",
    "--preset fast standard", "--preset extreme", "--preset fast extreme", "--preset insane", "ABR", "CBR",
    "Low Quality(q9)", "Normal Quality(q3)", "High Quality(q2)", "Very High Quality(q0)"};
inline constexpr std::array<const char*, 3> BitrateModeNames = {"VBR", "ABR", "CBR"};
inline constexpr std::array<const char*, 4> VbrMethodNames = {"Default VBR", "Old VBR", "New VBR", "ABR"};
inline constexpr std::array<int, 14> LameBitrates = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
inline constexpr std::array<const char*, 4> ChannelModeNames = {"Stereo", "Joint stereo", "Dual channel", "Mono"};
// Encoder names by EncoderIndex 1..6; index 0 selects none.
inline constexpr std::array<const char*, 7> EncoderNames = {"", "LAME", "FLAC", "qaac", "fdkaac", "opusenc", "FFmpeg"};

struct Settings {
    // Where the program keeps its folders and its settings file.
    QString ExeDir;
    QString IniPath;

    // [Folder]
    QString Path_A, Path_B, Path_Cue, Path_Bkup, Path_Otpt, Path_Temp;
    int BkupFldr_Level = 1;
    int BkupFldr_Exist = 1;
    // [File]
    QString FileExtPriority = QStringLiteral(".mp3 .m4a .mp4 .flac .mka .webm .wav");
    // [ID3-Padding]
    int ID3_Blk = 0;
    int ID3_Pad = 256;
    // [EnvVar]
    QString EnvVarPATH;
    // [Encoder]
    QByteArray Encoder_Selected;
    // [LAME]
    int Lame_Preset = 5;
    int Lame_Bitrate_Mode = 0;
    int Lame_VBR_Method = 0;
    int Lame_VBR_Quality = 2;
    int Lame_Quality = 3;
    int Lame_bps_Min = 0;
    int Lame_bps_Max = 13;
    int Lame_bps_ABR = 150;
    int Lame_bps_CBR = 9;
    int Lame_Channel_Mode = 1;
    int Lame_CRC = 0;
    int Lame_Private = 0;
    int Lame_Copyright = 0;
    int Lame_Original = 1;
    int CP_Cue_Sheet = 0;
    // [FLAC]
    int Flac_Comp_Level = 5;
    int Flac_Block_Size = 4096;
    int Flac_Meta_Pad = 256;
    // [qaac]
    QString Qaac_Exe, Qaac_Options;
    QByteArray Qaac_Msg;
    // [fdkaac]
    QString Fdkaac_Exe, Fdkaac_Options = QStringLiteral("-m5");
    QByteArray Fdkaac_Msg;
    // [OpusEnc]
    QString OpusEnc_Exe, OpusEnc_Options = QStringLiteral("--bitrate 192");
    QByteArray OpusEnc_Msg;
    QString OpusEnc_Ext = QStringLiteral(".opus");
    // [FFmpeg]
    QString FFmpeg_Exe, FFmpeg_Options = QStringLiteral("libopus -b:a 192k");
    QString FFmpeg_Containers =
        QStringLiteral("aac.m4a mp3.mp3 flac.flac opus.mka vorbis.mka alac.m4a wma.wma wavpack.wv");
    QString FFmpeg_Omit_Pict = QStringLiteral(".ogg");
    QByteArray FFmpeg_Msg;
    // [Utilities]
    QString TextEditor;
    // [BatchProcess]
    uint32_t CueMatch_MciCueA = 5;
    uint32_t CueMatch_MciCueT = 15;
    uint32_t CueMatch_DurMciA = 88200;
    uint32_t CueMatch_DurMciT = 8820;
    uint32_t CueMatch_DurCueA = 88200;
    uint32_t CueMatch_DurCueT = 88200;
    QString CueMatch_Extension = QStringLiteral(".mp3");
    QString CueMatch_FldrMp3, CueMatch_FldrCue, CueMatch_FileLst, CueMatch_FileLog;
    QByteArray CueMatch_ExceptEnc;
    QString Batch_Log_EncErr, Batch_Log_EncCmdLn;
    int Batch_TrkCount = 0;
    // [CDDB]
    QByteArray Cddb_Server1, Cddb_Server2, Cddb_Hello, Cddb_Proto;
    int Cddb_CDimg = 0;
    int Cddb_Timeout = 10; // this build's own: seconds one CDDB request may take
    // [RipCD]
    char RipCD_Drive = ' ';
    int RipCD_Eject = 1;
    QString RipCD_Cue;
    uint32_t RipCD_Extension = 0;
    uint32_t RipCD_SectCount = 27;
    // This build's own: the drive chosen last (a device path, or an image's cue sheet), and whether
    // audio is read through libcdio-paranoia's verified reads (1) or with plain reads (0).
    QString RipCD_Device;
    int RipCD_Paranoia = 1;
    // [Locale] the code page that stands for the system ANSI code page (ID3v1, cue sheets, CDDB).
    int AnsiCodePage = 0;
    // [Verify] this build's own: whether Compare A/B checks that each pair is the same recording, and
    // the similarity in percent below which a pair does not count as one.
    int Verify_Recordings = 0;
    int Verify_Threshold = 70;

    // Derived after loading.
    int EncoderIndex = 1;
    // FileExtPriority split at every character that is neither a letter, a digit nor "."; the list
    // ends at the first empty piece, so two adjacent separators end it early.
    QStringList ExtPriorityList;
    bool LameSectionSeen = false;
};

enum class SettingKind { Section, Int, UInt, Char, Text8, WideText, LamePreset, BitrateMode, VbrMethod, Bitrate, ChannelMode };

using SettingTarget = std::variant<std::monostate, int Settings::*, uint32_t Settings::*, char Settings::*,
                                   QByteArray Settings::*, QString Settings::*>;

struct SettingsRow {
    const char* name;
    SettingKind kind;
    int capacity; // text kinds: bytes (8-bit) or UTF-16 units (wide), terminator included
    SettingTarget target;
};

// Section headers and keys in the order they are written.
extern const std::array<SettingsRow, 95> SettingsTable;

// The folder that stands for the executable's folder: VORNELIC_HOME when set; else the executable's
// folder when it holds Vornelic.ini, or when it is writable and not the bin folder of an installed
// program; else the user's configuration folder.
QString resolveExeDir();

// A record with every default, the folder defaults derived from exeDir.
Settings defaultSettings(const QString& exeDir);

// Reads iniPath into settings (which should hold the defaults); touches nothing but the record.
// False when there is no file to read.
bool LoadSettings(Settings& settings, const QString& iniPath);
// What a front end does after loading, each an explicit step of its own:
// the bkup, output and temp folders in ExeDir (when the program runs without a settings file yet);
void createWorkingFolders(const Settings& settings);
// the ANSI code page and the EnvVarPATH folders for this process and its children;
void applyToProcess(const Settings& settings);
// and, in the window, asking for the two batch log names while they cannot be created.
void askForLogNames(Settings& settings, Feedback& feedback);
// Writes the file through a temporary file and an atomic rename. False when nothing could be saved.
bool SaveSettings(Settings& settings, const QString& iniPath);
// The file's text as SaveSettings would write it (line ends "\r\n").
QByteArray settingsText(Settings& settings);

// Splits FileExtPriority by the rule above.
QStringList splitExtPriority(const QString& text);
// The inverse: the list joined by single blanks.
QString joinExtPriority(const QStringList& list);

// True when the folder exists; otherwise asks whether to create it (with its parents).
bool EnsureFolder(Feedback& feedback, const QString& path, const QString& displayName);
// True when the name is empty, the file exists, or it could be created (and is then removed again).
bool CanCreateFile(const QString& fileName);
// Adds the folder list to this process's search path, which child processes inherit.
void AppendToPath(const QString& folders);

} // namespace vn
