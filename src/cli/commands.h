#pragma once

#include <QStringList>

class CommandLine;
class PgConnection;

// The commands of ostrovel-cli. Each takes its command line, named and described, with the
// port option if it works on the panel, and the program's arguments without the words naming
// the command (the program itself first); it adds its own options and returns the exit code.
namespace Commands {
int info(CommandLine& line, const QStringList& arguments);
int backup(CommandLine& line, const QStringList& arguments);
int restore(CommandLine& line, const QStringList& arguments);
int diff(CommandLine& line, const QStringList& arguments);
int firmwareRead(CommandLine& line, const QStringList& arguments);
int firmwareWrite(CommandLine& line, const QStringList& arguments);
int csvExport(CommandLine& line, const QStringList& arguments);
int csvImport(CommandLine& line, const QStringList& arguments);
int snapshots(CommandLine& line, const QStringList& arguments);
int restoreSnapshot(CommandLine& line, const QStringList& arguments);
int watch(CommandLine& line, const QStringList& arguments);
int journal(CommandLine& line, const QStringList& arguments);
int fleetInit(CommandLine& line, const QStringList& arguments);
int fleetStatus(CommandLine& line, const QStringList& arguments);
// Why a connection string given on the command line is refused (libpq cannot read it, or it
// carries a password, which the list of processes and the shell's history would show); empty
// when it is fine.
QString conninfoProblem(const QString& conninfo);
// Connects to the fleet journal's server, or says why not.
bool connectServer(PgConnection& server, const QString& conninfo);
} // namespace Commands
