#pragma once
// Cue sheets: the CD image behind side B (parseCueSheet) and the sheets the MP3-vs-CUE matcher
// lists (parseCueForMatch, findCueSheets). Both read the same line grammar.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace vn {

// A sector is 1/75 s of CD audio; a sample frame one stereo 16-bit pair; a sector holds 588 frames.
inline constexpr uint32_t FramesPerSector = 588;
inline constexpr int CueTrackLimit = 100;      // parseCueSheet: tracks 1 to 99
inline constexpr int CueMatchTrackLimit = 99;  // parseCueForMatch: tracks 1 to 98

enum CueError : int {
    CueCannotOpen = -1,
    CueBadTrackNumber = -2,
    CueNoImageFile = -3,
    CueImageMissing = -4,
    CueStartsNotIncreasing = -5,
};

struct CueSheet {
    QString cuePath;
    QString imagePath;
    int trackCount = 0;
    // Entry k - 1 is the start of track k in sample frames; entry trackCount the end of the last.
    std::array<uint32_t, CueTrackLimit> trackStarts{};
    // Entry 0 is the disc's, entry k track k's; a null text when the sheet has none.
    std::array<QString, CueTrackLimit + 1> titles;
    std::array<QString, CueTrackLimit + 1> performers;
    // Byte position of the first sample in the image: 44 for ".wav", else 0.
    int dataOffset = 0;
    // The canonical 44-byte RIFF/WAVE header of the image (made up for raw images).
    QByteArray wavHeader;
    // "%X" of the track count, then "+%X" of each start and of the end, in sectors plus 150.
    QByteArray discToc;
    // Why the last parse refused the sheet (the file concerned and the cause); empty when it did not.
    QString problem;

    uint16_t formatTag() const;
    uint16_t channels() const;
    uint32_t sampleRate() const;
    uint32_t byteRate() const;
    uint16_t blockAlign() const;
    uint16_t bitsPerSample() const;
};

// A line's tokens as the cue sheet grammar (and the match list's) sees them: separated by spaces
// only, a tab is part of a token.
QList<QByteArrayView> cueTokens(QByteArrayView line);

// The 44-byte RIFF/WAVE header of PCM with these properties and an empty data chunk.
QByteArray canonicalWavHeader(uint16_t channels, uint32_t rate, uint16_t bits);

// Where the image a sheet's FILE line names lies: a name with backslashes is understood, a relative
// one is taken from the sheet's folder, and a name differing from the file only in letter case finds
// the file.
QString cueImagePath(const QString& cuePath, const QString& name);

// The track count, or a CueError. codePage 0 is the ANSI code page; a sheet that starts with a
// UTF-8 byte-order mark is read as UTF-8 whatever the code page says. Lines may end in LF, CR LF
// or CR. Data tracks are left out: the audio before one ends where it begins, and audio after
// leading data tracks is counted from track 1. A result below 1 leaves sheet.problem saying why.
int parseCueSheet(const QString& cuePath, int trackLimit, int codePage, CueSheet& sheet);

struct CueImageEntry {
    QString cuePath; // set by the caller
    QString imagePath;
    uint32_t totalSamples = 0; // end sector * 588
    uint32_t endSector = 0;
    uint32_t trackCount = 0;
    uint32_t firstIndex = 0;   // where this sheet's values start in the shared sector list
    uint32_t dataTrack = 0;    // 1 when a TRACK line has a type other than AUDIO
};

// 0 or a CueError. Appends the starts of tracks 1 to n and the end sector to sectors.
int parseCueForMatch(CueImageEntry& entry, std::vector<uint32_t>& sectors);

// Parses every ".cue" file of the folder (not its sub-folders), in name order, and appends the
// sheets that parse to entries. Returns the new number of entries.
int findCueSheets(const QString& folder, std::vector<CueImageEntry>& entries, std::vector<uint32_t>& sectors);

} // namespace vn
