#include "childsetupprocess.h"
#include "databasefile.h"
#include "digitcodes.h"
#include "importchain.h"
#include "importwriter.h"
#include "journalfile.h"
#include "journalquery.h"
#include "panelfixture.h"
#include "paneltables.h"
#include "protocol.h"
#include "settingsrecord.h"
#include "snapshots.h"

#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using Fault = PanelSimulator::FaultKind;

namespace {

struct Run
{
    int code = -1;
    QByteArray out;
    QString err;
};

// A run of the tool. A test that stops midway leaves no process behind, and the runs a test
// starts side by side are waited for five minutes from their start, together well within
// CTest's time.
struct Command : QProcess
{
    QDeadlineTimer deadline{300000};
};

std::unique_ptr<Command> start(const QStringList& arguments, const QString& logging = QString())
{
    auto process = std::make_unique<Command>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!logging.isEmpty())
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), logging);
    process->setProcessEnvironment(environment);
    process->start(QStringLiteral(OSTROVEL_CLI), arguments);
    return process;
}

Run finish(std::unique_ptr<Command> process)
{
    Run run;
    if ((process->state() == QProcess::NotRunning ||
         process->waitForFinished(int(process->deadline.remainingTime()))) &&
        process->exitStatus() == QProcess::NormalExit)
        run.code = process->exitCode();
    run.out = process->readAllStandardOutput();
    run.err = QString::fromUtf8(process->readAllStandardError());
    return run;
}

Run cli(const QStringList& arguments)
{
    return finish(start(arguments));
}

QByteArray packed(const QString& digits, int width)
{
    QByteArray bytes(width, '\0');
    digitsToPacked(digits, reinterpret_cast<quint8*>(bytes.data()), width);
    return bytes;
}

void fill(TestDatabase& db)
{
    db.addSubscriber(0, "12", "5551234");
    db.addSubscriber(7, {}, "");
    db.addSubscriber(14, "3", "");
    db.addSubscriber(24999, "99", "84951234567");
    db.addKey(0, 0x10, 0, "0000000000000010");
    db.addKey(0, 0x20, 2, "32");
    db.addKey(14, 0x30, 2, "48");
    db.addKey(7, 0x40, 2, "64");
    db.exec("UPDATE system SET talk_time = 120, code_open_lock = '905'");
    db.close();
}

// A backup of a large panel into a folder of its own, to be killed outright (SIGKILL) a random
// moment after its writing into the database began.
struct KilledBackup
{
    PanelSimulator sim;
    QTemporaryDir folder;
    QString target = folder.filePath("house.zelkor");
    QStringList before; // the target's rows; none when there was no target
    int delayMs = 0;
    std::unique_ptr<Command> process;
    QElapsedTimer writing;
    bool endedItself = false;

    // The run's hidden temporary file, or its journal; empty while there is none.
    QString hidden(bool journal = false)
    {
        for (const QString& name : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden))
            if (name.startsWith('.') && name.endsWith("-journal") == journal)
                return folder.filePath(name);
        return {};
    }
};

// What a backup of the panel writes, as the import dialog reads and writes it into a copy of the
// template.
QStringList backupRows(PanelSimulator* sim)
{
    DirectLink link(sim);
    ImportChain chain;
    link.attach(&chain);
    QSignalSpy read(&chain, &PanelChain::finished);
    chain.start(ImportChain::Full);
    if (!read.wait(60000))
        return {"not read"};
    TestDatabase reference;
    ImportWriter::write(
        reference.db(), chain.image(), false, 2, [](int) {}, [] { return false; });
    reference.close();
    return checkedRows(reference.path());
}

// The tool run as a person runs it: standard input and standard error on a terminal, which the
// test reads as the screen and types into; standard output still read through the pipe.
class TerminalProcess : public QtCompat::ChildSetupProcess
{
public:
    TerminalProcess()
        : ChildSetupProcess([this] { becomeSessionOfTerminal(); })
        , master(::posix_openpt(O_RDWR | O_NOCTTY))
    {
        ::grantpt(master);
        ::unlockpt(master);
        slave = ::ptsname(master);
        auto* notifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            char bytes[4096];
            const ssize_t count = ::read(master, bytes, sizeof bytes);
            if (count > 0)
                screen.append(bytes, int(count));
            else // the last of the tool's ends of the terminal is closed
                notifier->setEnabled(false);
        });
    }
    ~TerminalProcess() override
    {
        waitForFinished();
        ::close(master);
    }
    void type(const QByteArray& line)
    {
        QCOMPARE(::write(master, line.constData(), size_t(line.size())), ssize_t(line.size()));
    }

    QByteArray screen;

