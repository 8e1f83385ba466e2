#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "versionchain.h"
#include "workrunner.h"

using Console::tr;

int Commands::info(CommandLine& line, const QStringList& arguments)
{
    if (!line.parse(arguments, 0))
        return line.exitCode();
    VersionChain chain;
    if (!runChainOnPanel(line.port(), chain, [&] { chain.start(); }))
        return Console::Failure;
    const PanelVersion& version = chain.version();
    Console::message(tr("Тип устройства: %1").arg(version.typeText()));
    Console::message(tr("Версия: %1").arg(version.versionText()));
    Console::result(QStringLiteral("type=%1").arg(version.deviceType));
    Console::result(QStringLiteral("version=%1")
                        .arg(version.hasVersion
                                 ? QStringLiteral("%1.%2").arg(version.major).arg(version.minor)
                                 : QStringLiteral("?")));
    Console::result(QStringLiteral("boot_mode=%1").arg(version.isBootMode() ? 1 : 0));
    return Console::Success;
}
