// Events list benchmark: 100 000 event records fed to the main window's onEvent, appended at
// the bottom (or, with --newest-first, inserted at the top), with the time per event and the
// memory per row.
#include "benchsupport.h"
#include "qzelkorwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>

namespace {

void run(QZelKorWindow& window, QTreeWidget* events, bool newestFirst, int count)
{
    window.findChild<QCheckBox*>(QStringLiteral("cbOrderEvents"))->setChecked(newestFirst);
    events->clear();
    QApplication::processEvents();
    const double before = processMemoryKiB("VmRSS:");
    const QDateTime start = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < count; ++n) {
        window.onEvent(sampleEventRecord(n), start.addMSecs(n));
        // The window keeps painting while events arrive.
        if (n % 1000 == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    const double micros = double(clock.nsecsElapsed()) / 1000.0 / count;
    const double perRow = (processMemoryKiB("VmRSS:") - before) * 1024.0 / count;
    std::printf("%s: %d events, %.1f us per event (target <= 50), %.0f bytes per row "
                "(target <= 1024), %d rows\n",
                newestFirst ? "newest first" : "oldest first", count, micros, perRow,
                events->topLevelItemCount());
}

} // namespace

int main(int argc, char* argv[])
{
    prepareWidgetBenchmark();
    QApplication app(argc, argv);
    QZelKorWindow window;
    window.show();
    auto* events = window.findChild<QTreeWidget*>(QStringLiteral("treeEvents"));
    window.findChild<QTabWidget*>(QStringLiteral("tabWidget"))->setCurrentIndex(1);
    // One mode per run, so that the memory of one run is not reused by the next.
    const bool newestFirst = app.arguments().contains(QStringLiteral("--newest-first"));
    run(window, events, newestFirst, 100000);
    return 0;
}
