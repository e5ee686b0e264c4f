#pragma once
// Shared by the window tests: a private settings folder, finding controls by their numbers, and
// answering the modal dialogs the window opens.

#include "app/main_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace vn::test {

// Runs handler on the next modal dialog, once it is open. Gives up after a few seconds so a test
// that expected a dialog fails instead of hanging.
inline void onNextModal(std::function<void(QWidget*)> handler)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, handler] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && clock->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (modal)
            handler(modal);
    });
    timer->start();
}

template <typename T = QWidget> T* child(QObject* parent, const QString& name)
{
    return parent->findChild<T*>(name);
}

template <typename T = QWidget> T* child(QObject* parent, int id)
{
    return parent->findChild<T*>(QString::number(id));
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
        QFile file(home.filePath(QStringLiteral("Vornelic.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    MainWindow& open(std::optional<EncoderAvailability> encoders = EncoderAvailability{})
    {
        window = std::make_unique<MainWindow>(encoders);
        return *window;
    }

    QAction* action(int id) const { return window->menus().action(id); }

    QTemporaryDir home;
    std::unique_ptr<MainWindow> window;
};

} // namespace vn::test
