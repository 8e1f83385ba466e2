#include "panelsimulator.h"
#include "protocol.h"
#include "qpacket.h"
#include "qserialportthread.h"

#include <QtTest>

namespace {

struct Answer
{
    QSerialPortError error = NoError;
    QString text;
    QByteArray data;
    // The link error as "code: text".
    QString outcome() const { return QString("%1: %2").arg(int(error)).arg(text); }
};

// Receives answers the way a panel dialog does: queued, in the GUI thread.
class Requester : public QObject
{
    Q_OBJECT
public:
    QList<Answer> answers;

    void send(QSerialPortThread& thread, quint8 command, const QByteArray& data = {})
    {
        QPacket* packet = QPacket::request(command, 0, data);
        connect(packet, &QPacket::handleEvent, this, &Requester::onAnswer, Qt::QueuedConnection);
        emit thread.sendPacket(packet);
    }

public slots:
    void onAnswer(QSerialPortError error, QString text, QByteArray data)
    {
        answers.append({error, text, data});
    }
};

using Fault = PanelSimulator::FaultKind;

// The parameter bytes of the polls the panel received.
QByteArray pollParameters(const PanelSimulator& sim)
{
    QByteArray result;
    for (const auto& frame : sim.frames(0x43))
        result.append(frame.bytes.size() > 3 ? frame.bytes.at(3) : '?');
    return result;
}

} // namespace

// The serial worker against the simulated panel: framing, polling, retries, cancel and stop.
class TestSerialWorker : public QObject
{
    Q_OBJECT

    QScopedPointer<PanelSimulator> sim;
    QScopedPointer<QSerialPortThread> thread;

    // Starts the worker on the simulator, with polling switched off if asked.
    void connectWorker(bool polling = true)
    {
        QSerialPort::SerialPortError error;
        QString text;
        QVERIFY2(thread->start(sim->slavePath(), error, text), qPrintable(text));
        if (!polling)
            emit thread->startEvents(false);
    }

private slots:
    void init()
    {
        sim.reset(new PanelSimulator);
        QVERIFY(sim->start());
        thread.reset(new QSerialPortThread);
    }

