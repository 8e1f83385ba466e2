#include "datafolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString fromEnvironment(const char* name)
{
    return QDir::cleanPath(qEnvironmentVariable(name));
}

} // namespace

QString DataFolders::base()
{
    // The generic location, not the per-executable one: the window and the command-line tool
    // are two executables with one journal.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/ostrovel");
}

QString DataFolders::defaultJournalFile()
{
    if (!qEnvironmentVariableIsEmpty("OSTROVEL_JOURNAL"))
        return fromEnvironment("OSTROVEL_JOURNAL");
    return base() + QStringLiteral("/journal.sqlite");
}

QString DataFolders::snapshotFolder(const QString& databaseFile)
{
    const QFileInfo file(databaseFile);
    // The canonical path where the file exists, so that a link or "../" names the same
    // database; the absolute path of a file not yet written.
    QString path = file.canonicalFilePath();
    if (path.isEmpty())
        path = file.absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);

    QString name = file.completeBaseName();
    // Keep the folder name portable whatever the database was called.
    for (QChar& c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    return snapshotsRoot() + QLatin1Char('/') + name.left(64) + QLatin1Char('-') +
           QString::fromLatin1(hash);
}

QString DataFolders::snapshotsRoot()
{
    return qEnvironmentVariableIsEmpty("OSTROVEL_SNAPSHOTS")
               ? base() + QStringLiteral("/snapshots")
               : fromEnvironment("OSTROVEL_SNAPSHOTS");
}
