#include "config/settings.h"

#include "config/install_layout.h"
#include "util/feedback.h"
#include "util/numbers.h"
#include "util/safe_file.h"
#include "util/text_codec.h"
#include "util/text_helpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <limits>

namespace vn {

using K = SettingKind;
using S = Settings;

const std::array<SettingsRow, 95> SettingsTable = {{
    {"[Folder]", K::Section, 0, {}},
    {"Path_A", K::WideText, 260, &S::Path_A},
    {"Path_B", K::WideText, 260, &S::Path_B},
    {"Path_Cue", K::WideText, 260, &S::Path_Cue},
    {"Path_Bkup", K::WideText, 260, &S::Path_Bkup},
    {"Path_Otpt", K::WideText, 260, &S::Path_Otpt},
    {"Path_Temp", K::WideText, 260, &S::Path_Temp},
    {"BkupFldr_Level", K::Int, 0, &S::BkupFldr_Level},
    {"BkupFldr_Exist", K::Int, 0, &S::BkupFldr_Exist},
    {"[File]", K::Section, 0, {}},
    {"FileExtPriority", K::WideText, 256, &S::FileExtPriority},
    {"[ID3-Padding]", K::Section, 0, {}},
    {"ID3_Blk", K::Int, 0, &S::ID3_Blk},
    {"ID3_Pad", K::Int, 0, &S::ID3_Pad},
    {"[EnvVar]", K::Section, 0, {}},
    {"EnvVarPATH", K::WideText, 2048, &S::EnvVarPATH},
    {"[Encoder]", K::Section, 0, {}},
    {"Encoder_Selected", K::Text8, 16, &S::Encoder_Selected},
    {"[LAME]", K::Section, 0, {}},
    {"Lame_Preset", K::LamePreset, 0, &S::Lame_Preset},
    {"Lame_Bitrate_Mode", K::BitrateMode, 0, &S::Lame_Bitrate_Mode},
    {"Lame_VBR_Method", K::VbrMethod, 0, &S::Lame_VBR_Method},
    {"Lame_VBR_Quality", K::Int, 0, &S::Lame_VBR_Quality},
    {"Lame_Quality", K::Int, 0, &S::Lame_Quality},
    {"Lame_bps_Min", K::Bitrate, 0, &S::Lame_bps_Min},
    {"Lame_bps_Max", K::Bitrate, 0, &S::Lame_bps_Max},
    {"Lame_bps_ABR", K::Int, 0, &S::Lame_bps_ABR},
    {"Lame_bps_CBR", K::Bitrate, 0, &S::Lame_bps_CBR},
    {"Lame_Channel_Mode", K::ChannelMode, 0, &S::Lame_Channel_Mode},
    {"Lame_CRC", K::Int, 0, &S::Lame_CRC},
    {"Lame_Private", K::Int, 0, &S::Lame_Private},
    {"Lame_Copyright", K::Int, 0, &S::Lame_Copyright},
    {"Lame_Original", K::Int, 0, &S::Lame_Original},
    {"CP_Cue_Sheet", K::Int, 0, &S::CP_Cue_Sheet},
    {"[FLAC]", K::Section, 0, {}},
    {"Flac_Comp_Level", K::Int, 0, &S::Flac_Comp_Level},
    {"Flac_Block_Size", K::Int, 0, &S::Flac_Block_Size},
    {"Flac_Meta_Pad", K::Int, 0, &S::Flac_Meta_Pad},
    {"[qaac]", K::Section, 0, {}},
    {"Qaac_Exe", K::WideText, 260, &S::Qaac_Exe},
    {"Qaac_Options", K::WideText, 1024, &S::Qaac_Options},
    {"Qaac_Msg", K::Text8, 32, &S::Qaac_Msg},
    {"[fdkaac]", K::Section, 0, {}},
    {"Fdkaac_Exe", K::WideText, 260, &S::Fdkaac_Exe},
    {"Fdkaac_Options", K::WideText, 1024, &S::Fdkaac_Options},
    {"Fdkaac_Msg", K::Text8, 32, &S::Fdkaac_Msg},
    {"[OpusEnc]", K::Section, 0, {}},
    {"OpusEnc_Exe", K::WideText, 260, &S::OpusEnc_Exe},
    {"OpusEnc_Options", K::WideText, 1024, &S::OpusEnc_Options},
    {"OpusEnc_Msg", K::Text8, 32, &S::OpusEnc_Msg},
    {"OpusEnc_Ext", K::WideText, 8, &S::OpusEnc_Ext},
    {"[FFmpeg]", K::Section, 0, {}},
    {"FFmpeg_Exe", K::WideText, 260, &S::FFmpeg_Exe},
    {"FFmpeg_Options", K::WideText, 256, &S::FFmpeg_Options},
    {"FFmpeg_Containers", K::WideText, 256, &S::FFmpeg_Containers},
    {"FFmpeg_Omit_Pict", K::WideText, 256, &S::FFmpeg_Omit_Pict},
    {"FFmpeg_Msg", K::Text8, 32, &S::FFmpeg_Msg},
    {"[Utilities]", K::Section, 0, {}},
    {"TextEditor", K::WideText, 260, &S::TextEditor},
    {"[BatchProcess]", K::Section, 0, {}},
    {"CueMatch_MciCueA", K::UInt, 0, &S::CueMatch_MciCueA},
    {"CueMatch_MciCueT", K::UInt, 0, &S::CueMatch_MciCueT},
    {"CueMatch_DurMciA", K::UInt, 0, &S::CueMatch_DurMciA},
    {"CueMatch_DurMciT", K::UInt, 0, &S::CueMatch_DurMciT},
    {"CueMatch_DurCueA", K::UInt, 0, &S::CueMatch_DurCueA},
    {"CueMatch_DurCueT", K::UInt, 0, &S::CueMatch_DurCueT},
    {"CueMatch_Extension", K::WideText, 6, &S::CueMatch_Extension},
    {"CueMatch_FldrMp3", K::WideText, 260, &S::CueMatch_FldrMp3},
    {"CueMatch_FldrCue", K::WideText, 2600, &S::CueMatch_FldrCue},
    {"CueMatch_FileLst", K::WideText, 260, &S::CueMatch_FileLst},
    {"CueMatch_FileLog", K::WideText, 260, &S::CueMatch_FileLog},
    {"CueMatch_ExceptEnc", K::Text8, 256, &S::CueMatch_ExceptEnc},
    {"Batch_Log_EncErr", K::WideText, 260, &S::Batch_Log_EncErr},
    {"Batch_Log_EncCmdLn", K::WideText, 260, &S::Batch_Log_EncCmdLn},
    {"Batch_TrkCount", K::Int, 0, &S::Batch_TrkCount},
    {"[CDDB]", K::Section, 0, {}},
    {"Cddb_Server1", K::Text8, 256, &S::Cddb_Server1},
    {"Cddb_Server2", K::Text8, 256, &S::Cddb_Server2},
    {"Cddb_Hello", K::Text8, 256, &S::Cddb_Hello},
    {"Cddb_Proto", K::Text8, 16, &S::Cddb_Proto},
    {"Cddb_CDimg", K::Int, 0, &S::Cddb_CDimg},
    {"Cddb_Timeout", K::Int, 0, &S::Cddb_Timeout},
    {"[RipCD]", K::Section, 0, {}},
    {"RipCD_Drive", K::Char, 0, &S::RipCD_Drive},
    {"RipCD_Eject", K::Int, 0, &S::RipCD_Eject},
    {"RipCD_Cue", K::WideText, 260, &S::RipCD_Cue},
    {"RipCD_Extension", K::UInt, 0, &S::RipCD_Extension},
    {"RipCD_SectCount", K::UInt, 0, &S::RipCD_SectCount},
    {"RipCD_Device", K::WideText, 260, &S::RipCD_Device},
    {"RipCD_Paranoia", K::Int, 0, &S::RipCD_Paranoia},
    {"[Locale]", K::Section, 0, {}},
    {"AnsiCodePage", K::Int, 0, &S::AnsiCodePage},
    {"[Verify]", K::Section, 0, {}},
    {"Verify_Recordings", K::Int, 0, &S::Verify_Recordings},
    {"Verify_Threshold", K::Int, 0, &S::Verify_Threshold},
}};

namespace {

const QString IniName = QStringLiteral("Vornelic.ini");

bool equalsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && qstrnicmp(a.data(), a.size(), b.data(), b.size()) == 0;
}

template <size_t N>
void setIndexByName(int& field, QByteArrayView value, const std::array<const char*, N>& names)
{
    for (size_t i = 0; i < N; ++i) {
        if (equalsIgnoringAsciiCase(value, names[i])) {
            field = int(i);
            return;
        }
    }
}

template <size_t N>
QByteArray nameAt(int index, const std::array<const char*, N>& names)
{
    return index >= 0 && size_t(index) < N ? QByteArray(names[size_t(index)]) : QByteArray();
}

void convertValue(Settings& s, const SettingsRow& row, QByteArrayView value)
{
    switch (row.kind) {
    case K::Section:
        return;
    case K::Int:
        s.*std::get<int S::*>(row.target) = toLong(value);
        return;
    case K::UInt:
        s.*std::get<uint32_t S::*>(row.target) = toULong(value);
        return;
    case K::Char:
        s.*std::get<char S::*>(row.target) = value.isEmpty() ? '\0' : value[0];
        return;
    case K::Text8:
        s.*std::get<QByteArray S::*>(row.target) = value.first(std::min<qsizetype>(value.size(), row.capacity - 1)).toByteArray();
        return;
    case K::WideText:
        s.*std::get<QString S::*>(row.target) = truncateToCapacity(QString::fromUtf8(value), row.capacity);
        return;
    case K::LamePreset:
        setIndexByName(s.*std::get<int S::*>(row.target), value, LamePresetNames);
        return;
    case K::BitrateMode:
        setIndexByName(s.*std::get<int S::*>(row.target), value, BitrateModeNames);
        return;
    case K::VbrMethod:
        setIndexByName(s.*std::get<int S::*>(row.target), value, VbrMethodNames);
        return;
    case K::ChannelMode:
        setIndexByName(s.*std::get<int S::*>(row.target), value, ChannelModeNames);
        return;
    case K::Bitrate: {
        const int32_t kbps = toLong(value);
        for (size_t i = 0; i < LameBitrates.size(); ++i) {
            if (LameBitrates[i] >= kbps) {
                s.*std::get<int S::*>(row.target) = int(i);
                return;
            }
        }
        return; // above 320: unchanged
    }
    }
}

// A value never spans lines in the file: a line break inside one would start a line of its own.
QByteArray oneLine(QByteArray bytes)
{
    for (char end : {'\n', '\r'}) {
        const qsizetype at = bytes.indexOf(end);
        if (at >= 0)
            bytes.truncate(at);
    }
    return bytes;
}

QByteArray valueText(const Settings& s, const SettingsRow& row)
{
    switch (row.kind) {
    case K::Section:
        return {};
    case K::Int:
        return QByteArray::number(s.*std::get<int S::*>(row.target));
    case K::UInt:
        return QByteArray::number(s.*std::get<uint32_t S::*>(row.target));
    case K::Char: {
        const char c = s.*std::get<char S::*>(row.target);
        return c ? QByteArray(1, c) : QByteArray();
    }
    case K::Text8:
        return oneLine(s.*std::get<QByteArray S::*>(row.target));
    case K::WideText:
        return oneLine((s.*std::get<QString S::*>(row.target)).toUtf8());
    case K::LamePreset:
        return nameAt(s.*std::get<int S::*>(row.target), LamePresetNames);
    case K::BitrateMode:
        return nameAt(s.*std::get<int S::*>(row.target), BitrateModeNames);
    case K::VbrMethod:
        return nameAt(s.*std::get<int S::*>(row.target), VbrMethodNames);
    case K::ChannelMode:
        return nameAt(s.*std::get<int S::*>(row.target), ChannelModeNames);
    case K::Bitrate: {
        const int i = s.*std::get<int S::*>(row.target);
        return i >= 0 && size_t(i) < LameBitrates.size() ? QByteArray::number(LameBitrates[size_t(i)]) : QByteArray();
    }
    }
    return {};
}

const SettingsRow* findKey(QByteArrayView key)
{
    for (const SettingsRow& row : SettingsTable) {
        if (row.kind != K::Section && equalsIgnoringAsciiCase(key, row.name))
            return &row;
    }
    return nullptr;
}

void readLine(Settings& s, QByteArrayView line)
{
    // A line ends at its first line feed, carriage return or NUL.
    for (char end : {'\n', '\r', '\0'}) {
        const qsizetype at = line.indexOf(end);
        if (at >= 0)
            line = line.first(at);
    }
    if (equalsIgnoringAsciiCase(line, "[LAME]"))
        s.LameSectionSeen = true;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return;
    const QByteArrayView key = line.first(eq);
    QByteArrayView value = line.sliced(eq + 1);
    if (value.startsWith('"')) {
        value = value.sliced(1);
        const qsizetype close = value.indexOf('"');
        if (close >= 0)
            value = value.first(close);
    }
    if (const SettingsRow* row = findKey(key))
        convertValue(s, *row, value);
}

void askForLogName(QString& field, const QString& key, Feedback& feedback)
{
    while (!CanCreateFile(field)) {
        const int answer = feedback.inputBox(QStringLiteral("Invalid File Name Error"),
                                             QStringLiteral("Set Valid File Name for %1").arg(key), field, 260,
                                             QStringLiteral("Ok"), QStringLiteral("Cancel"));
        if (answer != AnswerOk) {
            field.clear();
            break;
        }
    }
}

void finishLoading(Settings& s)
{
    s.ExtPriorityList = splitExtPriority(s.FileExtPriority);
    if (s.RipCD_Cue.isEmpty())
        s.RipCD_Cue = s.Path_Cue;
}

} // namespace

