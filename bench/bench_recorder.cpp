// Journal recorder benchmark. By default: the GUI thread's cost of an event shown in the events
// list with and without the recorder following the worker, side by side in alternating rounds;
// then 1 000 000 panel records written through the recorder, with its throughput and the
// journal's size per record. With --idle SECONDS: the CPU that `ostrovel-cli watch` takes
// against an idle ostrovel-panelsim over that time, beside the simulator's own.
#include "benchsupport.h"
#include "journalfile.h"
#include "journalquery.h"
#include "journalrecorder.h"
#include "qzelkorwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>

#include <cstdio>
#include <unistd.h>

namespace {

// Microseconds per event of count events emitted as the worker emits them.
double showEvents(QZelKorWindow& window, int first, int count)
{
    const QDateTime start = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    for (int n = first; n < first + count; ++n) {
        emit window.serialThread()->event(sampleEventRecord(n), start.addMSecs(n));
        if (n % 1000 == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    return double(clock.nsecsElapsed()) / 1000.0 / count;
}

void guiThreadCost(const QString& folder)
{
    qputenv("OSTROVEL_JOURNAL", (folder + QStringLiteral("/gui.sqlite")).toLocal8Bit());
    QZelKorWindow window;
    window.show();
    auto* recorder = window.findChild<JournalRecorder*>();
    recorder->linkStarted(QStringLiteral("/dev/ttyBENCH"));
    const int rounds = 4;
    const int perRound = 25000;
    double without = 0;
    double with = 0;
    for (int round = 0; round < rounds; ++round) {
        // Alternating, so that the growing list weighs on both alike.
        for (const bool recording : {false, true}) {
            if (recording)
                recorder->attach(window.serialThread());
            else
                QObject::disconnect(window.serialThread(), nullptr, recorder, nullptr);
            const double micros = showEvents(window, (2 * round + recording) * perRound, perRound);
            (recording ? with : without) += micros / rounds;
        }
    }
    QElapsedTimer flushing;
    flushing.start();
    recorder->flush();
    std::printf("events list, GUI thread: %.1f us per event without the journal, %.1f us with it: "
                "%+.1f us (target <= +50); %d rows; the writer caught up %.0f ms after the last\n",
                without, with, with - without,
                window.findChild<QTreeWidget*>(QStringLiteral("treeEvents"))->topLevelItemCount(),
                double(flushing.elapsed()));
}

void fileSize(const QString& folder, int count)
{
    const QString file = folder + QStringLiteral("/million.sqlite");
    JournalRecorder recorder(file);
    recorder.linkStarted(QStringLiteral("/dev/ttyUSB0"));
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - qint64(count) * 1000;
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < count; ++n) {
        // A status answer between records, as the panel gives them.
        // In UTC: a local time would cost this loop more than the recorder.
        const qint64 ms = start + qint64(n) * 1000;
        recorder.onEvent(sampleEventRecord(n), QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        recorder.onEvent(QByteArray(1, '\x11'), QDateTime::fromMSecsSinceEpoch(ms + 200, Qt::UTC));
    }
    const double queued = double(clock.elapsed());
    recorder.close();
    const double written = double(clock.elapsed());
    JournalFile journal(file);
    journal.openForReading();
    const qint64 kept = JournalQuery(journal.database(), JournalFilter()).count();
    journal.close();
    const qint64 bytes = QFileInfo(file).size();
    std::printf("journal of %lld records: %.0f bytes per record (target <= 120), %.1f MB; "
                "queued in %.0f ms, written in %.0f ms (%.0f records/s)\n",
                kept, double(bytes) / double(kept), double(bytes) / 1e6, queued, written,
                kept * 1000.0 / written);
}

qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // utime and stime, fields 14 and 15, after the command name in parentheses.
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

void idleCpu(const QString& folder, int seconds)
{
    QProcess sim;
    sim.start(QStringLiteral(PANELSIM_PATH), QStringList());
    sim.waitForReadyRead();
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QProcess watch;
    watch.start(QStringLiteral(OSTROVEL_CLI),
                {QStringLiteral("watch"), QStringLiteral("--port"), port,
                 QStringLiteral("--journal"), folder + QStringLiteral("/idle.sqlite")});
    watch.waitForStarted();
    QThread::sleep(2); // past the start-up
    const qint64 watchBefore = cpuTicks(watch.processId());
    const qint64 simBefore = cpuTicks(sim.processId());
    QThread::sleep(ulong(seconds));
    const double ticks = double(sysconf(_SC_CLK_TCK)) * seconds;
    std::printf("ostrovel-cli watch idle: %.2f %% of a core over %d s (target < 2), the panel "
                "simulator it polls: %.2f %%\n",
                100.0 * double(cpuTicks(watch.processId()) - watchBefore) / ticks, seconds,
                100.0 * double(cpuTicks(sim.processId()) - simBefore) / ticks);
    watch.terminate();
    watch.waitForFinished();
    sim.terminate();
    sim.waitForFinished();
}

} // namespace

int main(int argc, char* argv[])
{
    prepareWidgetBenchmark();
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const int idle = app.arguments().indexOf(QStringLiteral("--idle"));
    if (idle > 0) {
        idleCpu(folder.path(), app.arguments().value(idle + 1, QStringLiteral("60")).toInt());
        return 0;
    }
    guiThreadCost(folder.path());
    fileSize(folder.path(), 1000000);
    return 0;
}
