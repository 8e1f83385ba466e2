// Database benchmark: a database of 24 999 subscribers with one key each, opened, reloaded and
// closed in the main window (time, and the longest pause of the window's event loop beside
// that of an idle loop; the close also as it was, compacting in the GUI thread), searched
// ("Содержит" over the key column, and over the phone column where every row matches), and the peak
// resident memory.
#include "benchsupport.h"
#include "qzelkorwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char* argv[])
{
    prepareWidgetBenchmark();
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.zelkor"));
    if (!createTestDatabase(file))
        return 1;

    QZelKorWindow window;
    window.show();
    QApplication::processEvents();
    const double before = processMemoryKiB("VmRSS:") / 1024.0;
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("treeView"));
    auto* found = window.findChild<QTreeWidget*>(QStringLiteral("treeFind"));

    PauseMeter meter;
    meter.measure([] { idle(500); });
    std::printf("idle: the window's event loop paused at most %.1f ms in %.0f ms (the baseline)\n",
                meter.longestMs(), meter.totalMs());

    bool opened = false;
    meter.measure([&] { opened = window.openDB(file); });
    if (!opened)
        return 1;
    std::printf("open: %d subscribers in the tree after %.0f ms (target <= 1500); longest pause "
                "%.1f ms (target <= 100)\n",
                tree->topLevelItemCount(), meter.totalMs(), meter.longestMs());

    meter.measure([&] { window.refreshData(); });
    std::printf("reload: %d subscribers in the tree after %.0f ms; longest pause %.1f ms (target "
                "<= 100)\n",
                tree->topLevelItemCount(), meter.totalMs(), meter.longestMs());

    const auto search = [&](int column, const QString& condition) {
        window.findChild<QComboBox*>(QStringLiteral("cboxColumn"))->setCurrentIndex(column);
        window.findChild<QComboBox*>(QStringLiteral("cboxTypeFind"))->setCurrentIndex(0);
        window.findChild<QLineEdit*>(QStringLiteral("leCondition"))->setText(condition);
        meter.measure([&] { window.on_actionSearch_triggered(); });
    };
    search(1, QStringLiteral("12"));
    std::printf("search: \"Содержит\" 12 over the key column found %d rows in %.0f ms\n",
                found->topLevelItemCount(), meter.totalMs());
    search(3, QStringLiteral("89"));
    std::printf("search: \"Содержит\" 89 over the phone column found %d rows in %.0f ms (target "
                "<= 300 for 40 000 rows)\n",
                found->topLevelItemCount(), meter.totalMs());

    // The close as it was: the compaction on the window's own connection, in the GUI thread.
    QAction* close = window.findChild<QAction*>(QStringLiteral("actionCloseDB"));
    meter.measure([&] {
        QSqlQuery(*window.database()).exec(QStringLiteral("VACUUM"));
        close->trigger();
    });
    std::printf("close, compacting in the GUI thread (as before): %.0f ms; longest pause %.1f ms\n",
                meter.totalMs(), meter.longestMs());
    const auto compacted = [&] {
        while (window.isCompacting())
            idle(1);
    };
    compacted();
    if (!window.openDB(file))
        return 1;
    meter.measure([&] {
        close->trigger();
        compacted();
    });
    std::printf("close: %.0f ms until the compaction in the background ended; longest pause %.1f "
                "ms (target <= 100)\n",
                meter.totalMs(), meter.longestMs());

    std::printf("memory: resident %.0f MiB before opening, peak %.0f MiB (target <= 250)\n", before,
                processMemoryKiB("VmHWM:") / 1024.0);
    return 0;
}
