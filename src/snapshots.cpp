#include "snapshots.h"

#include "databasecopy.h"
#include "databasefile.h"
#include "datafolders.h"
#include "heldfiles.h"
#include "taskconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <memory>

namespace Snapshots {

namespace {

const QLatin1String Prefix("snapshot-");
const QLatin1String CopySuffix(".zelkor");
const QLatin1String DescriptionSuffix(".json");
// An unfinished copy: the prefix, six letters or digits, the suffix.
const QLatin1String PartPrefix(".snapshot-");
const QLatin1String PartSuffix(".part");

struct Described
{
    Operation operation;
    const char* key;
    const char* title;
};
const Described Operations[] = {
    {Operation::PanelImport, "panel-import", QT_TRANSLATE_NOOP("Snapshots", "Импорт из панели")},
    {Operation::Clear, "clear", QT_TRANSLATE_NOOP("Snapshots", "Очистка БД")},
    {Operation::CsvImport, "csv-import", QT_TRANSLATE_NOOP("Snapshots", "Импорт CSV с очисткой")},
    {Operation::Backup, "backup",
     QT_TRANSLATE_NOOP("Snapshots", "Замена файла резервной копией панели")},
    {Operation::Restore, "restore", QT_TRANSLATE_NOOP("Snapshots", "Восстановление из снимка")}};

QString translate(const char* text)
{
    return QCoreApplication::translate("Snapshots", text);
}

QString descriptionOf(const QString& copy)
{
    return copy.left(copy.size() - CopySuffix.size()) + DescriptionSuffix;
}

// The file a snapshot taken at that time is named after. Two taken within one millisecond are
// told apart by a later time for the second, so that names and times keep one order.
QString nameFor(const QString& folder, QDateTime* taken)
{
    for (;; *taken = taken->addMSecs(1)) {
        const QString name = folder + QLatin1Char('/') + Prefix +
                             taken->toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + CopySuffix;
        if (!QFileInfo::exists(name) && !QFileInfo::exists(descriptionOf(name)))
            return name;
    }
}

bool writeDescription(const Snapshot& snapshot, const QString& databaseFile, QString* error)
{
    const QJsonObject description{
        {QStringLiteral("taken"), snapshot.taken.toString(Qt::ISODateWithMs)},
        {QStringLiteral("operation"), snapshot.operation},
        {QStringLiteral("subscribers"), snapshot.subscribers},
        {QStringLiteral("keys"), snapshot.keys},
        {QStringLiteral("database"), QFileInfo(databaseFile).absoluteFilePath()}};
    QSaveFile file(descriptionOf(snapshot.file));
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(description).toJson()) >= 0 &&
        file.commit())
        return true;
    *error =
        translate("не удалось записать файл '%1': %2").arg(file.fileName(), file.errorString());
    return false;
}

bool readDescription(const QString& fileName, Snapshot* snapshot)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject description = QJsonDocument::fromJson(file.readAll()).object();
    snapshot->taken = QDateTime::fromString(description.value(QStringLiteral("taken")).toString(),
                                            Qt::ISODateWithMs);
    snapshot->operation = description.value(QStringLiteral("operation")).toString();
    snapshot->subscribers = description.value(QStringLiteral("subscribers")).toInt();
    snapshot->keys = description.value(QStringLiteral("keys")).toInt();
    return snapshot->taken.isValid();
}

void remove(const Snapshot& snapshot)
{
    // The description first: a copy left alone by a run killed here is swept later.
    QFile::remove(descriptionOf(snapshot.file));
    QFile::remove(snapshot.file);
}

// Removes what runs killed while taking a snapshot left: an unfinished copy, or a copy whose
// description was never written whole. A run still taking one holds its copy, which stays.
void sweep(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({PartPrefix + QLatin1Char('*') + PartSuffix}, QDir::Files | QDir::Hidden))
        HeldFiles::removeAbandoned(dir.filePath(name));
    for (const QString& name :
         dir.entryList({Prefix + QLatin1Char('*') + CopySuffix}, QDir::Files)) {
        const QString copy = dir.filePath(name);
        const QString description = descriptionOf(copy);
        if (!HeldFiles::removeAbandoned(copy, {},
                                        [&description] { return !QFileInfo::exists(description); }))
            continue;
        // With the description that was being written (QSaveFile's temporary file).
        for (const QString& unfinished :
             dir.entryList({QFileInfo(description).fileName() + QStringLiteral(".*")},
                           QDir::Files | QDir::Hidden))
            QFile::remove(dir.filePath(unfinished));
    }
}

// Removes the oldest snapshots beyond Kept; newest, the one just taken, is kept in any case.
void removeBeyond(const QString& databaseFile, const QString& newest)
{
    QList<Snapshot> others = list(databaseFile);
    others.erase(std::remove_if(others.begin(), others.end(),
                                [&newest](const Snapshot& s) { return s.file == newest; }),
                 others.end());
    for (int i = newest.isEmpty() ? Kept : Kept - 1; i < others.size(); ++i)
        remove(others.at(i));
}

// Why the snapshot cannot be put back; empty when it can.
QString unusable(const QString& file)
{
    if (!QFileInfo(file).isFile())
        return translate("файл '%1' не найден").arg(file);
    TaskConnection connection(file);
    if (!connection.isOpen())
        return connection.errorText();
    return DatabaseFile::formatMessage(DatabaseFile::checkFormat(connection.database()));
}

} // namespace

QString operationKey(Operation operation)
{
    for (const Described& described : Operations)
        if (described.operation == operation)
            return QLatin1String(described.key);
    return {};
}

