#include "startupenvironment.h"

#include "portlist.h"
#include "qzelkorwindow.h"

void applyStartupEnvironment(QZelKorWindow* window)
{
    const QString database = qEnvironmentVariable("OSTROVEL_OPEN_DATABASE");
    if (!database.isEmpty())
        window->openDB(database);
    const QString port = startupPort();
    if (!port.isEmpty())
        window->connectPort(port);
}
