// Journal benchmark: a journal of a million records (a busy entrance for thirteen months) is
// written here, then the journal window is timed offscreen as a caretaker uses it: opening,
// each filter with its count and first page, scrolling, the chart of a year, and the export of
// a hundred thousand records beside the sqlite3 shell's CSV export of the same rows.
#include "application.h"
#include "benchsupport.h"
#include "journalexport.h"
#include "journalfile.h"
#include "journalmodel.h"
#include "qjournalwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

constexpr int Records = 1000000;
constexpr int Days = 400;
constexpr int Subscribers = 320;
constexpr qint64 DayMs = 86400000;

const char* const Surnames[] = {"Иванов",  "Смирнов", "Кузнецов", "Попов",    "Васильев",
                                "Петров",  "Соколов", "Михайлов", "Новиков",  "Фёдоров",
                                "Морозов", "Волков",  "Алексеев", "Лебедев",  "Семёнов",
                                "Егоров",  "Павлов",  "Козлов",   "Степанов", "Николаев"};

struct Resident
{
    JournalOwner owner;
    QList<quint32> keys;
};

QVector<Resident> residents()
{
    QRandomGenerator random(7);
    QVector<Resident> all;
    for (int n = 0; n < Subscribers; ++n) {
        Resident resident;
        const bool female = random.bounded(2);
        resident.owner.subscriber = n + 1;
        resident.owner.apartment = QString::number(n / 2 + 1); // two subscribers a flat
        resident.owner.name =
            QStringLiteral("%1%2 %3.%4.")
                .arg(QString::fromUtf8(Surnames[random.bounded(20)]),
                     female ? QStringLiteral("а") : QString(), QChar(0x0410 + random.bounded(32)),
                     QChar(0x0410 + random.bounded(32)));
        for (int key = 0; key < 1 + random.bounded(3); ++key)
            resident.keys.append(100000 + n * 37 + key * 5003);
        all.append(resident);
    }
    return all;
}

QByteArray panelRecord(quint32 key, quint8 flags, quint8 code)
{
    const char bytes[] = {char(key), char(key >> 8), char(key >> 16), char(flags), char(code), 0};
    return QByteArray(bytes, 6);
}

// A record at ms: mostly passes by the residents' keys, then refusals of unknown keys, the
// keypad and the phone, the lock switched from the computer, power and the fire sensor, the
// program's own actions, codes nobody knows, and now and then a burst the panel had stored.
JournalRecord recordAt(qint64 ms, QRandomGenerator& random, const QVector<Resident>& all)
{
    const QString port = QStringLiteral("/dev/ttyUSB0");
    const int roll = random.bounded(1000);
    const Resident& resident = all.at(random.bounded(all.size()));
    const quint32 key = resident.keys.at(random.bounded(resident.keys.size()));
    JournalRecord record;
    if (roll < 700) {
        record = JournalRecord::fromPanel(panelRecord(key, 0, 0x00), ms, port);
        record.owner = resident.owner;
    } else if (roll < 760) {
        record = JournalRecord::fromPanel(panelRecord(0, 0, 0x00), ms, port);
    } else if (roll < 830) {
        record = JournalRecord::fromPanel(panelRecord(key % 9000, 0, 0x01), ms, port);
    } else if (roll < 860) {
        record = JournalRecord::fromPanel(panelRecord(0, 0, 0x02), ms, port);
    } else if (roll < 940) {
        record = JournalRecord::fromPanel(panelRecord(5000000 + random.bounded(400000), 0, 0x05),
                                          ms, port);
    } else if (roll < 960) {
        record = JournalRecord::fromPanel(panelRecord(key, 0, 0x05), ms, port);
        record.owner = resident.owner;
    } else if (roll < 975) {
        record = JournalRecord::fromPanel(panelRecord(0x02, 0, 0x26), ms, port);
    } else if (roll < 980) {
        record = JournalRecord::fromPanel(panelRecord(0, 0, roll % 2 ? 0x0D : 0x13), ms, port);
    } else if (roll < 990) {
        record = JournalRecord::action(QStringLiteral("Открывание замка"),
                                       QStringLiteral("выполнено"), port, ms);
    } else {
        record = JournalRecord::fromPanel(panelRecord(0, 0, 0x0B), ms, port);
    }
    if (record.owner.isValid())
        record.database = QStringLiteral("/home/caretaker/Дом 12.zelkor");
    if (random.bounded(200) == 0 && record.kind != JournalKind::Action) {
        record.stored = true;
        record.storedFrom = ms - 3600000;
        record.storedUntil = ms;
    }
    return record;
}

