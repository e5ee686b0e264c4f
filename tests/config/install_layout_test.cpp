// Where the program finds its manual, and when its folder counts as an installed one.
#include "config/install_layout.h"
#include "support/test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

TEST(InstallLayout, ManualBesideTheProgramFirstThenInTheShareFolder)
{
    QTemporaryDir dir;
    const QString bin = dir.filePath(QStringLiteral("usr/bin"));
    const QString shared = dir.filePath(QStringLiteral("usr/share/vornelic/Vornelic_help.htm"));
    const QString beside = bin + QStringLiteral("/Vornelic_help.htm");
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(QFileInfo(shared).absolutePath()));

    // Nothing anywhere: the place beside the program, for the message that it is missing.
    EXPECT_EQ(findManual(bin), beside);
    EXPECT_FALSE(isInstalledLayout(bin));

    ASSERT_TRUE(writeFile(shared, "<html></html>"));
    EXPECT_EQ(findManual(bin), shared);
    EXPECT_EQ(findManual(bin + QStringLiteral("/")), shared);
    EXPECT_TRUE(isInstalledLayout(bin));

    ASSERT_TRUE(writeFile(beside, "<html></html>"));
    EXPECT_EQ(findManual(bin), beside); // a portable copy beside the program wins

    // A folder of that name is no manual.
    QTemporaryDir other;
    ASSERT_TRUE(QDir().mkpath(other.filePath(QStringLiteral("share/vornelic/Vornelic_help.htm"))));
    EXPECT_FALSE(isInstalledLayout(other.filePath(QStringLiteral("bin"))));
}

} // namespace
} // namespace vn::test
