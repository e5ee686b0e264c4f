#include "util/text_codec.h"

#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>
#include <atomic>

namespace vn {

namespace {

std::atomic<int> g_ansiCodePage{0};

// The converter name for a Windows code page; empty when none is known.
QByteArray codecName(int codePage)
{
    switch (codePage) {
    case CpShiftJis:
        return "windows-31j";
    case CpUtf16Le:
        return "UTF-16LE";
    case CpUtf16Be:
        return "UTF-16BE";
    case CpEucJp:
        return "EUC-JP";
    case CpLatin1:
        return "ISO-8859-1";
    case CpIso2022Jp:
    case 50220:
    case 50221:
        return "ISO-2022-JP";
    case CpUtf8:
        return "UTF-8";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 20127:
        return "US-ASCII";
    default:
        if (codePage >= 874 && codePage <= 1258)
            return "windows-" + QByteArray::number(codePage);
        if (codePage >= 28592 && codePage <= 28606)
            return "ISO-8859-" + QByteArray::number(codePage - 28590);
        return {};
    }
}

int resolve(int codePage)
{
    return codePage == CpAnsi ? ansiCodePage() : codePage;
}

} // namespace

int localeAnsiCodePage()
{
    return QLocale::system().language() == QLocale::Japanese ? CpShiftJis : CpWindows1252;
}

int ansiCodePage()
{
    int cp = g_ansiCodePage.load();
    return cp > 0 ? cp : localeAnsiCodePage();
}

void setAnsiCodePage(int codePage)
{
    g_ansiCodePage.store(codePage > 0 && isCodePageSupported(codePage) ? codePage : 0);
}

bool isCodePageSupported(int codePage)
{
    const QByteArray name = codecName(resolve(codePage));
    return !name.isEmpty() && QStringDecoder(name.constData()).isValid();
}

QString decodeText(QByteArrayView bytes, int codePage)
{
    const int cp = resolve(codePage);
    if (cp == CpUtf8)
        return QString::fromUtf8(bytes);
    if (cp == CpLatin1)
        return QString::fromLatin1(bytes);
    if (cp == CpUtf16Le || cp == CpUtf16Be)
        return fromUtf16Bytes(bytes, cp == CpUtf16Be);
    const QByteArray name = codecName(cp);
    QStringDecoder decoder(name.isEmpty() ? "ISO-8859-1" : name.constData());
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QByteArray encodeText(QStringView text, int codePage)
{
    const int cp = resolve(codePage);
    if (cp == CpUtf8)
        return text.toUtf8();
    if (cp == CpLatin1)
        return text.toLatin1();
    if (cp == CpUtf16Le || cp == CpUtf16Be)
        return toUtf16Bytes(text, cp == CpUtf16Be);
    const QByteArray name = codecName(cp);
    QStringEncoder encoder(name.isEmpty() ? "ISO-8859-1" : name.constData());
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

QString fromUtf16Bytes(QByteArrayView bytes, bool bigEndian)
{
    const qsizetype units = bytes.size() / 2;
    QString out(units, Qt::Uninitialized);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    for (qsizetype i = 0; i < units; ++i) {
        const uint8_t a = p[2 * i], b = p[2 * i + 1];
        out[i] = QChar(bigEndian ? char16_t(a << 8 | b) : char16_t(b << 8 | a));
    }
    return out;
}

QByteArray toUtf16Bytes(QStringView text, bool bigEndian)
{
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        out[2 * i] = char(bigEndian ? u >> 8 : u & 0xff);
        out[2 * i + 1] = char(bigEndian ? u & 0xff : u >> 8);
    }
    return out;
}

} // namespace vn
