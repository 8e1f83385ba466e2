// ostrovel-cli: backs up, restores, compares and converts without a window, records the panel's
// events into the journal and reads it, for technicians and scripts, through the same classes
// that the program's dialogs drive.
#include "application.h"
#include "commands.h"
#include "console.h"
#include "parsertexts.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <functional>
#include <map>

using Console::tr;

namespace {

using Command = std::function<int(const QStringList&)>;

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> all = {
        {QStringLiteral("info"), Commands::info},
        {QStringLiteral("backup"), Commands::backup},
        {QStringLiteral("restore"), Commands::restore},
        {QStringLiteral("diff"), Commands::diff},
        {QStringLiteral("firmware read"), Commands::firmwareRead},
        {QStringLiteral("firmware write"), Commands::firmwareWrite},
        {QStringLiteral("csv export"), Commands::csvExport},
        {QStringLiteral("csv import"), Commands::csvImport},
        {QStringLiteral("watch"), Commands::watch},
        {QStringLiteral("journal"), Commands::journal},
    };
    return all;
}

QString help()
{
    return tr("Использование: ostrovel-cli КОМАНДА [параметры] [аргументы]\n"
              "Работа с панелью ZEL-KOR и файлами БД без окна.\n\n"
              "Команды:\n"
              "  info --port PORT                         тип устройства и версия панели\n"
              "  backup --port PORT FILE.zelkor           полный импорт панели в новый файл БД\n"
              "  restore --port PORT FILE.zelkor          экспорт файла БД в панель\n"
              "  diff --port PORT FILE.zelkor             что изменил бы экспорт, без записи\n"
              "  firmware read --port PORT FILE.bin       чтение прошивки из панели\n"
              "  firmware write --port PORT (FILE.bin | --built-in)\n"
              "                                           запись прошивки в панель\n"
              "  csv export FILE.zelkor OUT.csv           экспорт БД в CSV\n"
              "  csv import FILE.zelkor IN.csv            импорт CSV в БД\n"
              "  watch --port PORT                        запись событий панели в журнал\n"
              "  journal [--since --until --key --apartment --kind]\n"
              "                                           записи журнала событий\n\n"
              "Справка по команде: ostrovel-cli КОМАНДА --help.\n"
              "Коды возврата: 0 успех, 1 ошибка, 2 ошибка в командной строке, 3 (diff) панель "
              "и БД различаются.\n"
              "Сообщения выводятся в стандартный поток ошибок, результаты для сценариев — в "
              "стандартный вывод.");
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
    // A command is one word, or two for the firmware and CSV commands.
    for (int words = 1; words <= 2 && words < arguments.size(); ++words) {
        const auto command = commands().find(arguments.mid(1, words).join(QLatin1Char(' ')));
        if (command != commands().end())
            return command->second(arguments.mid(0, 1) + arguments.mid(1 + words));
    }
    Console::message(
        first.isEmpty()
            ? tr("Не указана команда.")
            : tr("Неизвестная команда: %1").arg(arguments.mid(1, 2).join(QLatin1Char(' '))));
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
