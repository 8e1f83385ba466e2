#include "commandline.h"

#include "console.h"
#include "datafolders.h"

using Console::tr;

CommandLine::CommandLine(const QString& command, const QString& description, const QString& syntax)
    : m_command(command)
    , m_description(description)
    , m_syntax(syntax)
    , m_help({QStringLiteral("h"), QStringLiteral("help")}, tr("Показать эту справку."))
    , m_port({QStringLiteral("p"), QStringLiteral("port")},
             tr("Последовательный порт панели: имя (ttyUSB0) или путь (/dev/ttyUSB0)."),
             QStringLiteral("PORT"))
    , m_journal(
          QStringLiteral("journal"),
          tr("Файл журнала событий (по умолчанию %1).").arg(DataFolders::defaultJournalFile()),
          QStringLiteral("FILE"))
{
    m_parser.addOption(m_help);
}

void CommandLine::addPortOption()
{
    m_needsPort = true;
    m_parser.addOption(m_port);
}

void CommandLine::addJournalOption()
{
    m_parser.addOption(m_journal);
}

QString CommandLine::journal() const
{
    return m_parser.isSet(m_journal) ? m_parser.value(m_journal)
                                     : DataFolders::defaultJournalFile();
}

QString CommandLine::port() const
{
    return m_parser.value(m_port);
}

int CommandLine::usageError(const QString& message) const
{
    Console::message(message);
    Console::message(tr("Справка: ostrovel-cli %1 --help").arg(m_command));
    return Console::Usage;
}

bool CommandLine::parse(const QStringList& arguments, int minimum, int maximum)
{
    m_exitCode = Console::Usage;
    if (!m_parser.parse(arguments)) {
        usageError(m_parser.errorText());
        return false;
    }
    if (m_parser.isSet(m_help)) {
        Console::result(helpText());
        m_exitCode = Console::Success;
        return false;
    }
    const int given = m_parser.positionalArguments().size();
    if (given < minimum || given > maximum) {
        usageError(given < minimum ? tr("Не хватает аргументов.")
                                   : tr("Лишние аргументы: %1")
                                         .arg(m_parser.positionalArguments().mid(maximum).join(
                                             QLatin1Char(' '))));
        return false;
    }
    if (m_needsPort && port().isEmpty()) {
        usageError(tr("Необходимо указать порт: --port PORT."));
        return false;
    }
    return true;
}

QString CommandLine::helpText() const
{
    // The parser's usage line names neither the command nor the program as typed; its option
    // and argument lists follow.
    const QString lists = m_parser.helpText();
    return tr("Использование: ostrovel-cli %1 %2\n%3\n\n%4")
        .arg(m_command, m_syntax, m_description,
             lists.mid(lists.indexOf(QLatin1String("\n\n"))).trimmed());
}
