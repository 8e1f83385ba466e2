#include "application.h"

#include "qtcompat.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTranslator>

void Application::setIdentity()
{
    QCoreApplication::setApplicationVersion(QString::fromLatin1(Version));
    QCoreApplication::setOrganizationName(QString::fromLatin1(Domain));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(Domain));
}

// The resource macro must be used outside any namespace.
static void initOstrovelResources()
{
    Q_INIT_RESOURCE(ostrovel);
    Q_INIT_RESOURCE(database);
    Q_INIT_RESOURCE(firmware);
}

void Application::initResources()
{
    initOstrovelResources();
}

void Application::installTranslations()
{
    const QString folder = QtCompat::translationsPath();
    for (const char* catalog : {"qtbase_ru", "qtserialport_ru"}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QString::fromLatin1(catalog), folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

QSettings Application::settings()
{
    return QSettings(QString::fromLatin1(Domain),
                     QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}
