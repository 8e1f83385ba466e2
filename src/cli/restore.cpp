#include "clijournal.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databaseopening.h"
#include "exportchain.h"
#include "workrunner.h"

#include <QFileInfo>

using Console::tr;

int Commands::restore(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")},
                                 tr("Не спрашивать подтверждения."));
    line.addOption(yes);
    line.addJournalOption();
    // Everything the panel gets is read, and refused if need be, before the panel is touched.
    ExportContent content;
    int exitCode = 0;
    if (!parseDatabaseExport(line, arguments, &content, &exitCode))
        return exitCode;
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
    ExportChain chain;
    if (!runChainOnPanel(line.port(), chain, [&] { chain.start(content); })) {
        // Cleared and left half written, or perhaps cleared: say so, or the door is trusted.
        const QString incomplete = chain.incompleteMessage();
        if (!incomplete.isEmpty())
            Console::message(incomplete);
        return Console::Failure;
    }
    Console::message(
        QCoreApplication::translate("QExport", "Экспорт данных в панель выполнен успешно."));
    return Console::Success;
}
