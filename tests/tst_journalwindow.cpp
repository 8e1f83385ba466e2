#include "journalchartview.h"
#include "journalfile.h"
#include "journalmodel.h"
#include "qjournalwindow.h"
#include "qzelkorwindow.h"
#include "testsupport.h"

#include <QTextCodec>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QLineSeries>

// The journal window on real journals in a temporary folder: order, paging, filters, count,
// export, chart, records written meanwhile, and files that are no journal left as they were.
class TestJournalWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;
    const QDate m_day1{2024, 5, 1};
    const QDate m_day2{2024, 5, 2};

    static qint64 at(const QDate& day, int hour, int minute, int second = 0)
    {
        return QDateTime(day, QTime(hour, minute, second)).toMSecsSinceEpoch();
    }

    static JournalRecord event(qint64 ms, quint32 key, quint8 code, int subscriber = -1)
    {
        const char bytes[] = {char(key), char(key >> 8), char(key >> 16), 0, char(code), 0};
        JournalRecord record = JournalRecord::fromPanel(QByteArray(bytes, 6), ms, "/dev/ttyUSB0");
        if (subscriber >= 0)
            record.owner = {subscriber, "109", "Щукина Ольга"};
        return record;
    }

    static bool append(const QString& file, const QVector<JournalRecord>& records)
    {
        JournalFile journal(file);
        return journal.openForWriting() == JournalFile::State::Writable && journal.append(records);
    }

    static QString cell(const QJournalWindow& window, int row, int column)
    {
        const JournalModel* model = window.model();
        return model->data(model->index(row, column)).toString();
    }

    // Types into the search field as a user would; the search runs after a pause.
    static void search(QJournalWindow& window, const QString& text)
    {
        childOf<QLineEdit>(&window, "leFilter")->setText(text);
    }

    // The values drawn for passes or refusals, as bars or as a line.
    static QVector<qreal> counts(const QJournalWindow& window, const QString& name)
    {
        QVector<qreal> values;
        for (auto* series : childOf<JournalChartView>(&window, "chartView")->chart()->series()) {
            if (auto* bars = qobject_cast<QBarSeries*>(series)) {
                for (const QBarSet* set : bars->barSets())
                    for (int n = 0; set->label() == name && n < set->count(); ++n)
                        values.append(set->at(n));
            } else if (series->name() == name) {
                for (const QPointF& point : static_cast<QLineSeries*>(series)->points())
                    values.append(point.y());
            }
        }
        return values;
    }

