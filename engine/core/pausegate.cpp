#include "core/pausegate.h"

#include <QMutexLocker>

void CPauseGate::Command(tagCtlState state)
{
    QMutexLocker lock(&m_mutex);
    if (state == m_state || m_state == CTL_STOP)
        return;
    switch (state) {
    case CTL_PAUSE:
        if (m_rule == PAUSE_ANY_STATE || m_state == CTL_RUN)
            m_bPaused = true;
        break;
    case CTL_RUN:
    case CTL_STOP:
        m_bPaused = false;
        m_wake.wakeAll();
        break;
    default:
        return;
    }
    m_state = state;
}

void CPauseGate::SetState(tagCtlState state)
{
    QMutexLocker lock(&m_mutex);
    m_state = state;
}

void CPauseGate::Reset(tagCtlState state)
{
    QMutexLocker lock(&m_mutex);
    m_state = state;
    m_bPaused = false;
}

bool CPauseGate::WaitForTurn(const std::atomic<bool>& exit)
{
    QMutexLocker lock(&m_mutex);
    // Re-checked after every wake-up: it may be spurious, or meant for a stop.
    while (m_bPaused && m_state != CTL_STOP && !exit)
        m_wake.wait(&m_mutex);
    return m_state != CTL_STOP && !exit;
}

void CPauseGate::Wake()
{
    QMutexLocker lock(&m_mutex);
    m_wake.wakeAll();
}

tagCtlState CPauseGate::State()
{
    QMutexLocker lock(&m_mutex);
    return m_state;
}

bool CPauseGate::IsPaused()
{
    QMutexLocker lock(&m_mutex);
    return m_bPaused && m_state != CTL_STOP;
}