QString resolveExeDir()
{
    const QString home = qEnvironmentVariable("VORNELIC_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(QDir(home).absolutePath());
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty()) {
        const QFileInfo ini(exeDir + QLatin1Char('/') + IniName);
        if (ini.exists() || (QFileInfo(exeDir).isWritable() && !isInstalledLayout(exeDir)))
            return exeDir;
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                           + QStringLiteral("/Vornelic");
    QDir().mkpath(config);
    return config;
}

Settings defaultSettings(const QString& exeDir)
{
    Settings s;
    s.ExeDir = exeDir;
    s.IniPath = exeDir + QLatin1Char('/') + IniName;
    s.Path_A = exeDir;
    s.Path_B = exeDir;
    s.Path_Cue = exeDir + QStringLiteral("/*.cue");
    s.Path_Bkup = exeDir + QStringLiteral("/bkup");
    s.Path_Otpt = exeDir + QStringLiteral("/output");
    s.Path_Temp = exeDir + QStringLiteral("/temp");
    s.AnsiCodePage = localeAnsiCodePage();
    return s;
}

bool LoadSettings(Settings& s, const QString& iniPath)
{
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly)) {
        finishLoading(s);
        return false;
    }
    // Lines are read whole, however long, so that a long value is never split into a second line.
    const QByteArray text = file.readAll();
    file.close();
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        readLine(s, QByteArrayView(text).sliced(start, end - start));
        start = end + 1;
    }

    s.Lame_VBR_Quality = std::clamp(s.Lame_VBR_Quality, 0, 9);
    s.Lame_Quality = std::clamp(s.Lame_Quality, 0, 9);
    s.Flac_Comp_Level = std::clamp(s.Flac_Comp_Level, 0, 8);
    s.Flac_Block_Size = std::clamp(s.Flac_Block_Size, 16, 65535);
    s.EncoderIndex = 0;
    for (int i = 1; i < int(EncoderNames.size()); ++i) {
        if (equalsIgnoringAsciiCase(s.Encoder_Selected, EncoderNames[size_t(i)])) {
            s.EncoderIndex = i;
            break;
        }
    }
    finishLoading(s);
    return true;
}

