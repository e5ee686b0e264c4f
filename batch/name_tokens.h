#pragma once
// The words the matcher compares between an album and a cue sheet when the album carries no table
// of contents: pieces of tag texts, folder names and image names, lower-cased, without numbers and
// without the words every album has.

#include <QString>
#include <QStringList>

namespace vn {

// Appends the tokens of text to tokens, leaving out those already there (tokens holds the words of
// one item: an album, or a cue sheet).
void appendNameTokens(const QString& text, QStringList& tokens);

} // namespace vn
