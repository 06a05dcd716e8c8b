#include "vessolin/pausehandshake.h"

#include <QMutexLocker>

template <typename PauseFlag, typename QuitFlag>
void CPauseHandshake<PauseFlag, QuitFlag>::Begin()
{
    QMutexLocker lock(&m_mutex);
    m_paused = false;
}

template <typename PauseFlag, typename QuitFlag>
void CPauseHandshake<PauseFlag, QuitFlag>::Pause()
{
    QMutexLocker lock(&m_mutex);
    m_paused = true;
}

template <typename PauseFlag, typename QuitFlag>
void CPauseHandshake<PauseFlag, QuitFlag>::Resume()
{
    QMutexLocker lock(&m_mutex);
    if (!m_paused)
        return;
    m_paused = false;
    m_wake.wakeAll();
}

template <typename PauseFlag, typename QuitFlag>
void CPauseHandshake<PauseFlag, QuitFlag>::Quit()
{
    QMutexLocker lock(&m_mutex);
    m_quit = true;
    m_paused = false;
    m_wake.wakeAll();
}

template <typename PauseFlag, typename QuitFlag>
bool CPauseHandshake<PauseFlag, QuitFlag>::WaitForTurn()
{
    QMutexLocker lock(&m_mutex);
    return WaitForTurnHeld();
}

template <typename PauseFlag, typename QuitFlag>
bool CPauseHandshake<PauseFlag, QuitFlag>::WaitForTurnHeld()
{
    // Tested again after every wake-up: it may be spurious, or a quit set
    // by a thread that only woke the loop to see it.
    while (m_paused && !m_quit)
        m_wake.wait(&m_mutex);
    return !m_quit;
}

template class CPauseHandshake<std::atomic<int>, std::atomic<int>>;
template class CPauseHandshake<int, std::atomic<bool>>;
template class CPauseHandshake<bool, std::atomic<bool>>;
