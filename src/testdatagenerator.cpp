#include "testdatagenerator.h"

#include "databasefile.h"
#include "sqltransaction.h"
#include "taskconnection.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>
#include <QVariant>

#include <random>

namespace TestData {

namespace {

constexpr int ProgressStep = 100;

QString translate(const char* text)
{
    return QCoreApplication::translate("QZelKorWindow", text);
}

class Generator
{
public:
    explicit Generator(QSqlDatabase& db)
        : m_subscriber(db)
        , m_card(db)
        , m_random(uint(QTime::currentTime().msecsSinceStartOfDay() / 1000))
    {
        m_subscriber.prepare(QStringLiteral(
            "INSERT INTO subscriber (id, apartment, phone, field1, field2, field3, field4, "
            "field5, field6, field7, field8, field9, field10) VALUES (:id, :apartment, :phone, "
            ":field1, :field2, :field3, :field4, :field5, :field6, :field7, :field8, :field9, "
            ":field10)"));
        m_card.prepare(QStringLiteral(
            "INSERT INTO card (id, subscriber_id, type, number, field1, field2, field3, field4, "
            "field5, field6, field7, field8, field9, field10) VALUES (:id, :subscriber_id, 0, "
            ":number, :field1, :field2, :field3, :field4, :field5, :field6, :field7, :field8, "
            ":field9, :field10)"));
    }

    // Empty on success, else the message.
    QString add(int n)
    {
        m_subscriber.bindValue(QStringLiteral(":id"), n);
        m_subscriber.bindValue(QStringLiteral(":apartment"), QString::number(n));
        m_subscriber.bindValue(QStringLiteral(":phone"),
                               QStringLiteral("8916%1").arg(n, 8, 10, QLatin1Char('0')));
        bindFields(m_subscriber);
        if (!m_subscriber.exec())
            return translate("Ошибка при добавлении абонента '%1'.\r\nSqlError: %2.")
                .arg(n)
                .arg(m_subscriber.lastError().text());

        const int code = n + 1;
        m_card.bindValue(QStringLiteral(":id"), code);
        m_card.bindValue(QStringLiteral(":subscriber_id"), n);
        m_card.bindValue(
            QStringLiteral(":number"),
            QStringLiteral("0000000000%1").arg(code, 6, 16, QLatin1Char('0')).toUpper());
        bindFields(m_card);
        if (!m_card.exec())
            return translate("Ошибка при добавлении ключа '%1' для обонента '%2'.\r\nSqlError: %3.")
                .arg(code)
                .arg(n)
                .arg(m_card.lastError().text());
        return {};
    }

private:
    void bindFields(QSqlQuery& query)
    {
        for (int field = 1; field <= 10; ++field)
            query.bindValue(QStringLiteral(":field%1").arg(field),
                            translate("Случайное число: %1").arg(m_random()));
    }

    QSqlQuery m_subscriber;
    QSqlQuery m_card;
    std::minstd_rand m_random;
};

} // namespace

QString generate(QSqlDatabase& db, const std::function<void(int)>& setValue)
{
    SqlTransaction transaction(db);
    if (!transaction.isActive())
        return translate("Ошибка при запуске SQL транзакции.\r\nSqlError: %1.")
            .arg(transaction.error().text());
    Generator generator(db);
    for (int n = 0; n < Subscribers; ++n) {
        const QString error = generator.add(n);
        if (!error.isEmpty())
            return error;
        if (n % ProgressStep == 0)
            setValue(n + 1);
    }
    if (!transaction.commit())
        return translate("Ошибка при завершении SQL транзакции.\r\nSqlError: %1.")
            .arg(transaction.error().text());
    return {};
}

QString generateFile(const QString& databaseFile, const std::function<void(int)>& setValue)
{
    TaskConnection connection(databaseFile);
    if (!connection.isOpen())
        return connection.errorText();
    const QString refusal = DatabaseFile::writeRefusal(connection.database());
    if (!refusal.isEmpty())
        return refusal;
    return generate(connection.database(), setValue);
}

} // namespace TestData
