// Panel configuration benchmark against the simulator at line rate: a full import and a full
// export of 24 999 subscribers with one key each, the worker's own floor under the export's
// block writes, the database writing of a full import with the event loop's longest pause, a
// backup of the same panel through ostrovel-cli beside the import's reading and writing, a
// full export beside one broken off at a late key block and resumed (--resume, with the full
// export), and a check of the simulator's pacing. Options: --pacing, --import, --write, --cli,
// --export, --resume (default: all).
#include "application.h"
#include "benchsupport.h"
#include "databasefile.h"
#include "digitcodes.h"
#include "exportchain.h"
#include "importchain.h"
#include "importwriter.h"
#include "myserialport.h"
#include "panelsimulator.h"
#include "paneltables.h"
#include "protocol.h"
#include "qserialportthread.h"
#include "requesterwiring.h"
#include "taskconnection.h"
#include "testdatagenerator.h"
#include "workpool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr double LineMsPerByte = 11.0 / 57600.0 * 1000.0;
constexpr int Subscribers = TestData::Subscribers;

// The panel filled the way the test-data generator fills a database.
void fillPanel(PanelSimulator& sim)
{
    for (int n = 0; n < Subscribers; ++n) {
        quint8 apartment[4];
        quint8 phone[6];
        digitsToPacked(QString::number(n), apartment, 4);
        digitsToPacked(QStringLiteral("8916%1").arg(n, 8, 10, QLatin1Char('0')), phone, 6);
        sim.setApartmentRecord(n, QByteArray(reinterpret_cast<char*>(apartment), 4));
        sim.setPhoneRecord(n, QByteArray(reinterpret_cast<char*>(phone), 6));
        sim.setKeyRecord(n, PanelTables::keyRecord(uint(n + 1), n));
    }
}

struct Link
{
    PanelSimulator sim;
    QSerialPortThread thread;
    std::atomic<qint64> answerBytes{0};

    // With worker, the serial worker opens the port too; without, another process will.
    bool open(bool worker = true)
    {
        QString error;
        if (!sim.start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
            return false;
        }
        sim.setLinePacing(true);
        sim.setTraceHandler([this](bool incoming, const QByteArray& bytes) {
            if (!incoming)
                answerBytes += bytes.size();
        });
        QSerialPort::SerialPortError code;
        if (worker && !thread.start(sim.slavePath(), code, error)) {
            std::fprintf(stderr, "port: %s\n", qPrintable(error));
            return false;
        }
        return true;
    }

    void connect(PanelChain& chain)
    {
        connectRequester(&chain, &thread);
        // Polling off before the clock starts, as it is for the whole chain.
        emit thread.startEvents(false);
        QThread::msleep(300);
        sim.clearLog();
        answerBytes = 0;
    }

    void report(const char* what, double seconds)
    {
        const int exchanges = sim.requestCount();
        const double line = (sim.bytesReceived() + answerBytes) * LineMsPerByte / 1000.0;
        std::printf("%s: %.1f s, %d exchanges, %.1f ms each; line time %.1f s, ratio %.2f\n", what,
                    seconds, exchanges, seconds * 1000.0 / exchanges, line, seconds / line);
    }
};

// Runs a chain until it finishes; seconds, and whether it succeeded.
bool runChain(PanelChain& chain, const std::function<void()>& start, double* seconds)
{
    QEventLoop loop;
    bool ok = false;
    QString message;
    QObject::connect(&chain, &PanelChain::finished, &loop,
                     [&](bool success, int, const QString& text) {
                         ok = success;
                         message = text;
                         loop.quit();
                     });
    QElapsedTimer clock;
    clock.start();
    start();
    loop.exec();
    *seconds = clock.nsecsElapsed() / 1e9;
    if (!ok)
        std::fprintf(stderr, "chain failed: %s\n", qPrintable(message));
    return ok;
}

// What a full import of the filled panel reads, without the reading.
PanelTables::PanelImage filledImage()
{
    PanelSimulator sim;
    fillPanel(sim);
    PanelTables::PanelImage image;
    image.settings = sim.settings();
    const auto read = [&image](const PanelTables::Table& table, auto record, auto add) {
        for (int n = 0; n < PanelTables::readCount(table); ++n) {
            QByteArray records;
            for (int i = 0; i < PanelTables::readSize(table, n); ++i)
                records += record(PanelTables::readFirst(table, n) + i);
            add(image.subscribers, n, records);
        }
    };
    read(
        PanelTables::Apartments, [&](int n) { return sim.apartmentRecord(n); },
        PanelTables::addApartments);
    read(
        PanelTables::Phones, [&](int n) { return sim.phoneRecord(n); }, PanelTables::addPhones);
    read(
        PanelTables::Keys, [&](int n) { return sim.keyRecord(n); }, PanelTables::addKeys);
    return image;
}

