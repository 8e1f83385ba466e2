// Database benchmark: a database of 24 999 subscribers with one key each, opened in the main
// window (time until the tree is shown, peak resident memory, how often the window painted
// meanwhile) and searched ("Содержит" over the key column).
#include "application.h"
#include "benchsupport.h"
#include "databasefile.h"
#include "qzelkorwindow.h"
#include "taskconnection.h"
#include "testdatagenerator.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char* argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    Application::setIdentity();
    QApplication app(argc, argv);
    Application::initResources();

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.zelkor"));
    DatabaseFile::createFromTemplate(file);
    {
        TaskConnection connection(file);
        const QString error = TestData::generate(connection.database(), [](int) {});
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }

    QZelKorWindow window;
    window.show();
    QApplication::processEvents();
    const double before = processMemoryKiB("VmRSS:") / 1024.0;
    int paints = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&paints] { ++paints; });
    ticker.start(16);

    QElapsedTimer clock;
    clock.start();
    if (!window.openDB(file))
        return 1;
    QApplication::processEvents(); // the tree is painted
    const qint64 openMs = clock.elapsed();
    ticker.stop();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("treeView"));
    std::printf("open: %d subscribers in the tree after %lld ms (target <= 1500); the window's "
                "event loop ran %d times meanwhile\n",
                tree->topLevelItemCount(), openMs, paints);

    window.findChild<QComboBox*>(QStringLiteral("cboxColumn"))->setCurrentIndex(1);
    window.findChild<QComboBox*>(QStringLiteral("cboxTypeFind"))->setCurrentIndex(0);
    window.findChild<QLineEdit*>(QStringLiteral("leCondition"))->setText(QStringLiteral("12"));
    clock.restart();
    window.on_actionSearch_triggered();
    QApplication::processEvents();
    const qint64 searchMs = clock.elapsed();
    std::printf("search: \"Содержит\" 12 over the key column found %d rows in %lld ms (target "
                "<= 300)\n",
                window.findChild<QTreeWidget*>(QStringLiteral("treeFind"))->topLevelItemCount(),
                searchMs);
    std::printf("memory: resident %.0f MiB before opening, peak %.0f MiB (target <= 250)\n", before,
                processMemoryKiB("VmHWM:") / 1024.0);
    return 0;
}