// Busier in the morning and the evening, quiet at night.
qint64 timeOfDayMs(QRandomGenerator& random)
{
    static const int weights[24] = {1, 1, 1, 1, 1, 2,  6,  12, 14, 9, 6, 6,
                                    6, 6, 6, 7, 9, 12, 14, 12, 9,  6, 3, 2};
    int roll = random.bounded(150);
    int hour = 0;
    while (roll >= weights[hour])
        roll -= weights[hour++];
    return hour * 3600000LL + random.bounded(3600000);
}

void generate(const QString& file)
{
    const QVector<Resident> all = residents();
    QRandomGenerator random(12);
    const qint64 firstDay =
        QDateTime(QDate::currentDate().addDays(-Days + 1), QTime(0, 0)).toMSecsSinceEpoch();
    JournalFile journal(file);
    if (journal.openForWriting() != JournalFile::State::Writable)
        qFatal("cannot write %s", qPrintable(journal.errorText()));
    const int perDay = Records / Days;
    for (int day = 0; day < Days; ++day) {
        QVector<qint64> times;
        for (int n = 0; n < perDay; ++n)
            times.append(firstDay + day * DayMs + timeOfDayMs(random));
        std::sort(times.begin(), times.end());
        QVector<JournalRecord> records;
        for (qint64 ms : times)
            records.append(recordAt(ms, random, all));
        if (!journal.append(records))
            qFatal("append failed: %s", qPrintable(journal.errorText()));
    }
}

double cpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

// Wall time and the processor time of this process and of the processes it waited for: the
// machine may be busy with other work, which stretches the first but not the second.
Timing secondsOf(const std::function<void()>& work)
{
    QElapsedTimer clock;
    const double cpu = cpuSeconds();
    clock.start();
    work();
    return {clock.nsecsElapsed() / 1e9, cpuSeconds() - cpu};
}

void report(const QString& what, const Timing& time, const QJournalWindow* window, double target)
{
    const QString shown =
        window ? QStringLiteral("%1 records").arg(window->model()->matching()) : QString();
    std::printf("%s %6.3f s (cpu %6.3f s) %15s (target %.1f s)%s\n",
                qPrintable(what.leftJustified(46)), time.wall, time.cpu, qPrintable(shown), target,
                time.wall <= target ? "" : "  OVER");
}

} // namespace

