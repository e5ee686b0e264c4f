#pragma once
// Puts text on the system clipboard, replacing what was there.

#include <QByteArray>
#include <QString>

namespace vn {

// 8-bit text in the program's ANSI code page.
void putAnsiTextOnClipboard(const QByteArray& text);
void putWideTextOnClipboard(const QString& text);

} // namespace vn
