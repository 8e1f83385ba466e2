// Builds the demonstration database that `make demo` opens: a small building with residents,
// apartments, phones and keys in every format, some of them the keys the simulator's demo
// event stream presents.
// Usage: ostrovel-demodb <output.zelkor>
#include "cardformat.h"
#include "databasefile.h"
#include "taskconnection.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cstdio>

namespace {

const char* const Surnames[] = {"Иванов",  "Смирнова", "Кузнецов",  "Попова",   "Васильев",
                                "Петрова", "Соколов",  "Михайлова", "Новиков",  "Фёдорова",
                                "Морозов", "Волкова",  "Алексеев",  "Лебедева", "Семёнов",
                                "Егорова", "Павлов",   "Козлова",   "Степанов", "Николаева"};
constexpr int Apartments = 60;
constexpr int Floors = 5;

struct Key
{
    uint code;
    int format;
};

bool exec(QSqlQuery& query, const char* what)
{
    if (query.exec())
        return true;
    std::fprintf(stderr, "ostrovel-demodb: %s: %s\n", what, qPrintable(query.lastError().text()));
    return false;
}

bool fill(QSqlDatabase& db)
{
    QSqlQuery settings(db);
    settings.prepare(
        QStringLiteral("UPDATE system SET field1_name = :name, field2_name = :entrance, "
                       "field3_name = :floor, columns = 14 WHERE id = 1"));
    settings.bindValue(QStringLiteral(":name"), QStringLiteral("ФИО"));
    settings.bindValue(QStringLiteral(":entrance"), QStringLiteral("Подъезд"));
    settings.bindValue(QStringLiteral(":floor"), QStringLiteral("Этаж"));
    if (!exec(settings, "settings"))
        return false;

    QSqlQuery subscriber(db);
    subscriber.prepare(QStringLiteral("INSERT INTO subscriber (id, apartment, phone, field1, "
                                      "field2, field3) VALUES (:id, :apartment, :phone, :name, "
                                      ":entrance, :floor)"));
    QSqlQuery card(db);
    card.prepare(QStringLiteral("INSERT INTO card (id, type, number, subscriber_id, field1) "
                                "VALUES (:id, :type, :number, :subscriber, :note)"));
    // The simulator's demo stream presents the first four.
    const Key known[] = {{0x12A4F0, 1}, {0x0031D2, 0}, {0x7E0511, 3}, {50000, 2}};
    db.transaction();
    for (int n = 1; n <= Apartments; ++n) {
        subscriber.bindValue(QStringLiteral(":id"), n);
        subscriber.bindValue(QStringLiteral(":apartment"), QString::number(n));
        subscriber.bindValue(QStringLiteral(":phone"),
                             n % 4 == 0
                                 ? QStringLiteral("")
                                 : QStringLiteral("84951234%1").arg(n, 3, 10, QLatin1Char('0')));
        subscriber.bindValue(QStringLiteral(":name"),
                             QString::fromUtf8(Surnames[n % (sizeof Surnames / sizeof *Surnames)]));
        subscriber.bindValue(QStringLiteral(":entrance"), QString::number((n - 1) / 20 + 1));
        subscriber.bindValue(QStringLiteral(":floor"),
                             QString::number((n - 1) % 20 / 4 % Floors + 1));
        if (!exec(subscriber, "subscriber"))
            return false;
        const int keys = n <= 4 ? std::max(1, n % 3) : n % 3;
        for (int k = 0; k < keys; ++k) {
            const Key key = n <= 4 && k == 0 ? known[n - 1]
                                             : Key{uint(0x100000 + n * 97 + k * 7919), (n + k) % 4};
            card.bindValue(QStringLiteral(":id"), key.code);
            card.bindValue(QStringLiteral(":type"), key.format);
            card.bindValue(QStringLiteral(":number"), cardToText(key.format, key.code).toUpper());
            card.bindValue(QStringLiteral(":subscriber"), n);
            card.bindValue(QStringLiteral(":note"),
                           k == 0 ? QStringLiteral("основной") : QStringLiteral("запасной"));
            if (!exec(card, "key"))
                return false;
        }
    }
    return db.commit();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Q_INIT_RESOURCE(database);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: ostrovel-demodb <output.zelkor>\n");
        return 2;
    }
    const QString fileName = app.arguments().at(1);
    const QString error = DatabaseFile::createFromTemplate(fileName);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "ostrovel-demodb: %s: %s\n", qPrintable(fileName), qPrintable(error));
        return 1;
    }
    bool filled = false;
    {
        TaskConnection connection(fileName);
        filled = connection.isOpen() && fill(connection.database());
    }
    if (!filled)
        QFile::remove(fileName);
    return filled ? 0 : 1;
}