int main(int argc, char** argv)
{
    Application::setIdentity();
    QApplication app(argc, argv);
    Application::initResources();
    qInstallMessageHandler(quietOffscreen);
    // A journal named on the command line is written once and reused by later runs.
    QTemporaryDir dir;
    const QString file =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("journal.sqlite"));
    if (!QFileInfo::exists(file)) {
        const double written = secondsOf([&] { generate(file); }).wall;
        std::printf("journal of %d records over %d days written in %.1f s\n", Records, Days,
                    written);
    }
    const qint64 size = QFileInfo(file).size();
    std::printf("journal file: %lld bytes, %.1f bytes a record (target 120)\n\n", size,
                double(size) / Records);

    const auto keyFormat = [] { return 2; };
    report(QStringLiteral("opening the view (window shown, first page)"), best([&] {
               return secondsOf([&] {
                   QJournalWindow window(file, keyFormat);
                   window.show();
                   QApplication::processEvents();
               });
           }),
           nullptr, 0.3);

    QJournalWindow window(file, keyFormat);
    window.show();
    QApplication::processEvents();
    auto* period = child<QComboBox>(&window, "cboxPeriod");
    auto* kind = child<QComboBox>(&window, "cboxKind");
    auto* text = child<QLineEdit>(&window, "leFilter");
    auto* since = child<QDateEdit>(&window, "deSince");
    auto* until = child<QDateEdit>(&window, "deUntil");
    auto* tabs = child<QTabWidget>(&window, "tabWidget");
    auto* table = child<QTableView>(&window, "tvJournal");
    auto* refresh = window.findChild<QAction*>(QStringLiteral("actionRefresh"));

    // Each filter from the unfiltered view and back, so that every run does the same work.
    const auto timeChoice = [&](const QString& what, QComboBox* box, int index) {
        report(what, best([&] {
                   box->setCurrentIndex(0);
                   QApplication::processEvents();
                   return secondsOf([&] {
                       box->setCurrentIndex(index);
                       QApplication::processEvents();
                   });
               }),
               &window, 0.2);
    };
    const QDate today = QDate::currentDate();
    since->setDate(today.addDays(-200));
    until->setDate(today.addDays(-170));
    timeChoice(QStringLiteral("period: today"), period, 1);
    timeChoice(QStringLiteral("period: 7 days"), period, 2);
    timeChoice(QStringLiteral("period: 30 days"), period, 3);
    timeChoice(QStringLiteral("period: chosen dates (a month half a year ago)"), period, 4);
    period->setCurrentIndex(0);
    for (int index = 1; index < kind->count(); ++index)
        timeChoice(QStringLiteral("kind: %1").arg(kind->itemText(index)), kind, index);
    kind->setCurrentIndex(0);

    const auto timeText = [&](const QString& what, const QString& typed) {
        report(what, best([&] {
                   text->clear();
                   emit text->returnPressed();
                   return secondsOf([&] {
                       text->setText(typed);
                       emit text->returnPressed();
                       QApplication::processEvents();
                   });
               }),
               &window, 0.2);
    };
    timeText(QStringLiteral("text: a name (\"иванова\")"), QStringLiteral("иванова"));
    timeText(QStringLiteral("text: a key (\"100370\")"), QStringLiteral("100370"));
    timeText(QStringLiteral("text: an apartment (\"77\")"), QStringLiteral("77"));
    timeText(QStringLiteral("text: a subscriber number (\"301\")"), QStringLiteral("301"));
    timeText(QStringLiteral("text: nothing matches (\"Щукин\")"), QStringLiteral("Щукин"));
    kind->setCurrentIndex(4);
    timeText(QStringLiteral("text and kind: a name among power/fire"), QStringLiteral("иванов"));
    kind->setCurrentIndex(0);
    text->clear();
    emit text->returnPressed();

    // Forty pages one after another, as a user scrolling down reads them.
    constexpr int Pages = 40;
    Timing scrolling = best([&] {
        refresh->trigger();
        return secondsOf([&] {
            for (int page = 0; page < Pages; ++page) {
                table->scrollToBottom();
                QApplication::processEvents();
            }
        });
    });
    scrolling.wall /= Pages;
    scrolling.cpu /= Pages;
    report(QStringLiteral("scrolling: one more page (mean of %1)").arg(Pages), scrolling, &window,
           0.2);

    // The chart is drawn when its tab is shown after the filter changed.
    const auto timeChart = [&](const QString& what) {
        report(what, best([&] {
                   tabs->setCurrentIndex(0);
                   refresh->trigger();
                   return secondsOf([&] {
                       tabs->setCurrentIndex(1);
                       QApplication::processEvents();
                   });
               }),
               &window, 0.3);
    };
    period->setCurrentIndex(4);
    since->setDate(today.addDays(-364));
    until->setDate(today);
    timeChart(QStringLiteral("chart of a year (365 days)"));
    period->setCurrentIndex(0);
    timeChart(QStringLiteral("chart of all time (400 days)"));
    kind->setCurrentIndex(2);
    timeChart(QStringLiteral("chart of all refusals"));
    kind->setCurrentIndex(0);
    tabs->setCurrentIndex(0);

    // A hundred thousand records: the refusals of the last year and a month.
    kind->setCurrentIndex(2);
    const JournalFilter refusals = window.filter();
    const qint64 exported = window.model()->matching();
    const QString ours = dir.filePath(QStringLiteral("ours.csv"));
    const QString theirs = dir.filePath(QStringLiteral("theirs.csv"));
    CsvEventsOptions options;
    options.header = true;
    const Timing oursTime = best([&] {
        return secondsOf([&] {
            const QRuntimeError result = exportJournal(file, refusals, 2, ours, options, {});
            if (!result.isSuccess())
                qFatal("export failed: %s", qPrintable(result.message));
        });
    });
    const Timing theirsTime = best([&] {
        return secondsOf([&] {
            QProcess shell;
            shell.setStandardOutputFile(theirs);
            shell.start(
                QStringLiteral("sqlite3"),
                {QStringLiteral("-readonly"), QStringLiteral("-csv"), QStringLiteral("-header"),
                 file,
                 QStringLiteral(
                     "SELECT strftime('%Y.%m.%d %H:%M:%f', r.id / 16 / 1000.0, 'unixepoch',"
                     " 'localtime') AS time, r.key, t.text, o.subscriber, o.apartment, o.name"
                     " FROM record r JOIN label t ON t.id = r.text LEFT JOIN owner o"
                     " ON o.id = r.owner WHERE r.kind = 1 ORDER BY r.id DESC")});
            if (!shell.waitForFinished(600000) || shell.exitCode() != 0)
                qFatal("sqlite3 failed: %s", shell.readAllStandardError().constData());
        });
    });
    std::printf("\nexport of %lld refusals: %.3f s (cpu %.3f s), %lld bytes\n"
                "sqlite3 shell, the same rows: %.3f s (cpu %.3f s), %lld bytes\n"
                "ratio %.2f (cpu %.2f), target 2%s\n",
                exported, oursTime.wall, oursTime.cpu, QFileInfo(ours).size(), theirsTime.wall,
                theirsTime.cpu, QFileInfo(theirs).size(), oursTime.wall / theirsTime.wall,
                oursTime.cpu / theirsTime.cpu,
                oursTime.wall <= 2 * theirsTime.wall ? "" : "  OVER");
    return 0;
}
