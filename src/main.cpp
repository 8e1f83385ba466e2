#include "application.h"
#include "qzelkorwindow.h"
#include "startupenvironment.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    Application::setIdentity();
    QApplication app(argc, argv);
    // Desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(Application::DesktopId));
    Application::initResources();
    Application::installTranslations();
    QZelKorWindow window;
    window.show();
    applyStartupEnvironment(&window);
    return app.exec();
}
