// The desktop program on a real X server (Xvfb), seen the way a desktop sees it: the window's title,
// class and icon as X properties, the menu bar opened with the mouse and walked with the keyboard,
// a utility dialog opened from its menu, and Exit, which ends the program cleanly.
#include "app/widgets/icons.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <optional>

namespace vn::test {
namespace {

// A top-level window of the X server with the properties the checks read.
struct XWindow {
    QString id;
    qint64 pid = -1;
    QString name;
    QString windowClass;
    QStringList types;
    bool viewable = false;
    bool overrideRedirect = false;
    QRect geometry;

    // Menus open as popups that place themselves, out of any window manager's hands.
    bool isMenu() const { return overrideRedirect; }
};

class XSession {
public:
    ~XSession()
    {
        for (QProcess* process : {&program_, &server_}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished(10000);
        }
    }

    // Starts Xvfb on a display number it picks itself (written to its standard output when it is
    // ready). Returns what went wrong, or an empty text.
    QString startServer()
    {
        server_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                               QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                               QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!server_.waitForStarted(10000))
            return QStringLiteral("Xvfb could not be started (scripts/install-deps installs it): ") + server_.errorString();
        QByteArray number;
        const QDeadlineTimer deadline(60000);
        while (!number.endsWith('\n') && !deadline.hasExpired() && server_.state() == QProcess::Running) {
            server_.waitForReadyRead(1000);
            number += server_.readAllStandardOutput();
        }
        if (!number.endsWith('\n'))
            return QStringLiteral("Xvfb did not start a display: ") + QString::fromLocal8Bit(server_.readAllStandardError());
        display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        return {};
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // Runs an X tool on the display and returns its output; a tool that cannot run fails the test.
    QString tool(const QString& program, const QStringList& arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(program, arguments);
        if (!process.waitForStarted(10000)) {
            ADD_FAILURE() << program.toStdString() << " could not be started (scripts/install-deps installs it)";
            return {};
        }
        if (!process.waitForFinished(60000))
            ADD_FAILURE() << program.toStdString() << " did not finish";
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    void startProgram(const QString& path, const QString& home, const QString& runtime)
    {
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("VORNELIC_HOME"), home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        // The libraries of the desktop leak at exit in ways that are not the program's.
        if (!env.contains(QStringLiteral("LSAN_OPTIONS")))
            env.insert(QStringLiteral("LSAN_OPTIONS"),
                       QStringLiteral("suppressions=" VORNELIC_SOURCE_DIR "/tests/lsan.supp:print_suppressions=0"));
        program_.setProcessEnvironment(env);
        program_.setProcessChannelMode(QProcess::ForwardedChannels);
        program_.start(path, {});
    }
    QProcess& program() { return program_; }

    std::vector<XWindow> topWindows() const
    {
        std::vector<XWindow> windows;
        static const QRegularExpression child(QStringLiteral("^\\s+(0x[0-9a-f]+) "), QRegularExpression::MultilineOption);
        const QString tree = tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-children")});
        for (auto it = child.globalMatch(tree); it.hasNext();) {
            XWindow w;
            w.id = it.next().captured(1);
            const QString props = tool(QStringLiteral("xprop"), {QStringLiteral("-id"), w.id, QStringLiteral("_NET_WM_PID"),
                                                                 QStringLiteral("_NET_WM_NAME"), QStringLiteral("WM_CLASS"),
                                                                 QStringLiteral("_NET_WM_WINDOW_TYPE")});
            for (const QString& line : props.split('\n')) {
                const qsizetype equals = line.indexOf(QLatin1String(" = "));
                if (equals < 0)
                    continue;
                const QString value = line.mid(equals + 3);
                if (line.startsWith(QLatin1String("_NET_WM_PID")))
                    w.pid = value.toLongLong();
                else if (line.startsWith(QLatin1String("_NET_WM_NAME")))
                    w.name = value.mid(1, value.size() - 2);
                else if (line.startsWith(QLatin1String("WM_CLASS")))
                    w.windowClass = value;
                else if (line.startsWith(QLatin1String("_NET_WM_WINDOW_TYPE")))
                    w.types = value.split(QLatin1String(", "));
            }
            const QString info = tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), w.id});
            auto number = [&info](const char* label) {
                const qsizetype at = info.indexOf(QLatin1String(label));
                return at < 0 ? -1 : info.mid(at + qsizetype(strlen(label))).section('\n', 0, 0).trimmed().toInt();
            };
            w.viewable = info.contains(QLatin1String("Map State: IsViewable"));
            w.overrideRedirect = info.contains(QLatin1String("Override Redirect State: yes"));
            w.geometry = QRect(number("Absolute upper-left X:"), number("Absolute upper-left Y:"), number("Width:"),
                               number("Height:"));
            windows.push_back(w);
        }
        return windows;
    }

    // Waits until a viewable window of the program matches; gives up when the program ends or
    // after a minute, so a missing window fails the test instead of hanging it.
    std::optional<XWindow> waitFor(const std::function<bool(const XWindow&)>& matches)
    {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired() && program_.state() == QProcess::Running) {
            for (const XWindow& w : topWindows()) {
                if (w.viewable && w.pid == program_.processId() && matches(w))
                    return w;
            }
            QThread::msleep(100);
        }
        return std::nullopt;
    }

    // Waits until no viewable window of the program matches.
    bool waitForNone(const std::function<bool(const XWindow&)>& matches)
    {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            bool any = false;
            for (const XWindow& w : topWindows())
                any = any || (w.viewable && w.pid == program_.processId() && matches(w));
            if (!any)
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    void clickAt(const XWindow& window, int x, int y) const
    {
        tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), window.id,
                                         QString::number(x), QString::number(y), QStringLiteral("click"),
                                         QStringLiteral("1")});
    }
    void key(const QString& name) const { tool(QStringLiteral("xdotool"), {QStringLiteral("key"), name}); }