QString operationTitle(const QString& key)
{
    for (const Described& described : Operations)
        if (key == QLatin1String(described.key))
            return translate(described.title);
    return key;
}

QString timeText(const Snapshot& snapshot)
{
    return snapshot.taken.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString restoreQuestion(const Snapshot& snapshot)
{
    return translate("Абоненты, ключи и настройки БД будут заменены снимком от %1 (%2: абонентов "
                     "%3, ключей %4).\r\nТекущее состояние БД сохраняется в новый снимок.\r\nВы "
                     "действительно хотите восстановить БД из снимка?")
        .arg(timeText(snapshot), operationTitle(snapshot.operation))
        .arg(snapshot.subscribers)
        .arg(snapshot.keys);
}

Taken take(const QString& databaseFile, Operation operation, bool prune)
{
    Taken taken;
    const auto fail = [&taken](const QString& detail) {
        taken.error = translate("Не удалось сохранить снимок БД: %1.\r\nОперация не выполнена, "
                                "БД не изменена.")
                          .arg(detail);
        return taken;
    };
    // SQLite would make an empty database of a missing file.
    if (!QFileInfo(databaseFile).isFile())
        return fail(translate("файл '%1' не найден").arg(databaseFile));
    const QString folder = DataFolders::snapshotFolder(databaseFile);
    if (!QDir().mkpath(folder))
        return fail(translate("не удалось создать папку '%1'").arg(folder));
    sweep(folder);

    Snapshot snapshot;
    snapshot.taken = QDateTime::currentDateTimeUtc();
    snapshot.operation = operationKey(operation);
    // Copied under a name that no listing takes, and named as a snapshot once it is whole; held
    // until its description is written too, so that no other run sweeps it away meanwhile.
    QString error;
    const std::unique_ptr<QTemporaryFile> part = HeldFiles::create(
        folder + QLatin1Char('/') + PartPrefix + QStringLiteral("XXXXXX") + PartSuffix, &error);
    if (!part)
        return fail(translate("не удалось создать файл в папке '%1': %2").arg(folder, error));
    DatabaseCopy::Counts counts;
    error = DatabaseCopy::copyFile(databaseFile, part->fileName(), &counts);
    snapshot.subscribers = counts.subscribers;
    snapshot.keys = counts.keys;
    snapshot.file = nameFor(folder, &snapshot.taken);
    if (error.isEmpty() && !QFile::rename(part->fileName(), snapshot.file))
        error = translate("не удалось переименовать файл '%1'").arg(part->fileName());
    if (!error.isEmpty())
        return fail(translate("ошибка записи в папку '%1': %2").arg(folder, error));
    part->setAutoRemove(false);
    if (!writeDescription(snapshot, databaseFile, &error)) {
        QFile::remove(snapshot.file);
        return fail(error);
    }
    if (prune)
        removeBeyond(databaseFile, snapshot.file);
    taken.ok = true;
    taken.snapshot = snapshot;
    return taken;
}

QList<Snapshot> list(const QString& databaseFile)
{
    const QDir folder(DataFolders::snapshotFolder(databaseFile));
    QList<Snapshot> snapshots;
    for (const QString& name :
         folder.entryList({Prefix + QLatin1Char('*') + DescriptionSuffix}, QDir::Files)) {
        Snapshot snapshot;
        const QString description = folder.filePath(name);
        snapshot.file =
            description.left(description.size() - DescriptionSuffix.size()) + CopySuffix;
        if (QFileInfo(snapshot.file).isFile() && readDescription(description, &snapshot))
            snapshots << snapshot;
    }
    std::sort(snapshots.begin(), snapshots.end(), [](const Snapshot& a, const Snapshot& b) {
        return a.taken != b.taken ? a.taken > b.taken : a.file > b.file;
    });
    return snapshots;
}

void prune(const QString& databaseFile)
{
    removeBeyond(databaseFile, {});
}

QRuntimeError restore(const QString& databaseFile, const Snapshot& snapshot,
                      const std::function<bool()>& cancelled)
{
    const QString problem = unusable(snapshot.file);
    if (!problem.isEmpty())
        return QRuntimeError::failure(translate("Снимок от %1 не может быть восстановлен: %2")
                                          .arg(timeText(snapshot), problem));
    TaskConnection connection(databaseFile);
    // Refused before a snapshot of the present state is taken for nothing.
    const QString refusal =
        connection.isOpen() ? DatabaseFile::writeRefusal(connection.database()) : QString();
    if (!refusal.isEmpty())
        return QRuntimeError::failure(refusal);
    // Not pruned yet: the snapshot being restored may be the oldest.
    const Taken undo = take(databaseFile, Operation::Restore, false);
    if (!undo.ok)
        return QRuntimeError::failure(undo.error);
    if (cancelled && cancelled()) {
        // Nothing changed: the snapshot of it would only crowd the list.
        remove(undo.snapshot);
        return QRuntimeError::cancelled();
    }
    const QString error = connection.isOpen()
                              ? DatabaseCopy::replaceContent(connection.database(), snapshot.file)
                              : connection.errorText();
    prune(databaseFile);
    if (!error.isEmpty())
        return QRuntimeError::failure(
            translate("Ошибка восстановления из снимка, БД не изменена.\r\nSqlError: %1.")
                .arg(error));
    return QRuntimeError::success(
        translate("БД восстановлена из снимка от %1: абонентов %2, ключей %3.\r\nПрежнее "
                  "состояние сохранено в снимке от %4.")
            .arg(timeText(snapshot))
            .arg(snapshot.subscribers)
            .arg(snapshot.keys)
            .arg(timeText(undo.snapshot)));
}

} // namespace Snapshots
