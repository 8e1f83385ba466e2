#include "importwriter.h"

#include "cardformat.h"
#include "databasefile.h"
#include "settingsrecord.h"
#include "settingsrow.h"
#include "sqlmessages.h"
#include "sqltransaction.h"
#include "taskconnection.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ImportWriter {

namespace {

constexpr int ProgressStep = 64;
const char* const Abandoned =
    QT_TRANSLATE_NOOP("QImport", "Запись в БД не выполнена, БД не изменена");

QString translate(const char* text)
{
    return QCoreApplication::translate("QImport", text);
}

Result stopped(Result::Status status, const QString& title = {}, const QString& text = {})
{
    Result result;
    result.status = status;
    result.failure = {title, text};
    return result;
}

} // namespace

int steps(const PanelTables::PanelImage& image, bool settingsOnly)
{
    int total = 1;
    if (settingsOnly)
        return total;
    for (const PanelTables::SubscriberImage& subscriber : image.subscribers)
        total += subscriber.keys.size() + 1;
    return total;
}

Result write(QSqlDatabase& db, const PanelTables::PanelImage& image, bool settingsOnly,
             int keyFormat, const std::function<void(int)>& progress,
             const std::function<bool()>& cancelled)
{
    QSqlQuery subscriberInsert(db);
    QSqlQuery keyInsert(db);
    if (!subscriberInsert.prepare(QStringLiteral("INSERT INTO subscriber (id, apartment, phone) "
                                                 "VALUES (:id, :apartment, :phone)")) ||
        !keyInsert.prepare(QStringLiteral("INSERT INTO card (id, subscriber_id, type, number) "
                                          "VALUES (:id, :subscriber_id, :type, :number)")))
        return stopped(Result::Failed, {},
                       sqlErrorMessage(translate("Ошибка подготовки записи в БД, БД не изменена"),
                                       subscriberInsert.lastError().isValid()
                                           ? subscriberInsert.lastError()
                                           : keyInsert.lastError()));

    // Whatever stops the writing leaves the database as it was.
    SqlTransaction transaction(db);
    if (!transaction.isActive())
        return stopped(Result::Failed, {},
                       translate("Ошибка при старте транзакции.SqlError: %1.")
                           .arg(transaction.error().text()));
    QString error;
    if (!SettingsRow::save(db, SettingsRecord::decode(image.settings), &error))
        return stopped(Result::Failed, translate("Сохранение настроек панели в БД"), error);
    int done = 1;
    int reported = done;
    progress(done);
    Result result;
    if (!settingsOnly) {
        error = DatabaseFile::clearSubscribers(db);
        if (!error.isEmpty())
            return stopped(Result::Failed, translate("Очистка БД"), error);
        for (const PanelTables::SubscriberImage& subscriber : image.subscribers) {
            if (cancelled())
                return stopped(Result::Cancelled);
            subscriberInsert.bindValue(QStringLiteral(":id"), subscriber.number);
            subscriberInsert.bindValue(QStringLiteral(":apartment"),
                                       subscriber.apartment.isEmpty()
                                           ? QVariant(QString())
                                           : QVariant(subscriber.apartment));
            subscriberInsert.bindValue(QStringLiteral(":phone"), subscriber.phone.isEmpty()
                                                                     ? QStringLiteral("")
                                                                     : subscriber.phone);
            if (!subscriberInsert.exec())
                return stopped(Result::Failed,
                               translate("Добавление абонента '%1'.").arg(subscriber.number),
                               sqlErrorMessage(translate(Abandoned), subscriberInsert.lastError()));
            ++done;
            for (const uint code : subscriber.keys) {
                const QString text = cardToText(keyFormat, code);
                keyInsert.bindValue(QStringLiteral(":id"), code);
                keyInsert.bindValue(QStringLiteral(":subscriber_id"), subscriber.number);
                keyInsert.bindValue(QStringLiteral(":type"), keyFormat);
                keyInsert.bindValue(QStringLiteral(":number"), text);
                if (!keyInsert.exec()) {
                    const QString title = translate("Добавление ключа '%1' для обонента '%2'.")
                                              .arg(text)
                                              .arg(subscriber.number);
                    // Only a key the panel holds twice, say, is left out: any other failure
                    // would leave out every key that follows.
                    if (!isConstraintViolation(keyInsert.lastError(), {}))
                        return stopped(
                            Result::Failed, title,
                            sqlErrorMessage(translate(Abandoned), keyInsert.lastError()));
                    // The subscriber keeps the keys added so far; the next one follows.
                    result.keyFailures.append(
                        {title, sqlErrorMessage(translate("Ключ не добавлен, импорт продолжен"),
                                                keyInsert.lastError())});
                    break;
                }
                ++done;
            }
            if (done - reported >= ProgressStep) {
                reported = done;
                progress(done);
            }
        }
        if (cancelled())
            return stopped(Result::Cancelled);
    }
    if (!transaction.commit())
        return stopped(Result::Failed, {},
                       translate("Ошибка при завершении транзакции.SqlError: %1.")
                           .arg(transaction.error().text()));
    progress(steps(image, settingsOnly));
    return result;
}

Result writeFile(const QString& fileName, const PanelTables::PanelImage& image, bool settingsOnly,
                 int keyFormat, const std::function<void(int)>& progress,
                 const std::function<bool()>& cancelled)
{
    TaskConnection connection(fileName);
    if (!connection.isOpen())
        return stopped(Result::Failed, {}, connection.errorText());
    const QString refusal = DatabaseFile::writeRefusal(connection.database());
    if (!refusal.isEmpty())
        return stopped(Result::Failed, {}, refusal);
    return write(connection.database(), image, settingsOnly, keyFormat, progress, cancelled);
}

} // namespace ImportWriter
