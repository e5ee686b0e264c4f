#pragma once
// The 21 logical fields every file is reduced to, and what each tag system calls them.

#include <array>

namespace vn {

// Row numbers of TagFieldTable; every TagRecord is indexed by them.
enum TagRow : int {
    RowAlbum = 0,
    RowArtist,
    RowAlbumArtist,
    RowTitle,
    RowTrack,
    RowDisc,
    RowYear,
    RowGenre,
    RowComment,
    RowComposer,
    RowEncodedBy,
    RowEncoderSettings,
    RowLength,
    RowPicture,
    RowCdIdentifier,
    RowCodec,
    RowBitsPerSample,
    RowBitrate,
    RowSampleRate,
    RowDuration,
    RowDataSize,
    TagRowCount
};

// Rows 0 to 14 are tag fields, rows 15 to 20 stream facts.
inline constexpr int TagFieldRowCount = RowCdIdentifier + 1;

// One row. An empty text means the tag system has no name for the field.
struct TagField {
    const char* id3v2Id;    // ID3v2.3/2.4 frame identifier
    const char* id3v22Id;   // ID3v2.2 frame identifier
    const char* vorbisName; // Vorbis comment name (FLAC and Opus)
    const char* qaacName;
    const char* fdkaacName;
    const char* ffmpegName;
    const char* mp4Atom;    // ilst item type; "\xA9" stands for the copyright sign byte
    const char* displayName;
};

inline constexpr std::array<TagField, TagRowCount> TagFieldTable = {{
    {"TALB", "TAL", "ALBUM", "album", "album", "album", "\xA9" "alb", "Album title"},
    {"TPE1", "TP1", "ARTIST", "artist", "artist", "artist", "\xA9" "ART", "Artist"},
    {"TPE2", "TP2", "ALBUMARTIST", "band", "album-artist", "album_artist", "aART", "Album artist"},
    {"TIT2", "TT2", "TITLE", "title", "title", "title", "\xA9" "nam", "Title"},
    {"TRCK", "TRK", "TRACKNUMBER", "track", "track", "track", "trkn", "Track"},
    {"TPOS", "TPA", "DISCNUMBER", "disk", "disk", "disk", "disk", "Disc number"},
    {"TYER", "TYE", "DATE", "date", "date", "date", "\xA9" "day", "Year"},
    {"TCON", "TCO", "GENRE", "genre", "genre", "genre", "\xA9" "gen", "Genre"},
    {"COMM", "COM", "COMMENT", "comment", "comment", "comment", "\xA9" "cmt", "Comment"},
    {"TCOM", "TCM", "COMPOSER", "composer", "composer", "composer", "\xA9" "wrt", "Composer"},
    {"TENC", "TEN", "ENCODER", "", "", "", "\xA9" "too", "Encoded by"},
    {"TSSE", "TSS", "", "", "", "", "", "Encoder settings"},
    {"TLEN", "TLE", "", "", "", "", "", "Length"},
    {"APIC", "PIC", "", "artwork", "covr", "", "covr", "Attached picture"},
    {"MCDI", "MCI", "CDTOC", "", "", "", "", "CD identifier"},
    {"", "", "", "", "", "", "", "codec"},
    {"", "", "", "", "", "", "", "bits/sample"},
    {"", "", "", "", "", "", "", "bitrate(kbps)"},
    {"", "", "", "", "", "", "", "fs(Hz)"},
    {"", "", "", "", "", "", "", "duration"},
    {"", "", "", "", "", "", "", "dataSize"},
}};

// Replace Tags keeps these four of B's own frames (the encoder, its settings, the length and the CD
// identifier describe B's audio); every other row comes from A.
constexpr bool rowFromB(int row)
{
    return row == RowEncodedBy || row == RowEncoderSettings || row == RowLength || row == RowCdIdentifier;
}

} // namespace vn
