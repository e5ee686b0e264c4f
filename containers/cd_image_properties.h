#pragma once
// The File Properties text of a CD image: its format, its tracks and its cue sheet.

#include "media/cue_sheet.h"

#include <QString>

namespace vn {

// The description of the image behind a parsed cue sheet; the sheet's own lines are shown
// converted with codePage (0: the ANSI code page).
QString dumpCdImage(const CueSheet& cue, int codePage);

// Parses the cue sheet and describes its image: 0, or the parser's negative code with text saying
// why the sheet was refused.
int dumpCueFile(const QString& cuePath, int codePage, QString& text);

} // namespace vn
