// The pause, continue and stop of one of the window's worker loops (the
// analysis walk, the apply loop, the duplicate removal), written once. It
// works on the loop's own mutex, wait condition, pause flag and quit flag,
// declared and named where the loop lives: every flag changes, and the loop
// tests and waits, under that one mutex, so a continue or a stop can never
// fall between the loop's test and its wait.
#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <atomic>

// PauseFlag and QuitFlag: the loop's own flag types (int, bool or an
// atomic of either). The instances the window uses are compiled once, in
// the window's logic library.
template <typename PauseFlag, typename QuitFlag>
class CPauseHandshake
{
public:
    constexpr CPauseHandshake(QMutex& mutex, QWaitCondition& wake, PauseFlag& paused, QuitFlag& quit)
        : m_mutex(mutex), m_wake(wake), m_paused(paused), m_quit(quit)
    {
    }

    // GUI thread, before the loop's thread starts: a pause that reached the
    // last run after its loop had passed its last step was never answered
    // by a continue; left set, it would hold this run at its first step
    // while the window shows it running. A quit stays: its owner clears it.
    void Begin();
    // The loop halts before its next step; a step under way finishes.
    void Pause();
    // Releases a halted loop; without a pause it changes nothing.
    void Resume();
    // Ends the loop at its next step, a halted one at once.
    void Quit();
    // For the loop between steps: blocks while paused. False when the loop
    // is to end. The mutex is held only in here: a loop that kept it
    // through a step (a song's write) would make a pause or a resume
    // pressed meanwhile wait for that step on the GUI thread.
    bool WaitForTurn();
    // The same for a caller that holds the mutex already and has it back
    // when this returns; it is free only while the turn waits, which is
    // how the handshake's test knows that a turn waits.
    bool WaitForTurnHeld();

private:
    QMutex& m_mutex;
    QWaitCondition& m_wake;
    PauseFlag& m_paused;  // guarded by m_mutex
    QuitFlag& m_quit;     // written under m_mutex here; others may set it without
};

// The analysis walk: iPauseThread and bAnalyzeQuit.
using CWalkHandshake = CPauseHandshake<std::atomic<int>, std::atomic<int>>;
// The apply loop: iApplePauseThread and the report page's exit flag.
using CApplyHandshake = CPauseHandshake<int, std::atomic<bool>>;
// The duplicate removal: m_bPause and the duplicate page's m_bExit.
using CRemoveHandshake = CPauseHandshake<bool, std::atomic<bool>>;

extern template class CPauseHandshake<std::atomic<int>, std::atomic<int>>;
extern template class CPauseHandshake<int, std::atomic<bool>>;
extern template class CPauseHandshake<bool, std::atomic<bool>>;
