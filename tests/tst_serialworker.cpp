#include "panelsimulator.h"
#include "protocol.h"
#include "qpacket.h"
#include "qserialportthread.h"

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

namespace {

struct Answer
{
    QSerialPortError error = NoError;
    QString text;
    QByteArray data;
};

// Receives answers the way a panel dialog does: queued, in the GUI thread.
class Requester : public QObject
{
    Q_OBJECT
public:
    QList<Answer> answers;

    void send(QSerialPortThread& thread, quint8 command, quint8 parameter = 0,
              const QByteArray& data = {})
    {
        QPacket* packet = QPacket::request(command, parameter, data);
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
const QString timeoutNothing = "Таймаут ожидания данных. Получено 0 байт из 6.";

QByteArray parameters(const QList<PanelSimulator::Frame>& frames)
{
    QByteArray result;
    for (const auto& frame : frames)
        result.append(frame.bytes.size() > 3 ? frame.bytes.at(3) : '?');
    return result;
}

// A bare pseudo-terminal that answers every request with the next scripted blob, in
// small chunks: whatever a broken line could deliver, independent of the simulator.
class RawLine
{
public:
    ~RawLine()
    {
        running = false;
        if (responder.joinable())
            responder.join();
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }

    bool open(const QList<QByteArray>& answers)
    {
        script = answers;
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return false;
        path = QString::fromLocal8Bit(::ptsname(master));
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        termios tio;
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        responder = std::thread([this] { serve(); });
        return true;
    }

    QString path;
    std::atomic<int> requests{0};

private:
    bool readable(int ms)
    {
        pollfd fd{master, POLLIN, 0};
        return ::poll(&fd, 1, ms) > 0 && (fd.revents & POLLIN);
    }

    void serve()
    {
        std::mt19937 random(7);
        char buffer[512];
        while (running) {
            if (!readable(20))
                continue;
            // The rest of the request follows within a few milliseconds.
            while (readable(8))
                if (::read(master, buffer, sizeof buffer) <= 0)
                    break;
            const QByteArray answer = script.value(requests++ % script.size());
            for (int at = 0; at < answer.size();) {
                const int chunk = std::min<int>(answer.size() - at, 1 + int(random() % 40));
                if (::write(master, answer.constData() + at, size_t(chunk)) < 0)
                    break;
                at += chunk;
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
            }
        }
    }

    QList<QByteArray> script;
    int master = -1;
    int slave = -1;
    std::atomic<bool> running{true};
    std::thread responder;
};

} // namespace

class TestSerialWorker : public QObject
{
    Q_OBJECT

    PanelSimulator* sim = nullptr;
    QSerialPortThread* thread = nullptr;

    void connectWorker()
    {
        QSerialPort::SerialPortError error;
        QString text;
        QVERIFY2(thread->start(sim->slavePath(), error, text), qPrintable(text));
        QCOMPARE(error, QSerialPort::NoError);
    }

private slots:
    void initTestCase() { registerSerialPortErrorType(); }

    void init()
    {
        sim = new PanelSimulator;
        QString error;
        QVERIFY2(sim->start(&error), qPrintable(error));
        thread = new QSerialPortThread;
    }

