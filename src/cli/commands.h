#pragma once

#include <QStringList>

// The commands of ostrovel-cli. Each takes the program's arguments without the words naming
// the command (the program itself first) and returns the exit code.
namespace Commands {
int info(const QStringList& arguments);
int backup(const QStringList& arguments);
int restore(const QStringList& arguments);
int diff(const QStringList& arguments);
int firmwareRead(const QStringList& arguments);
int firmwareWrite(const QStringList& arguments);
int csvExport(const QStringList& arguments);
int csvImport(const QStringList& arguments);
int watch(const QStringList& arguments);
int journal(const QStringList& arguments);
} // namespace Commands
