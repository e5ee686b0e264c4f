#include "util/text_helpers.h"

namespace vn {

void escapeQuotes(QString& text)
{
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
}

QString copyWithoutSpaces(QStringView src, int capacity)
{
    QString out;
    for (QChar c : src) {
        if (out.size() >= capacity - 1)
            break;
        if (c != u' ' && c != u'\t')
            out += c;
    }
    return out;
}

QString QuoteIfSpaced(const QString& text)
{
    if (!text.contains(QLatin1Char(' ')))
        return text;
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString truncateToCapacity(const QString& text, int capacity)
{
    if (capacity <= 0)
        return {};
    qsizetype n = text.size();
    if (n <= capacity - 1)
        return text;
    n = capacity - 1;
    if (n > 0 && text[n - 1].isHighSurrogate())
        --n;
    return text.left(n);
}

} // namespace vn
