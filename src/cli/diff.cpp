#include "cardformat.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databaseopening.h"
#include "importchain.h"
#include "paneldiff.h"
#include "workrunner.h"

using Console::tr;

int Commands::diff(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("diff"),
        tr("Читает панель, ничего не записывая, и показывает, что изменил бы экспорт БД в "
           "панель.\n"
           "Вывод: строка на различие, поля через табуляцию: что (setting, subscriber, "
           "apartment, phone, key), какое, значение в панели, значение в БД; с --json "
           "документ JSON. Код возврата 0, когда панель и БД совпадают, 3, когда различаются."),
        QStringLiteral("--port PORT [--json] FILE.zelkor"));
    line.addPortOption();
    const QCommandLineOption asJson(QStringLiteral("json"), tr("Вывести различия в JSON."));
    line.addOption(asJson);
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД."));
    int exitCode = 0;
    if (!line.parse(arguments, 1, &exitCode))
        return exitCode;

    ExportContent content;
    if (!loadDatabaseExport(line.argument(0), &content))
        return Console::Failure;
    QString message;
    ImportChain chain;
    WorkRunner runner;
    if (!runner.runOnPanel(
            line.port(), chain, [&] { chain.start(ImportChain::Full); }, &message))
        return Console::Failure;
    const PanelDiff::Differences differences =
        PanelDiff::compare(chain.image(), PanelDiff::exportedImage(content));
    if (line.isSet(asJson))
        Console::result(QString::fromUtf8(PanelDiff::json(differences)).trimmed());
    else
        for (const QString& text : PanelDiff::lines(differences))
            Console::result(text);
    if (differences.isEmpty()) {
        Console::message(tr("Панель совпадает с БД."));
        return Console::Success;
    }
    // The counts as the export dialog shows them.
    QStringList counts;
    for (const PanelDiff::Group& group : PanelDiff::groups(differences, CardFormat::Default))
        counts << group.title;
    Console::message(tr("Различия с БД: %1.").arg(counts.join(QStringLiteral("; "))));
    return Console::Different;
}
