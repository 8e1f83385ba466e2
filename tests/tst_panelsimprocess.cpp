// The simulator's own process under the program's serial worker, handled from outside the way
// a person at a terminal or another program's test handles it.

#include "qserialportthread.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestPanelSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void recoversAfterFreeze()
    {
        QTemporaryDir dir;
        // Serial ports are locked by their file name for the whole machine: this one is unique.
        const QString link = dir.filePath(QFileInfo(dir.path()).fileName());
        QProcess sim;
        sim.start(QStringLiteral(OSTROVEL_PANELSIM),
                  {"--link", link, "--stored-events", QString::number(StoredEvents)});
        QVERIFY(sim.waitForReadyRead(5000));
        QSerialPortThread thread;
        QSerialPort::SerialPortError openError;
        QString text;
        QVERIFY2(thread.start(link, openError, text), qPrintable(text));
        QSignalSpy errors(&thread, &QSerialPortThread::errorEvent);
        QSignalSpy events(&thread, &QSerialPortThread::event);
        QTRY_VERIFY(!events.isEmpty());

        // Stopped, the panel misses a poll and its retries, which pile up in the pty.
        ::kill(sim.processId(), SIGSTOP);
        QTest::qWait(3000);
        ::kill(sim.processId(), SIGCONT);
        const int resumed = errors.size();
        const auto answered = [&errors, resumed] {
            for (int i = resumed; i < errors.size(); ++i) {
                if (errors.at(i).at(0).value<QSerialPortError>() == NoError)
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(answered(), 1200);
        // The polls the program gave up on acknowledged no event it never saw.
        QTRY_VERIFY_WITH_TIMEOUT(events.last().at(0).toByteArray().size() == 1, 10000);
        QSet<QByteArray> records;
        for (const auto& event : events)
            records.insert(event.at(0).toByteArray());
        QCOMPARE(records.size(), StoredEvents + 1);
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }

private:
    static constexpr int StoredEvents = 10;
};

QTEST_GUILESS_MAIN(TestPanelSimProcess)
#include "tst_panelsimprocess.moc"
