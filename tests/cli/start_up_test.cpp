// vornelic-cli without the device libraries: it does not load them, lists the device commands with
// the texts of the program that has them, and hands those commands over so that they answer exactly
// as that program does.
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

QString devicesPath()
{
    return QFileInfo(cliPath()).dir().filePath(QStringLiteral("vornelic-cli-devices"));
}

// The libraries a program names to the dynamic linker, as readelf lists them.
QStringList neededLibraries(const QString& program)
{
    const ProcessResult r = runProcess(QStringLiteral("readelf"), {QStringLiteral("-d"), program});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    QStringList out;
    static const QRegularExpression needed(QStringLiteral("\\(NEEDED\\).*\\[(.+)\\]"));
    for (const QString& line : QString::fromUtf8(r.out).split(u'\n')) {
        if (const QRegularExpressionMatch m = needed.match(line); m.hasMatch())
            out << m.captured(1);
    }
    return out;
}

TEST(StartUp, TheCommandLineProgramLeavesTheDeviceLibrariesToItsPartner)
{
    const QStringList light = neededLibraries(cliPath());
    const QStringList full = neededLibraries(devicesPath());
    ASSERT_TRUE(light.contains(QStringLiteral("libQt6Core.so.6"))) << light.join(u' ').toStdString();
    for (const char* library : {"libQt6Multimedia", "libQt6Network", "libQt6Gui", "libcdio"}) {
        const auto named = [&](const QStringList& list) {
            return std::any_of(list.begin(), list.end(), [&](const QString& l) { return l.startsWith(QLatin1String(library)); });
        };
        EXPECT_FALSE(named(light)) << library;
        EXPECT_TRUE(named(full)) << library;
    }
}

TEST(StartUp, DeviceCommandsAreListedAndAnsweredAsThePartnerDoes)
{
    QTemporaryDir home;
    qputenv("VORNELIC_HOME", home.path().toUtf8());
    const ProcessResult help = runProcess(cliPath(), {QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, runProcess(devicesPath(), {QStringLiteral("--help")}).out);
    for (const char* command : {"play FILE|CUE[#TRACK]", "drives [DEVICE ...]", "rip DRIVE --cue OUT.cue", "cddb CUE"})
        EXPECT_TRUE(help.out.contains(QByteArray("  ") + command)) << command;

    // Usage errors, a file that is not there, global options before the command: the same answer,
    // the same exit code.
    const QString missing = home.filePath(QStringLiteral("none.cue"));
    const QString ini = home.filePath(QStringLiteral("other.ini"));
    const QList<QStringList> runs = {
        {QStringLiteral("play")},
        {QStringLiteral("play"), missing, QStringLiteral("--seconds"), QStringLiteral("x")},
        {QStringLiteral("drives"), missing},
        {QStringLiteral("--ini"), ini, QStringLiteral("rip"), missing},
        {QStringLiteral("cddb")},
        {QStringLiteral("--verbose"), QStringLiteral("cddb"), missing},
    };
    for (const QStringList& args : runs) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const ProcessResult handed = runProcess(cliPath(), args);
        const ProcessResult direct = runProcess(devicesPath(), args);
        EXPECT_NE(handed.exitCode, -1);
        EXPECT_EQ(handed.exitCode, direct.exitCode);
        EXPECT_EQ(handed.out, direct.out);
        EXPECT_EQ(handed.err, direct.err);
    }
    qunsetenv("VORNELIC_HOME");
}

} // namespace
} // namespace vn::test