private:
    void becomeSessionOfTerminal()
    {
        // A session of its own with the terminal as its controlling terminal.
        ::setsid();
        const int terminal = ::open(slave.constData(), O_RDWR);
        ::dup2(terminal, STDIN_FILENO);
        ::dup2(terminal, STDERR_FILENO);
    }

    int master;
    QByteArray slave;
};

} // namespace

// ostrovel-cli through its executable against simulated panels: exit codes, what it prints, the
// files it leaves and what the panel received. Reading a whole panel takes about a minute
// through the serial worker's pauses, so the commands that do run side by side.
class TestCli : public QObject
{
    Q_OBJECT

    static constexpr int KilledBackups = 3;
    static constexpr int KillWithinMs = 100;

    QTemporaryDir dir;

    QString path(const QString& name) { return dir.filePath(name); }
    QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Backups of a panel of 25 000 subscribers, the first into a folder without the file, the
    // others over a small database.
    std::vector<std::unique_ptr<KilledBackup>> startKilledBackups()
    {
        std::vector<std::unique_ptr<KilledBackup>> runs;
        for (int i = 0; i < KilledBackups; ++i) {
            auto run = std::make_unique<KilledBackup>();
            if (!run->sim.start())
                return {};
            for (int n = 0; n < PanelTables::Records; ++n) {
                run->sim.setApartmentRecord(n, packed(QString::number(n + 1), 4));
                run->sim.setPhoneRecord(n, packed(QString::number(89160000000LL + n), 6));
            }
            if (i > 0) {
                TestDatabase old;
                fill(old);
                QFile::copy(old.path(), run->target);
                run->before = checkedRows(run->target);
            }
            run->delayMs = QRandomGenerator::global()->bounded(KillWithinMs);
            run->process = start({"backup", "--port", run->sim.slavePath(), run->target});
            runs.push_back(std::move(run));
        }
        return runs;
    }

    void killWhileWriting(std::vector<std::unique_ptr<KilledBackup>>& runs)
    {
        QCOMPARE(int(runs.size()), KilledBackups);
        // A run that fails at once leaves a living run's hidden file alone.
        KilledBackup& first = *runs.front();
        QTRY_VERIFY(!first.hidden().isEmpty());
        const QString living = first.hidden();
        QCOMPARE(cli({"backup", "--port", first.folder.filePath("none"), first.target}).code, 1);
        QVERIFY(QFile::exists(living));
        QDeadlineTimer deadline(240000);
        for (int left = KilledBackups; left > 0 && !deadline.hasExpired(); QTest::qWait(1)) {
            for (const auto& run : runs) {
                if (!run->process)
                    continue;
                if (!run->writing.isValid() && !run->hidden(true).isEmpty())
                    run->writing.start();
                run->endedItself = run->process->state() == QProcess::NotRunning;
                if (!run->endedItself && run->writing.isValid() &&
                    run->writing.elapsed() >= run->delayMs) {
                    ::kill(pid_t(run->process->processId()), SIGKILL);
                    run->process->waitForFinished();
                }
                if (run->process->state() == QProcess::NotRunning) {
                    run->process.reset();
                    --left;
                }
            }
        }
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString db = path("none.zelkor");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"firmware", "erase", "--port", "x"};
        QTest::newRow("unknown option") << QStringList{"info", "--port", "x", "--speed", "9"};
        QTest::newRow("no port") << QStringList{"backup", db};
        QTest::newRow("no file") << QStringList{"backup", "--port", "x"};
        QTest::newRow("key format 4") << QStringList{"backup", "--port", "x", "-f", "4", db};
        QTest::newRow("file and built-in")
            << QStringList{"firmware", "write", "--port", "x", "--built-in", "a.bin"};
        QTest::newRow("restore unconfirmed without a terminal")
            << QStringList{"restore", "--port", "x", "template"};
        QTest::newRow("snapshot restore unconfirmed without a terminal")
            << QStringList{"restore-snapshot", "template", "1"};
        QTest::newRow("unknown column")
            << QStringList{"csv", "export", "--columns", "subscriber,room", db, "out.csv"};
        QTest::newRow("subscriber column while numbering")
            << QStringList{"csv", "import", "--mode", "auto", "-c", "subscriber,key", db, "in.csv"};
        QTest::newRow("unknown encoding")
            << QStringList{"csv", "import", "--encoding", "klingon", db, "in.csv"};
        // A password would show in the list of processes: refused before anything connects.
        QTest::newRow("password in fleet status")
            << QStringList{"fleet", "status", "host=/nowhere user=x password=secret"};
        QTest::newRow("password in fleet init")
            << QStringList{"fleet", "init", "--print", "host=/nowhere password=''"};
        QTest::newRow("password in journal --server")
            << QStringList{"journal", "--server", "postgresql://x:secret@/ostrovel?host=/nowhere"};
        QTest::newRow("password in watch --forward")
            << QStringList{"watch", "--port", "x", "--site", "a", "--forward", "password=s"};
        QTest::newRow("unreadable server string")
            << QStringList{"journal", "--server", "host=/nowhere user"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        TestDatabase db;
        db.close();
        arguments.replaceInStrings(QRegularExpression("^template$"), db.path());
        const Run run = cli(arguments);
        QCOMPARE(run.code, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains("--help"), qPrintable(run.err));
        if (QByteArray(QTest::currentDataTag()).startsWith("password"))
            QVERIFY2(run.err.contains("Пароль в строке подключения не принимается"),
                     qPrintable(run.err));
        QVERIFY(!QFile::exists(path("none.zelkor")));
    }

