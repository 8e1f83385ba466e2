#include "workpool.h"

#include <QThreadPool>

Q_GLOBAL_STATIC(QThreadPool, pool)

QThreadPool* workPool()
{
    return pool();
}