    void cleanup()
    {
        thread.reset();
        sim.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void lineAndFirstExchange()
    {
        connectWorker(false);
        PanelSimulator::LineSettings line = sim->lineSettings();
        QCOMPARE(line.baudRate, 57600);
        QCOMPARE(line.dataBits, 8);
        QCOMPARE(line.stopBits, 1);
        QVERIFY(!line.hardwareFlow);
        QVERIFY(!line.softwareFlow);
        // The parity bit is the ninth bit: opened with mark parity for the address byte, left
        // at space parity after a request for the rest of it and for reading the answer.
        QCOMPARE(line.parity, 'M');
        QSignalSpy errors(thread.data(), &QSerialPortThread::errorEvent);
        Requester requester;
        requester.send(*thread, 0x40);
        QTRY_COMPARE(requester.answers.size(), 1);
        QCOMPARE(sim->lineSettings().parity, 'S');
        QCOMPARE(sim->frames(0x40).value(0).bytes.toHex(), QByteArray("0040000000e0"));
        QCOMPARE(requester.answers[0].error, NoError);
        QCOMPARE(requester.answers[0].data.toHex(), QByteArray("0040000902ee02064c"));
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].value<QSerialPortError>(), NoError);
    }

    void polling()
    {
        sim->queueKey(0x0A0B0C);
        sim->injectFault(0x43, Fault::Delay, 300);
        QSignalSpy events(thread.data(), &QSerialPortThread::event);
        connectWorker();
        // Switched off while the first poll is on the line, polling stays off after its answer.
        QTRY_COMPARE(sim->requestCount(0x43), 1);
        emit thread->startEvents(false);
        QTRY_COMPARE(events.size(), 1);
        QTest::qWait(500);
        QCOMPARE(sim->requestCount(0x43), 1);
        // On again, the pending acknowledgement is forgotten: 0x00 asks for the record again;
        // 0xFF acknowledges it and gets the status byte; then 0x00 again.
        emit thread->startEvents(true);
        QTRY_VERIFY(events.size() >= 3 && sim->requestCount(0x43) >= 4);
        QCOMPARE(pollParameters(*sim).left(4).toHex(), QByteArray("0000ff00"));
        QCOMPARE(events[0][0].toByteArray().toHex(), QByteArray("0c0b0a000011"));
        QCOMPARE(events[1][0], events[0][0]);
        QCOMPARE(events[2][0].toByteArray().toHex(), QByteArray("11"));
        QVERIFY(events[0][1].toDateTime().isValid());
    }

    void retries_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("faults");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, int command, Fault fault, int value, int faults,
                            int requests, QSerialPortError error, const QString& text) {
            QTest::newRow(name) << command << int(fault) << value << faults << requests
                                << int(error) << text;
        };
        row("bad header crc", 0x40, Fault::BadHeaderCrc, 0, 3, 3, HeaderCrcError,
            "Неверная контрольная сумма пакета команды.");
        row("bad data crc", 0x40, Fault::BadDataCrc, 0, 3, 3, DataCrcError,
            "Неверная контрольная сумма пакета данных.");
        row("result code 7", 0x25, Fault::ResultCode, 7, 3, 3, NoError, {});
        row("result code twice, then success", 0x40, Fault::ResultCode, 8, 2, 3, NoError, {});
        row("no answer", 0x40, Fault::Silence, 0, 3, 3, Timeout,
            "Таймаут ожидания данных. Получено 0 байт из 6.");
        row("64 data bytes announced, 40 bytes in all", 0x7F, Fault::CutAnswer, 40, 3, 3, Timeout,
            "Таймаут ожидания данных. Получено 40 байт из 71.");
        row("line noise after the answer", 0x40, Fault::Noise, 30, 1, 1, NoError, {});
    }
    void retries()
    {
        QFETCH(int, command);
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(int, faults);
        QFETCH(int, requests);
        QFETCH(int, error);
        QFETCH(QString, text);
        connectWorker(false);
        QSignalSpy errors(thread.data(), &QSerialPortThread::errorEvent);
        sim->injectFault(command, Fault(fault), value, faults);
        Requester requester;
        const QByteArray data = command == 0x7F   ? QByteArray::fromHex("0500")
                                : command == 0x25 ? QByteArray::fromHex("00000100000100")
                                                  : QByteArray();
        requester.send(*thread, quint8(command), data);
        QTRY_COMPARE_WITH_TIMEOUT(requester.answers.size(), 1, 10000);
        const Answer answer = requester.answers[0];
        QCOMPARE(int(answer.error), error);
        QCOMPARE(answer.text, text);
        QCOMPARE(sim->requestCount(command), requests);
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(int(errors[0][0].value<QSerialPortError>()), error);
        QCOMPARE(errors[0][1].toString(), text);
        if (error == NoError) {
            // The last answer as it came, without anything that followed it on the line.
            QCOMPARE(int(answer.data.at(2)), faults < 3 ? 0 : value);
            QCOMPARE(answer.data.size(), Protocol::checkAnswer(answer.data).expected);
        }
        if (requests == 3) {
            // A damaged answer is retried after a pause, not after the time-out.
            const auto frames = sim->frames(command);
            const qint64 gap = frames[2].microseconds - frames[1].microseconds;
            QVERIFY2(gap >= 10000, qPrintable(QString::number(gap)));
            QVERIFY2((gap >= 1000000) == (error == Timeout), qPrintable(QString::number(gap)));
        }
    }

    void errorEventOncePerPoll()
    {
        // Six failed attempts make two failed polls, and each reports once.
        sim->injectFault(0x43, Fault::BadHeaderCrc, 0, 6);
        QSignalSpy errors(thread.data(), &QSerialPortThread::errorEvent);
        connectWorker();
        QTRY_VERIFY(errors.size() >= 3);
        QCOMPARE(QList<int>({errors[0][0].toInt(), errors[1][0].toInt(), errors[2][0].toInt()}),
                 QList<int>({HeaderCrcError, HeaderCrcError, NoError}));
        // A failed poll asks with 0x00 again.
        QCOMPARE(pollParameters(*sim).left(7), QByteArray(7, '\0'));
    }

    void cancel_data()
    {
        QTest::addColumn<int>("when");
        QTest::addColumn<int>("error");   // the answer to the request the cancel came for
        QTest::addColumn<int>("written"); // how often that request went out
        QTest::newRow("while a request waits for its answer") << 0 << int(CancelledByUser) << 1;
        QTest::newRow("while a request waits behind a poll") << 1 << int(CancelledByUser) << 0;
        // Its answer already on its way: nothing is left to cancel, not the next request.
        QTest::newRow("after the request was answered") << 2 << int(NoError) << 1;
    }
    void cancel()
    {
        QFETCH(int, when);
        QFETCH(int, error);
        QFETCH(int, written);
        if (when == 0)
            sim->injectFault(0x40, Fault::Silence);
        if (when == 1)
            sim->injectFault(0x43, Fault::Delay, 300);
        connectWorker(when == 1);
        Requester requester;
        if (when == 1)
            QTRY_COMPARE(sim->requestCount(0x43), 1);
        requester.send(*thread, 0x40);
        if (when == 0)
            QTRY_COMPARE(sim->requestCount(0x40), 1);
        if (when == 2)
            QTRY_COMPARE(requester.answers.size(), 1);
        emit thread->cancel();
        requester.send(*thread, 0x64);
        // Answered long before the attempt's time-out; the next request is sent normally.
        QTRY_COMPARE_WITH_TIMEOUT(requester.answers.size(), 2, 900);
        QCOMPARE(requester.answers[0].outcome(),
                 error == NoError ? QString("0: ")
                                  : QString("5: Выполнение команды прервано пользователем."));
        QCOMPARE(requester.answers[1].outcome(), QString("0: "));
        QCOMPARE(requester.answers[1].data.size(), 6 + 36 + 1);
        QCOMPARE(sim->requestCount(0x40), written);
    }

    void stopWhileWaiting()
    {
        connectWorker(false);
        sim->injectFault(0x40, Fault::Silence);
        Requester requester;
        requester.send(*thread, 0x40);
        requester.send(*thread, 0x64);
        QTRY_COMPARE(sim->requestCount(0x40), 1);
        thread->stop();
        QVERIFY(thread->isFinished());
        QTRY_COMPARE(requester.answers.size(), 1);
        QCOMPARE(requester.answers[0].outcome(), QString("4: Соединение закрыто пользователем."));
        QTest::qWait(50);
        QCOMPARE(requester.answers.size(), 1);
        QCOMPARE(sim->requestCount(0x64), 0);
    }

    void stopRightAfterStart()
    {
        for (int i = 0; i < 20; ++i) {
            connectWorker();
            thread->stop();
            QVERIFY(thread->isFinished());
        }
        connectWorker();
        Requester requester;
        requester.send(*thread, 0x40);
        QTRY_COMPARE(requester.answers.size(), 1);
        QCOMPARE(requester.answers[0].error, NoError);
    }
};

QTEST_GUILESS_MAIN(TestSerialWorker)
#include "tst_serialworker.moc"
