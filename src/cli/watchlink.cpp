#include "watchlink.h"

#include "console.h"
#include "journalrecorder.h"

#include <QCoreApplication>

using Console::tr;

WatchLink::WatchLink(const QString& port, JournalRecorder* recorder)
    : m_recorder(recorder)
    , m_link(port)
{
    connect(&m_link, &ReopeningLink::started, this,
            [this] { m_recorder->linkStarted(m_link.port()); });
    connect(&m_link, &ReopeningLink::lost, this, [this](const QString& errorString) {
        Console::message(tr("Нет связи с панелью (%1): %2 Порт будет открыт заново.")
                             .arg(m_link.port(), errorString));
    });
    connect(&m_link, &ReopeningLink::restored, this, [this] {
        Console::message(tr("Связь с панелью восстановлена (%1).").arg(m_link.port()));
    });
    connect(&m_link, &ReopeningLink::reopenFailed, this, [](const QString& error, int pauseS) {
        Console::message(tr("%1\r\nСледующая попытка через %2 с.").arg(error).arg(pauseS));
    });
    recorder->attach(m_link.worker());
}

WatchLink::~WatchLink()
{
    close();
}

bool WatchLink::open(QString* error)
{
    return m_link.open(error);
}

void WatchLink::close()
{
    m_link.close();
    QCoreApplication::sendPostedEvents(m_recorder, QEvent::MetaCall);
}
