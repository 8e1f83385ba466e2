#include "clijournal.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databaseopening.h"
#include "exportbreak.h"
#include "exportchain.h"
#include "workrunner.h"

#include <QFileInfo>

using Console::tr;

int Commands::restore(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")},
                                 tr("Не спрашивать подтверждения."));
    const QCommandLineOption resume(
        QStringLiteral("resume"),
        tr("Продолжить прерванный экспорт этой БД с места прерывания, не очищая панель."));
    line.addOption(yes);
    line.addOption(resume);
    line.addJournalOption();
    // Everything the panel gets is read, and refused if need be, before the panel is touched.
    ExportContent content;
    int exitCode = 0;
    if (!parseDatabaseExport(line, arguments, &content, &exitCode))
        return exitCode;
    const QString database = QFileInfo(line.argument(0)).absoluteFilePath();
    const ExportBreak kept = ExportBreak::load(database);
    ExportChain chain;
    if (line.isSet(resume)) {
        if (!kept.isValid()) {
            Console::message(tr("Прерванного экспорта этой БД нет: продолжать нечего."));
            return Console::Failure;
        }
        Console::message(kept.text());
        // The blocks already in the panel came from what the database held then.
        if (exportFingerprint(content) != kept.fingerprint ||
            !chain.restoreBreak(content, kept.stage, kept.block)) {
            Console::message(QCoreApplication::translate(
                "QExport", "База данных изменилась после прерванного экспорта: продолжить его "
                           "нельзя.\r\nВыполните полный экспорт."));
            return Console::Failure;
        }
    } else if (kept.isValid()) {
        Console::message(kept.text() +
                         tr("\r\nПродолжить его можно параметром --resume; полный экспорт "
                            "заменит его."));
    }
    if (!line.isSet(resume) && !line.isSet(yes)) {
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
    journal.recorder().setDatabase(database);
    journal.receiveActions(line.port());
    const bool ok = runChainOnPanel(line.port(), chain, [&] {
        if (line.isSet(resume))
            chain.resume();
        else
            chain.start(content);
    });
    if (!ok) {
        // Cleared and left half written, or perhaps cleared: say so, or the door is trusted.
        const QString incomplete = chain.incompleteMessage();
        if (!incomplete.isEmpty())
            Console::message(incomplete);
        // Kept for the next run of this command or of the window to go on with.
        // A panel that refused the clearing is as an earlier break left it.
        if (chain.panel() == ExportChain::Panel::Unchanged)
            return Console::Failure;
        const ExportBreak stopped = ExportBreak::of(chain, content, database, line.port());
        const QString error = stopped.isValid() ? stopped.save() : QString();
        if (!stopped.isValid())
            ExportBreak::forget(database);
        else if (error.isEmpty())
            Console::message(tr("Продолжить: ostrovel-cli restore --resume."));
        else
            Console::message(error);
        return Console::Failure;
    }
    ExportBreak::forget(database);
    Console::message(
        QCoreApplication::translate("QExport", "Экспорт данных в панель выполнен успешно."));
    return Console::Success;
}
