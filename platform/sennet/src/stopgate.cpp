#include "stopgate.h"

#include "httpsession.h"

#include <QMetaObject>
#include <QMutexLocker>

namespace sennet {

bool StopGate::attach(HttpSession* session)
{
    QMutexLocker lock(&m_mutex);
    if (m_stopped.load() || m_session)
        return false;
    m_session = session;
    return true;
}

void StopGate::detach(HttpSession* session)
{
    QMutexLocker lock(&m_mutex);
    if (m_session == session)
        m_session = nullptr;
}

void StopGate::stop()
{
    QMutexLocker lock(&m_mutex);
    m_stopped.store(true);
    if (!m_session)
        return;
    // The session lives on the calling thread and is driven by its local
    // event loop, so the abort is posted there. The session detaches under
    // this mutex before it dies, and Qt drops events posted to a deleted
    // object, so the pointer cannot dangle.
    HttpSession* session = m_session;
    QMetaObject::invokeMethod(session, [session] { session->abort(); }, Qt::QueuedConnection);
}

bool StopGate::isStopped() const
{
    return m_stopped.load();
}

} // namespace sennet
