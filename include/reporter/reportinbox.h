// The report page's inbox: the analysis thread puts deliveries in, the
// page's thread takes them out in call order. The analysis thread holds the
// pause mutex the GUI thread locks to pause it, so nothing here makes a
// pusher wait for the page's thread.
#pragma once

#include "reporter/reportdelivery.h"

#include <QMutex>

#include <atomic>
#include <deque>
#include <functional>

class QObject;

class CReportInbox
{
public:
    using Batch = std::deque<CReportDelivery>;
    // Drains run on context's thread, posted to it, and hand each batch to
    // apply there. The inbox lives no longer than context.
    CReportInbox(QObject* context, std::function<void(const Batch&)> apply);

    // Any thread: the run a delivery read now belongs to.
    int Run() const { return m_iRun.load(); }
    // Any thread: queues delivery unless a clear started a new run since
    // its run was read (false then). The first delivery into an empty
    // inbox posts one drain.
    bool Push(CReportDelivery delivery);
    // Context's thread: a marker of kind behind the deliveries still
    // queued, of the current run; false when none are queued, and the
    // caller acts at once.
    bool QueueBehind(CReportDelivery::EKind kind);
    // Deliveries not taken yet. Any thread.
    int Pending() const;
    // Context's thread: drops what is queued and starts a new run.
    void Clear();
    // Context's thread: hands everything queued to apply, a marker queued
    // meanwhile too.
    void Flush();

private:
    // A slice of the queue, then the rest in a drain posted again, so a
    // long analysis never freezes the window.
    void drain();
    void take(Batch& out, bool all);
    void post();

    QObject* m_pContext;
    std::function<void(const Batch&)> m_apply;
    mutable QMutex m_mutex;
    Batch m_queue;                  // under m_mutex
    bool m_bDrainPosted = false;    // under m_mutex
    std::atomic<int> m_iRun{1};     // written under m_mutex
};