private slots:
    void initTestCase()
    {
        prepareGuiTest();
        m_file = m_dir.filePath("journal.sqlite");
        // 300 passes in one morning fill more than one page; a day of every kind follows.
        QVector<JournalRecord> records;
        for (int n = 0; n < 300; ++n)
            records.append(event(at(m_day1, 8, 0) + n * 10000, 1000 + n % 5, 0x00));
        JournalRecord stored = event(at(m_day2, 10, 0), 555, 0x05);
        stored.stored = true;
        stored.storedFrom = at(m_day2, 9, 0);
        stored.storedUntil = at(m_day2, 10, 0);
        records << event(at(m_day2, 9, 15), 4242, 0x00, 21) << event(at(m_day2, 9, 30), 777, 0x05)
                << stored
                << JournalRecord::action("Открывание замка", "выполнено", "/dev/ttyUSB0",
                                         at(m_day2, 11, 0))
                << event(at(m_day2, 12, 0), 0, 0x0D) << event(at(m_day2, 18, 40), 4242, 0x00, 21)
                << event(at(m_day2.addDays(1), 7, 5), 4242, 0x05, 21)
                << event(at(m_day2.addDays(1), 8, 0), 0, 0x0B);
        const QDate today = QDate::currentDate();
        records << event(at(today.addDays(-60), 12, 0), 8, 0x00)
                << event(at(today.addDays(-20), 12, 0), 7, 0x05)
                << event(at(today.addDays(-3), 12, 0), 6, 0x00)
                << event(at(today, 0, 0, 30), 5, 0x00);
        QVERIFY(append(m_file, records));
    }

    void newestFirstFetchedAsItScrolls()
    {
        QJournalWindow window(m_file, [] { return 2; });
        window.show();
        const JournalModel* model = window.model();
        QCOMPARE(model->matching(), qint64(312));
        QCOMPARE(model->rowCount(), JournalModel::PageSize);
        QCOMPARE(cell(window, 0, JournalModel::Key), QString("5"));
        QVERIFY(childOf<QLabel>(&window, "lCount")->text().contains("312"));
        auto* table = childOf<QTableView>(&window, "tvJournal");
        table->scrollToBottom();
        QTRY_COMPARE(model->rowCount(), 312);
        for (int row = 1; row < model->rowCount(); ++row)
            QVERIFY(model->entry(row).id < model->entry(row - 1).id);
        QCOMPARE(cell(window, 311, JournalModel::Key), QString("1000"));
        // A time is shown whole, whatever width a layout saved before kept.
        const QString time = cell(window, 0, JournalModel::Time);
        QVERIFY2(table->horizontalHeader()->sectionSize(JournalModel::Time) >
                     table->fontMetrics().horizontalAdvance(time) + 8,
                 qPrintable(time));
    }

    void filters_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QDate>("since");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("matching");
        QTest::addColumn<QString>("newestKey");
        const QDate none;
        QTest::newRow("today") << 1 << none << 0 << "" << 1 << "5";
        QTest::newRow("7 days") << 2 << none << 0 << "" << 2 << "5";
        QTest::newRow("30 days") << 3 << none << 0 << "" << 3 << "5";
        QTest::newRow("chosen day") << 4 << QDate(2024, 5, 2) << 0 << "" << 6 << "4242";
        QTest::newRow("passes") << 0 << none << 1 << "" << 305 << "5";
        QTest::newRow("refusals") << 0 << none << 2 << "" << 4 << "7";
        QTest::newRow("refusals of a day") << 4 << QDate(2024, 5, 2) << 2 << "" << 2 << "555";
        QTest::newRow("control and actions") << 0 << none << 3 << "" << 1 << "";
        QTest::newRow("power and fire") << 0 << none << 4 << "" << 1 << "";
        QTest::newRow("other") << 0 << none << 5 << "" << 1 << "";
        QTest::newRow("name, any case") << 0 << none << 0 << "щукина" << 3 << "4242";
        QTest::newRow("apartment") << 0 << none << 0 << "109" << 3 << "4242";
        QTest::newRow("subscriber") << 0 << none << 0 << "21" << 3 << "4242";
        QTest::newRow("key") << 0 << none << 0 << "777" << 1 << "777";
        QTest::newRow("name among passes") << 0 << none << 1 << "Щукина" << 2 << "4242";
        QTest::newRow("nobody") << 0 << none << 0 << "Петров" << 0 << "";
    }
    void filters()
    {
        QFETCH(int, period);
        QFETCH(QDate, since);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(int, matching);
        QFETCH(QString, newestKey);
        QJournalWindow window(m_file, [] { return 2; });
        window.show();
        if (since.isValid()) {
            childOf<QDateEdit>(&window, "deSince")->setDate(since);
            childOf<QDateEdit>(&window, "deUntil")->setDate(since);
        }
        childOf<QComboBox>(&window, "cboxPeriod")->setCurrentIndex(period);
        childOf<QComboBox>(&window, "cboxKind")->setCurrentIndex(kind);
        search(window, text);
        QTRY_COMPARE(window.model()->matching(), qint64(matching));
        QCOMPARE(window.model()->rowCount(), qMin(matching, JournalModel::PageSize));
        if (matching > 0)
            QCOMPARE(cell(window, 0, JournalModel::Key), newestKey);
    }

    void exportWritesWhatTheFilterShows()
    {
        QJournalWindow window(m_file, [] { return 2; });
        window.show();
        childOf<QDateEdit>(&window, "deSince")->setDate(m_day2);
        childOf<QDateEdit>(&window, "deUntil")->setDate(m_day2);
        childOf<QComboBox>(&window, "cboxPeriod")->setCurrentIndex(4);
        QCOMPARE(cell(window, 3, JournalModel::Time),
                 QString("накоплено панелью, 2024.05.02 09:00:00 – 2024.05.02 10:00:00"));

        const QString saved = m_dir.filePath("export.csv");
        ModalAnswerer answerer;
        answerer.ignore("QWaitDialog");
        answerer.handle([](QWidget* dialog) {
            childOf<QComboBox>(dialog, "cboxSeparator")->setCurrentIndex(1);
            childOf<QCheckBox>(dialog, "cbHeader")->setChecked(true);
            childOf<QPushButton>(dialog, "pbSave")->click();
            static_cast<QDialog*>(dialog)->reject();
        });
        answerer.chooseFile(saved);
        answerer.press(QMessageBox::Ok);
        window.findChild<QAction*>("actionExport")->trigger();
        QCOMPARE(answerer.seen.last().text,
                 QString("Сохранение событий выполнено успешно.\r\nВсего строк: 7."));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString user = journalUserName();
        QCOMPARE(QTextCodec::codecForName("windows-1251")->toUnicode(file.readAll()),
                 "Дата и время;Ключ;Событие;Абонент;Квартира;ФИО\r\n"
                 "2024.05.02 18:40:00.000;4242;Проход по ключу;21;109;Щукина Ольга\r\n"
                 "2024.05.02 12:00:00.000;;Включение питания;;;\r\n"
                 "2024.05.02 11:00:00.000;;Открывание замка: выполнено (пользователь " +
                     user +
                     ");;;\r\n"
                     "накоплено панелью, 2024.05.02 09:00:00 – 2024.05.02 10:00:00;555;"
                     "Отказ в доступе по ключу;;;\r\n"
                     "2024.05.02 09:30:00.000;777;Отказ в доступе по ключу;;;\r\n"
                     "2024.05.02 09:15:00.000;4242;Проход по ключу;21;109;Щукина Ольга\r\n");
    }

    void chartPerDayAndPerHour()
    {
        QJournalWindow window(m_file, [] { return 2; });
        window.show();
        childOf<QDateEdit>(&window, "deSince")->setDate(m_day1);
        childOf<QDateEdit>(&window, "deUntil")->setDate(m_day1.addDays(2));
        childOf<QComboBox>(&window, "cboxPeriod")->setCurrentIndex(4);
        childOf<QTabWidget>(&window, "tabWidget")->setCurrentIndex(1);
        QCOMPARE(counts(window, "Проходы"), QVector<qreal>({300, 2, 0}));
        QCOMPARE(counts(window, "Отказы"), QVector<qreal>({0, 2, 1}));

        // One day: by the hour; the stored refusal counts where it was received.
        childOf<QDateEdit>(&window, "deSince")->setDate(m_day2);
        childOf<QDateEdit>(&window, "deUntil")->setDate(m_day2);
        QVector<qreal> passes(24, 0);
        QVector<qreal> refusals(24, 0);
        passes[9] = passes[18] = refusals[9] = refusals[10] = 1;
        QCOMPARE(counts(window, "Проходы"), passes);
        QCOMPARE(counts(window, "Отказы"), refusals);
    }

    void newRecordsAppear()
    {
        const QString file = m_dir.filePath("live.sqlite");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(append(file, {event(now - 60000, 1, 0x00)}));
        QJournalWindow window(file, [] { return 2; });
        window.show();
        QVERIFY(append(file, {event(now, 2, 0x00)}));
        QTRY_COMPARE_WITH_TIMEOUT(window.model()->rowCount(), 2, 5000);
        // A writer may commit a record a little older than one already shown.
        QVERIFY(append(file, {event(now - 5000, 3, 0x05)}));
        QTRY_COMPARE_WITH_TIMEOUT(window.model()->rowCount(), 3, 5000);
        QCOMPARE(cell(window, 1, JournalModel::Key), QString("3"));
        QCOMPARE(window.model()->matching(), qint64(3));
    }

    void damagedPageEndsTheListWithAMessage()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("journal.sqlite");
        QVector<JournalRecord> records;
        for (int n = 0; n < 3000; ++n)
            records.append(event(at(m_day1, 8, 0) + n * 1000, 1000 + n, 0x00));
        QVERIFY(append(file, records));
        QJournalWindow window(file, [] { return 2; });
        window.show();
        QCOMPARE(window.model()->matching(), qint64(3000));
        // The older half of the file is lost (a failing disk) after the newest page was read.
        QFile damaged(file);
        QVERIFY(damaged.resize(damaged.size() / 2));
        childOf<QTableView>(&window, "tvJournal")->scrollToBottom();
        auto* message = childOf<QLabel>(&window, "lMessage");
        // Said at once, not only by the next check for new records.
        QTRY_VERIFY_WITH_TIMEOUT(message->isVisible(), QJournalWindow::UpdateIntervalMs / 2);
        QVERIFY2(message->text().contains("Не удалось прочитать журнал"),
                 qPrintable(message->text()));
        QVERIFY(window.model()->rowCount() < 3000);
    }

    void badJournalsStayAsTheyWere_data()
    {
        QTest::addColumn<QByteArray>("content"); // or an SQL statement that makes the file
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("text") << QByteArray("дата;ключ\r\n");
        QTest::newRow("later version")
            << QByteArray("sql:PRAGMA application_id = 1332955762; PRAGMA user_version = 9");
    }
    void badJournalsStayAsTheyWere()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString file = dir.filePath("journal.sqlite");
        if (!content.isEmpty())
            QVERIFY(makeFile(file, content));
        const auto before = folderContents(dir.path());
        QJournalWindow window(file, [] { return 2; });
        window.show();
        window.findChild<QAction*>("actionRefresh")->trigger();
        childOf<QTabWidget>(&window, "tabWidget")->setCurrentIndex(1);
        QVERIFY(childOf<QLabel>(&window, "lMessage")->isVisible());
        QVERIFY(childOf<QLabel>(&window, "lMessage")->text().contains(file));
        QVERIFY(!window.findChild<QAction*>("actionExport")->isEnabled());
        QCOMPARE(window.model()->rowCount(), 0);
        QTest::qWait(QJournalWindow::UpdateIntervalMs + 500); // a check for news comes and goes
        QCOMPARE(folderContents(dir.path()), before);
        if (!content.isEmpty())
            return;
        // The journal recording makes later is shown as soon as it is there.
        QVERIFY(append(file, {event(1700000000000, 9, 0x00)}));
        QTRY_COMPARE_WITH_TIMEOUT(window.model()->rowCount(), 1, 5000);
        QVERIFY(!childOf<QLabel>(&window, "lMessage")->isVisible());
    }

    void oneWindowFromTheMainWindow()
    {
        qputenv("OSTROVEL_JOURNAL", m_file.toUtf8());
        QZelKorWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_J, Qt::ControlModifier);
        QTest::keyClick(&window, Qt::Key_J, Qt::ControlModifier);
        const auto journals = window.findChildren<QJournalWindow*>();
        QCOMPARE(journals.size(), 1);
        QTRY_VERIFY(journals.first()->isVisible());
        QCOMPARE(journals.first()->fileName(), m_file);
        QCOMPARE(journals.first()->model()->matching(), qint64(312));
    }
};

QTEST_MAIN(TestJournalWindow)
#include "tst_journalwindow.moc"
