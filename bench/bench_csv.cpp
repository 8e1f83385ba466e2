// CSV benchmark: export and import of 24 999 subscribers with one key each, side by side with the
// sqlite3 shell doing the same work (".mode csv" output of view_tree; ".import" into the two
// tables), in every subscriber mode of the import; the same tasks under the wait dialog, with how
// often the GUI thread ran meanwhile; and the preview of a 25 000-line file of 14 columns.
#include "backgroundtask.h"
#include "benchsupport.h"
#include "csvcontrols.h"
#include "csvexport.h"
#include "csvimport.h"
#include "csvwriter.h"
#include "databasefile.h"
#include "qimporttodb.h"
#include "taskconnection.h"
#include "testdatagenerator.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr int PreviewLines = 25000;

// The owner of a task under the wait dialog, as the CSV dialogs are.
class TaskOwner : public QDialog
{
    Q_OBJECT
public:
    CancelFlag cancelFlag;
signals:
    void setMaximum(int value);
    void setValue(int value);
public slots:
    void onCancel() { cancelFlag.set(); }
};

constexpr int Runs = 3;

// The best of a few runs: the machine may be busy with other work.
double bestSeconds(const std::function<bool()>& work)
{
    double best = seconds(work);
    for (int run = 1; run < Runs; ++run)
        best = std::min(best, seconds(work));
    return best;
}

bool shell(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool succeeded(const QRuntimeError& result)
{
    if (!result.isSuccess())
        std::fprintf(stderr, "%s\n", qPrintable(result.message));
    return result.isSuccess();
}

QString freshDatabase(const QTemporaryDir& dir, const QString& name)
{
    const QString file = dir.filePath(name);
    DatabaseFile::createFromTemplate(file);
    return file;
}

QVector<int> allColumns(bool withSubscriber)
{
    QVector<int> columns;
    for (int column = withSubscriber ? 0 : 1; column < Csv::ColumnCount; ++column)
        columns << column;
    return columns;
}

// One line per subscriber with its key and its fields, without the subscriber number: the
// shape of a file for the modes that number the subscribers themselves.
bool writeLinesWithoutNumbers(const QString& database, const QString& fileName)
{
    TaskConnection connection(database);
    QSqlQuery query(connection.database());
    if (!query.exec(QStringLiteral(
            "SELECT s.apartment, s.phone, c.number, s.field1, s.field2, s.field3, s.field4, "
            "s.field5, s.field6, s.field7, s.field8, s.field9, s.field10 FROM subscriber s "
            "JOIN card c ON c.subscriber_id = s.id ORDER BY s.id")))
        return false;
    CsvWriter writer(fileName, QStringLiteral("\\t"), QString::fromLatin1(Csv::DefaultCodec));
    QString error;
    if (!writer.open(&error))
        return false;
    while (query.next()) {
        QStringList fields;
        for (int n = 0; n < 13; ++n)
            fields << query.value(n).toString();
        writer.writeRow(fields);
    }
    return writer.finish(&error);
}

// Runs task under the wait dialog; returns its seconds and how often the GUI thread's event
// loop ran a 16 ms timer meanwhile.
double underWaitDialog(const std::function<QRuntimeError(TaskOwner*)>& task, int* ticks)
{
    TaskOwner owner;
    owner.show();
    QTimer ticker;
    *ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [ticks] { ++*ticks; });
    ticker.start(16);
    return seconds([&] {
        return succeeded(runCancellableTask(
            &owner, owner.cancelFlag, QStringLiteral("Процесс"), [&] { return task(&owner); },
            false));
    });
}

// The best of a few runs of work on a fresh copy of the template each time.
double bestOnFreshDatabase(const QTemporaryDir& dir, const std::function<bool(QString)>& work)
{
    double best = 0;
    for (int run = 0; run < Runs; ++run) {
        const QString target = freshDatabase(dir, QStringLiteral("target%1.zelkor").arg(run));
        const double time = seconds([&] { return work(target); });
        best = run == 0 ? time : std::min(best, time);
        QFile::remove(target);
    }
    return best;
}

void writePreviewFile(const QString& fileName)
{
    CsvWriter writer(fileName, QStringLiteral("\\t"), QString::fromLatin1(Csv::DefaultCodec));
    QString error;
    if (!writer.open(&error))
        std::exit(1);
    for (int n = 0; n < PreviewLines; ++n) {
        QStringList fields{QString::number(n % 25000), QString::number(n + 1),
                           QStringLiteral("8916%1").arg(n, 8, 10, QLatin1Char('0')),
                           QStringLiteral("%1").arg(n + 1, 6, 16, QLatin1Char('0'))};
        for (int field = 1; field <= Csv::FieldCount; ++field)
            fields << QStringLiteral("Поле %1 строки %2").arg(field).arg(n);
        writer.writeRow(fields);
    }
    if (!writer.finish(&error))
        std::exit(1);
}

