#include "cancelflag.h"

#include <QMutexLocker>

void CancelFlag::set()
{
    QMutexLocker locker(&m_lock);
    m_set = true;
}

void CancelFlag::clear()
{
    QMutexLocker locker(&m_lock);
    m_set = false;
}

bool CancelFlag::isSet() const
{
    QMutexLocker locker(&m_lock);
    return m_set;
}
