#include "cardformat.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "fleetquery.h"
#include "journalfile.h"
#include "journallines.h"
#include "journalquery.h"
#include "pgconnection.h"

#include <QDateTime>

using Console::tr;

namespace {

// A moment as a person types it, in local time; a date alone is the start of that day.
// Invalid when the text is none of these.
QDateTime parseMoment(const QString& text, bool* dateOnly)
{
    *dateOnly = false;
    for (const char* format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm",
                               "yyyy.MM.dd HH:mm:ss", "yyyy.MM.dd HH:mm"}) {
        const QDateTime moment = QDateTime::fromString(text, QLatin1String(format));
        if (moment.isValid())
            return moment;
    }
    for (const char* format : {"yyyy-MM-dd", "yyyy.MM.dd"}) {
        const QDate date = QDate::fromString(text, QLatin1String(format));
        if (date.isValid()) {
            *dateOnly = true;
            return date.startOfDay();
        }
    }
    return {};
}

// Every key code the text names in one of the key formats.
QList<quint32> keyCodes(const QString& text)
{
    QList<quint32> codes;
    for (int format : {CardFormat::Digits, CardFormat::TouchMemory, CardFormat::EmMarin,
                       CardFormat::TenDigits}) {
        const uint code = textToCard(format, text.trimmed(), QString());
        if (code != 0 && !codes.contains(code))
            codes.append(code);
    }
    return codes;
}

// Every matching record on standard output, oldest first; a fleet journal's lines begin with
// the record's site, and its JSON names it. False when the reading failed.
bool printAll(JournalSource& query, bool json)
{
    return query.isValid() && query.forEach([json](const JournalEntry& entry) {
        if (json)
            Console::result(JournalLines::json(entry.record, CardFormat::Default, entry.site));
        else
            Console::result((entry.site.isEmpty() ? QString() : entry.site + QLatin1Char('\t')) +
                            JournalLines::text(entry.record, CardFormat::Default));
        return true;
    });
}

} // namespace

int Commands::journal(CommandLine& line, const QStringList& arguments)
{
    line.addJournalOption();
    const QCommandLineOption since(
        QStringLiteral("since"),
        tr("С этого момента: ГГГГ-ММ-ДД или ГГГГ-ММ-ДД ЧЧ:ММ[:СС], местное время."),
        QStringLiteral("WHEN"));
    const QCommandLineOption until(
        QStringLiteral("until"),
        tr("До этого момента; дата без времени — по этот день включительно."),
        QStringLiteral("WHEN"));
    const QCommandLineOption key(QStringLiteral("key"),
                                 tr("Только этот ключ: код или ключ в любом из форматов."),
                                 QStringLiteral("KEY"));
    const QCommandLineOption apartment(QStringLiteral("apartment"),
                                       tr("Только ключи абонентов этой квартиры."),
                                       QStringLiteral("N"));
    const QCommandLineOption kind(
        QStringLiteral("kind"),
        tr("Только события этих видов, через запятую: pass (проходы), refusal (отказы), control "
           "(управление), power (питание и пожарный датчик), other (прочие), action (действия "
           "программы)."),
        QStringLiteral("KINDS"));
    const QCommandLineOption asJson(QStringLiteral("json"), tr("Выводить записи в JSON."));
    const QCommandLineOption server(
        QStringLiteral("server"),
        tr("Читать журнал объектов на сервере PostgreSQL: строка подключения libpq, URI или "
           "service=ИМЯ."),
        QStringLiteral("CONNINFO"));
    const QCommandLineOption site(QStringLiteral("site"),
                                  tr("С --server: только записи этого объекта (можно несколько "
                                     "раз)."),
                                  QStringLiteral("NAME"));
    for (const QCommandLineOption& option :
         {since, until, key, apartment, kind, asJson, server, site})
        line.addOption(option);
    if (!line.parse(arguments, 0))
        return line.exitCode();

    JournalFilter filter;
    bool dateOnly = false;
    if (line.isSet(since)) {
        const QDateTime moment = parseMoment(line.value(since), &dateOnly);
        if (!moment.isValid())
            return line.usageError(tr("Неверный момент --since: %1").arg(line.value(since)));
        filter.since = moment.toMSecsSinceEpoch();
    }
    if (line.isSet(until)) {
        QDateTime moment = parseMoment(line.value(until), &dateOnly);
        if (!moment.isValid())
            return line.usageError(tr("Неверный момент --until: %1").arg(line.value(until)));
        if (dateOnly)
            moment = moment.date().addDays(1).startOfDay();
        filter.until = moment.toMSecsSinceEpoch();
    }
    if (line.isSet(key)) {
        filter.keys = keyCodes(line.value(key));
        if (filter.keys.isEmpty())
            return line.usageError(tr("Неверный ключ: %1").arg(line.value(key)));
    }
    filter.apartment = line.value(apartment);
    if (line.isSet(kind)) {
        for (const QString& name : line.value(kind).split(QLatin1Char(','))) {
            const int index = JournalLines::kindNames().indexOf(name.trimmed());
            if (index < 0)
                return line.usageError(tr("Неизвестный вид событий: %1").arg(name));
            filter.kinds.append(JournalKind(index));
        }
    }

    if (line.isSet(site) && !line.isSet(server))
        return line.usageError(tr("--site задаётся вместе с --server."));
    if (line.isSet(server)) {
        if (const QString problem = conninfoProblem(line.value(server)); !problem.isEmpty())
            return line.usageError(problem);
        filter.sites = line.values(site);
        PgConnection connection;
        if (!connectServer(connection, line.value(server)))
            return Console::Failure;
        FleetQuery query(connection, filter);
        if (!printAll(query, line.isSet(asJson))) {
            Console::message(
                tr("Не удалось прочитать журнал на сервере: %1").arg(query.errorText()));
            return Console::Failure;
        }
        return Console::Success;
    }

    JournalFile journal(line.journal());
    if (journal.openForReading() != JournalFile::State::ReadOnly) {
        Console::message(journal.errorText());
        return Console::Failure;
    }
    JournalQuery query(journal.database(), filter);
    if (!printAll(query, line.isSet(asJson))) {
        Console::message(
            tr("Не удалось прочитать журнал %1: %2").arg(journal.fileName(), query.errorText()));
        return Console::Failure;
    }
    return Console::Success;
}
