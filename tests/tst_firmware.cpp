#include "firmwareimage.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "panelsimulator.h"
#include "protocol.h"
#include "qfirmwaredownload.h"
#include "qfirmwareupload.h"
#include "qpacket.h"
#include "qserialportthread.h"
#include "qzelkorwindow.h"

#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using Fault = PanelSimulator::FaultKind;
using Stage = QFirmwareUploadChain::Stage;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file of `size` bytes of its own content; an image of that size is made for the device
// type, version 3.14.
QString writeFile(const QString& path, int size, quint8 type = 9)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 64) >> 3);
    if (size == 57344)
        bytes.replace(57341, 3, QByteArray(1, char(type)) + "\x03\x0e");
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == size ? path : QString();
}

} // namespace

// Firmware images, and writing them into and reading them out of the simulated panel. Most
// transfers skip the serial worker, whose pause after each block write would make an upload
// last half a minute: the simulator answers in-process. The worker carries a cancel and a read.
class TestFirmware : public QObject
{
    Q_OBJECT

    PanelSimulator* sim = nullptr;
    QSerialPortThread* thread = nullptr;
    bool polling = true; // as the dialog last switched it
    bool cancelled = false;
    int holdWrite = -1; // the block write left unanswered, as if still on the line
    QPacket* held = nullptr;
    QDialog* dialog = nullptr;
    QTemporaryDir dir;

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(dialog, name);
    }

    template<typename Dialog>
    void open(bool onWorker = false)
    {
        delete dialog;
        if (onWorker) {
            thread = new QSerialPortThread;
            QSerialPort::SerialPortError error;
            QString text;
            QVERIFY(thread->start(sim->slavePath(), error, text));
            dialog = Dialog::create(nullptr, thread);
        } else {
            auto* direct = new Dialog;
            connect(direct, &Dialog::startEvents, [this](bool on) { polling = on; });
            connect(direct, &Dialog::cancel, [this] { cancelled = true; });
            connect(direct, &Dialog::sendPacket, this, &TestFirmware::answerInProcess);
            dialog = direct;
        }
        dialog->show();
    }

    // Answers a request as the worker would after one attempt; a cancel ends it unsent.
    void answerInProcess(QPacket* packet)
    {
        if (packet->command() == 0x3F && sim->requestCount(0x3F) == holdWrite) {
            held = packet;
            return;
        }
        const QByteArray answer = cancelled ? QByteArray() : sim->exchange(packet->frame());
        const Protocol::AnswerCheck check = Protocol::checkAnswer(answer);
        QSerialPortError error = cancelled ? CancelledByUser : Timeout;
        if (check.status == Protocol::AnswerCheck::Complete)
            error = NoError;
        else if (check.status != Protocol::AnswerCheck::Incomplete)
            error = check.status == Protocol::AnswerCheck::HeaderCrcError ? HeaderCrcError
                                                                          : DataCrcError;
        cancelled = false;
        emit packet->handleEvent(error, linkErrorText(error, answer.size(), check.expected),
                                 error == NoError ? answer : QByteArray());
        delete packet;
    }

    // Clicks the button and answers the boxes it brings up, the last one with OK.
    QList<ModalAnswerer::Seen> click(const char* button, int boxes = 1, const QString& file = {})
    {
        ModalAnswerer answerer;
        if (!file.isEmpty())
            answerer.chooseFile(file);
        for (int i = file.isEmpty() ? 0 : 1; i < boxes; ++i)
            answerer.press(i == boxes - 1 ? QMessageBox::Ok : QMessageBox::Yes);
        child<QAbstractButton>(button)->click();
        answerer.waitForAnswered(boxes, 20000);
        QTest::qWait(1);
        return answerer.seen;
    }

    QString requestCounts()
    {
        return QString("%1 %2 %3 %4")
            .arg(sim->requestCount(0x40))
            .arg(sim->requestCount(0x00))
            .arg(sim->requestCount(0x3F))
            .arg(sim->requestCount(0x7F));
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        sim = new PanelSimulator;
        QVERIFY(sim->start());
        polling = true;
        cancelled = false;
        holdWrite = -1;
        held = nullptr;
    }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
        delete thread;
        thread = nullptr;
        delete sim;
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void loadImage_data()
    {
        QTest::addColumn<QString>("name"); // a plain name is made in dir: a file of `size`
        QTest::addColumn<int>("size");     // bytes, no file when -1, a folder when -2
        QTest::addColumn<QString>("message");
        const QString notFirmware = "Файл '%1' не является файлом прошивки.";
        QTest::newRow("image") << "a.bin" << 57344 << "";
        QTest::newRow("one byte short") << "b.bin" << 57343 << notFirmware;
        QTest::newRow("one byte long") << "c.bin" << 57345 << notFirmware;
        QTest::newRow("missing") << "d.bin" << -1 << "Файл '%1' отсутствует.";
        QTest::newRow("empty name") << "" << -1 << "Файл '' отсутствует.";
        QTest::newRow("unreadable") << "e.bin" << -2 << "Ошбка отрытия файла '%1'.\r\nОшибка: ";
        QTest::newRow("endless device") << "/dev/zero" << 0 << notFirmware;
        QTest::newRow("built-in") << ":/firmware/zel_kor_1" << 0 << "";
    }
    void loadImage()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        QFETCH(QString, message);
        QString path = name;
        if (!name.isEmpty() && !name.contains('/')) {
            path = dir.filePath(name);
            QVERIFY(size < 0 || writeFile(path, size) == path);
            QVERIFY(size != -2 || QDir(dir.path()).mkdir(name));
        }
        QByteArray image;
        const QString failure = Firmware::loadImage(path, image);
        const QString expected = message.contains("%1") ? message.arg(path) : message;
        QCOMPARE(failure.left(expected.size()), expected);
        QCOMPARE(failure.isEmpty(), expected.isEmpty());
        QCOMPARE(failure.size() > expected.size(), size == -2); // the file's own error follows
        QCOMPARE(Firmware::trailer(image).type, quint8(failure.isEmpty() ? 9 : 0));
        QVERIFY(image.size() <= 57345);
    }

    void defaultFileName()
    {
        const QDateTime when(QDate(2026, 12, 5), QTime(7, 30, 0));
        QCOMPARE(Firmware::fileName(when, {9, 2, 6}), QString("zel_kor_20261205_073000_2_6.bin"));
    }

    void uploadWritesAndVerifies_data()
    {
        QTest::addColumn<bool>("external");
        QTest::addColumn<bool>("boot");
        QTest::addColumn<bool>("closeEarly");
        QTest::newRow("built-in") << false << false << false;
        QTest::newRow("file") << true << false << false;
        QTest::newRow("panel left in boot mode") << false << true << false;
        QTest::newRow("close box during the transfer") << false << false << true;
    }
    void uploadWritesAndVerifies()
    {
        QFETCH(bool, external);
        QFETCH(bool, boot);
        QFETCH(bool, closeEarly);
        sim->setBootMode(boot);
        open<QFirmwareUpload>();
        QCOMPARE(child<QLineEdit>("leVersion")->text(), QString("ZEL-KOR 2.6"));
        QString file = ":/firmware/zel_kor_1";
        if (external) {
            file = writeFile(dir.filePath("written.bin"), 57344);
            child<QRadioButton>("rbExternal")->setChecked(true);
            child<QLineEdit>("leFileName")->setText(file);
        }
        bool closeRefused = false; // the close box waits for the end of the transfer
        if (closeEarly)
            QTimer::singleShot(0, [&] { closeRefused = !dialog->close() && dialog->isVisible(); });
        const auto seen = click("pbSave");
        QCOMPARE(closeRefused, closeEarly);
        QCOMPARE(seen.value(0).text, QString("Прошивка успешно записана в панель."));
        QCOMPARE(seen.value(0).title, QString("Запись прошивки в панель ZEL-KOR"));
        QCOMPARE(sim->firmware(), readFile(file));
        QVERIFY(!sim->bootMode());
        QCOMPARE(requestCounts(), QString("1 2 896 896"));
        QCOMPARE(child<QProgressBar>("pbWrite")->value() + child<QProgressBar>("pbRead")->value(),
                 2 * 897);
        QVERIFY(polling);
        QTRY_COMPARE(dialog->isVisible(), !closeEarly);
    }

    void uploadFails_data()
    {
        QTest::addColumn<int>("panelType");
        QTest::addColumn<QString>("file"); // "built-in", else a file of this device type
        QTest::addColumn<int>("faultCommand");
        QTest::addColumn<int>("fault"); // with its value, or a block damaged before verifying
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("box");      // caption: message
        QTest::addColumn<QString>("requests"); // version, boot mode, writes, reads
        const QString title = "Запись прошивки в панель ZEL-KOR: ";
        const QString mismatch =
            "Проверка прошивки: Сбой при записи прошивки в панель. Номер ошибочного пакета %1.";
        const int none = -2, damage = -1, result = int(Fault::ResultCode);
        // clang-format off
        QTest::newRow("panel of type 5") << 5 << "built-in" << none << 0 << 0
            << "Запрос версии панели: Неподдерживаемое устройство '0x05'." << "1 0 0 0";
        QTest::newRow("empty file name") << 9 << "" << none << 0 << 0
            << title + "Файл '' отсутствует." << "1 0 0 0";
        QTest::newRow("image for another device") << 9 << "0a" << none << 0 << 0
            << title + "Прошивка '0x0a' не для этого типа оборудования '0x09'." << "1 0 0 0";
        QTest::newRow("version time-out") << 9 << "built-in" << 0x40 << int(Fault::Silence) << 0
            << "Запрос версии панели: Таймаут ожидания данных. Получено 0 байт из 6." << "1 0 0 0";
        QTest::newRow("boot mode refused") << 9 << "built-in" << 0x00 << result << 0xFF
            << "Включение режима загрузки: Неизвестная команда" << "1 1 0 0";
        QTest::newRow("write refused") << 9 << "built-in" << 0x3F << result << 8
            << "Запись прошивки: Данные вне диапазона" << "1 1 1 0";
        QTest::newRow("mismatch in block 0") << 9 << "built-in" << damage << 0 << 0
            << mismatch.arg(0) << "1 1 896 1";
        QTest::newRow("mismatch in block 895") << 9 << "built-in" << damage << 0 << 895
            << mismatch.arg(895) << "1 1 896 896";
        QTest::newRow("short read answer") << 9 << "built-in" << 0x7F << int(Fault::ShortData) << 63
            << mismatch.arg(0) << "1 1 896 1";
        // clang-format on
    }
    void uploadFails()
    {
        QFETCH(int, panelType);
        QFETCH(QString, file);
        QFETCH(int, faultCommand);
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(QString, box);
        QFETCH(QString, requests);
        sim->setVersion(quint8(panelType), 2, 6);
        if (faultCommand >= 0)
            sim->injectFault(faultCommand, Fault(fault), value);
        open<QFirmwareUpload>();
        if (file != "built-in") {
            child<QRadioButton>("rbExternal")->setChecked(true);
            if (!file.isEmpty())
                child<QLineEdit>("leFileName")->setText(writeFile(dir.filePath("a"), 57344, 10));
        }
        // Damaged after every block was written, before the first is read back.
        connect(dialog->findChild<QFirmwareUploadChain*>(), &QFirmwareUploadChain::stageChanged,
                [=](Stage stage) {
                    if (stage == Stage::Verify && faultCommand == -1)
                        sim->damageFirmwareBlock(value);
                });
        const auto seen = click("pbSave");
        QCOMPARE(seen.value(0).title + ": " + seen.value(0).text, box);
        QCOMPARE(seen.value(0).icon, QMessageBox::Critical);
        QCOMPARE(requestCounts(), requests);
        // Once switched on, boot mode stays on after a failure.
        QCOMPARE(sim->bootMode(), sim->requestCount(0x3F) > 0);
        QVERIFY(polling);
        QTRY_VERIFY(child<QPushButton>("pbSave")->isEnabled());
    }

    void uploadClosedDuringWriting()
    {
        open<QFirmwareUpload>(true);
        QSignalSpy switches(thread, &QSerialPortThread::startEvents);
        connect(child<QProgressBar>("pbWrite"), &QProgressBar::valueChanged, [this](int value) {
            if (value == 4)
                child<QPushButton>("pbClose")->click();
        });
        const auto seen = click("pbSave");
        QCOMPARE(seen.value(0).text, QString("Выполнение команды прервано пользователем."));
        QCOMPARE(seen.value(0).title, QString("Запись прошивки"));
        QTRY_VERIFY(!dialog->isVisible());
        QVERIFY(sim->bootMode());
        QVERIFY(!switches.isEmpty() && switches.last().first().toBool());
    }

    void uploadDestroyedDuringWriting()
    {
        open<QFirmwareUpload>();
        holdWrite = 10;
        child<QPushButton>("pbSave")->click();
        QTRY_VERIFY(held);
        delete dialog;
        dialog = nullptr;
        QVERIFY(polling);
        // The answer in flight finds nobody.
        emit held->handleEvent(NoError, {}, QByteArray());
        delete held;
        QTest::qWait(1);
    }

    void uploadRefusesAFileOfAnotherDevice()
    {
        open<QFirmwareUpload>();
        ModalAnswerer answerer;
        answerer.chooseFile(writeFile(dir.filePath("chosen.bin"), 57344, 10));
        answerer.press(QMessageBox::Ok);
        child<QAction>("actionOpen")->trigger();
        QCOMPARE(answerer.seen.value(1).text, QString("Неподдерживаемое устройство '0x0a'."));
        QVERIFY(child<QLineEdit>("leFileName")->text().isEmpty());
    }

    void downloadReadsAndSaves()
    {
        QByteArray image = sim->firmware();
        image.replace(57341, 3, "\x0a\x03\x0e"); // the version is shown whatever the type
        sim->setFirmware(image);
        open<QFirmwareDownload>(true);
        QSignalSpy switches(thread, &QSerialPortThread::startEvents);
        child<QToolButton>("tbRead")->click();
        QTRY_VERIFY_WITH_TIMEOUT(child<QToolButton>("tbSaveAs")->isEnabled(), 30000);
        QCOMPARE(child<QLineEdit>("leVer")->text(), QString("3.14"));
        QVERIFY(!switches.isEmpty() && switches.last().first().toBool());
        const QString path = dir.filePath("read.bin");
        QCOMPARE(click("tbSaveAs", 2, path).value(1).text,
                 QString("Файл с прошивкой успешно сохранен."));
        QCOMPARE(readFile(path), image);
        // Into a folder that cannot be written, and onto a disk that refuses the write (files
        // cannot grow beyond a few kilobytes): the file's error, the old file kept.
        const QString refused = writeFile(dir.filePath("plain"), 4) + "/a.bin";
        QCOMPARE(click("tbSaveAs", 2, refused).value(1).text,
                 QString("Ошибка записи файла: %1.\r\nОшибка: %2.")
                     .arg(refused, QString::fromLocal8Bit(std::strerror(ENOTDIR))));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{4096, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        const auto seen = click("tbSaveAs", 3, path);
        setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(seen.value(2).text, QString("Ошибка записи файла: %1.\r\nОшибка: %2.")
                                         .arg(path, QString::fromLocal8Bit(std::strerror(EFBIG))));
        QCOMPARE(readFile(path), image);
    }

    void secondReadStartsAfresh()
    {
        open<QFirmwareDownload>();
        for (int read = 0; read < 2; ++read) {
            child<QToolButton>("tbRead")->click();
            QTRY_VERIFY(child<QToolButton>("tbSaveAs")->isEnabled());
        }
        QCOMPARE(child<QLineEdit>("leVer")->text(), QString("2.6"));
        const QString path = dir.filePath("twice.bin");
        QCOMPARE(click("tbSaveAs", 2, path).value(1).text,
                 QString("Файл с прошивкой успешно сохранен."));
        QCOMPARE(readFile(path), sim->firmware());
    }

    void downloadFails_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("short answer")
            << int(Fault::ShortData) << 63
            << "Неполный ответ панели при чтении блока прошивки 0: получено 63 байт из 64.";
        QTest::newRow("closed at block 300")
            << -1 << 300 << "Выполнение команды прервано пользователем.";
    }
    void downloadFails()
    {
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(QString, message);
        if (fault >= 0)
            sim->injectFault(0x7F, Fault(fault), value);
        open<QFirmwareDownload>();
        connect(child<QProgressBar>("pbProgress"), &QProgressBar::valueChanged, [=](int blocks) {
            if (fault < 0 && blocks == value)
                child<QToolButton>("tbClose")->click();
        });
        const auto seen = click("tbRead");
        QCOMPARE(seen.value(0).text, message);
        QCOMPARE(seen.value(0).title, QString("Чтение прошивки из панели ZEL-KOR"));
        QVERIFY(!child<QToolButton>("tbSaveAs")->isEnabled());
        QCOMPARE(child<QLineEdit>("leVer")->text(), QString("?"));
        QVERIFY(polling);
        QCOMPARE(dialog->isVisible(), fault >= 0);
        QCOMPARE(sim->requestCount(0x7F), fault < 0 ? value : 1);
    }

    void mainWindowOpensTheDialogs()
    {
        qputenv("OSTROVEL_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
        QZelKorWindow window;
        childOf<QComboBox>(&window, "cbListPort")->setCurrentText(sim->slavePath());
        childOf<QPushButton>(&window, "pbConnectPort")->click();
        ModalAnswerer answerer;
        answerer.cancelDialog();
        answerer.cancelDialog();
        childOf<QAction>(&window, "actionFirmwareUpload")->trigger();
        childOf<QAction>(&window, "actionFirmwareDownload")->trigger();
        QCOMPARE(answerer.seen.value(0).title, QString("Запись прошивки в панель ZEL-KOR"));
        QCOMPARE(answerer.seen.value(1).title, QString("Чтение прошивки из панели ZEL-KOR"));
    }
};

QTEST_MAIN(TestFirmware)
#include "tst_firmware.moc"
