// The pause, continue and stop of one worker loop: its control state and
// paused flag, changed and waited on under one mutex with its wake-up, so
// that a continue or stop can never fall between the loop's test and its
// wait. Every call is thread-safe.
#pragma once

#include "cadenzo.h"

#include <QMutex>
#include <QWaitCondition>

#include <atomic>

class CPauseGate
{
public:
    // From which states a pause takes hold.
    enum PauseRule {
        PAUSE_ANY_STATE,    // a pause sent before the loop starts holds it at its first step
        PAUSE_WHILE_RUNNING // only a running loop can be paused
    };

    explicit CPauseGate(PauseRule rule) : m_rule(rule) {}
    CPauseGate(const CPauseGate&) = delete;
    CPauseGate& operator=(const CPauseGate&) = delete;

    // A control command: CTL_PAUSE, CTL_RUN (continue) or CTL_STOP. One
    // equal to the state, any other value and everything after a stop
    // change nothing; a stop is final until SetState or Reset.
    void Command(tagCtlState state);
    // The loop's own state change; the paused flag stays as it is.
    void SetState(tagCtlState state);
    // Sets the state and drops a pause: the start or end of a loop.
    void Reset(tagCtlState state);
    // For the loop between steps: blocks while paused. False when the loop
    // must end: a stop, or exit set (Wake makes a waiting loop see it).
    bool WaitForTurn(const std::atomic<bool>& exit);
    // Wakes a waiting loop to look at the exit flag again.
    void Wake();
    tagCtlState State();
    // Whether WaitForTurn would wait now.
    bool IsPaused();

private:
    const PauseRule m_rule;
    QMutex m_mutex;
    QWaitCondition m_wake;
    tagCtlState m_state = CTL_IDLE; // guarded by m_mutex
    bool m_bPaused = false;         // guarded by m_mutex
};
