#include "reporter/reportinbox.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QMutexLocker>
#include <QObject>

#include <algorithm>

namespace {

// A drain works the queue off for at most this long, or this many
// deliveries, before the page's thread looks at its other events again.
constexpr qint64 kSliceMs = 12;
constexpr int kSliceEntries = 512;
constexpr size_t kBatch = 128;

} // namespace

CReportInbox::CReportInbox(QObject* context, std::function<void(const Batch&)> apply)
    : m_pContext(context), m_apply(std::move(apply))
{
}

void CReportInbox::post()
{
    QMetaObject::invokeMethod(m_pContext, [this] { drain(); }, Qt::QueuedConnection);
}

bool CReportInbox::Push(CReportDelivery delivery)
{
    QMutexLocker lock(&m_mutex);
    if (delivery.run != m_iRun)
        return false;
    m_queue.push_back(std::move(delivery));
    if (!m_bDrainPosted) {
        m_bDrainPosted = true;
        post();
    }
    return true;
}

// The end of an analysis that came while its tracks were still queued
// waits in the queue behind them: the page's thread never works off a long
// queue in one go.
bool CReportInbox::QueueBehind(CReportDelivery::EKind kind)
{
    QMutexLocker lock(&m_mutex);
    if (m_queue.empty())
        return false;
    CReportDelivery marker;
    marker.kind = kind;
    marker.run = m_iRun;
    m_queue.push_back(std::move(marker));
    return true;
}

int CReportInbox::Pending() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_queue.size());
}

void CReportInbox::Clear()
{
    QMutexLocker lock(&m_mutex);
    m_queue.clear();
    ++m_iRun;
}

void CReportInbox::take(Batch& out, bool all)
{
    QMutexLocker lock(&m_mutex);
    const size_t n = all ? m_queue.size() : std::min(kBatch, m_queue.size());
    for (size_t i = 0; i < n; ++i) {
        out.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
}

void CReportInbox::drain()
{
    QElapsedTimer slice;
    slice.start();
    Batch batch;
    int done = 0;
    do {
        batch.clear();
        take(batch, false);
        if (!batch.empty())
            m_apply(batch);
        done += int(batch.size());
    } while (!batch.empty() && done < kSliceEntries && slice.elapsed() < kSliceMs);
    QMutexLocker lock(&m_mutex);
    if (m_queue.empty())
        m_bDrainPosted = false;
    else
        post();
}

void CReportInbox::Flush()
{
    Batch batch;
    do {
        batch.clear();
        take(batch, true);
        if (!batch.empty())
            m_apply(batch);
    } while (!batch.empty());
}