void createWorkingFolders(const Settings& s)
{
    QDir exe(s.ExeDir);
    for (const char* folder : {"bkup", "output", "temp"})
        exe.mkpath(QLatin1String(folder));
}

void applyToProcess(const Settings& s)
{
    setAnsiCodePage(s.AnsiCodePage);
    if (!s.EnvVarPATH.isEmpty())
        AppendToPath(s.EnvVarPATH);
}

void askForLogNames(Settings& s, Feedback& feedback)
{
    askForLogName(s.Batch_Log_EncErr, QStringLiteral("Batch_Log_EncErr"), feedback);
    askForLogName(s.Batch_Log_EncCmdLn, QStringLiteral("Batch_Log_EncCmdLn"), feedback);
}

QByteArray settingsText(Settings& s)
{
    s.FileExtPriority = joinExtPriority(s.ExtPriorityList);
    s.Encoder_Selected = s.EncoderIndex > 0 && s.EncoderIndex < int(EncoderNames.size())
                             ? QByteArray(EncoderNames[size_t(s.EncoderIndex)])
                             : QByteArray();
    QByteArray out;
    for (const SettingsRow& row : SettingsTable) {
        out += row.name;
        if (row.kind != K::Section) {
            out += '=';
            out += valueText(s, row);
        }
        out += "\r\n";
    }
    return out;
}

