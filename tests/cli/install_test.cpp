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

TEST(Install, IntoAnEmptyPrefixGivesAWorkingDesktopProgram)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("prefix"));
    const ProcessResult install = runProcess(QStringLiteral(VORNELIC_CMAKE),
                                             {"--install", VORNELIC_BUILD_DIR, "--prefix", prefix});
    ASSERT_EQ(install.exitCode, 0) << install.out.toStdString() << install.err.toStdString();

    const QString manual = prefix + QStringLiteral("/share/vornelic/Vornelic_help.htm");
    const QString entry = prefix + QStringLiteral("/share/applications/vornelic.desktop");
    const QString icon = prefix + QStringLiteral("/share/icons/hicolor/scalable/apps/vornelic.svg");
    for (const QString& program : {QStringLiteral("/bin/vornelic"), QStringLiteral("/bin/vornelic-cli")})
        EXPECT_TRUE(QFileInfo(prefix + program).isExecutable()) << program.toStdString();
    EXPECT_EQ(readFile(manual), readFile(QStringLiteral(VORNELIC_SOURCE_DIR "/app/resources/beside_exe/Vornelic_help.htm")));
    EXPECT_FALSE(QFileInfo::exists(prefix + QStringLiteral("/bin/Vornelic_help.htm")));

    // The command-line program runs from there and names the manual it finds.
    const QString home = dir.filePath(QStringLiteral("home"));
    ProcessResult help = runInstalled(prefix + QStringLiteral("/bin/vornelic-cli"), {"--help"}, home);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("playlist-ext") && help.out.contains("copy-misc"));
    EXPECT_TRUE(help.out.contains("User's manual: " + manual.toUtf8() + "\n")) << help.out.toStdString();

    // The desktop entry is valid, starts the installed program and names the installed icon.
    const ProcessResult valid = runProcess(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(valid.exitCode, 0) << "desktop-file-validate: " << valid.out.toStdString() << valid.err.toStdString();
    EXPECT_TRUE(valid.out.isEmpty() && valid.err.isEmpty()) << valid.out.toStdString() << valid.err.toStdString();
    const QByteArray desktop = readFile(entry);
    EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("/bin/") + valueOf(desktop, "Exec")).isExecutable());
    EXPECT_EQ(valueOf(desktop, "Icon") + QStringLiteral(".svg"), QFileInfo(icon).fileName());
    QXmlStreamReader svg(readFile(icon));
    ASSERT_TRUE(svg.readNextStartElement());
    EXPECT_EQ(svg.name(), u"svg");
    EXPECT_FALSE(svg.attributes().value(QStringLiteral("viewBox")).isEmpty());
    while (!svg.atEnd())
        svg.readNext();
    EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();

    // Settings go to the user's configuration folder, not into bin, even where bin is writable.
    ProcessResult settings = runInstalled(prefix + QStringLiteral("/bin/vornelic-cli"), {"settings"}, home);
    EXPECT_EQ(settings.exitCode, 0) << settings.err.toStdString();
    EXPECT_EQ(valueOf(settings.out, "Path_A"), home + QStringLiteral("/config/Vornelic"));
    EXPECT_EQ(QDir(prefix + QStringLiteral("/bin")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"vornelic", "vornelic-cli", "vornelic-cli-devices"}));
    // A device command is handed to the program beside it, which answers.
    const ProcessResult play = runInstalled(prefix + QStringLiteral("/bin/vornelic-cli"), {"play"}, home);
    EXPECT_EQ(play.exitCode, 2);
    EXPECT_TRUE(play.err.contains("usage: vornelic-cli [--ini FILE] play ")) << play.err.toStdString();
    // A settings file put beside the program makes it a portable one again.
    ASSERT_TRUE(writeFile(prefix + QStringLiteral("/bin/Vornelic.ini"), "[Folder]\r\n"));
    settings = runInstalled(prefix + QStringLiteral("/bin/vornelic-cli"), {"settings"}, home);
    EXPECT_EQ(valueOf(settings.out, "Path_A"), prefix + QStringLiteral("/bin"));

    // A prefix moved elsewhere still finds its manual.
    const QString moved = dir.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().rename(prefix, moved));
    help = runInstalled(moved + QStringLiteral("/bin/vornelic-cli"), {"--help"}, home);
    EXPECT_TRUE(help.out.contains("User's manual: " + moved.toUtf8() + "/share/vornelic/Vornelic_help.htm\n"))
        << help.out.toStdString();
}

} // namespace
} // namespace vn::test
