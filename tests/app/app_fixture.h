#pragma once
// Shared by the window tests: a private settings folder, finding controls by their numbers, and
// answering the modal dialogs the window opens.

#include "app/window/main_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

namespace vn::test {

// Runs handler on the next modal dialog, once it is open. Gives up after a few seconds so a test
// that expected a dialog fails instead of hanging.
inline void onNextModal(std::function<void(QWidget*)> handler)
{
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, handler] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (modal)
            handler(modal);
    });
    timer->start(5);
}

template <typename T = QWidget> T* child(QObject* parent, const QString& name)
{
    return parent->findChild<T*>(name);
}

template <typename T = QWidget> T* child(QObject* parent, int id)
{
    return parent->findChild<T*>(QString::number(id));
}

inline void pressEscape(QWidget* widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
}

// Answers the next input box: types text, then presses the button with that number, the close box
// for 0 or Escape for -1. shown, if given, receives the text the box offered.
inline void answerNextInput(const QString& text, int button, QString* shown = nullptr)
{
    onNextModal([text, button, shown](QWidget* dialog) {
        auto* edit = child<QLineEdit>(dialog, 6207);
        if (shown)
            *shown = edit->text();
        edit->setText(text);
        if (button > 0)
            child<QAbstractButton>(dialog, button)->click();
        else if (button < 0)
            pressEscape(dialog);
        else
            dialog->close();
    });
}

// A window over its own settings folder. VORNELIC_HOME points there while the fixture lives.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("VORNELIC_HOME", home.path().toUtf8());
    }
    void TearDown() override
    {
        if (window) {
            window->close();
            window.reset();
        }
        qunsetenv("VORNELIC_HOME");
    }

    // Writes Vornelic.ini before the window reads it. The default folders are made too, so that only
    // the folders a test names can be missing.
    void writeIni(const QByteArray& text)
    {
        for (const char* folder : {"bkup", "output", "temp"})
            QDir(home.path()).mkpath(QLatin1String(folder));
        ASSERT_TRUE(writeFile(home.filePath(QStringLiteral("Vornelic.ini")), text));
    }

    MainWindow& open(std::optional<EncoderAvailability> encoders = EncoderAvailability{})
    {
        window = std::make_unique<MainWindow>(encoders);
        return *window;
    }

    QAction* action(int id) const { return window->menus().action(id); }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(window.get(), QLatin1String(name)); }
    void click(int id) const { child<QAbstractButton>(window.get(), id)->click(); }
    bool enabled(int id) const { return child(window.get(), id)->isEnabled(); }

    // Runs a command that opens a dialog and closes it; "title|text", the text being a message box's
    // text or a text box's body.
    QString boxOf(int id)
    {
        QString seen;
        onNextModal([&seen](QWidget* dialog) {
            auto* body = dialog->findChild<QPlainTextEdit*>();
            auto* box = qobject_cast<QMessageBox*>(dialog);
            seen = dialog->windowTitle() + '|' + (body ? body->toPlainText() : box ? box->text() : QString());
            dialog->close();
        });
        window->runCommand(id);
        return seen;
    }

    QTemporaryDir home;
    std::unique_ptr<MainWindow> window;
};

} // namespace vn::test