int benchImport(PanelTables::PanelImage* image, double* seconds)
{
    Link link;
    if (!link.open())
        return 1;
    fillPanel(link.sim);
    ImportChain chain;
    link.connect(chain);
    if (!runChain(
            chain, [&] { chain.start(ImportChain::Full); }, seconds))
        return 1;
    link.report("full import (reading)", *seconds);
    std::printf("  targets: ratio <= 1.5, <= 140 s; subscribers read %d\n",
                int(chain.image().subscribers.size()));
    *image = chain.image();
    return chain.image().subscribers.size() == Subscribers ? 0 : 1;
}

// The worker alone: block writes sent back to back with sendData, no chain around them.
double workerFloorMs(const QString& path, int writes)
{
    MySerialPort port;
    port.setPortName(path);
    port.setBaudRate(QSerialPort::Baud57600);
    if (!port.open(QIODevice::ReadWrite))
        return 0;
    const QByteArray frame = Protocol::sealedHeader(Protocol::WritePhones, 0, 62) +
                             Protocol::sealedData(QByteArray(2, '\0') + QByteArray(60, '\x11'));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < writes; ++i) {
        QByteArray answer;
        QSerialPortError error;
        QString text;
        port.sendData(frame.constData(), frame.size(), answer, error, text, 1000);
    }
    return clock.nsecsElapsed() / 1e6 / writes;
}

// What an export of the test-data generator's database writes.
bool generatedExport(ExportLoad* load)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("export.zelkor"));
    if (!createTestDatabase(file))
        return false;
    {
        TaskConnection connection(file);
        *load = loadExportContent(connection.database());
    }
    if (!load->error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(load->error));
    return load->error.isEmpty();
}

// After a full export on link, one that the link breaks off at a late key block, resumed: the
// resume writes only the blocks from the failed one on and takes that share of the full time.
int benchResume(Link& link, ExportChain& chain, const ExportContent& content, double full)
{
    const int blocks = link.sim.requestCount() - 1; // every write but the clearing
    const int failAt = chain.blocks(ExportChain::Cards) - 200;
    link.sim.injectFault(Protocol::WriteKeys, PanelSimulator::FaultKind::Delay, 0, failAt);
    link.sim.injectFault(Protocol::WriteKeys, PanelSimulator::FaultKind::Silence, 0, 3);
    double broken = 0;
    std::printf("export broken off at key block %d (expected to fail):\n", failAt + 1);
    if (runChain(
            chain, [&] { chain.start(content); }, &broken))
        return 1;
    link.sim.clearLog();
    link.answerBytes = 0;
    double resumed = 0;
    if (!runChain(
            chain, [&] { chain.resume(); }, &resumed))
        return 1;
    link.report("resume", resumed);
    const int written = link.sim.requestCount(Protocol::WriteKeys);
    const QByteArray first = link.sim.frames(Protocol::WriteKeys).value(0).bytes;
    const int firstBlock =
        first.size() > 7 ? (quint8(first.at(6)) | quint8(first.at(7)) << 8) / 12 + 1 : 0;
    const double target = double(written) / blocks * full + 2.0;
    std::printf("  resume from key block %d of %d: %d blocks written of %d, the first block %d, "
                "%d read back; %.1f s, target <= %.1f s (%d / %d x %.1f s + 2 s)\n",
                failAt + 1, chain.blocks(ExportChain::Cards), written, blocks, firstBlock,
                link.sim.requestCount(Protocol::ReadKeys), resumed, target, written, blocks, full);
    return resumed <= target && written == chain.blocks(ExportChain::Cards) - failAt ? 0 : 1;
}

int benchExport(bool resume)
{
    ExportLoad load;
    if (!generatedExport(&load))
        return 1;
    Link link;
    if (!link.open())
        return 1;
    ExportChain chain;
    link.connect(chain);
    double seconds = 0;
    if (!runChain(
            chain, [&] { chain.start(load.content); }, &seconds))
        return 1;
    link.report("full export", seconds);
    const int exchanges = link.sim.requestCount();
    const int failed = resume ? benchResume(link, chain, load.content, seconds) : 0;
    link.thread.stop();
    const double floorMs = workerFloorMs(link.sim.slavePath(), 300);
    const double floor = floorMs * exchanges / 1000.0;
    std::printf("  worker floor: %.1f ms per block write alone, %.1f s for %d exchanges; "
                "export / floor %.3f (target <= 1.05)\n",
                floorMs, floor, exchanges, seconds / floor);
    return failed;
}

