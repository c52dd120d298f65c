#include "OwnProcesses.h"

#include <QMutex>
#include <QSet>

namespace OwnProcesses {

namespace {
QMutex mutex;
QSet<qint64>& pids()
{
    static QSet<qint64> set;
    return set;
}
} // namespace

void add(qint64 pid)
{
    const QMutexLocker lock(&mutex);
    pids().insert(pid);
}

void remove(qint64 pid)
{
    const QMutexLocker lock(&mutex);
    pids().remove(pid);
}

bool contains(qint64 pid)
{
    const QMutexLocker lock(&mutex);
    return pids().contains(pid);
}

QList<qint64> all()
{
    const QMutexLocker lock(&mutex);
    return pids().values();
}

} // namespace OwnProcesses
