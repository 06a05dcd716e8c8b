// Minimum spacing between the requests to one web service, shared by every
// request handle and thread.
#pragma once

#include <QMutex>
#include <QtGlobal>

#include <limits>

namespace sennet {

class RateLimiter
{
public:
    explicit RateLimiter(qint64 intervalMs);

    // Books the first free moment at or after nowMs (monotonic milliseconds)
    // and returns it; the caller waits until then before sending.
    qint64 reserve(qint64 nowMs);

private:
    QMutex m_mutex;
    const qint64 m_intervalMs;
    qint64 m_nextFreeMs = std::numeric_limits<qint64>::min(); // nothing booked yet
};

} // namespace sennet