int benchWriting(const PanelTables::PanelImage& image, double* seconds)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("import.zelkor"));
    DatabaseFile::createFromTemplate(file);
    // The event loop's longest pause while the writing runs in the pool, as the dialog runs it.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestPause = std::max(longestPause, sinceTick.restart()); });
    QFutureWatcher<ImportWriter::Result> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start();
    watcher.setFuture(QtConcurrent::run(workPool(), [&] {
        return ImportWriter::writeFile(
            file, image, false, 0, [](int) {}, [] { return false; });
    }));
    loop.exec();
    *seconds = clock.nsecsElapsed() / 1e9;
    const ImportWriter::Result result = watcher.result();
    int subscribers = 0;
    int keys = 0;
    for (const auto& subscriber : image.subscribers) {
        ++subscribers;
        keys += subscriber.keys.size();
    }
    std::printf(
        "database writing of a full import: %d subscribers, %d keys in %.2f s "
        "(target <= 3 s); longest event-loop pause %lld ms; %s\n",
        subscribers, keys, *seconds, longestPause,
        result.status == ImportWriter::Result::Written
            ? "written"
            : qPrintable(
                  QStringLiteral("FAILED: %1 %2").arg(result.failure.title, result.failure.text)));
    return result.status == ImportWriter::Result::Written ? 0 : 1;
}

// A backup of the filled panel by ostrovel-cli, as a script runs it: the same reading through
// the same worker, then the same writing (keys in the same format) into a new file; beside it
// the dialog's import, reading and writing, measured in this run with --import and --write.
int benchBackup(double importSeconds)
{
    QTemporaryDir dir;
    Link link;
    if (!link.open(false))
        return 1;
    fillPanel(link.sim);
    link.sim.clearLog();
    link.answerBytes = 0;
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(OSTROVEL_CLI),
              {QStringLiteral("backup"), QStringLiteral("--port"), link.sim.slavePath(),
               QStringLiteral("--format"), QStringLiteral("0"),
               dir.filePath(QStringLiteral("backup.zelkor"))});
    cli.waitForFinished(-1);
    const double seconds = clock.nsecsElapsed() / 1e9;
    link.report("backup through ostrovel-cli", seconds);
    std::printf("  %s\n", cli.readAllStandardOutput().simplified().constData());
    if (importSeconds > 0)
        std::printf("  import (reading + writing) %.1f s; backup / import %.3f (target <= 1)\n",
                    importSeconds, seconds / importSeconds);
    return cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0 ? 0 : 1;
}

// When the first answer byte comes back for a request written as the worker writes it: byte 0,
// a pause, then the rest.
int benchPacing()
{
    PanelSimulator sim;
    if (!sim.start())
        return 1;
    sim.setLinePacing(true);
    const int fd = ::open(sim.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return 1;
    const QByteArray frame = Protocol::sealedHeader(Protocol::WritePhones, 0, 62) +
                             Protocol::sealedData(QByteArray(2, '\0') + QByteArray(60, '\x11'));
    constexpr int PauseMs = 3;
    QElapsedTimer clock;
    clock.start();
    if (::write(fd, frame.constData(), 1) != 1)
        return 1;
    QThread::msleep(PauseMs);
    const double restWrittenMs = clock.nsecsElapsed() / 1e6;
    if (::write(fd, frame.constData() + 1, size_t(frame.size() - 1)) != frame.size() - 1)
        return 1;
    pollfd wait = {fd, POLLIN, 0};
    ::poll(&wait, 1, 1000);
    const double answerMs = clock.nsecsElapsed() / 1e6;
    ::close(fd);
    const double lineMs = restWrittenMs + (frame.size() - 1) * LineMsPerByte;
    std::printf("pacing: %d-byte request, rest written %.2f ms after byte 0; first answer byte "
                "after %.2f ms, a real line delivers the request after %.2f ms\n",
                int(frame.size()), restWrittenMs, answerMs, lineMs);
    return answerMs + 0.1 >= lineMs ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Application::initResources();
    QLoggingCategory::setFilterRules(QStringLiteral("ostrovel.link.debug=false"));
    QStringList parts = app.arguments().mid(1);
    if (parts.isEmpty())
        parts = QStringList{QStringLiteral("--pacing"), QStringLiteral("--import"),
                            QStringLiteral("--write"),  QStringLiteral("--cli"),
                            QStringLiteral("--export"), QStringLiteral("--resume")};
    int failed = 0;
    if (parts.contains(QStringLiteral("--pacing")))
        failed |= benchPacing();
    PanelTables::PanelImage image;
    double reading = 0;
    double writing = 0;
    if (parts.contains(QStringLiteral("--import")))
        failed |= benchImport(&image, &reading);
    else if (parts.contains(QStringLiteral("--write")))
        image = filledImage();
    if (parts.contains(QStringLiteral("--write")))
        failed |= benchWriting(image, &writing);
    if (parts.contains(QStringLiteral("--cli")))
        failed |= benchBackup(reading + writing);
    if (parts.contains(QStringLiteral("--export")) || parts.contains(QStringLiteral("--resume")))
        failed |= benchExport(parts.contains(QStringLiteral("--resume")));
    return failed;
}
