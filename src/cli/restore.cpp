#include "clijournal.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databaseopening.h"
#include "exportchain.h"
#include "workrunner.h"

#include <QFileInfo>

using Console::tr;

int Commands::restore(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("restore"),
                     tr("Экспорт БД в панель: память панели очищается и записываются настройки, "
                        "квартиры, телефоны и ключи из файла БД. На терминале спрашивает "
                        "подтверждение; без терминала требует --yes."),
                     QStringLiteral("--port PORT [--yes] [--journal FILE] FILE.zelkor"));
    line.addPortOption();
    line.addJournalOption();
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")},
                                 tr("Не спрашивать подтверждения."));
    line.addOption(yes);
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД."));
    int exitCode = 0;
    if (!line.parse(arguments, 1, &exitCode))
        return exitCode;

    // Everything the panel gets is read, and refused if need be, before the panel is touched.
    ExportContent content;
    if (!loadDatabaseExport(line.argument(0), &content))
        return Console::Failure;
    if (!line.isSet(yes)) {
        if (!Console::canAsk())
            return line.usageError(
                tr("Все данные в панели будут удалены: без терминала подтвердите это "
                   "параметром --yes."));
        if (!Console::confirm(QCoreApplication::translate(
                "QExport", "Все данные в панели будут удалены и записаны новые.\r\nВы "
                           "действительно хотите экспортировать новые данные в панель?"))) {
            Console::message(tr("Экспорт отменён."));
            return Console::Failure;
        }
    }
    // The export goes into the event journal with its outcome, as the window's does.
    CliJournal journal(line.journal());
    journal.recorder().setDatabase(QFileInfo(line.argument(0)).absoluteFilePath());
    journal.receiveActions(line.port());
    QString message;
    ExportChain chain;
    WorkRunner runner;
    if (!runner.runOnPanel(
            line.port(), chain, [&] { chain.start(content); }, &message))
        return Console::Failure;
    Console::message(
        QCoreApplication::translate("QExport", "Экспорт данных в панель выполнен успешно."));
    return Console::Success;
}
