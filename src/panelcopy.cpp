#include "panelcopy.h"

#include "databasefile.h"
#include "datafolders.h"
#include "heldfiles.h"
#include "importwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <map>
#include <memory>

namespace {

const QString Unfinished = QStringLiteral(".part");

// The unfinished copies this process is making, each held until it is named or removed, so
// that another run's sweep leaves them alone.
QMutex heldLock;
std::map<QString, std::unique_ptr<QFile>> heldCopies;

void release(const QString& prepared)
{
    const QMutexLocker locker(&heldLock);
    heldCopies.erase(prepared);
}

QString translate(const char* text)
{
    return QCoreApplication::translate("PanelCopy", text);
}

QString fileError(const QString& file, const QString& reason)
{
    return translate("Ошибка создания файла: %1.\r\nОшибка: %2.")
        .arg(QDir::toNativeSeparators(file), reason);
}

} // namespace

QString PanelCopy::newFileName(const QString& folder, const QDateTime& time)
{
    // Names sort as the copies were taken.
    QDateTime at = time;
    QString file;
    do {
        file = QDir(folder).filePath(QStringLiteral("panel-%1.zelkor")
                                         .arg(at.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"))));
        at = at.addMSecs(1);
    } while (QFile::exists(file) || QFile::exists(file + Unfinished));
    return file;
}

PanelCopy::Result PanelCopy::prepare(const QString& databaseFile)
{
    Result result;
    const QString folder = DataFolders::snapshotFolder(databaseFile);
    if (!QDir().mkpath(folder)) {
        result.error = fileError(folder, translate("папку не удалось создать"));
        return result;
    }
    sweep(folder);
    const QString part = newFileName(folder, QDateTime::currentDateTime()) + Unfinished;
    QString error;
    std::unique_ptr<QFile> held = HeldFiles::createNew(part, &error);
    if (held)
        error = DatabaseFile::createFromTemplate(part);
    if (!error.isEmpty()) {
        if (held)
            QFile::remove(part);
        result.error = fileError(part, error);
        return result;
    }
    const QMutexLocker locker(&heldLock);
    heldCopies[part] = std::move(held);
    result.file = part;
    return result;
}

PanelCopy::Result PanelCopy::write(const QString& prepared, const PanelTables::PanelImage& image,
                                   int keyFormat, const std::function<bool()>& cancelled)
{
    Result result;
    const QString file = prepared.chopped(Unfinished.size());
    const ImportWriter::Result written = ImportWriter::writeFile(
        prepared, image, false, keyFormat, [](int) {}, cancelled);
    if (written.status == ImportWriter::Result::Cancelled)
        result.error = translate("Операция прервана пользователем.");
    else if (written.status == ImportWriter::Result::Failed)
        result.error = fileError(file, QStringList{written.failure.title, written.failure.text}
                                           .join(QLatin1Char(' '))
                                           .trimmed());
    else if (!QFile::rename(prepared, file))
        result.error = fileError(file, translate("файл не удалось переименовать"));
    if (!result.error.isEmpty()) {
        discard(prepared);
        return result;
    }
    release(prepared);
    prune(QFileInfo(file).path(), Kept, file);
    result.file = file;
    return result;
}

void PanelCopy::sweep(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("panel-*.zelkor") + Unfinished}, QDir::Files))
        HeldFiles::removeAbandoned(dir.filePath(name), {QStringLiteral("-journal")});
}

void PanelCopy::discard(const QString& prepared)
{
    // Removed before it is let go: no other run ever finds it unheld.
    QFile::remove(prepared);
    QFile::remove(prepared + QStringLiteral("-journal"));
    release(prepared);
}

void PanelCopy::prune(const QString& folder, int keep, const QString& newest)
{
    const QDir dir(folder);
    QStringList copies = dir.entryList({QStringLiteral("panel-*.zelkor")}, QDir::Files, QDir::Name);
    copies.removeAll(QFileInfo(newest).fileName());
    // The newest is one of those kept.
    for (int i = 0; i < copies.size() - (keep - 1); ++i)
        QFile::remove(dir.filePath(copies.at(i)));
}
