// Test-data generation benchmark: the program's generator against the sqlite3 shell running
// the same inserts from a script in one transaction, on two copies of the template.
#include "application.h"
#include "databasefile.h"
#include "qtcompat.h"
#include "taskconnection.h"
#include "testdatagenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

QString fields(QRandomGenerator& random)
{
    QStringList values;
    for (int n = 0; n < 10; ++n)
        values << QStringLiteral("'Случайное число: %1'").arg(random.generate());
    return values.join(QStringLiteral(", "));
}

bool writeScript(const QString& path)
{
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&script);
    QtCompat::setUtf8(out);
    QRandomGenerator random(1);
    out << "PRAGMA foreign_keys = ON;\nBEGIN TRANSACTION;\n";
    for (int n = 0; n < TestData::Subscribers; ++n) {
        out << "INSERT INTO subscriber (id, apartment, phone, field1, field2, field3, field4, "
               "field5, field6, field7, field8, field9, field10) VALUES ("
            << n << ", '" << n << "', '8916" << QStringLiteral("%1").arg(n, 8, 10, QLatin1Char('0'))
            << "', " << fields(random) << ");\n";
        out << "INSERT INTO card (id, subscriber_id, type, number, field1, field2, field3, field4, "
               "field5, field6, field7, field8, field9, field10) VALUES ("
            << n + 1 << ", " << n << ", 0, '0000000000"
            << QStringLiteral("%1").arg(n + 1, 6, 16, QLatin1Char('0')).toUpper() << "', "
            << fields(random) << ");\n";
    }
    out << "END TRANSACTION;\n";
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Application::initResources();
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("ours.zelkor"));
    const QString theirs = dir.filePath(QStringLiteral("shell.zelkor"));
    const QString script = dir.filePath(QStringLiteral("inserts.sql"));
    DatabaseFile::createFromTemplate(ours);
    DatabaseFile::createFromTemplate(theirs);
    if (!writeScript(script))
        return 1;

    QElapsedTimer clock;
    clock.start();
    QString error;
    {
        TaskConnection connection(ours);
        error = TestData::generate(connection.database(), [](int) {});
    }
    const double oursSeconds = clock.nsecsElapsed() / 1e9;
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    QProcess shell;
    shell.setStandardInputFile(script);
    clock.restart();
    shell.start(QStringLiteral("sqlite3"), {theirs});
    if (!shell.waitForFinished(600000) || shell.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", shell.readAllStandardError().constData());
        return 1;
    }
    const double shellSeconds = clock.nsecsElapsed() / 1e9;
    std::printf("generation of %d subscribers and keys: %.2f s; sqlite3 shell, same inserts from a "
                "script in one transaction: %.2f s; ratio %.2f (target <= 1.5)\n",
                TestData::Subscribers, oursSeconds, shellSeconds, oursSeconds / shellSeconds);
    return 0;
}
