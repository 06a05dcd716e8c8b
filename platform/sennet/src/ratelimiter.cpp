#include "ratelimiter.h"

#include <QMutexLocker>

namespace sennet {

RateLimiter::RateLimiter(qint64 intervalMs)
    : m_intervalMs(intervalMs)
{
}

qint64 RateLimiter::reserve(qint64 nowMs)
{
    QMutexLocker lock(&m_mutex);
    // Booking ahead (rather than remembering the last send) keeps the
    // spacing when several threads wait at once.
    const qint64 at = qMax(nowMs, m_nextFreeMs);
    m_nextFreeMs = at + m_intervalMs;
    return at;
}

} // namespace sennet
