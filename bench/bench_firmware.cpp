// Firmware benchmark: the whole upload (1795 exchanges) and download (896 exchanges) through
// the serial worker against the simulator at line rate, in seconds and as a ratio to the line
// time of their frames. The upload is also split into its write and verify stages, each beside
// its baseline: the same requests sent by a bare loop, the floor that the worker's pauses and
// the line allow, so that what the chains add shows.
#include "application.h"
#include "benchsupport.h"
#include "firmwareimage.h"
#include "panelsimulator.h"
#include "qfirmwaredownloadchain.h"
#include "qfirmwareuploadchain.h"
#include "qpacket.h"
#include "qserialportthread.h"
#include "requesterwiring.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>

#include <cstdio>
#include <functional>

namespace {

constexpr double SecondsPerByte = 11.0 / 57600.0;
constexpr int Blocks = 896;
// Request and answer bytes of one exchange.
constexpr int VersionBytes = 6 + 9;
constexpr int BootBytes = 6 + 6;
constexpr int WriteBytes = 73 + 6;
constexpr int ReadBytes = 9 + 71;

void report(const char* what, int exchanges, double seconds, int bytes, const char* target)
{
    const double line = bytes * SecondsPerByte;
    std::printf("  %-16s %4d exchanges %6.2f s, line time %6.2f s, ratio %.2f%s\n", what, exchanges,
                seconds, line, seconds / line, target);
}

// Seconds for count requests sent one after the other, each from the previous answer.
double bareLoop(QSerialPortThread* thread, quint8 command, int count,
                const std::function<QByteArray(int)>& data)
{
    QEventLoop loop;
    int done = 0;
    std::function<void()> next = [&] {
        QPacket* packet = QPacket::request(command, 0, data(done));
        QObject::connect(
            packet, &QPacket::handleEvent, &loop,
            [&](QSerialPortError, QString, QByteArray) {
                if (++done < count)
                    next();
                else
                    loop.quit();
            },
            Qt::QueuedConnection);
        emit thread->sendPacket(packet);
    };
    QElapsedTimer clock;
    clock.start();
    next();
    loop.exec();
    return clock.nsecsElapsed() / 1e9;
}

void benchBaseline(QSerialPortThread* thread, PanelSimulator* sim)
{
    constexpr int Count = Blocks / 4;
    const QByteArray image = sim->firmware();
    sim->setBootMode(true);
    const double writes = bareLoop(thread, 0x3F, Count, [&image](int block) {
        return Firmware::writeBlockData(image, block);
    });
    sim->setBootMode(false);
    const double reads = bareLoop(thread, 0x7F, Count, Firmware::readBlockData);
    std::printf("baseline, bare request loops:\n");
    report("block writes", Count, writes, Count * WriteBytes, "");
    report("block reads", Count, reads, Count * ReadBytes, "");
}

bool benchUpload(QSerialPortThread* thread, PanelSimulator* sim)
{
    QFirmwareUploadChain chain;
    connectRequester<PanelChain>(&chain, thread);
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 writeStart = 0, verifyStart = 0, verifyEnd = 0;
    QObject::connect(&chain, &QFirmwareUploadChain::stageChanged, [&](auto stage) {
        if (stage == QFirmwareUploadChain::Write)
            writeStart = clock.nsecsElapsed();
        else if (stage == QFirmwareUploadChain::Verify)
            verifyStart = clock.nsecsElapsed();
        else if (stage == QFirmwareUploadChain::BootOff)
            verifyEnd = clock.nsecsElapsed();
    });
    bool success = false;
    QString message;
    QObject::connect(&chain, &PanelChain::finished, [&](bool ok, int, const QString& text) {
        success = ok;
        message = text;
        loop.quit();
    });
    clock.start();
    chain.start(QStringLiteral(":/firmware/zel_kor_1"));
    loop.exec();
    const double total = clock.nsecsElapsed() / 1e9;
    QFile builtIn(QStringLiteral(":/firmware/zel_kor_1"));
    builtIn.open(QIODevice::ReadOnly);
    const bool written = sim->firmware() == builtIn.readAll() && !sim->bootMode();
    std::printf("firmware upload: %s, panel holds the image: %s\n", qPrintable(message),
                written ? "yes" : "NO");
    report("whole upload", 3 + 2 * Blocks, total,
           VersionBytes + 2 * BootBytes + Blocks * (WriteBytes + ReadBytes), " (target <= 1.85)");
    report("write stage", Blocks, (verifyStart - writeStart) / 1e9, Blocks * WriteBytes,
           " (worker's pause after a write: about 2.3)");
    report("verify stage", Blocks, (verifyEnd - verifyStart) / 1e9, Blocks * ReadBytes, "");
    return success && written;
}

bool benchDownload(QSerialPortThread* thread, PanelSimulator* sim)
{
    QFirmwareDownloadChain chain;
    connectRequester<PanelChain>(&chain, thread);
    QEventLoop loop;
    bool success = false;
    QObject::connect(&chain, &PanelChain::finished, [&](bool ok, int, const QString&) {
        success = ok;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    chain.start();
    loop.exec();
    const double total = clock.nsecsElapsed() / 1e9;
    const bool same = chain.image() == sim->firmware();
    std::printf("firmware download: %s, image equals the panel's: %s\n",
                success ? "complete" : "FAILED", same ? "yes" : "NO");
    report("whole download", Blocks, total, Blocks * ReadBytes, " (target <= 1.5)");
    return success && same;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Application::initResources();
    QLoggingCategory::setFilterRules(QStringLiteral("ostrovel.link.debug=false"));
    PanelSimulator sim;
    QSerialPortThread thread;
    if (!startPacedSimulator(sim) || !openWorker(thread, sim.slavePath()))
        return 1;
    emit thread.startEvents(false);
    benchBaseline(&thread, &sim);
    bool ok = benchUpload(&thread, &sim);
    ok &= benchDownload(&thread, &sim);
    thread.stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::printf("packets alive at the end: %d\n", QPacket::liveCount());
    return ok && QPacket::liveCount() == 0 ? 0 : 1;
}
