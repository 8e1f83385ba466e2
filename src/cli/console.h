#pragma once

#include <QCoreApplication>
#include <QString>

// The tool's two streams: messages for people on standard error, in Russian, and results for
// scripts on standard output, one line each; both in UTF-8 whatever the locale.
namespace Console {

enum ExitCode : int {
    Success = 0,
    Failure = 1,
    Usage = 2,
    Different = 3, // the panel and the database differ
};

inline QString tr(const char* text)
{
    return QCoreApplication::translate("ostrovel-cli", text);
}

void message(const QString& text);
// A failure under the title of what failed.
void failure(const QString& title, const QString& text);
void result(const QString& line);

bool isTerminal(int fd);
// True when a question can be asked: standard input and standard error are a terminal.
bool canAsk();
// Asks question on the terminal; true when the answer is yes.
bool confirm(const QString& question);

} // namespace Console
