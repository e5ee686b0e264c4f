#include "batch/name_tokens.h"

namespace vn {

namespace {

bool isSeparator(QChar c)
{
    switch (c.unicode()) {
    case u' ':
    case u'_':
    case u',':
    case u'.':
    case u':':
    case u';':
    case u'/':
    case u'(':
    case u')':
    case u'[':
    case u']':
        return true;
    default:
        return false;
    }
}

bool isAsciiLower(QChar c)
{
    return c >= u'a' && c <= u'z';
}

bool isAsciiUpper(QChar c)
{
    return c >= u'A' && c <= u'Z';
}

void keep(QStringView piece, QStringList& tokens)
{
    bool digitsOnly = true;
    for (QChar c : piece)
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    if (digitsOnly)
        return;
    QString token = piece.toString();
    for (QChar& c : token) {
        if (isAsciiUpper(c))
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    if (token == u"the" || token == u"of" || token == u"eac" || token.startsWith(u"mm") || token.startsWith(u"disc") ||
        token.startsWith(u"cd"))
        return;
    if (!tokens.contains(token))
        tokens << token;
}

} // namespace

void appendNameTokens(const QString& text, QStringList& tokens)
{
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && !isSeparator(text[i]))
            ++i;
        const QStringView piece = QStringView(text).sliced(start, i - start);
        if (piece.size() < 2)
            continue;
        // "BestOf" is two words.
        qsizetype from = 0;
        for (qsizetype k = 1; k < piece.size(); ++k) {
            if (isAsciiLower(piece[k - 1]) && isAsciiUpper(piece[k])) {
                keep(piece.sliced(from, k - from), tokens);
                from = k;
            }
        }
        keep(piece.sliced(from), tokens);
    }
}

} // namespace vn
