#include "console.h"

#include <cstdio>
#include <unistd.h>

namespace Console {

namespace {

void write(FILE* stream, QString text)
{
    // The program's texts break lines with "\r\n", as message boxes want; a terminal or a log
    // file wants "\n".
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void message(const QString& text)
{
    write(stderr, text);
}

void failure(const QString& title, const QString& text)
{
    message(title.isEmpty() ? text : QStringLiteral("%1: %2").arg(title, text));
}

void result(const QString& line)
{
    write(stdout, line);
}

bool isTerminal(int fd)
{
    return ::isatty(fd) == 1;
}

bool canAsk()
{
    return isTerminal(STDIN_FILENO) && isTerminal(STDERR_FILENO);
}

bool confirm(const QString& question)
{
    const QByteArray prompt = (question + tr(" [да/нет]: ")).toUtf8();
    std::fwrite(prompt.constData(), 1, size_t(prompt.size()), stderr);
    std::fflush(stderr);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return false;
    const QString answer = QString::fromUtf8(line).trimmed().toLower();
    return answer == tr("да") || answer == tr("д") || answer == QLatin1String("yes") ||
           answer == QLatin1String("y");
}

} // namespace Console
