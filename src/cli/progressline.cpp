#include "progressline.h"

#include "console.h"

#include <cstdio>
#include <unistd.h>

ProgressLine::ProgressLine()
    : m_enabled(Console::isTerminal(STDERR_FILENO))
{}

ProgressLine::~ProgressLine()
{
    end();
}

void ProgressLine::show(const QString& label, int value, int maximum)
{
    if (!m_enabled)
        return;
    const QString text = QStringLiteral("%1: %2/%3").arg(label).arg(value).arg(maximum);
    if (text == m_shown)
        return;
    m_shown = text;
    // Back to the start of the line, the new text, the rest of the old one erased.
    const QByteArray bytes = "\r" + text.toUtf8() + "\033[K";
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void ProgressLine::end()
{
    if (m_shown.isEmpty())
        return;
    m_shown.clear();
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
