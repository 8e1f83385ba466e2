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

    void groupToJoin_data()
    {
        QTest::addColumn<int>("rights");
        QTest::addColumn<bool>("member");
        QTest::addColumn<bool>("hint");
        const int readWrite = int(QFile::ReadGroup | QFile::WriteGroup);
        QTest::newRow("not a member") << readWrite << false << true;
        QTest::newRow("member") << readWrite << true << false;
        QTest::newRow("group may only read") << int(QFile::ReadGroup) << false << false;
        QTest::newRow("group may not write or read") << int(QFile::ReadOwner) << false << false;
    }

    void groupToJoin()
    {
        QFETCH(int, rights);
        QFETCH(bool, member);
        QFETCH(bool, hint);
        const QString path = deviceFile(QFile::Permissions(rights));
        const uint group = QFileInfo(path).groupId();
        const QVector<uint> groups =
            member ? QVector<uint>{1234567, group} : QVector<uint>{1234567};
        QCOMPARE(PortAccess::groupToJoin(path, groups), hint ? QFileInfo(path).group() : QString());
        QCOMPARE(PortAccess::groupToJoin(dir.filePath("missing"), {}), QString());
    }

    // A port of a group the user is not in, opened by a user without root's rights: the
    // message names the group. Root may open any file, so the test lends the window's thread
    // an ordinary user's file rights for the open.
    void hintAfterPermissionError()
    {
        if (geteuid() != 0)
            QSKIP("needs root to give a file a group the test user is not in");
        uint foreign = 65534;
        while (PortAccess::processGroups().contains(foreign))
            --foreign;
        const QString path = deviceFile();
        // Like /dev, the folder is open to everyone; only the device is not.
        QFile::setPermissions(dir.path(),
                              QFile::permissions(dir.path()) | QFile::ExeGroup | QFile::ExeOther);
        QVERIFY(::chown(QFile::encodeName(path).constData(), 0, foreign) == 0);
        const QString group =
            QFileInfo(path).group().isEmpty() ? QString::number(foreign) : QFileInfo(path).group();
        // Root could open it: a permission error then means a busy port, and no group helps.
        QCOMPARE(PortAccess::groupToJoin(QSerialPort::PermissionError, path), QString());
        setfsuid(65534);
        const QString denied = PortAccess::groupToJoin(QSerialPort::PermissionError, path);
        const QString otherError = PortAccess::groupToJoin(QSerialPort::OpenError, path);
        setfsuid(0);
        QCOMPARE(denied, group);
        QCOMPARE(otherError, QString());

        qputenv("OSTROVEL_EXTRA_PORTS", path.toLocal8Bit());
        QZelKorWindow window;
        auto* ports = childOf<QComboBox>(&window, "cbListPort");
        ports->setCurrentIndex(ports->findText(path));
        QVERIFY(ports->currentIndex() >= 0);
        ModalAnswerer answerer;
        answerer.handle([](QWidget* box) {
            setfsuid(0);
            box->close();
        });
        setfsuid(65534);
        childOf<QPushButton>(&window, "pbConnectPort")->click();
        setfsuid(0);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text,
                 QString("Ошибка: %1\r\nPermission denied\r\nДобавьте пользователя в группу '%2' и "
                         "войдите в систему заново.")
                     .arg(path, group));
    }
};

QTEST_MAIN(TestPortAccess)
#include "tst_portaccess.moc"