    void firmwareWithoutItsCommand()
    {
        const Run run = cli({"firmware"});
        QCOMPARE(run.code, 2);
        QVERIFY(run.out.isEmpty());
        for (const char* command : {"firmware read --port PORT", "firmware write --port PORT"})
            QVERIFY2(run.err.contains(command), qPrintable(run.err));
    }

    void backupRestoreAndDiff()
    {
        // A: a populated panel to back up; B and C: panels restored from two copies of one
        // database, the second of which then changes.
        PanelSimulator a, b, c;
        for (PanelSimulator* sim : {&a, &b, &c})
            QVERIFY(sim->start());
        for (int i = 0; i < 30; ++i) {
            const int number = i * 863 % PanelTables::Records;
            if (i % 3)
                a.setApartmentRecord(number, packed(QString::number(100 + i * 7), 4));
            if (i % 4)
                a.setPhoneRecord(number, packed(QString("8916000%1").arg(i), 6));
            a.setKeyRecord(i, PanelTables::keyRecord(uint(0x10000 + i * 77), number));
        }
        QVariantMap settings = SettingsRecord::decode(a.settings());
        settings["talk_time"] = 300;
        settings["code_on_off_dev"] = "901";
        a.setSettings(SettingsRecord::encode(settings));
        TestDatabase x("x.zelkor"), y("y.zelkor");
        fill(x);
        fill(y);
        QTemporaryDir journalDir;
        const QString journal = journalDir.filePath("journal.sqlite");
        for (auto [sim, db] : {std::pair(&b, &x), std::pair(&c, &y)})
            QCOMPARE(cli({"restore", "--yes", "--journal", journal, "--port", sim->slavePath(),
                          db->path()})
                         .code,
                     0);
        // Each export to a panel is in the event journal with its outcome.
        JournalFile recorded(journal);
        QCOMPARE(recorded.openForReading(), JournalFile::State::ReadOnly);
        QStringList actions;
        JournalQuery(recorded.database(), {}).forEach([&](const JournalEntry& e) {
            return actions << e.record.text + ": " + e.record.detail + " " + e.record.port, true;
        });
        QCOMPARE(actions, QStringList({"Экспорт данных в панель: выполнено " + b.slavePath(),
                                       "Экспорт данных в панель: выполнено " + c.slavePath()}));
        c.clearLog();
        y.reopen();
        QVERIFY(y.exec("UPDATE subscriber SET apartment = '4' WHERE id = 14"));
        QVERIFY(y.exec("DELETE FROM card WHERE id = 32"));
        QVERIFY(y.exec("UPDATE card SET subscriber_id = 14 WHERE id = 64"));
        QVERIFY(y.exec("UPDATE system SET talk_time = 60"));
        y.close();

        a.setVersion(9, 3, 1);
        QCOMPARE(cli({"info", "-p", a.slavePath()}).out,
                 QByteArray("type=9\nversion=3.1\nboot_mode=0\n"));
        // The backup replaces a database, which is kept as a snapshot.
        const QString backup = path("backup.zelkor");
        QVERIFY(QFile::copy(x.path(), backup));
        auto backingUp = start({"backup", "--port", a.slavePath(), backup});
        auto same = start({"diff", "--port", b.slavePath(), x.path()});
        auto changed = start({"diff", "--json", "--port", c.slavePath(), y.path()});
        // Reading a panel takes as long whatever it holds: backups killed midway run beside.
        std::vector<std::unique_ptr<KilledBackup>> killed = startKilledBackups();
        killWhileWriting(killed);
        if (QTest::currentTestFailed())
            return;

        const Run backedUp = finish(std::move(backingUp));
        QVERIFY2(backedUp.code == 0, qPrintable(backedUp.err.right(800)));
        QCOMPARE(backedUp.out, QByteArray("subscribers=30\nkeys=30\n"));
        QCOMPARE(checkedRows(backup), backupRows(&a));
        QCOMPARE(entries(dir.path()), QStringList{"backup.zelkor"});
        const QList<Snapshots::Snapshot> kept = Snapshots::list(backup);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept.at(0).operation, QString("backup"));
        QCOMPARE(checkedRows(kept.at(0).file), checkedRows(x.path()));
        // Progress is drawn only on a terminal.
        QVERIFY(!backedUp.err.contains('\r'));

