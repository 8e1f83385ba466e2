#include "cardformat.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databaseopening.h"
#include "importchain.h"
#include "paneldiff.h"
#include "workrunner.h"

using Console::tr;

int Commands::diff(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption asJson(QStringLiteral("json"), tr("Вывести различия в JSON."));
    line.addOption(asJson);
    ExportContent content;
    int exitCode = 0;
    if (!parseDatabaseExport(line, arguments, &content, &exitCode))
        return exitCode;
    ImportChain chain;
    if (!runChainOnPanel(line.port(), chain, [&] { chain.start(ImportChain::Full); }))
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
