// ostrovel-cli: backs up, restores, compares and converts without a window, records the panel's
// events into the journal and reads it, for technicians and scripts, through the same classes
// that the program's dialogs drive.
#include "application.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "parsertexts.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <vector>

using Console::tr;

namespace {

struct Entry
{
    const char* name; // one word, or two for the firmware and CSV commands
    int (*run)(CommandLine& line, const QStringList& arguments);
    const char* syntax; // the options and arguments, after the name
    const char* summary;
    const char* description;
    bool panel; // takes the panel's serial port
};

#define CLI_TEXT(text) QT_TRANSLATE_NOOP("ostrovel-cli", text)

const std::vector<Entry>& commands()
{
    static const std::vector<Entry> all = {
        {"info", Commands::info, "--port PORT", CLI_TEXT("тип устройства и версия панели"),
         CLI_TEXT("Читает тип устройства и версию прошивки панели.\n"
                  "Вывод: type=<код типа>, version=<старшая.младшая>, boot_mode=<0|1>."),
         true},
        {"backup", Commands::backup, "--port PORT [--format N] FILE.zelkor",
         CLI_TEXT("полный импорт панели в новый файл БД"),
         CLI_TEXT("Полный импорт панели (настройки, абоненты, ключи) в новый файл БД из "
                  "шаблона. Файл появляется, только когда импорт выполнен целиком; прежний "
                  "файл с этим именем заменяется, а БД с этим именем прежде сохраняется в "
                  "снимок (см. команду snapshots).\n"
                  "Вывод: subscribers=<абонентов>, keys=<ключей>."),
         true},
        {"restore", Commands::restore, "--port PORT [--yes | --resume] [--journal FILE] FILE.zelkor",
         CLI_TEXT("экспорт файла БД в панель"),
         CLI_TEXT("Экспорт БД в панель: память панели очищается и записываются настройки, "
                  "квартиры, телефоны и ключи из файла БД. На терминале спрашивает "
                  "подтверждение; без терминала требует --yes."),
         true},
        {"diff", Commands::diff, "--port PORT [--json] FILE.zelkor",
         CLI_TEXT("что изменил бы экспорт, без записи"),
         CLI_TEXT("Читает панель, ничего не записывая, и показывает, что изменил бы экспорт БД в "
                  "панель.\n"
                  "Вывод: строка на различие, поля через табуляцию: что (setting, subscriber, "
                  "apartment, phone, key), какое, значение в панели, значение в БД; с --json "
                  "документ JSON. Код возврата 0, когда панель и БД совпадают, 3, когда "
                  "различаются."),
         true},
        {"firmware read", Commands::firmwareRead, "--port PORT FILE.bin",
         CLI_TEXT("чтение прошивки из панели"),
         CLI_TEXT("Читает прошивку панели в файл. Файл появляется, только когда прочитаны все "
                  "блоки.\nВывод: version=<старшая.младшая> из прочитанного образа."),
         true},
        {"firmware write", Commands::firmwareWrite,
         "--port PORT [--journal FILE] (FILE.bin | --built-in)",
         CLI_TEXT("запись прошивки в панель"),
         CLI_TEXT("Записывает прошивку в панель и проверяет её: файл или встроенную прошивку.\n"
                  "Вывод: version=<старшая.младшая> записанного образа."),
         true},
        {"csv export", Commands::csvExport, "[параметры] FILE.zelkor OUT.csv",
         CLI_TEXT("экспорт БД в CSV"),
         CLI_TEXT("Экспорт БД в файл CSV: строка на абонента и строка на ключ. Файл появляется, "
                  "только когда экспорт выполнен целиком."),
         false},
        {"csv import", Commands::csvImport, "[параметры] FILE.zelkor IN.csv",
         CLI_TEXT("импорт CSV в БД"),
         CLI_TEXT("Импорт файла CSV в БД одной транзакцией: при ошибке или отмене БД остаётся "
                  "как была. С --clear БД прежде сохраняется в снимок (см. команду snapshots)."),
         false},
        {"snapshots", Commands::snapshots, "[--json] FILE.zelkor",
         CLI_TEXT("снимки БД, сохранённые перед удалением её данных"),
         CLI_TEXT("Снимки БД, сохранённые перед операциями, которые удаляют её данные; новые "
                  "сверху.\n"
                  "Вывод: строка на снимок, поля через табуляцию: номер (1 — самый новый), "
                  "время, операция (panel-import, clear, csv-import, backup, restore), "
                  "абонентов, ключей, файл снимка; с --json документ JSON."),
         false},
        {"restore-snapshot", Commands::restoreSnapshot, "[--yes] FILE.zelkor N",
         CLI_TEXT("восстановление БД из снимка N (1 — самый новый)"),
         CLI_TEXT("Восстанавливает абонентов, ключи и настройки БД из снимка N (номер в списке "
                  "команды snapshots, 1 — самый новый). Текущее состояние БД сначала "
                  "сохраняется в новый снимок. На терминале спрашивает подтверждение; без "
                  "терминала требует --yes."),
         false},
        {"watch", Commands::watch,
         "--port PORT [--database FILE.zelkor] [--journal FILE] [--json] "
         "[--site NAME --forward CONNINFO]",
         CLI_TEXT("запись событий панели в журнал"),
         CLI_TEXT("Записывает события панели в журнал, пока не будет остановлен (Ctrl+C, "
                  "SIGTERM), и выводит каждое событие строкой. Пропавший порт открывается "
                  "заново с паузой до 30 с.\n"
                  "С --site и --forward записи журнала пересылаются на сервер PostgreSQL "
                  "(см. fleet init); пока сервер недоступен, они ждут в журнале.\n"
                  "Вывод: поля через табуляцию: время, ключ, событие, абонент, квартира, ФИО, "
                  "отметка (накоплено панелью, действие); с --json объект JSON на строку."),
         true},
        {"journal", Commands::journal,
         "[--journal FILE] [--since WHEN] [--until WHEN] [--key KEY] [--apartment N] "
         "[--kind KINDS] [--json] [--server CONNINFO [--site NAME]]",
         CLI_TEXT("записи журнала событий"),
         CLI_TEXT("Выводит записи журнала событий, от старых к новым; с --server — журнала "
                  "объектов на сервере PostgreSQL.\n"
                  "Вывод: как у watch — поля через табуляцию или, с --json, объект JSON на "
                  "строку; с --server первое поле (в JSON — site) — объект."),
         false},
        {"fleet init", Commands::fleetInit, "[--site NAME]... [--print] CONNINFO",
         CLI_TEXT("подготовка журнала объектов на сервере PostgreSQL"),
         CLI_TEXT("Создаёт или обновляет журнал объектов на сервере PostgreSQL (повторный запуск "
                  "ничего не меняет), роль диспетчера ostrovel_dispatcher (только чтение) и для "
                  "каждого --site объект с ролью его регистратора ostrovel_NAME (добавляет "
                  "записи только своего объекта). С --print выводит команды SQL для "
                  "администратора БД, ни к чему не подключаясь."),
         false},
        {"fleet status", Commands::fleetStatus, "[--silent-hours N] [--json] CONNINFO",
         CLI_TEXT("объекты журнала на сервере, молчащие первыми"),
         CLI_TEXT("Перечисляет объекты журнала на сервере, первыми — молчащие (ни записи, ни "
                  "опроса панели за --silent-hours часов, по умолчанию 24).\n"
                  "Вывод: поля через табуляцию: объект, состояние, последняя запись, последняя "
                  "связь регистратора, записей ждёт отправки; с --json документ JSON."),
         false},
    };
    return all;
}

// The lines of the commands whose name starts with prefix: the command as typed, then what it
// does, in a column of its own.
QString commandList(const QString& prefix)
{
    const int column = 43;
    QStringList lines;
    for (const Entry& entry : commands()) {
        const QString name = QLatin1String(entry.name);
        if (!prefix.isEmpty() && !name.startsWith(prefix + QLatin1Char(' ')))
            continue;
        QString line = QStringLiteral("  %1 %2").arg(name, QString::fromUtf8(entry.syntax));
        line = line.size() < column ? line.leftJustified(column)
                                    : line + QLatin1Char('\n') + QString(column, QLatin1Char(' '));
        lines << line + tr(entry.summary);
    }
    return lines.join(QLatin1Char('\n'));
}

int runCommand(const Entry& entry, const QStringList& arguments)
{
    CommandLine line(QLatin1String(entry.name), tr(entry.description),
                     QString::fromUtf8(entry.syntax));
    if (entry.panel)
        line.addPortOption();
    return entry.run(line, arguments);
}

QString help()
{
    return tr("Использование: ostrovel-cli КОМАНДА [параметры] [аргументы]\n"
              "Работа с панелью ZEL-KOR и файлами БД без окна.\n\n"
              "Команды:\n%1\n\n"
              "Справка по команде: ostrovel-cli КОМАНДА --help.\n"
              "Коды возврата: 0 успех, 1 ошибка, 2 ошибка в командной строке, 3 (diff) панель "
              "и БД различаются.\n"
              "Сообщения выводятся в стандартный поток ошибок, результаты для сценариев — в "
              "стандартный вывод.")
        .arg(commandList(QString()));
}

// A group of commands (firmware, csv) named without one of its commands, or with --help.
int groupUsage(const QString& group, const QString& next)
{
    const QString usage = tr("Использование:\n%1\nСправка по команде: ostrovel-cli %2 КОМАНДА "
                             "--help.")
                              .arg(commandList(group), group);
    if (next == QLatin1String("--help") || next == QLatin1String("-h")) {
        Console::result(usage);
        return Console::Success;
    }
    Console::message(next.isEmpty() ? tr("Не указана команда %1.").arg(group)
                                    : tr("Неизвестная команда: %1 %2").arg(group, next));
    Console::message(usage);
    return Console::Usage;
}

int run(const QStringList& arguments)
{
    const QString first = arguments.value(1);
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        Console::result(help());
        return Console::Success;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        Console::result(
            QStringLiteral("ostrovel-cli %1").arg(QCoreApplication::applicationVersion()));
        return Console::Success;
    }
    const QString two = arguments.mid(1, 2).join(QLatin1Char(' '));
    bool group = false;
    for (const Entry& entry : commands()) {
        const QString name = QLatin1String(entry.name);
        if (name == first || name == two) {
            const int words = name.count(QLatin1Char(' ')) + 1;
            return runCommand(entry, arguments.mid(0, 1) + arguments.mid(1 + words));
        }
        group = group || name.startsWith(first + QLatin1Char(' '));
    }
    if (group && !first.isEmpty())
        return groupUsage(first, arguments.value(2));
    Console::message(first.isEmpty() ? tr("Не указана команда.")
                                     : tr("Неизвестная команда: %1").arg(two));
    Console::message(tr("Справка: ostrovel-cli --help"));
    return Console::Usage;
}

} // namespace

int main(int argc, char* argv[])
{
    Application::setIdentity();
    QCoreApplication app(argc, argv);
    // Qt's own Russian texts where the system has them, as in the window; the parser's texts
    // last, so that they are Russian in any case.
    Application::installTranslations();
    ParserTexts parserTexts;
    app.installTranslator(&parserTexts);
    Application::initResources();
    // The serial worker's frame log is for diagnosis: QT_LOGGING_RULES=ostrovel.link.debug=true.
    QLoggingCategory::setFilterRules(QStringLiteral("ostrovel.*.debug=false"));
    return run(app.arguments());
}