        const Run agreed = finish(std::move(same));
        QCOMPARE(agreed.code, 0);
        QCOMPARE(agreed.out, QByteArray());

        const Run differed = finish(std::move(changed));
        QCOMPARE(differed.code, 3);
        const QJsonObject expected = QJsonDocument::fromJson(R"({"same": false,
            "settings": [{"column": "talk_time", "panel": 120, "database": 60}],
            "subscribers": [
                {"number": 7, "panel": {"apartment": "", "phone": ""}, "database": null},
                {"number": 14, "panel": {"apartment": "3", "phone": ""},
                 "database": {"apartment": "4", "phone": ""}}],
            "keys": [{"code": 32, "panel": 0, "database": null},
                     {"code": 64, "panel": 7, "database": 14}]})")
                                         .object();
        QCOMPARE(QJsonDocument::fromJson(differed.out).object(), expected);
        // Comparing wrote nothing.
        for (int command : {0x01, 0x24, 0x25, 0x26, 0x27})
            QCOMPARE(c.requestCount(command), 0);

        // A killed backup leaves the target as it was or whole, and the next run, here one that
        // fails at once, no hidden file.
        const QStringList after = backupRows(&killed.front()->sim);
        for (const auto& run : killed) {
            const bool kept = QFile::exists(run->target);
            const QStringList rows = kept ? checkedRows(run->target) : QStringList();
            qInfo("backup %s %d ms into its writing: the target %s",
                  run->endedItself ? "not yet killed, ended by itself," : "killed", run->delayMs,
                  rows == run->before ? "as before"
                  : rows == after     ? "whole"
                                      : "mixed");
            QVERIFY(rows == run->before || rows == after);
            QCOMPARE(cli({"backup", "--port", run->folder.filePath("none"), run->target}).code, 1);
            QCOMPARE(entries(run->folder.path()),
                     kept ? QStringList{"house.zelkor"} : QStringList());
        }
    }

    void restoreAsksOnATerminal_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("code");
        QTest::newRow("no") << QByteArray("нет\n") << 1;
        QTest::newRow("yes") << QByteArray("да\n") << 0;
    }
    void restoreAsksOnATerminal()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, code);
        PanelSimulator sim;
        QVERIFY(sim.start());
        TestDatabase db;
        db.close();
        TerminalProcess process;
        process.start(OSTROVEL_CLI, {"restore", "--port", sim.slavePath(), db.path()});
        QTRY_VERIFY(QString::fromUtf8(process.screen).contains("экспортировать новые данные"));
        process.type(answer);
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 60000);
        QCOMPARE(process.exitCode(), code);
        QCOMPARE(sim.requestCount(Protocol::ClearMemory), code == 0 ? 1 : 0);
        // The progress line is redrawn in place, on a terminal only.
        QCOMPARE(process.screen.contains("\033[K"), code == 0);
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
    }

    void restoreStoppedMidwaySaysWhere()
    {
        PanelSimulator sim;
        QVERIFY(sim.start());
        TestDatabase db;
        QVERIFY(db.exec("INSERT INTO subscriber (id, apartment) VALUES (0, '1'), (15, '2'), "
                        "(30, '3')"));
        db.close();
        // The second apartment block goes unanswered.
        sim.injectFault(0x26, Fault::Delay, 0, 1);
        sim.injectFault(0x26, Fault::Silence, 0, 3);
        const Run run = cli({"restore", "--yes", "--port", sim.slavePath(), db.path()});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains("Процесс экспорта квартир: Таймаут ожидания данных.") &&
                     run.err.contains("Панель заполнена не полностью.\nЭкспорт прерван на "
                                      "этапе «Процесс экспорта квартир», блок 2 из 3."),
                 qPrintable(run.err));
        QVERIFY(run.err.contains("Продолжить: ostrovel-cli restore --resume."));

        // The break is kept for a later run: not gone on with for a database changed since,
        // gone on with, without clearing, for the database as it was.
        const QStringList resume = {"restore", "--resume", "--port", sim.slavePath(), db.path()};
        QVERIFY(db.reopen());
        QVERIFY(db.exec("UPDATE subscriber SET apartment = '9' WHERE id = 30"));
        const Run changed = cli(resume);
        QCOMPARE(changed.code, 1);
        QVERIFY2(changed.err.contains("База данных изменилась после прерванного экспорта"),
                 qPrintable(changed.err));
        QVERIFY(db.exec("UPDATE subscriber SET apartment = '3' WHERE id = 30"));
        db.close();
        sim.clearLog();
        const Run resumed = cli(resume);
        QCOMPARE(resumed.code, 0);
        QVERIFY2(resumed.err.startsWith("Панель заполнена не полностью: экспорт прерван "),
                 qPrintable(resumed.err));
        QCOMPARE(sim.requestCount(Protocol::ClearMemory), 0);
        QCOMPARE(sim.requestCount(0x26), 2);
        QVERIFY(sim.apartmentRecord(30) != QByteArray(4, '\xff'));
        QCOMPARE(cli(resume).code, 1);
    }

    void refusalsTouchNothing_data()
    {
        // PORT, DB and FILE stand for the panel's port, the database and a firmware file of
        // device type 10, DIR for an empty folder.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing database")
            << QStringList{"restore", "--yes", "-p", "PORT", "DIR/missing.zelkor"} << ""
            << "Файл 'DIR/missing.zelkor' не существует.";
        QTest::newRow("subscriber outside the panel")
            << QStringList{"restore", "--yes", "--port", "PORT", "DB"}
            << "INSERT INTO subscriber (id) VALUES (25000)"
            << "Абонент '25000' вне диапазона номеров панели (0–24999).";
        QTest::newRow("database of another format")
            << QStringList{"diff", "--port", "PORT", "DB"} << "UPDATE system SET version = 2"
            << "Формат БД '2' не поддерживается, только формат '1'.";
        QTest::newRow("backup into a missing folder")
            << QStringList{"backup", "--port", "PORT", "DIR/no/b.zelkor"} << ""
            << "Ошибка создания файла: DIR/no/b.zelkor.";
        QTest::newRow("firmware for another device")
            << QStringList{"firmware", "write", "--port", "PORT", "FILE"} << ""
            << "Неподдерживаемое устройство '0x0a'.";
        QTest::newRow("port that does not open")
            << QStringList{"info", "--port", "DIR/no-port"} << ""
            << "Не удалось открыть порт DIR/no-port.\nОшибка: ";
    }
    void refusalsTouchNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, sql);
        QFETCH(QString, message);
        PanelSimulator sim;
        QVERIFY(sim.start());
        TestDatabase db;
        QVERIFY(sql.isEmpty() || db.exec(sql));
        db.close();
        QTemporaryDir folder;
        QFile firmware(db.path() + ".bin");
        QVERIFY(firmware.open(QIODevice::WriteOnly));
        firmware.write(QByteArray(57341, '\0') + "\x0a\x02\x06");
        firmware.close();
        arguments.replaceInStrings(QRegularExpression("^PORT$"), sim.slavePath())
            .replaceInStrings(QRegularExpression("^DB$"), db.path())
            .replaceInStrings(QRegularExpression("^FILE$"), firmware.fileName())
            .replaceInStrings("DIR", folder.path());
        const Run run = cli(arguments);
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith(message.replace("DIR", folder.path())), qPrintable(run.err));
        QCOMPARE(sim.requestCount(), 0);
        QCOMPARE(entries(folder.path()), QStringList());
    }

    void firmwareReadKeepsWholeImages_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::newRow("whole") << false;
        QTest::newRow("short answer midway") << true;
    }
    void firmwareReadKeepsWholeImages()
    {
        QFETCH(bool, cut);
        PanelSimulator sim;
        QVERIFY(sim.start());
        QTemporaryDir folder;
        const QString file = folder.filePath("panel.bin");
        auto process = start({"firmware", "read", "--port", sim.slavePath(), file});
        if (cut) {
            QTRY_VERIFY_WITH_TIMEOUT(sim.requestCount(0x7F) >= 100, 20000);
            sim.injectFault(0x7F, Fault::ShortData, 10);
        }
        const Run run = finish(std::move(process));
        QCOMPARE(run.code, cut ? 1 : 0);
        QCOMPARE(run.out, cut ? QByteArray() : QByteArray("version=2.6\n"));
        QFile read(file);
        QCOMPARE(read.open(QIODevice::ReadOnly), !cut);
        QCOMPARE(read.readAll(), cut ? QByteArray() : sim.firmware());
    }

    void csvExportAndImport()
    {
        TestDatabase db, copy("copy.zelkor");
        db.addSubscriber(1, "11", "5551");
        db.addSubscriber(2, {}, "5552");
        db.addKey(1, 0x0A0B0C, 0, "00000000000A0B0C");
        db.addKey(2, 1234, 2, "1234");
        db.close();
        copy.close();
        const QString file = path("house.csv");
        const QStringList options = {
            "-s", ";", "-e", "UTF-8", "--header", "-c", "phone,subscriber,key", "-f", "1"};
        QCOMPARE(cli(QStringList{"csv", "export"} + options + QStringList{db.path(), file}).code,
                 0);
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()),
                 QString("Телефон;Абонент;Ключ\r\n5551;1;\r\n5551;1;010,02828\r\n5552;2;\r\n"
                         "5552;2;000,01234\r\n"));
        QCOMPARE(cli(QStringList{"csv", "import"} + options + QStringList{copy.path(), file}).code,
                 0);
        copy.reopen();
        QCOMPARE(copy.column("SELECT id || ':' || IFNULL(apartment, 'NULL') || ':' || phone FROM "
                             "subscriber UNION ALL SELECT subscriber_id || ':' || id || ':' || "
                             "type || ':' || number FROM card ORDER BY 1"),
                 QStringList(
                     {"1:658188:1:010,02828", "1:NULL:5551", "2:1234:1:000,01234", "2:NULL:5552"}));
        QFile::remove(file);
    }

    void snapshotsAndTheirRestore()
    {
        TestDatabase db;
        fill(db);
        const QStringList before = checkedRows(db.path());
        const QString csv = path("tenants.csv");
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("5\t50\t500\t\r\n") > 0);
        file.close();
        const QStringList import = {"csv", "import", "--clear", db.path(), csv};
        // Nothing is cleared without a snapshot.
        const QByteArray snapshots = qgetenv("OSTROVEL_SNAPSHOTS");
        qputenv("OSTROVEL_SNAPSHOTS", csv.toUtf8() + "/snapshots");
        const Run refused = cli(import);
        qputenv("OSTROVEL_SNAPSHOTS", snapshots);
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.startsWith("Не удалось сохранить снимок БД"), qPrintable(refused.err));
        QCOMPARE(checkedRows(db.path()), before);

        QCOMPARE(cli(import).code, 0);
        const QStringList imported = checkedRows(db.path());
        const Run listed = cli({"snapshots", db.path()});
        const QStringList fields = QString::fromUtf8(listed.out).split('\t');
        QCOMPARE(fields.size(), 6);
        QCOMPARE(fields.mid(2, 3), QStringList({"csv-import", "4", "4"}));
        QCOMPARE(checkedRows(fields.at(5).trimmed()), before);

        // Restored, then undone by restoring the snapshot the restore took.
        for (const QStringList& expected : {before, imported}) {
            QCOMPARE(cli({"restore-snapshot", "--yes", db.path(), "1"}).code, 0);
            QCOMPARE(checkedRows(db.path()), expected);
        }
        const QJsonArray all =
            QJsonDocument::fromJson(cli({"snapshots", "--json", db.path()}).out).array();
        QCOMPARE(all.size(), 3);
        QCOMPARE(all.at(0)["operation"].toString(), QString("restore"));
        QCOMPARE(all.at(2)["operation"].toString(), QString("csv-import"));
        QCOMPARE(cli({"restore-snapshot", "--yes", db.path(), "4"}).code, 1);
    }

    void failedCsvExportKeepsTheOldFile()
    {
        TestDatabase db;
        db.addSubscriber(1, "11", "5551");
        db.close();
        QTemporaryDir folder;
        const QString file = folder.filePath("house.csv");
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("yesterday") == 9);
        old.close();
        // A disk that takes no more than a few bytes of a file: the export fails midway.
        const auto restore = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{4, limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        auto process = start({"csv", "export", db.path(), file});
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, restore);
        const Run run = finish(std::move(process));
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith("Ошибка записи файла: " + file), qPrintable(run.err));
        QCOMPARE(entries(folder.path()), QStringList{"house.csv"});
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("yesterday"));
    }

    void failedBackupKeepsTheOldFile()
    {
        PanelSimulator sim;
        QVERIFY(sim.start());
        QTemporaryDir folder;
        const QString file = folder.filePath("house.zelkor");
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("yesterday") == 9);
        old.close();
        auto process = start({"backup", "--port", sim.slavePath(), file});
        QTRY_VERIFY_WITH_TIMEOUT(sim.requestCount(0x62) >= 5, 20000);
        // The panel falls silent midway.
        sim.injectFault(0x62, Fault::Silence, 0, 3);
        const Run run = finish(std::move(process));
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains("Процесс импорта квартир: Таймаут ожидания данных."),
                 qPrintable(run.err));
        QCOMPARE(entries(folder.path()), QStringList{"house.zelkor"});
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("yesterday"));
    }

    void interruptStopsTheChain_data()
    {
        QTest::addColumn<QVector<int>>("sent");
        QTest::newRow("Ctrl+C") << QVector<int>{SIGINT};
        QTest::newRow("terminated") << QVector<int>{SIGTERM};
        // Two interrupts before the tool could act on the first; a stopped process keeps one
        // of each kind.
        QTest::newRow("Ctrl+C, then terminated") << QVector<int>{SIGSTOP, SIGINT, SIGTERM, SIGCONT};
    }
    void interruptStopsTheChain()
    {
        QFETCH(QVector<int>, sent);
        PanelSimulator sim;
        QVERIFY(sim.start());
        QTemporaryDir folder;
        // The worker's log tells what it was asked to do.
        auto process = start({"backup", "--port", sim.slavePath(), folder.filePath("a.zelkor")},
                             "ostrovel.link.debug=true");
        QTRY_VERIFY_WITH_TIMEOUT(sim.requestCount(0x62) >= 10, 20000);
        for (const int signal : sent)
            ::kill(pid_t(process->processId()), signal);
        const Run run = finish(std::move(process));
        // Neither the backup nor its hidden temporary file stays.
        QCOMPARE(entries(folder.path()), QStringList());
        if (sent.size() > 1) {
            // The second interrupt ends the process at once, as the signal does.
            QCOMPARE(run.code, -1);
            return;
        }
        QCOMPARE(run.code, 1);
        QVERIFY2(
            run.err.contains("Процесс импорта квартир: Выполнение команды прервано пользователем."),
            qPrintable(run.err.right(500)));
        QVERIFY(run.err.indexOf("events off") >= 0);
        QVERIFY(run.err.lastIndexOf("events on") > run.err.lastIndexOf("events off"));
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
