#include "application.h"
#include "qzelkorwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    Application::setIdentity();
    QApplication app(argc, argv);
    Application::initResources();
    QZelKorWindow window;
    window.show();
    return app.exec();
}
