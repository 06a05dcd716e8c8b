#include "fingerprint/fingerprintstore.h"

#include "fingerprint/fingerprint.h"
#include "fingerprint/fingerprintside.h"

#include <QHash>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

constexpr int kLookaheadPerThread = 8;

} // namespace

struct CFingerprintStore::Entry {
    QByteArray audio;
    QByteArray cache;
    int sameCacheBefore = -1; // the previous track with this cache path
    // Set (release) after failure and values are final; Compare reads
    // them without the lock once it has seen it (acquire).
    std::atomic<bool> loaded{false};
    int failure = SF_NONE;
    std::vector<uint32_t> values; // at most kCompareValues

    // A loaded side always hands the comparison a series, even an empty one,
    // so a short fingerprint ends in a too-few-values code, not a null one.
    const uint32_t* series() const
    {
        static const uint32_t none = 0;
        return values.empty() ? &none : values.data();
    }
};

CFingerprintStore::CFingerprintStore(int threads, int lookahead)
    : m_iThreads(threads > 0 ? threads : std::max(1, QThread::idealThreadCount()))
    , m_iLookahead(lookahead > 0 ? lookahead : kLookaheadPerThread * m_iThreads)
{
    m_pool.setMaxThreadCount(m_iThreads);
}

CFingerprintStore::~CFingerprintStore()
{
    Stop();
}

int CFingerprintStore::Start(const QVector<tagFingerprintSource>& sources)
{
    QMutexLocker lock(&m_mutex);
    if (m_bStarted)
        return -1;
    m_bStarted = true;
    m_iCount = static_cast<int>(sources.size());
    m_entries.reset(new Entry[m_iCount]);
    QHash<QByteArray, int> lastWithCache;
    for (int i = 0; i < m_iCount; ++i) {
        Entry& entry = m_entries[i];
        entry.audio = sources[i].audioPath;
        entry.cache = sources[i].cachePath;
        if (entry.audio.isEmpty()) {
            entry.loaded.store(true, std::memory_order_release);
            continue;
        }
        // An empty cache path never yields a cache to share.
        if (!entry.cache.isEmpty()) {
            entry.sameCacheBefore = lastWithCache.value(entry.cache, -1);
            lastWithCache.insert(entry.cache, i);
        }
    }
    for (int t = 0; t < std::min(m_iThreads, m_iCount); ++t)
        m_pool.start([this] { WorkerLoop(); });
    return 0;
}

void CFingerprintStore::Stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_bStopped = true;
        m_workAllowed.wakeAll();
        m_entryLoaded.wakeAll();
    }
    m_pool.waitForDone();
}

void CFingerprintStore::WorkerLoop()
{
    int index = 0;
    while (TakeNext(index)) {
        if (!AwaitSameCache(index))
            return;
        Load(index);
        MarkLoaded(index);
    }
}

bool CFingerprintStore::TakeNext(int& index)
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        while (m_iNext < m_iCount && m_entries[m_iNext].audio.isEmpty())
            ++m_iNext;
        if (m_bStopped || m_iNext >= m_iCount)
            return false;
        if (m_iNext <= m_iPosition + m_iLookahead) {
            index = m_iNext++;
            return true;
        }
        m_workAllowed.wait(&m_mutex);
    }
}

// A later track with the same cache path must see the cache the earlier
// one wrote, as it would in a scan that meets them one after the other.
bool CFingerprintStore::AwaitSameCache(int index)
{
    const int before = m_entries[index].sameCacheBefore;
    if (before < 0)
        return true;
    QMutexLocker lock(&m_mutex);
    while (!m_bStopped && !m_entries[before].loaded.load(std::memory_order_acquire))
        m_entryLoaded.wait(&m_mutex);
    return !m_bStopped;
}

void CFingerprintStore::Load(int index)
{
    Entry& entry = m_entries[index];
    tagFingerprintRecord record;
    entry.failure = LoadFingerprintSide(entry.audio.constData(), entry.cache.constData(), record);
    if (entry.failure != SF_NONE)
        return;
    const int kept = std::min(record.iCount, kCompareValues);
    entry.values.assign(record.values.get(), record.values.get() + kept);
}

void CFingerprintStore::MarkLoaded(int index)
{
    QMutexLocker lock(&m_mutex);
    m_entries[index].loaded.store(true, std::memory_order_release);
    m_entryLoaded.wakeAll();
}

void CFingerprintStore::Request(int index)
{
    // Only this thread moves the position, so most calls need no lock.
    if (index <= m_iAsked)
        return;
    m_iAsked = index;
    QMutexLocker lock(&m_mutex);
    m_iPosition = index;
    m_workAllowed.wakeAll();
}

const CFingerprintStore::Entry* CFingerprintStore::Await(int index)
{
    const Entry& entry = m_entries[index];
    if (entry.loaded.load(std::memory_order_acquire))
        return &entry;
    QMutexLocker lock(&m_mutex);
    while (!m_bStopped && !entry.loaded.load(std::memory_order_acquire))
        m_entryLoaded.wait(&m_mutex);
    return entry.loaded.load(std::memory_order_acquire) ? &entry : nullptr;
}

int CFingerprintStore::Compare(int current, int candidate, int flags)
{
    if (current < 0 || current >= m_iCount || candidate < 0 || candidate >= m_iCount)
        return FP_NULL_PATH;
    Request(std::max(current, candidate));
    const Entry* side1 = Await(current);
    if (!side1)
        return FP_STOPPED;
    if (side1->audio.isEmpty())
        return FP_NULL_PATH;
    if (side1->failure != SF_NONE)
        return SideFailureCode(side1->failure, 1);
    const Entry* side2 = Await(candidate);
    if (!side2)
        return FP_STOPPED;
    if (side2->audio.isEmpty())
        return FP_NULL_PATH;
    if (side2->failure != SF_NONE)
        return SideFailureCode(side2->failure, 2);
    return CompareFingerprints(side1->series(), static_cast<int>(side1->values.size()), side2->series(),
                               static_cast<int>(side2->values.size()), flags);
}
