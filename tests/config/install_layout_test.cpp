// Where the program finds its manual, and when its folder counts as an installed one.
#include "config/install_layout.h"
#include "support/test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

struct InstallLayout : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(QFileInfo(shared).absolutePath())); }
    QTemporaryDir dir;
    const QString bin = dir.filePath("usr/bin");
    const QString shared = dir.filePath("usr/share/vornelic/Vornelic_help.htm");
    const QString beside = bin + "/Vornelic_help.htm";
};

TEST_F(InstallLayout, WithNoManualAnywhereNamesThePlaceBesideTheProgram)
{
    EXPECT_EQ(findManual(bin), beside); // for the message that it is missing
    EXPECT_FALSE(isInstalledLayout(bin));
}

TEST_F(InstallLayout, FindsTheManualInTheShareFolderUnlessACopyIsBesideTheProgram)
{
    ASSERT_TRUE(writeFile(shared, "<html></html>"));
    EXPECT_EQ(findManual(bin), shared);
    EXPECT_EQ(findManual(bin + "/"), shared);
    EXPECT_TRUE(isInstalledLayout(bin));
    ASSERT_TRUE(writeFile(beside, "<html></html>"));
    EXPECT_EQ(findManual(bin), beside); // a portable copy beside the program wins
}

TEST_F(InstallLayout, AFolderOfTheManualsNameIsNoManual)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath("other/share/vornelic/Vornelic_help.htm")));
    EXPECT_FALSE(isInstalledLayout(dir.filePath("other/bin")));
}

} // namespace
} // namespace vn::test
