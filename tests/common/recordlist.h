// The records that engine callbacks hand to a test: added on the engine's
// threads, read and waited for on the test's.
#pragma once

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

namespace testrecords {

// Generous: a hang guard, not a measurement.
constexpr int kWaitMs = 60000;

// A list behind one lock; what its owner keeps beside the list may live
// under the same lock through append's alsoLocked and waitUntil's done.
template <typename T>
class RecordList
{
public:
    QList<T> all() const
    {
        QMutexLocker lock(&m_mutex);
        return m_records;
    }

    int size() const
    {
        QMutexLocker lock(&m_mutex);
        return m_records.size();
    }

    // Appends record, runs alsoLocked and wakes the waiters, all before the
    // lock is let go; nothing of the list is touched after that.
    template <typename AlsoLocked>
    void append(const T& record, AlsoLocked alsoLocked)
    {
        QMutexLocker lock(&m_mutex);
        m_records.append(record);
        alsoLocked();
        m_changed.wakeAll();
    }

    // Waits until done(records) holds, asked under the lock after every
    // change; false when kWaitMs pass without one.
    template <typename Done>
    bool waitUntil(Done done)
    {
        QMutexLocker lock(&m_mutex);
        while (!done(m_records))
            if (!m_changed.wait(&m_mutex, kWaitMs))
                return false;
        return true;
    }

    bool waitForCount(int count)
    {
        return waitUntil([count](const QList<T>& records) { return records.size() >= count; });
    }

private:
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QList<T> m_records;
};

} // namespace testrecords
