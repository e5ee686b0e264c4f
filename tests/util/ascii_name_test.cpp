#include "util/ascii_name.h"

#include <gtest/gtest.h>

using namespace vn;

namespace {

struct Named {
    const char16_t* input;
    int capacity;
    const char* ascii;
};

TEST(AsciiName, TransliteratesKatakanaByWorkedExamples)
{
    const Named cases[] = {
        {u"ラーメン", 100, "raamen"}, {u"カッパ", 100, "kappa"},       {u"ーア", 100, "-a"},
        {u"キャッチョ", 100, "kyaccho"}, {u"ア１イ", 100, "a_i"},        // outside the tables
        {u"ッ１カ", 100, "_kka"},        // doubling survives an unknown
        {u"シンブン", 5, "shin"},        // cut at the capacity
    };
    for (const Named& c : cases)
        EXPECT_EQ(transliterate(c.input, c.capacity), QString::fromUtf8(c.ascii)) << c.ascii;
}

TEST(AsciiName, KeepsAsciiMapsTheRestAndReadsKanaWithoutADictionary)
{
    const Named cases[] = {
        {u"01 Title.mp3", 1022, "01_Title_mp3"}, {u"a-b_c/d:e", 1022, "a-b_c_d_e"},
        {u"01 さくら.mp3", 1022, "01_sakura_mp3"}, {u"ラーメン", 4, "raa"}, {u"", 10, ""},
    };
    for (const Named& c : cases)
        EXPECT_EQ(MakeAsciiName(c.input, c.capacity), QString::fromUtf8(c.ascii)) << c.ascii;
    EXPECT_EQ(katakanaReading(u"さくら"), QStringLiteral("サクラ"));
}

TEST(AsciiName, KanjiAreReadByTheAnalyser)
{
    // MeCab and its dictionary are installed by scripts/install-deps.
    ASSERT_TRUE(readingsAvailable());
    EXPECT_EQ(katakanaReading(u"東京"), QStringLiteral("トウキョウ"));
    EXPECT_EQ(MakeAsciiName(u"東京 2020", 1022), QStringLiteral("toukyou_2020"));
    EXPECT_EQ(MakeAsciiName(u"日本の歌", 1022), QStringLiteral("nipponnouta"));
}

} // namespace