bool SaveSettings(Settings& s, const QString& iniPath)
{
    const QByteArray text = settingsText(s);
    return replaceFileAtomically(iniPath, text);
}

QStringList splitExtPriority(const QString& text)
{
    QStringList list;
    QString current;
    for (QChar c : text) {
        if (c.isLetterOrNumber() || c == u'.') {
            current += c;
            continue;
        }
        if (current.isEmpty())
            return list; // two separators in a row, or one at the start, end the list
        list += current;
        current.clear();
    }
    if (!current.isEmpty())
        list += current;
    return list;
}

QString joinExtPriority(const QStringList& list)
{
    return list.join(QLatin1Char(' '));
}

bool EnsureFolder(Feedback& feedback, const QString& path, const QString& displayName)
{
    if (QFileInfo(path).isDir())
        return true;
    const int answer = feedback.message(
        QStringLiteral("%1 \"%2\" not found\nCreate %3 ?").arg(displayName, path, path),
        QStringLiteral("Warning : %1 not found").arg(displayName), MessageButtons::YesNo, MessageIcon::Warning);
    if (answer != AnswerYes)
        return false;
    return QDir().mkpath(path);
}

bool CanCreateFile(const QString& fileName)
{
    if (fileName.isEmpty() || QFileInfo::exists(fileName))
        return true;
    // NewOnly: should the file appear meanwhile, it is neither truncated nor removed.
    QFile probe(fileName);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

void AppendToPath(const QString& folders)
{
    const QChar sep = QDir::listSeparator();
    QString value = folders;
    while (value.endsWith(sep))
        value.chop(1);
    if (value.isEmpty())
        return;
    const QString path = qEnvironmentVariable("PATH");
    // Compare with a separator after both, so "/opt/x" is not found inside "/opt/xy".
    if ((path + sep).contains(value + sep))
        return;
    // No separator is left at the end: an empty entry would put the working folder on the path.
    QString newPath = path;
    if (!newPath.isEmpty() && !newPath.endsWith(sep))
        newPath += sep;
    newPath += value;
    qputenv("PATH", newPath.toLocal8Bit());
}

} // namespace vn
