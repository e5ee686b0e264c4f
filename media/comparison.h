#pragma once
// The comparison of side A (a folder of reference files) with side B (a folder of the same tracks
// in another encoding, or a CD image's cue sheet): both sides' files and records, and the list rows
// that show them, A's file i in row 2i above B's entry i - trackOffsetB in row 2i + 1.

#include "media/cue_sheet.h"
#include "media/folder_scan.h"
#include "media/id3v2_reader.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace vn {

inline constexpr int ListColumnCount = 24;

// The list's first three column headers; the other 21 are TagFieldTable's display names.
inline constexpr std::array<const char*, 3> ListLeadColumns = {"No", "file name", "tag ver"};

QString listColumnName(int column);

enum CompareCode : int {
    CompareOk = 0,
    CompareNoFolderA = 1,
    CompareNoAudioA = 2,
    CompareNoFolderB = 3,
    CompareNoAudioB = 4,
    CompareIllegalCueSheet = 5,
    CompareAborted = 6, // stopped by the user; nothing is listed
    CompareBusy = 7,    // another job works on the comparison; nothing changed
};

// The "tag ver" text of a file that could not be read.
inline constexpr const char* UnreadableKindText = "unreadable";

// The message box text for a non-zero CompareCode; the caption is CompareErrorCaption.
QString compareErrorText(int code);
inline constexpr const char* CompareErrorCaption = "Error : No audio file";
// What the message for a non-zero CompareCode adds: the folder or cue sheet concerned and the
// cause (the system's error text, or what is wrong with the sheet). Empty when nothing is known.
QString compareProblemText(int code, const QString& folderA, const QString& folderB, int cueCodePage);

using ListRow = std::array<QString, ListColumnCount>;

struct ComparisonState {
    QString folderA;
    QString folderB;        // a folder, or the cue sheet in CD image mode
    bool folderBMode = true;
    int trackOffsetB = 0;
    FileList a;
    FileList b;             // empty in CD image mode
    std::optional<CueSheet> cue;
    std::vector<ListRow> rows;

    int countB() const { return cue ? cue->trackCount : b.count(); }
};

// Releases both sides, the cue sheet and the rows.
void clearComparison(ComparisonState& state);

// The texts of one list row for a file read with code 0.
ListRow buildListRow(int row, const QString& fileName, const FileTags& file);
// The texts of a CD image track's row at list position p (from 1).
ListRow buildCueTrackRow(int p, int trackOffsetB, const CueSheet& cue);

// 0 when both sides are ID3v2 of one version; else 1 A kinds differ, 2 B kinds differ, 3 A not
// ID3v2, 4 B not ID3v2, 5 versions differ. With a cue sheet as B only A is checked (1 or 0).
int checkTagVersions(const ComparisonState& state);

} // namespace vn
