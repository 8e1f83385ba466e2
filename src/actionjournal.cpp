#include "actionjournal.h"

#include "answerfailure.h"
#include "qpacket.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex mutex;
ActionJournal::Recorder* installed = nullptr;

QString translate(const char* text)
{
    return QCoreApplication::translate("ActionJournal", text);
}

} // namespace

void ActionJournal::setRecorder(Recorder* recorder)
{
    QMutexLocker locker(&mutex);
    installed = recorder;
}

ActionJournal::Recorder* ActionJournal::recorder()
{
    QMutexLocker locker(&mutex);
    return installed;
}

void ActionJournal::unsetRecorder(Recorder* recorder)
{
    QMutexLocker locker(&mutex);
    if (installed == recorder)
        installed = nullptr;
}

void ActionJournal::report(const QString& action, const QString& outcome)
{
    QMutexLocker locker(&mutex);
    if (installed)
        installed->recordAction(action, outcome);
}

QString ActionJournal::outcome(const QString& failure)
{
    return failure.isEmpty() ? translate("выполнено") : failure;
}

void ActionJournal::watch(QPacket* packet, const QString& action)
{
    // Delivered in the main thread, after the worker has answered and deleted the packet.
    QObject::connect(
        packet, &QPacket::handleEvent, QCoreApplication::instance(),
        [action](const QSerialPortError& error, const QString& errorString,
                 const QByteArray& data) {
            report(action, outcome(answerFailure(error, errorString, data)));
        },
        Qt::QueuedConnection);
}

QString ActionJournal::controlText(ControlledDevice device, ControlMode mode)
{
    const bool lock = device == ControlledDevice::Lock;
    QString state;
    switch (mode) {
    case ModeIdle:
        state = lock ? translate("ожидание") : translate("выключено");
        break;
    case ModeTimed:
        state = lock ? translate("открывание") : translate("импульс");
        break;
    case ModeHold:
        state = lock ? translate("разблокировка") : translate("включено");
        break;
    }
    return (lock ? translate("Управление замком: %1")
                 : translate("Управление доп. устройством: %1"))
        .arg(state);
}
