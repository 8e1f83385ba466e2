#include "guitest.h"
#include "modalanswerer.h"
#include "portaccess.h"
#include "qzelkorwindow.h"

#include <QtTest>

#include <QComboBox>
#include <QPushButton>

#include <sys/fsuid.h>
#include <unistd.h>

// The hint that follows a port's permission error: which group owns the device and that the
// user has to join it.
class TestPortAccess : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // A device file that only its group may read and write.
    QString deviceFile(QFile::Permissions groupRights = QFile::ReadGroup | QFile::WriteGroup)
    {
        const QString path = dir.filePath(QStringLiteral("ttyUSB9"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(groupRights))
            qFatal("cannot make %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void groupToJoin()
    {
        const QString path = deviceFile();
        const uint group = QFileInfo(path).groupId();
        QCOMPARE(PortAccess::groupToJoin(path, {1234567}), QFileInfo(path).group());
        QCOMPARE(PortAccess::groupToJoin(path, {1234567, group}), QString());
        // Joining a group that may only read would not open the port either.
        deviceFile(QFile::ReadGroup);
        QCOMPARE(PortAccess::groupToJoin(path, {1234567}), QString());
        QCOMPARE(PortAccess::groupToJoin(dir.filePath("missing"), {}), QString());
    }

    // A port of a group the user is not in, opened by a user without root's rights: the
    // message names the group. Root may open any file, so the test lends the window's thread
    // an ordinary user's file rights for the open.
    void hintAfterPermissionError()
    {
        if (geteuid() != 0)
            QSKIP("needs root to give a file a group the test user is not in");
        const uint nobody = 65534;
        QVERIFY(!PortAccess::processGroups().contains(nobody));
        const QString path = deviceFile();
        // Like /dev, the folder is open to everyone; only the device is not.
        QFile::setPermissions(dir.path(),
                              QFile::permissions(dir.path()) | QFile::ExeGroup | QFile::ExeOther);
        QVERIFY(::chown(QFile::encodeName(path).constData(), 0, nobody) == 0);
        // Root could open it: a permission error then means a busy port, and no group helps.
        QCOMPARE(PortAccess::groupToJoin(QSerialPort::PermissionError, path), QString());
        setfsuid(nobody);
        const QString otherError = PortAccess::groupToJoin(QSerialPort::OpenError, path);
        setfsuid(0);
        QCOMPARE(otherError, QString());

        qputenv("OSTROVEL_EXTRA_PORTS", path.toLocal8Bit());
        QZelKorWindow window;
        childOf<QComboBox>(&window, "cbListPort")->setCurrentText(path);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        setfsuid(nobody);
        childOf<QPushButton>(&window, "pbConnectPort")->click();
        setfsuid(0);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text,
                 QString("Не удалось открыть порт %1.\r\nОшибка: Permission denied\r\nДобавьте "
                         "пользователя в группу '%2' и "
                         "войдите в систему заново.")
                     .arg(path, QFileInfo(path).group()));
    }
};

QTEST_MAIN(TestPortAccess)
#include "tst_portaccess.moc"
