#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// One command's part of the command line: its options and arguments, its --help, and the usage
// error (exit code 2) for anything it does not take.
class CommandLine
{
public:
    // command as typed ("backup", "csv import"); syntax shows its options and arguments in the
    // help.
    CommandLine(const QString& command, const QString& description, const QString& syntax);

    void addOption(const QCommandLineOption& option) { m_parser.addOption(option); }
    void addArgument(const QString& name, const QString& description)
    {
        m_parser.addPositionalArgument(name, description);
    }
    // The serial port option that every panel command needs.
    void addPortOption();
    // The option that names the event journal the command records into or reads.
    void addJournalOption();

    // Parses arguments (the first is the program) expecting from minimum to maximum positional
    // arguments. False when the command must end with exitCode(): after its help, or after a
    // usage error.
    bool parse(const QStringList& arguments, int minimum, int maximum);
    bool parse(const QStringList& arguments, int positionals)
    {
        return parse(arguments, positionals, positionals);
    }
    int exitCode() const { return m_exitCode; }

    bool isSet(const QCommandLineOption& option) const { return m_parser.isSet(option); }
    QString value(const QCommandLineOption& option) const { return m_parser.value(option); }
    QStringList values(const QCommandLineOption& option) const { return m_parser.values(option); }
    QString argument(int index) const { return m_parser.positionalArguments().value(index); }
    int argumentCount() const { return m_parser.positionalArguments().size(); }
    QString port() const;
    // The journal named by --journal, else the one the program uses by default.
    QString journal() const;

    // Tells what is wrong and where the help is; returns the usage exit code.
    int usageError(const QString& message) const;

private:
    QString helpText() const;

    QString m_command;
    QString m_description;
    QString m_syntax;
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_port;
    QCommandLineOption m_journal;
    bool m_needsPort = false;
    int m_exitCode = 0;
};