// Measured first, while the process has not yet grown and freed memory that the preview
// could reuse unseen.
void preview(const QTemporaryDir& dir)
{
    const QString file = dir.filePath(QStringLiteral("preview.csv"));
    writePreviewFile(file);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    openWithForeignKeys(db, freshDatabase(dir, QStringLiteral("preview.zelkor")));
    {
        QImportToDB dialog(nullptr, &db);
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            if (box->objectName().startsWith(QLatin1String("cbField")))
                box->setChecked(true);
        dialog.show();
        QApplication::processEvents();
        const double before = processMemoryKiB("VmRSS:");
        const double time = seconds([&] {
            const bool loaded = dialog.loadFile(file);
            QApplication::processEvents(); // painted
            return loaded;
        });
        const double added = (processMemoryKiB("VmRSS:") - before) / 1024.0;
        const QAbstractItemModel* model =
            dialog.findChild<QTableView*>(QStringLiteral("tableData"))->model();
        std::printf("preview of %d lines x %d columns: shown after %.3f s (target <= 1), %.1f "
                    "MiB added (target <= 60)\n",
                    model->rowCount(), model->columnCount(), time, added);
    }
    db.close();
}

} // namespace

int main(int argc, char* argv[])
{
    prepareWidgetBenchmark();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    preview(dir);

    const QString source = dir.filePath(QStringLiteral("source.zelkor"));
    if (!createTestDatabase(source))
        return 1;

    // Export.
    CsvExportOptions exportOptions;
    exportOptions.columns = allColumns(true);
    exportOptions.header = true;
    const QString exported = dir.filePath(QStringLiteral("exported.csv"));
    const double ours =
        bestSeconds([&] { return succeeded(exportDatabase(source, exported, exportOptions, {})); });
    const double theirs = bestSeconds([&] {
        return shell({source, QStringLiteral(".headers on"), QStringLiteral(".mode csv"),
                      QStringLiteral(".output ") + dir.filePath(QStringLiteral("shell.csv")),
                      QStringLiteral("SELECT * FROM view_tree;")});
    });
    std::printf(
        "export of %d subscribers and keys: %.3f s; sqlite3 shell (.mode csv of view_tree): "
        "%.3f s; ratio %.2f (target <= 2)\n",
        TestData::Subscribers, ours, theirs, ours / theirs);

    // The shell's import baseline: the two tables from CSV files it wrote itself.
    const QString subscribersCsv = dir.filePath(QStringLiteral("subscribers.csv"));
    const QString cardsCsv = dir.filePath(QStringLiteral("cards.csv"));
    if (!shell({source, QStringLiteral(".mode csv"), QStringLiteral(".once ") + subscribersCsv,
                QStringLiteral("SELECT * FROM subscriber;"), QStringLiteral(".once ") + cardsCsv,
                QStringLiteral("SELECT * FROM card;")}))
        return 1;
    const double shellImport = bestOnFreshDatabase(dir, [&](const QString& target) {
        return shell(
            {target,
             QStringLiteral(".import --csv ") + subscribersCsv + QStringLiteral(" subscriber"),
             QStringLiteral(".import --csv ") + cardsCsv + QStringLiteral(" card")});
    });

    const QString numberless = dir.filePath(QStringLiteral("numberless.csv"));
    if (!writeLinesWithoutNumbers(source, numberless))
        return 1;
    const char* const modes[] = {"Абонент", "Автосоздание абонента", "Привязка к абоненту"};
    CsvImportOptions importOptions;
    importOptions.keyPattern = CsvImport::keyPattern(0);
    for (int mode = 0; mode < 3; ++mode) {
        importOptions.subscriberMode = mode;
        importOptions.boundSubscriber = 0;
        importOptions.columns = allColumns(mode == CsvImportOptions::FromFile);
        importOptions.ignoreFirstLine = mode == CsvImportOptions::FromFile;
        const QString input = mode == CsvImportOptions::FromFile ? exported : numberless;
        const double imported = bestOnFreshDatabase(dir, [&](const QString& target) {
            return succeeded(importFile(target, input, importOptions, {}));
        });
        std::printf("import, \"%s\": %.3f s; sqlite3 shell (.import into both tables): %.3f s; "
                    "ratio %.2f (target <= 2)\n",
                    modes[mode], imported, shellImport, imported / shellImport);
    }

    // The same under the wait dialog, with its progress and cancel checks.
    int ticks = 0;
    const double exportWaiting = underWaitDialog(
        [&](TaskOwner* owner) {
            return exportDatabase(source, exported, exportOptions,
                                  CsvControls::taskProgress(owner, &owner->cancelFlag));
        },
        &ticks);
    std::printf("export under the wait dialog: %.3f s; the GUI thread ran %d times meanwhile\n",
                exportWaiting, ticks);
    importOptions.subscriberMode = CsvImportOptions::FromFile;
    importOptions.columns = allColumns(true);
    importOptions.ignoreFirstLine = true;
    const QString waitTarget = freshDatabase(dir, QStringLiteral("waiting.zelkor"));
    const double importWaiting = underWaitDialog(
        [&](TaskOwner* owner) {
            return importFile(waitTarget, exported, importOptions,
                              CsvControls::taskProgress(owner, &owner->cancelFlag));
        },
        &ticks);
    std::printf("import under the wait dialog: %.3f s; the GUI thread ran %d times meanwhile\n",
                importWaiting, ticks);
    return 0;
}

#include "bench_csv.moc"
