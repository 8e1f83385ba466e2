#include "clijournal.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "firmwareimage.h"
#include "qfirmwaredownloadchain.h"
#include "qfirmwareuploadchain.h"
#include "workrunner.h"

using Console::tr;

namespace {

QString versionLine(const Firmware::Trailer& trailer)
{
    return QStringLiteral("version=%1.%2").arg(trailer.major).arg(trailer.minor);
}

} // namespace

int Commands::firmwareRead(CommandLine& line, const QStringList& arguments)
{
    line.addArgument(QStringLiteral("FILE.bin"), tr("Файл прошивки, который будет записан."));
    if (!line.parse(arguments, 1))
        return line.exitCode();
    QFirmwareDownloadChain chain;
    if (!runChainOnPanel(line.port(), chain, [&] { chain.start(); }))
        return Console::Failure;
    const QString failure = Firmware::saveImage(line.argument(0), chain.image());
    if (!failure.isEmpty()) {
        Console::message(failure);
        return Console::Failure;
    }
    Console::message(
        QCoreApplication::translate("QFirmwareDownload", "Файл с прошивкой успешно сохранен."));
    Console::result(versionLine(chain.trailer()));
    return Console::Success;
}

int Commands::firmwareWrite(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption builtIn(QStringLiteral("built-in"), tr("Встроенная прошивка."));
    line.addOption(builtIn);
    line.addJournalOption();
    line.addArgument(QStringLiteral("FILE.bin"), tr("Файл прошивки (без --built-in)."));
    if (!line.parse(arguments, 0, 1))
        return line.exitCode();
    if (line.isSet(builtIn) == (line.argumentCount() == 1))
        return line.usageError(tr("Укажите либо файл прошивки, либо --built-in."));
    const QString fileName = line.isSet(builtIn) ? Firmware::builtInImage() : line.argument(0);
    // The image is checked before the panel is touched, as the dialog checks a chosen file.
    QByteArray image;
    QString message = Firmware::loadImage(fileName, image);
    if (message.isEmpty() && Firmware::trailer(image).type != Firmware::ZelKorType)
        message = Firmware::unsupportedDeviceText(Firmware::trailer(image).type);
    if (!message.isEmpty()) {
        Console::message(message);
        return Console::Failure;
    }
    CliJournal journal(line.journal());
    journal.receiveActions(line.port());
    QFirmwareUploadChain chain;
    if (!runChainOnPanel(
            line.port(), chain, [&] { chain.start(fileName); }, &message))
        return Console::Failure;
    Console::message(message);
    Console::result(versionLine(Firmware::trailer(chain.image())));
    return Console::Success;
}
