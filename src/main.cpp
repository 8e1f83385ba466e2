#include "application.h"
#include "qzelkorwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    Application::setIdentity();
    QApplication app(argc, argv);
    // Desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(Application::DesktopId));
    Application::initResources();
    QZelKorWindow window;
    window.show();
    // Lets a demonstration or a script start with a database open.
    const QString database = qEnvironmentVariable("OSTROVEL_OPEN_DATABASE");
    if (!database.isEmpty())
        window.openDB(database);
    return app.exec();
}
