// Snapshot benchmark: a snapshot of a database of 24 999 subscribers with one key each, timed
// side by side with `cp` of the same file (runs interleaved, so that both meet the same load,
// each after a sync); the longest pause of the window's event loop while the window takes one,
// beside that of an idle loop; and the restore of that snapshot into the emptied database.
#include "benchsupport.h"
#include "databasefile.h"
#include "qzelkorwindow.h"
#include "snapshots.h"
#include "taskconnection.h"
#include "windowtask.h"
#include "workpool.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Runs = 7;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char* argv[])
{
    prepareWidgetBenchmark();
    QApplication app(argc, argv);

    QTemporaryDir dir;
    qputenv("OSTROVEL_SNAPSHOTS", dir.filePath(QStringLiteral("snapshots")).toUtf8());
    const QString file = dir.filePath(QStringLiteral("bench.zelkor"));
    if (!createTestDatabase(file))
        return 1;
    const QString copy = dir.filePath(QStringLiteral("copy.zelkor"));
    std::vector<double> taken, copied;
    Snapshots::Snapshot snapshot;
    for (int run = 0; run < Runs; ++run) {
        QFile::remove(copy);
        // Each starts with nothing left to write: the snapshot's sync would otherwise also
        // write out what the cp before it left in the page cache.
        ::sync();
        copied.push_back(seconds([&] {
            return QProcess::execute(QStringLiteral("cp"), {file, copy}) == 0;
        }));
        ::sync();
        taken.push_back(seconds([&] {
            const Snapshots::Taken result = Snapshots::take(file, Snapshots::Operation::Clear);
            snapshot = result.snapshot;
            return result.ok;
        }));
    }
    const double snapshotSeconds = median(taken);
    const double cpSeconds = median(copied);
    std::printf("snapshot: %d subscribers, %.1f MiB, median of %d runs %.3f s (target <= 0.5), "
                "best %.3f s; cp of the same file: median %.3f s, best %.3f s; ratio of medians "
                "%.2f (target <= 2)\n",
                snapshot.subscribers, QFileInfo(file).size() / 1048576.0, Runs, snapshotSeconds,
                *std::min_element(taken.begin(), taken.end()), cpSeconds,
                *std::min_element(copied.begin(), copied.end()), snapshotSeconds / cpSeconds);

    QZelKorWindow window;
    window.show();
    if (!window.openDB(file))
        return 1;
    PauseMeter meter;
    meter.measure([] { idle(500); });
    const double idlePause = meter.longestMs();
    // As the window takes it before clearing: in a pool thread, the event loop served meanwhile.
    meter.measure([&] {
        awaitFuture(QtConcurrent::run(
            workPool(), [&] { return Snapshots::take(file, Snapshots::Operation::Clear); }));
    });
    std::printf("snapshot in the window: %.0f ms; longest pause of the event loop %.1f ms (target "
                "<= 100; idle %.1f ms)\n",
                meter.totalMs(), meter.longestMs(), idlePause);
    window.closeDB();

    {
        TaskConnection connection(file);
        DatabaseFile::clearSubscribers(connection.database());
    }
    ::sync();
    const double restoreSeconds =
        seconds([&] { return Snapshots::restore(file, snapshot).isSuccess(); });
    std::printf("restore: %d subscribers and %d keys into the emptied database, its own snapshot "
                "first, %.3f s (target <= 1)\n",
                snapshot.subscribers, snapshot.keys, restoreSeconds);
    return 0;
}
