#include "app/dialogs/clipboard.h"

#include "util/text_codec.h"

#include <QClipboard>
#include <QGuiApplication>

namespace vn {

void putAnsiTextOnClipboard(const QByteArray& text)
{
    putWideTextOnClipboard(decodeText(text, CpAnsi));
}

void putWideTextOnClipboard(const QString& text)
{
    // No clipboard (no display) is not an error worth telling anyone about.
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

} // namespace vn
