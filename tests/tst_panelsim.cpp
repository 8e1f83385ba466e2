// The panel simulator on its own, without the program's code: the worked frames of the
// protocol go in through the pty's slave side, opened with plain POSIX calls, and one case of
// every fault it can play. The program's own tests exercise the rest of it.

#include "panelsimulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The program's side of the line: the slave opened like a serial port.
class Line
{
public:
    explicit Line(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~Line() { ::close(m_fd); }

    bool send(const QByteArray& bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Whatever has arrived when `count` bytes are in or `timeoutMs` is over.
    QByteArray read(int count, int timeoutMs)
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        pollfd pfd{m_fd, POLLIN, 0};
        char buffer[512];
        while (got.size() < count &&
               ::poll(&pfd, 1, int(std::max<qint64>(0, timeoutMs - timer.elapsed()))) > 0)
            got.append(buffer, int(std::max<ssize_t>(0, ::read(m_fd, buffer, sizeof buffer))));
        return got;
    }

private:
    int m_fd;
};

} // namespace

class TestPanelSim : public QObject
{
    Q_OBJECT

    // Every thread of the process is stopped ("T" in its status line).
    static bool isStopped(qint64 pid)
    {
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
        const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& id : ids) {
            QFile stat(tasks.filePath(id + "/stat"));
            if (!stat.open(QIODevice::ReadOnly))
                return false;
            const QByteArray line = stat.readAll();
            // The state follows the command name, which is in parentheses.
            if (line.mid(line.lastIndexOf(')') + 2, 1) != "T")
                return false;
        }
        return !ids.isEmpty();
    }

private slots:
    void workedFrames_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        const auto row = [](const char* name, const char* request, const char* answer) {
            QTest::newRow(name) << QByteArray::fromHex(request) << QByteArray::fromHex(answer);
        };
        row("version", "0040000000e0", "0040000902ee02064c");
        row("poll, status byte", "004300000068", "00430000013611c3");
        row("boot mode on", "0000000100c4", "000000000000");
        row("unknown command", "005500000059", "0055ff00008b");
    }
    void workedFrames()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        PanelSimulator sim;
        QVERIFY(sim.start());
        Line line(sim.slavePath());
        QVERIFY(line.send(request));
        QCOMPARE(line.read(answer.size(), 1000).toHex(), answer.toHex());
        QCOMPARE(sim.frames().value(0).bytes, request);
    }

    void faults_data()
    {
        using Kind = PanelSimulator::FaultKind;
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("silence") << int(Kind::Silence) << 0 << QByteArray();
        QTest::newRow("bad header crc")
            << int(Kind::BadHeaderCrc) << 0 << QByteArray::fromHex("00400009021102064c");
        QTest::newRow("bad data crc")
            << int(Kind::BadDataCrc) << 0 << QByteArray::fromHex("0040000902ee0206b3");
        QTest::newRow("cut answer") << int(Kind::CutAnswer) << 4 << QByteArray::fromHex("00400009");
        QTest::newRow("result code")
            << int(Kind::ResultCode) << 7 << QByteArray::fromHex("00400700009a");
        QTest::newRow("noise") << int(Kind::Noise) << 2
                               << QByteArray::fromHex("0040000902ee02064c0b30");
        QTest::newRow("delay") << int(Kind::Delay) << 300
                               << QByteArray::fromHex("0040000902ee02064c");
    }
    void faults()
    {
        QFETCH(int, kind);
        QFETCH(int, value);
        QFETCH(QByteArray, answer);
        PanelSimulator sim;
        QVERIFY(sim.start());
        Line line(sim.slavePath());
        sim.injectFault(0x40, PanelSimulator::FaultKind(kind), value);
        const QByteArray version = QByteArray::fromHex("0040000000e0");
        QVERIFY(line.send(version));
        if (kind == int(PanelSimulator::FaultKind::Delay))
            QVERIFY(line.read(1, value / 2).isEmpty());
        QCOMPARE(line.read(qMax(answer.size(), 1), answer.isEmpty() ? 100 : 1000).toHex(),
                 answer.toHex());
        // Used up: the retry is answered normally, and nothing of the faulted answer is left.
        QVERIFY(line.send(version));
        QCOMPARE(line.read(9, 1000).toHex(), QByteArray("0040000902ee02064c"));
        QCOMPARE(sim.requestCount(0x40), 2);
    }

    void catchesUpAfterFreeze_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("during");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QByteArray>("answer");
        const auto row = [](const char* name, const char* before, const char* during,
                            const char* after, const char* answer) {
            QTest::newRow(name) << QByteArray::fromHex(before) << QByteArray::fromHex(during)
                                << QByteArray::fromHex(after) << QByteArray::fromHex(answer);
        };
        const char* version = "0040000902ee02064c";
        row("a request cut by the freeze", "00", "4300000068", "", "00430000013611c3");
        row("a request without its first byte, then a newer one", "", "4300000068 0040000000e0", "",
            version);
        row("retries piled up, the next one being written", "", "0040000000e0 0040000000e0 00",
            "40000000e0", version);
    }
    void catchesUpAfterFreeze()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, during);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, answer);
        QProcess sim;
        sim.start(QStringLiteral(OSTROVEL_PANELSIM), QStringList());
        QVERIFY(sim.waitForReadyRead(5000));
        Line line(QString::fromLocal8Bit(sim.readLine().trimmed()));
        QVERIFY(line.send(before));
        // Time for the simulator to take in what came before; then it is stopped for longer
        // than any pause within a request.
        QTest::qWait(50);
        ::kill(sim.processId(), SIGSTOP);
        // The signal is delivered some time after kill() returns; the bytes must not reach a
        // thread that still runs.
        QTRY_VERIFY(isStopped(sim.processId()));
        QVERIFY(line.send(during));
        QTest::qWait(400);
        ::kill(sim.processId(), SIGCONT);
        QTest::qWait(2);
        QVERIFY(line.send(after));
        // One answer, to the newest request only.
        QCOMPARE(line.read(answer.size() + 1, 500).toHex(), answer.toHex());
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }

    void unplugAndReplug()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("usb-panel");
        PanelSimulator sim;
        QVERIFY(sim.setLinkPath(link));
        QVERIFY(sim.start());
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.slavePath());
        const QByteArray poll = QByteArray::fromHex("004300000068");
        {
            Line line(link);
            sim.unplug();
            // The port the program holds is dead, and no name leads to the panel.
            QVERIFY(!line.send(poll));
            QVERIFY(!QFileInfo(link).isSymLink());
            QVERIFY(sim.isRunning() && !sim.isPlugged());
        }
        // The panel still has power and stores what happens at the door.
        sim.queueKey(0x123456);
        QVERIFY(sim.replug());
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.slavePath());
        Line line(link);
        QVERIFY(line.send(poll));
        QCOMPARE(line.read(13, 1000).toHex(), QByteArray("0043000006b5563412000011fb"));
        sim.stop();
        QVERIFY(!QFileInfo(link).isSymLink());
        // Something that is not a link is never replaced.
        QFile file(dir.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!sim.setLinkPath(file.fileName()));
    }
};

QTEST_GUILESS_MAIN(TestPanelSim)
#include "tst_panelsim.moc"
