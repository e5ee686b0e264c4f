// The installed program: this build installed into an empty prefix runs from there, finds its
// manual in the share folder (also after the prefix is moved), keeps its settings out of its own
// bin folder, and brings a desktop entry that desktop-file-validate accepts with an icon it names.
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

// Runs an installed program with no VORNELIC_HOME, and HOME and the configuration folder in home.
ProcessResult runInstalled(const QString& program, const QStringList& args, const QString& home)
{
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("VORNELIC_HOME"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3, p.readAllStandardOutput(), p.readAllStandardError()};
}

QString valueOf(const QByteArray& text, const QByteArray& key)
{
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(key + '='))
            return QString::fromUtf8(line.mid(key.size() + 1));
    }
    return {};
}

// This build installed into an empty prefix.
class Install : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ProcessResult install = runProcess(VORNELIC_CMAKE, {"--install", VORNELIC_BUILD_DIR, "--prefix", prefix});
        ASSERT_EQ(install.exitCode, 0) << install.out.toStdString() << install.err.toStdString();
    }
    ProcessResult cli(const QString& prefixNow, const QStringList& args)
    {
        return runInstalled(prefixNow + "/bin/vornelic-cli", args, home);
    }
    QTemporaryDir dir;
    const QString prefix = dir.filePath("prefix"), home = dir.filePath("home");
    const QString manual = prefix + "/share/vornelic/Vornelic_help.htm";
};

TEST_F(Install, PutsTheProgramsInBinAndTheManualInTheShareFolder)
{
    for (const char* program : {"/bin/vornelic", "/bin/vornelic-cli", "/bin/vornelic-cli-devices"})
        EXPECT_TRUE(QFileInfo(prefix + program).isExecutable()) << program;
    EXPECT_EQ(readFile(manual), readFile(VORNELIC_SOURCE_DIR "/app/resources/beside_exe/Vornelic_help.htm"));
    EXPECT_EQ(QDir(prefix + "/bin").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"vornelic", "vornelic-cli", "vornelic-cli-devices"}));
}

TEST_F(Install, TheInstalledProgramNamesTheManualItFindsAlsoAfterThePrefixMoved)
{
    ProcessResult help = cli(prefix, {"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("playlist-ext") && help.out.contains("copy-misc"));
    EXPECT_TRUE(help.out.contains("User's manual: " + manual.toUtf8() + "\n")) << help.out.toStdString();
    const QString moved = dir.filePath("moved");
    ASSERT_TRUE(QDir().rename(prefix, moved));
    help = cli(moved, {"--help"});
    EXPECT_TRUE(help.out.contains("User's manual: " + moved.toUtf8() + "/share/vornelic/Vornelic_help.htm\n"))
        << help.out.toStdString();
}

// The commands that need the device libraries are handed to the program beside the installed one.
TEST_F(Install, ADeviceCommandIsHandedToTheProgramBesideIt)
{
    const ProcessResult play = cli(prefix, {"play"});
    EXPECT_EQ(play.exitCode, 2);
    EXPECT_TRUE(play.err.contains("usage: vornelic-cli [--ini FILE] play ")) << play.err.toStdString();
}

TEST_F(Install, TheDesktopEntryIsValidAndNamesTheInstalledProgramAndIcon)
{
    const QString entry = prefix + "/share/applications/vornelic.desktop";
    const QString icon = prefix + "/share/icons/hicolor/scalable/apps/vornelic.svg";
    const ProcessResult valid = runProcess("desktop-file-validate", {entry});
    EXPECT_EQ(valid.exitCode, 0) << "desktop-file-validate: " << valid.out.toStdString() << valid.err.toStdString();
    EXPECT_TRUE(valid.out.isEmpty() && valid.err.isEmpty()) << valid.out.toStdString() << valid.err.toStdString();
    const QByteArray desktop = readFile(entry);
    EXPECT_TRUE(QFileInfo(prefix + "/bin/" + valueOf(desktop, "Exec")).isExecutable());
    EXPECT_EQ(valueOf(desktop, "Icon") + ".svg", QFileInfo(icon).fileName());
    QXmlStreamReader svg(readFile(icon));
    ASSERT_TRUE(svg.readNextStartElement());
    EXPECT_EQ(svg.name(), u"svg");
    EXPECT_FALSE(svg.attributes().value("viewBox").isEmpty());
    while (!svg.atEnd())
        svg.readNext();
    EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();
}

TEST_F(Install, SettingsGoToTheUsersFolderUnlessAFileBesideTheProgramMakesItPortable)
{
    // Not into bin, even where bin is writable.
    ProcessResult settings = cli(prefix, {"settings"});
    EXPECT_EQ(settings.exitCode, 0) << settings.err.toStdString();
    EXPECT_EQ(valueOf(settings.out, "Path_A"), home + "/config/Vornelic");
    EXPECT_EQ(QDir(prefix + "/bin").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"vornelic", "vornelic-cli", "vornelic-cli-devices"}));
    ASSERT_TRUE(writeFile(prefix + "/bin/Vornelic.ini", "[Folder]\r\n"));
    settings = cli(prefix, {"settings"});
    EXPECT_EQ(valueOf(settings.out, "Path_A"), prefix + "/bin");
}

} // namespace
} // namespace vn::test
