// The thread-safe stop of one request handle: MusicParserStopPerform may come
// from any thread while the handle's call waits on the network.
#pragma once

#include <QMutex>

#include <atomic>

namespace sennet {

class HttpSession;

class StopGate
{
public:
    // Registers the session of the handle's running call; false when the
    // handle is stopped or another call already runs on it.
    bool attach(HttpSession* session);
    void detach(HttpSession* session);
    // Sticky: every later call on the handle ends at once.
    void stop();
    bool isStopped() const;

private:
    QMutex m_mutex;
    HttpSession* m_session = nullptr;
    std::atomic<bool> m_stopped{false};
};

} // namespace sennet
