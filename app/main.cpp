#include "app/window/main_window.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vornelic"));
    QApplication::setApplicationVersion(QStringLiteral(VORNELIC_VERSION));
    vn::MainWindow window;
    window.show();
    return app.exec();
}
