#pragma once

#include "reopeninglink.h"

#include <QObject>
#include <QString>

class JournalRecorder;

// The serial link of `ostrovel-cli watch`: the worker polls the panel the whole time and its
// answers go to the recorder; a port that stops answering is opened again (ReopeningLink).
// Standard error says when the link is lost, when the port does not open, and when the link is
// back.
class WatchLink : public QObject
{
    Q_OBJECT
public:
    WatchLink(const QString& port, JournalRecorder* recorder);
    ~WatchLink() override;

    // Opens the port the first time; false with the message to show.
    bool open(QString* error);
    // Stops the worker and hands the recorder every answer still on its way.
    void close();

private:
    JournalRecorder* m_recorder;
    ReopeningLink m_link;
};