    void cleanup()
    {
        delete thread;
        thread = nullptr;
        delete sim;
        sim = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void openFailure()
    {
        QSerialPort::SerialPortError error = QSerialPort::NoError;
        QString text;
        QVERIFY(!thread->start("/dev/ostrovel-no-such-port", error, text));
        QCOMPARE(error, QSerialPort::DeviceNotFoundError);
        QVERIFY(!text.isEmpty());
        QVERIFY(!thread->isRunning());
        // A request emitted without a running worker is not lost without an owner.
        Requester requester;
        requester.send(*thread, 0x40);
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void versionExchange()
    {
        connectWorker();
        QSignalSpy errors(thread, &QSerialPortThread::errorEvent);
        emit thread->startEvents(false);
        Requester requester;
        requester.send(*thread, 0x40);
        QTRY_COMPARE(requester.answers.size(), 1);
        const Answer answer = requester.answers.first();
        QCOMPARE(answer.error, NoError);
        QCOMPARE(answer.text, QString());
        QCOMPARE(answer.data, QByteArray::fromHex("0040000902ee02064c"));
        QCOMPARE(sim->frames(0x40).size(), 1);
        QCOMPARE(sim->frames(0x40).first().bytes, QByteArray::fromHex("0040000000e0"));
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(errors.first().at(0).value<QSerialPortError>(), NoError);
    }

    void pollParameterFollowsAnswers()
    {
        sim->queueKey(12345);
        QSignalSpy events(thread, &QSerialPortThread::event);
        connectWorker();
        // First poll 0x00 delivers the record; the next one acknowledges it with 0xFF and
        // gets the status byte; the one after that asks with 0x00 again.
        QTRY_VERIFY(sim->frames(0x43).size() >= 3);
        QCOMPARE(parameters(sim->frames(0x43)).left(3), QByteArray::fromHex("00ff00"));
        QCOMPARE(sim->frames(0x43).first().bytes, QByteArray::fromHex("004300000068"));
        QTRY_VERIFY(events.size() >= 2);
        QCOMPARE(events.at(0).at(0).toByteArray(), QByteArray::fromHex("393000000011"));
        QVERIFY(events.at(0).at(1).toDateTime().isValid());
        QCOMPARE(events.at(1).at(0).toByteArray(), QByteArray::fromHex("11"));
        QCOMPARE(sim->pendingEvents(), 0);
    }

    void pollingOffAndOnAgain()
    {
        sim->queueKey(0x0A0B0C);
        QSignalSpy events(thread, &QSerialPortThread::event);
        connectWorker();
        QTRY_COMPARE(events.size(), 1);
        // Switching polling off and on again forgets the pending acknowledgement: the next
        // poll asks with 0x00 and the record comes again.
        emit thread->startEvents(false);
        emit thread->startEvents(true);
        QTRY_COMPARE(events.size(), 2);
        QCOMPARE(events.at(1).at(0).toByteArray(), events.at(0).at(0).toByteArray());
        QCOMPARE(parameters(sim->frames(0x43)).left(2), QByteArray::fromHex("0000"));

        emit thread->startEvents(false);
        QTest::qWait(250);
        const int polls = sim->requestCount(0x43);
        QTest::qWait(600);
        QCOMPARE(sim->requestCount(0x43), polls);
        emit thread->startEvents(true);
        QTRY_VERIFY(sim->requestCount(0x43) > polls);
    }

    void pollingOffDuringAPoll()
    {
        // Switched off while a poll is on the line, polling stays off after that poll's answer.
        sim->injectFault(0x43, Fault::Delay, 300, 1);
        connectWorker();
        QTRY_COMPARE(sim->requestCount(0x43), 1);
        emit thread->startEvents(false);
        QTest::qWait(900);
        QCOMPARE(sim->requestCount(0x43), 1);
    }

    void retries_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");

        QTest::newRow("bad header crc")
            << 0x40 << int(Fault::BadHeaderCrc) << 0 << int(HeaderCrcError)
            << "Неверная контрольная сумма пакета команды." << -1;
        QTest::newRow("bad data crc") << 0x40 << int(Fault::BadDataCrc) << 0 << int(DataCrcError)
                                      << "Неверная контрольная сумма пакета данных." << -1;
        QTest::newRow("result code 7")
            << 0x25 << int(Fault::ResultCode) << 7 << int(NoError) << QString() << 7;
        QTest::newRow("answer cut in the header")
            << 0x40 << int(Fault::CutAnswer) << 4 << int(Timeout)
            << "Таймаут ожидания данных. Получено 4 байт из 6." << -1;
        QTest::newRow("64 data bytes announced, 40 bytes in all")
            << 0x7F << int(Fault::CutAnswer) << 40 << int(Timeout)
            << "Таймаут ожидания данных. Получено 40 байт из 71." << -1;
    }
    void retries()
    {
        QFETCH(int, command);
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(int, error);
        QFETCH(QString, text);
        QFETCH(int, result);

        connectWorker();
        emit thread->startEvents(false);
        QSignalSpy errors(thread, &QSerialPortThread::errorEvent);
        sim->injectFault(command, Fault(fault), value, 3);
        QByteArray data;
        if (command == 0x7F)
            data = QByteArray::fromHex("0500");
        if (command == 0x25)
            data = QByteArray::fromHex("0000"
                                       "0100000100");
        Requester requester;
        requester.send(*thread, quint8(command), 0, data);
        QTRY_COMPARE_WITH_TIMEOUT(requester.answers.size(), 1, 10000);
        const Answer answer = requester.answers.first();
        QCOMPARE(int(answer.error), error);
        QCOMPARE(answer.text, text);
        if (result >= 0)
            QCOMPARE(int(quint8(answer.data.at(2))), result);
        QCOMPARE(sim->requestCount(command), 3);
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(int(errors.first().at(0).value<QSerialPortError>()), error);
        QCOMPARE(errors.first().at(1).toString(), text);

        // The attempts follow each other after a short pause, not after a time-out, unless
        // the answer was incomplete.
        const auto frames = sim->frames(command);
        const qint64 gap = frames.at(2).microseconds - frames.at(1).microseconds;
        QVERIFY2(gap >= 10000, qPrintable(QString::number(gap)));
        if (error != Timeout)
            QVERIFY2(gap < 500000, qPrintable(QString::number(gap)));
        else
            QVERIFY2(gap >= 1000000, qPrintable(QString::number(gap)));
    }

    void silenceThenAnswer()
    {
        connectWorker();
        emit thread->startEvents(false);
        sim->injectFault(0x40, Fault::Silence, 0, 1);
        Requester requester;
        requester.send(*thread, 0x40);
        QTRY_COMPARE_WITH_TIMEOUT(requester.answers.size(), 1, 5000);
        QCOMPARE(requester.answers.first().error, NoError);
        QCOMPARE(sim->requestCount(0x40), 2);
    }

    void resultCodeThenSuccess()
    {
        connectWorker();
        emit thread->startEvents(false);
        sim->injectFault(0x40, Fault::ResultCode, 0x08, 2);
        Requester requester;
        requester.send(*thread, 0x40);
        QTRY_COMPARE(requester.answers.size(), 1);
        QCOMPARE(requester.answers.first().error, NoError);
        QCOMPARE(requester.answers.first().data.at(2), char(0));
        QCOMPARE(sim->requestCount(0x40), 3);
    }

    void errorEventOncePerPoll()
    {
        // Six failed attempts make two failed polls; each reports once.
        sim->injectFault(0x43, Fault::BadHeaderCrc, 0, 6);
        QSignalSpy errors(thread, &QSerialPortThread::errorEvent);
        connectWorker();
        QTRY_VERIFY(sim->requestCount(0x43) >= 7);
        QTRY_VERIFY(errors.size() >= 3);
        QCOMPARE(errors.at(0).at(0).value<QSerialPortError>(), HeaderCrcError);
        QCOMPARE(errors.at(1).at(0).value<QSerialPortError>(), HeaderCrcError);
        QCOMPARE(errors.at(2).at(0).value<QSerialPortError>(), NoError);
        QCOMPARE(errors.at(2).at(1).toString(), QString());
        // A failed poll asks with 0x00 again.
        QCOMPARE(parameters(sim->frames(0x43)).left(7), QByteArray(7, '\0'));
    }

    void silentPanelTimesOut()
    {
        sim->injectFault(0x43, Fault::Silence, 0, 3);
        QSignalSpy errors(thread, &QSerialPortThread::errorEvent);
        connectWorker();
        QTRY_VERIFY_WITH_TIMEOUT(errors.size() >= 1, 6000);
        QCOMPARE(errors.first().at(0).value<QSerialPortError>(), Timeout);
        QCOMPARE(errors.first().at(1).toString(), timeoutNothing);
        QCOMPARE(sim->requestCount(0x43), 3);
        const auto frames = sim->frames(0x43);
        QVERIFY(frames.at(1).microseconds - frames.at(0).microseconds >= 1000000);
    }

    void cancelWhileWaiting()
    {
        connectWorker();
        emit thread->startEvents(false);
        sim->injectFault(0x40, Fault::Silence, 0, 1);
        Requester requester;
        requester.send(*thread, 0x40);
        requester.send(*thread, 0x64);
        QTRY_COMPARE(sim->requestCount(0x40), 1);
        emit thread->cancel();
        // Answered long before the 1000 ms time-out of the attempt would end.
        QTRY_VERIFY_WITH_TIMEOUT(requester.answers.size() >= 1, 500);
        QCOMPARE(requester.answers.at(0).error, CancelledByUser);
        QCOMPARE(requester.answers.at(0).text,
                 QString("Выполнение команды прервано пользователем."));
        QTRY_COMPARE(requester.answers.size(), 2);
        QCOMPARE(requester.answers.at(1).error, NoError);
        QCOMPARE(requester.answers.at(1).data.size(), 6 + 36 + 1);
        QCOMPARE(sim->requestCount(0x40), 1);
    }

    void cancelWithNothingRunning()
    {
        connectWorker();
        emit thread->startEvents(false);
        emit thread->cancel();
        Requester requester;
        requester.send(*thread, 0x40);
        QTRY_COMPARE(requester.answers.size(), 1);
        QCOMPARE(requester.answers.at(0).error, CancelledByUser);
        requester.send(*thread, 0x40);
        QTRY_COMPARE(requester.answers.size(), 2);
        QCOMPARE(requester.answers.at(1).error, NoError);
    }

    void cancelEndsNextPoll()
    {
        QSignalSpy errors(thread, &QSerialPortThread::errorEvent);
        connectWorker();
        QTRY_VERIFY(errors.size() >= 1);
        errors.clear();
        emit thread->cancel();
        QTRY_VERIFY(errors.size() >= 2);
        QCOMPARE(errors.at(0).at(0).value<QSerialPortError>(), CancelledByUser);
        QCOMPARE(errors.at(1).at(0).value<QSerialPortError>(), NoError);
    }

    void stopWhileWaiting()
    {
        connectWorker();
        emit thread->startEvents(false);
        sim->injectFault(0x40, Fault::Silence, 0, 3);
        Requester requester;
        requester.send(*thread, 0x40);
        requester.send(*thread, 0x64);
        requester.send(*thread, 0x64);
        QTRY_COMPARE(sim->requestCount(0x40), 1);
        thread->stop();
        QVERIFY(thread->isFinished());
        QTRY_COMPARE(requester.answers.size(), 1);
        QCOMPARE(requester.answers.at(0).error, ClosedByUser);
        QCOMPARE(requester.answers.at(0).text, QString("Соединение закрыто пользователем."));
        QTest::qWait(50);
        QCOMPARE(requester.answers.size(), 1);
        QCOMPARE(sim->requestCount(0x64), 0);
        QCOMPARE(QPacket::liveCount(), 0);
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
        QCOMPARE(requester.answers.at(0).error, NoError);
    }

    void clearingWaitsLonger()
    {
        connectWorker();
        emit thread->startEvents(false);
        sim->injectFault(0x01, Fault::Delay, 2000, 1);
        Requester requester;
        requester.send(*thread, 0x01);
        QTRY_COMPARE_WITH_TIMEOUT(requester.answers.size(), 1, 6000);
        QCOMPARE(requester.answers.at(0).error, NoError);
        QCOMPARE(requester.answers.at(0).data, QByteArray::fromHex("00010000008f"));
        QCOMPARE(sim->requestCount(0x01), 1);

        // The same delay is too long for any other command: its first attempt times out.
        sim->injectFault(0x40, Fault::Delay, 2000, 1);
        requester.send(*thread, 0x40);
        QTRY_VERIFY_WITH_TIMEOUT(sim->requestCount(0x40) >= 2, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(requester.answers.size(), 2, 6000);
    }

    void anyLineNoiseEndsInALinkError()
    {
        // Whatever comes back, each exchange ends with a valid frame or a link error, and
        // nothing is read past a buffer (the sanitizer build watches that).
        std::mt19937 random(2026);
        auto bytes = [&](int count) {
            QByteArray result;
            for (int i = 0; i < count; ++i)
                result.append(char(random() % 256));
            return result;
        };
        auto header = [](quint8 result, quint8 length) {
            QByteArray h = QByteArray::fromHex("0040");
            h.append(char(result));
            h.append(char(0));
            h.append(char(length));
            quint8 crc = 0;
            for (char c : h) {
                crc ^= quint8(c);
                for (int bit = 0; bit < 8; ++bit)
                    crc = (crc & 1) ? quint8((crc >> 1) ^ 0x8C) : quint8(crc >> 1);
            }
            h.append(char(crc));
            return h;
        };
        QList<QByteArray> script;
        for (int i = 0; i < 24; ++i) {
            switch (i % 6) {
            case 0: // noise longer than any frame
                script << bytes(300 + int(random() % 200));
                break;
            case 1: // a good header announcing the largest block, then noise
                script << header(0, 255) + bytes(256 + int(random() % 50));
                break;
            case 2: // a good header-only frame followed by noise
                script << header(0, 0) + bytes(int(random() % 40));
                break;
            case 3: // a result code, then noise
                script << header(quint8(random() % 256), 0) + bytes(int(random() % 10));
                break;
            case 4: // short noise: a wrong header as soon as six bytes are in
                script << bytes(6 + int(random() % 6));
                break;
            default: // random data length with random data
                script << header(0, quint8(1 + random() % 254)) + bytes(300);
                break;
            }
        }
        script[7] = header(0, 20).left(4); // incomplete: times out with 4 of 6
        RawLine line;
        QVERIFY(line.open(script));
        QSerialPort::SerialPortError openError;
        QString openText;
        QVERIFY(thread->start(line.path, openError, openText));
        emit thread->startEvents(false);
        Requester requester;
        for (int i = 0; i < 12; ++i)
            requester.send(*thread, 0x40);
        QTRY_COMPARE_WITH_TIMEOUT(requester.answers.size(), 12, 30000);
        for (const Answer& answer : requester.answers) {
            QVERIFY(answer.data.size() <= 6 + 255 + 1);
            switch (answer.error) {
            case NoError:
                QCOMPARE(Protocol::checkAnswer(answer.data).status,
                         Protocol::AnswerCheck::Complete);
                QCOMPARE(answer.data.size(), Protocol::checkAnswer(answer.data).expected);
                break;
            case Timeout:
            case HeaderCrcError:
            case DataCrcError:
                QVERIFY(!answer.text.isEmpty());
                break;
            default:
                QFAIL(qPrintable(QString("unexpected link error %1").arg(int(answer.error))));
            }
        }
        thread->stop();
    }
};

QTEST_GUILESS_MAIN(TestSerialWorker)
#include "tst_serialworker.moc"
