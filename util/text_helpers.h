#pragma once
// Small text helpers shared by the command-line builders and the version probes.

#include <QString>
#include <QStringView>

namespace vn {

// Inserts a backslash before every double quote, so the text can stand inside a quoted argument.
void escapeQuotes(QString& text);

// Copies src without blank characters, at most capacity - 1 characters.
QString copyWithoutSpaces(QStringView src, int capacity);

// Puts the text in double quotes when it holds a blank, for command lines shown to the user.
QString QuoteIfSpaced(const QString& text);

// Keeps at most capacity - 1 UTF-16 units, never splitting a surrogate pair.
QString truncateToCapacity(const QString& text, int capacity);

} // namespace vn
