#pragma once
// Conversions between the program's wide text (QString) and the byte encodings it meets at its
// edges: UTF-8, UTF-16 of either byte order, ISO-8859-1 and Windows code pages.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace vn {

enum CodePage : int {
    CpAnsi = 0, // "the system ANSI code page": see ansiCodePage()
    CpShiftJis = 932,
    CpUtf16Le = 1200,
    CpUtf16Be = 1201,
    CpWindows1252 = 1252,
    CpEucJp = 20932,
    CpLatin1 = 28591,
    CpIso2022Jp = 50222,
    CpUtf8 = 65001,
};

// The code page that stands for the system ANSI code page. It is process-wide, as the platform's
// was; the settings file may choose it, otherwise it follows the locale.
int ansiCodePage();
void setAnsiCodePage(int codePage);
// 932 for Japanese locales, else 1252.
int localeAnsiCodePage();

// True when the code page (0 included) can be converted here.
bool isCodePageSupported(int codePage);

// Invalid sequences become U+FFFD; an unsupported code page falls back to ISO-8859-1.
QString decodeText(QByteArrayView bytes, int codePage);
QByteArray encodeText(QStringView text, int codePage);

QString fromUtf16Bytes(QByteArrayView bytes, bool bigEndian);
QByteArray toUtf16Bytes(QStringView text, bool bigEndian);

// The code page of a byte string, by three recognisers run side by side (EUC-JP, Shift_JIS, UTF-8),
// escape sequences and byte-order marks: 0 for plain printable ASCII, a code page number, or -1.
int detectCodePage(QByteArrayView bytes);

} // namespace vn
