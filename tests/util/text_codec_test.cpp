#include "util/text_codec.h"
#include "util/text_helpers.h"

#include <gtest/gtest.h>

using namespace vn;

namespace {

int detect(const char* bytes)
{
    return detectCodePage(QByteArrayView(bytes));
}

TEST(DetectCodePage, RecognisesJapaneseAndWesternText)
{
    EXPECT_EQ(detect(""), 0);
    EXPECT_EQ(detect("Plain ASCII text ~!"), 0);
    EXPECT_EQ(detect("\xE3\x81\x82"), CpUtf8);
    EXPECT_EQ(detect("\x82\xA0"), CpShiftJis);
    EXPECT_EQ(detect("\xA4\xA2"), CpEucJp);
    EXPECT_EQ(detect("line one\r\nline two\n"), CpUtf8); // all alive, the tie goes to UTF-8
    EXPECT_EQ(detect("\xE9"), CpUtf8);                   // an unfinished sequence is still alive
    EXPECT_EQ(detect("abc\x1b$B\x30\x22"), CpIso2022Jp);
    EXPECT_EQ(detect("abc\x1b(B"), CpIso2022Jp);
    EXPECT_EQ(detect("\xFF\xFE" "a"), CpUtf16Le);
    EXPECT_EQ(detect("\xFE\xFF" "a"), CpUtf16Be);
    // Real texts in each encoding.
    const QString japanese = QStringLiteral("日本語のタイトル");
    EXPECT_EQ(detectCodePage(encodeText(japanese, CpUtf8)), CpUtf8);
    EXPECT_EQ(detectCodePage(encodeText(japanese, CpShiftJis)), CpShiftJis);
    EXPECT_EQ(detectCodePage(encodeText(japanese, CpEucJp)), CpEucJp);
    // Bytes after a NUL are not part of the text.
    EXPECT_EQ(detectCodePage(QByteArrayView("abc\0\x82\xA0", 6)), 0);
}

TEST(TextCodec, ConvertsEveryEdgeEncoding)
{
    const QString text = QStringLiteral("Caf\u00e9 \u65e5\u672c \U0001F3B5");
    EXPECT_EQ(decodeText(encodeText(text, CpUtf8), CpUtf8), text);
    EXPECT_EQ(decodeText(encodeText(text, CpUtf16Le), CpUtf16Le), text);
    EXPECT_EQ(fromUtf16Bytes(toUtf16Bytes(text, true), true), text);
    EXPECT_EQ(toUtf16Bytes(QStringLiteral("A"), true), QByteArray("\0A", 2));
    EXPECT_EQ(toUtf16Bytes(QStringLiteral("A"), false), QByteArray("A\0", 2));
    EXPECT_EQ(fromUtf16Bytes(QByteArray("\0A\0", 3), true), QStringLiteral("A")); // odd byte dropped
    EXPECT_EQ(decodeText("\xE9t\xE9", CpLatin1), QStringLiteral("\u00e9t\u00e9"));
    EXPECT_EQ(decodeText("\x80", CpWindows1252), QStringLiteral("\u20ac"));
    EXPECT_EQ(decodeText("\x82\xA0", CpShiftJis), QStringLiteral("\u3042"));
    EXPECT_EQ(decodeText("\xA4\xA2", CpEucJp), QStringLiteral("\u3042"));
    EXPECT_EQ(decodeText("\x1b$B$\"\x1b(B", CpIso2022Jp), QStringLiteral("\u3042"));
    EXPECT_EQ(encodeText(QStringLiteral("\u3042"), CpShiftJis), QByteArray("\x82\xA0"));
}

TEST(TextCodec, TheAnsiCodePageFollowsTheSettingAndRefusesAnUnknownOne)
{
    setAnsiCodePage(CpShiftJis);
    EXPECT_EQ(decodeText("\x82\xA0", CpAnsi), QStringLiteral("\u3042"));
    setAnsiCodePage(CpWindows1252);
    EXPECT_EQ(decodeText("\x80", CpAnsi), QStringLiteral("\u20ac"));
    setAnsiCodePage(12345);
    EXPECT_EQ(ansiCodePage(), localeAnsiCodePage());
    EXPECT_FALSE(isCodePageSupported(12345));
}

TEST(TextHelpers, QuotesBlanksAndCapacity)
{
    QString s = QStringLiteral("say \"hi\"");
    escapeQuotes(s);
    EXPECT_EQ(s, QStringLiteral("say \\\"hi\\\""));
    EXPECT_EQ(copyWithoutSpaces(u"qaac 2.80 (CoreAudio)", 8), QStringLiteral("qaac2.8"));
    EXPECT_EQ(QuoteIfSpaced(QStringLiteral("/opt/my tools/qaac")), QStringLiteral("\"/opt/my tools/qaac\""));
    EXPECT_EQ(QuoteIfSpaced(QStringLiteral("/usr/bin/ffmpeg")), QStringLiteral("/usr/bin/ffmpeg"));
    EXPECT_EQ(truncateToCapacity(QStringLiteral("a\U0001F3B5"), 3), QStringLiteral("a")); // no half pair
    EXPECT_EQ(truncateToCapacity(QStringLiteral("abc"), 4), QStringLiteral("abc"));
}

} // namespace
