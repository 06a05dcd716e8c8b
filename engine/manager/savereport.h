// Hands a failure of the save after an analysis to the analysis callback,
// after the end-of-analysis record. The save starts before that record goes
// out (a transaction the application begins on hearing of the end must wait
// for it), so it may fail first; whichever thread comes last sends the
// failure record. No lock is held during a callback: a callback may wait for
// the save.
#pragma once

#include "cadenzo.h"

#include <QMutex>

class CSaveReport
{
public:
    // Before the save starts: where a failure goes; nothing is sent yet.
    void Arm(MMCallBack callback, void* user);
    // On the analysis thread once its end record went out: sends a failure
    // the save left waiting.
    void EndRecordSent();
    // On the save thread: sends the failure record now, or leaves it for
    // EndRecordSent.
    void SaveFailed();

private:
    void settle(bool& happened);
    static void send(MMCallBack callback, void* user);

    QMutex m_mutex;
    MMCallBack m_callback = nullptr; // these under m_mutex
    void* m_user = nullptr;
    bool m_endSent = false;
    bool m_failed = false;
};
