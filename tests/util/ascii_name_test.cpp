#include "util/ascii_name.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace vn;

TEST(AsciiName, AsciiIsMappedAndKanaTransliterated)
{
    EXPECT_EQ(MakeAsciiName(u"01 Title.mp3", 1022), QStringLiteral("01_Title_mp3"));
    EXPECT_EQ(MakeAsciiName(u"a-b_c/d:e", 1022), QStringLiteral("a-b_c_d_e"));
    EXPECT_EQ(transliterate(u"ラーメン", 100), QStringLiteral("raamen"));
    EXPECT_EQ(transliterate(u"カッパ", 100), QStringLiteral("kappa"));
    EXPECT_EQ(transliterate(u"ーア", 100), QStringLiteral("-a"));
    EXPECT_EQ(transliterate(u"キャッチョ", 100), QStringLiteral("kyaccho"));
    EXPECT_EQ(transliterate(u"ア１イ", 100), QStringLiteral("a_i")); // outside the tables
    EXPECT_EQ(transliterate(u"ッ１カ", 100), QStringLiteral("_kka"));   // doubling survives an unknown
    EXPECT_EQ(transliterate(u"シンブン", 5), QStringLiteral("shin"));  // cut at the capacity

    // Kana need no dictionary: hiragana are read as katakana.
    EXPECT_EQ(katakanaReading(u"さくら"), QStringLiteral("サクラ"));
    EXPECT_EQ(MakeAsciiName(u"01 さくら.mp3", 1022), QStringLiteral("01_sakura_mp3"));
    EXPECT_EQ(MakeAsciiName(u"ラーメン", 4), QStringLiteral("raa"));
    EXPECT_EQ(MakeAsciiName(u"", 10), QString());
}

TEST(AsciiName, KanjiAreReadByTheAnalyser)
{
    if (!readingsAvailable())
        GTEST_SKIP() << "no morphological analyser with a dictionary";
    EXPECT_EQ(katakanaReading(u"東京"), QStringLiteral("トウキョウ"));
    EXPECT_EQ(MakeAsciiName(u"東京 2020", 1022), QStringLiteral("toukyou_2020"));
    EXPECT_EQ(MakeAsciiName(u"日本の歌", 1022), QStringLiteral("nipponnouta"));
}
