#include "clijournal.h"

#include "actionjournal.h"
#include "console.h"

#include <QCoreApplication>

using Console::tr;

CliJournal::CliJournal(const QString& file)
    : m_recorder(file)
{
    connect(&m_recorder, &JournalRecorder::recordingFailed, this, [](const QString& reason) {
        Console::message(tr("События не записываются в журнал: %1").arg(reason));
    });
    connect(&m_recorder, &JournalRecorder::ownersUnavailable, this, &Console::message);
    connect(&m_recorder, &JournalRecorder::recordingResumed, this, [](qint64 lost) {
        Console::message(
            tr("Запись в журнал событий возобновлена; не записано событий: %1.").arg(lost));
    });
}

CliJournal::~CliJournal()
{
    close();
}

void CliJournal::receiveActions(const QString& port)
{
    m_recorder.setPort(portLocation(port));
    ActionJournal::setRecorder(&m_recorder);
}

QString CliJournal::portLocation(const QString& port)
{
    return port.contains(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port;
}

void CliJournal::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_recorder.close();
    // The writer's last signals are still on their way to this thread.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    if (m_recorder.unwritten() > 0)
        Console::message(tr("Не записано в журнал событий %1: %2.")
                             .arg(m_recorder.journalFile())
                             .arg(m_recorder.unwritten()));
}
