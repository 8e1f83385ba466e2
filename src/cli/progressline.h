#pragma once

#include <QString>

// One progress line on standard error, redrawn in place, shown only when standard error is a
// terminal: a script's log gets the messages, not hundreds of redraws.
class ProgressLine
{
public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const QString& label, int value, int maximum);
    // Ends the line, so that a message that follows starts on a line of its own.
    void end();

private:
    bool m_enabled;
    QString m_shown;
};