private:
    QProcess server_;
    QProcess program_;
    QString display_;
};

// The images of _NET_WM_ICON: width, height, then width x height ARGB values, repeated.
std::vector<QImage> iconImages(const QString& xpropOutput)
{
    std::vector<QImage> images;
    const QStringList words = xpropOutput.section('=', 1).split(',', Qt::SkipEmptyParts);
    std::vector<quint32> values;
    for (const QString& word : words)
        values.push_back(word.trimmed().toUInt());
    size_t at = 0;
    while (at + 2 <= values.size()) {
        const int width = int(values[at]), height = int(values[at + 1]);
        at += 2;
        if (width <= 0 || height <= 0 || at + size_t(width) * size_t(height) > values.size())
            break;
        QImage image(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, values[at++]);
        images.push_back(image);
    }
    return images;
}

TEST(DesktopSessionTest, WindowTitleIconAndMenusOnAnXServer)
{
    XSession x;
    const QString failure = x.startServer();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    QTemporaryDir home, runtime;
    ASSERT_TRUE(home.isValid() && runtime.isValid());
    x.startProgram(QStringLiteral(VORNELIC_BIN_DIR "/vornelic"), home.path(), runtime.path());
    ASSERT_TRUE(x.program().waitForStarted(30000)) << "the desktop program did not start";

    const auto frame = x.waitFor([](const XWindow& w) { return w.name == QLatin1String("Vornelic (Zembrath)"); });
    ASSERT_TRUE(frame) << "no window titled \"Vornelic (Zembrath)\" appeared";
    EXPECT_EQ(frame->windowClass, "\"vornelic\", \"Vornelic\"");
    EXPECT_TRUE(frame->types.contains("_NET_WM_WINDOW_TYPE_NORMAL"));
    EXPECT_EQ(frame->geometry.size(), QSize(1024, 640));

    // The icon the desktop shows is the program's own, at every size it offers.
    const std::vector<QImage> icons = iconImages(
        x.tool("xprop", {"-id", frame->id, "-notype", "32c", "_NET_WM_ICON"}));
    std::vector<int> sizes;
    for (const QImage& image : icons) {
        sizes.push_back(image.width());
        EXPECT_EQ(image.width(), image.height());
        const QImage drawn = applicationIcon().pixmap(image.size()).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(image, drawn) << "icon " << image.width();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x0 = 0; x0 < image.width(); ++x0)
                opaque += qAlpha(image.pixel(x0, y)) == 255;
        EXPECT_GT(opaque, image.width() * image.height() / 4) << "a visible picture, not a blank square";
    }
    EXPECT_EQ(sizes, std::vector<int>({16, 32, 48, 64}));

    // The menu bar: a click opens the first menu, Right walks to the next ones and wraps around
    // after the fourth (File, Setting, Utility, Help).
    x.clickAt(*frame, 15, 10);
    auto menu = x.waitFor([](const XWindow& w) { return w.isMenu(); });
    ASSERT_TRUE(menu) << "clicking the menu bar opened no menu";
    std::vector<XWindow> menus{*menu};
    for (int i = 0; i < 6; ++i) {
        x.key("Right");
        const QString previous = menus.back().id;
        menu = x.waitFor([&previous](const XWindow& w) { return w.isMenu() && w.id != previous; });
        ASSERT_TRUE(menu) << "Right opened no further menu";
        if (menu->geometry.x() == menus.front().geometry.x())
            break;
        menus.push_back(*menu);
    }
    ASSERT_EQ(menus.size(), 4u);
    for (size_t i = 1; i < menus.size(); ++i)
        EXPECT_GT(menus[i].geometry.x(), menus[i - 1].geometry.x()) << "menu " << i;
    // Utility and Help hold two items each, Setting the most.
    EXPECT_EQ(menus[2].geometry.height(), menus[3].geometry.height());
    EXPECT_GT(menus[1].geometry.height(), menus[0].geometry.height());
    x.key("Escape");
    ASSERT_TRUE(x.waitForNone([](const XWindow& w) { return w.isMenu(); }));

    // The first item of the Utility menu opens its dialog over the window; Escape closes it.
    x.clickAt(*frame, menus[2].geometry.x() - frame->geometry.x() + 8, 10);
    const int utilityX = menus[2].geometry.x();
    ASSERT_TRUE(x.waitFor([utilityX](const XWindow& w) { return w.isMenu() && w.geometry.x() == utilityX; }));
    x.key("Down");
    x.key("Return");
    const auto dialog = x.waitFor([](const XWindow& w) { return w.name == QLatin1String("Misc File Copy Utility"); });
    ASSERT_TRUE(dialog) << "the Utility menu's first item opened no \"Misc File Copy Utility\" dialog";
    EXPECT_TRUE(dialog->types.contains("_NET_WM_WINDOW_TYPE_DIALOG"));
    EXPECT_TRUE(frame->geometry.contains(dialog->geometry.center()));
    x.key("Escape");
    ASSERT_TRUE(x.waitForNone([](const XWindow& w) { return w.name == QLatin1String("Misc File Copy Utility"); }));

    // File, then its last item, Exit: the program saves its settings and ends cleanly.
    x.clickAt(*frame, 15, 10);
    ASSERT_TRUE(x.waitFor([](const XWindow& w) { return w.isMenu(); }));
    x.key("Up");
    x.key("Return");
    ASSERT_TRUE(x.program().waitForFinished(60000)) << "Exit did not end the program";
    EXPECT_EQ(x.program().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(x.program().exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(home.filePath("Vornelic.ini")));
}

} // namespace
} // namespace vn::test
