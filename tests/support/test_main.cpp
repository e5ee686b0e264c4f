// The main of every test program: a Qt application object first (the window tests need a
// QApplication, the others a QCoreApplication), then GoogleTest.
#include <gtest/gtest.h>

#ifdef VORNELIC_GUI_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
#ifdef VORNELIC_GUI_TESTS
    // The window tests never need a screen, and listing them (as ctest does before running them)
    // must work without one too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
#endif
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
