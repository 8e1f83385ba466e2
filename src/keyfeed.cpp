#include "keyfeed.h"

#include "qserialportthread.h"

KeyFeed::KeyFeed(QSerialPortThread* worker, QObject* window)
    : QObject(window)
    , m_worker(worker)
{}

bool KeyFeed::linkIsUp() const
{
    return m_worker->isRunning();
}

KeyFeed* KeyFeed::of(const QObject* window)
{
    return window ? window->findChild<KeyFeed*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}
