#include "library/artworkprefetch.h"

#include <QMutexLocker>
#include <QThread>

#include <algorithm>

namespace {

// Tracks per question to the library, which takes its lock once for them.
constexpr int kBatch = 32;
// Far enough ahead to ride out a slow file, near enough that a pause stops
// the disk soon.
constexpr int kWindow = 512;

int threadCount()
{
    return std::clamp(QThread::idealThreadCount() - 1, 1, 4);
}

} // namespace

CArtworkPrefetch::CArtworkPrefetch(int count, Ask ask)
    : m_count(std::max(count, 0)), m_ask(std::move(ask)), m_answers(size_t(m_count), UNKNOWN)
{
    const int threads = std::min(threadCount(), (m_count + kBatch - 1) / kBatch);
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { work(); });
}

CArtworkPrefetch::~CArtworkPrefetch()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_room.wakeAll();
    }
    for (std::thread& thread : m_threads)
        thread.join();
}

bool CArtworkPrefetch::claim(int* first, int* count)
{
    QMutexLocker lock(&m_mutex);
    while (!m_stop && m_next < m_count && m_next >= m_wanted + kWindow) {
        ++m_waitingForRoom;
        m_room.wait(&m_mutex);
        --m_waitingForRoom;
    }
    if (m_stop || m_next >= m_count)
        return false;
    *first = m_next;
    *count = std::min(kBatch, m_count - m_next);
    m_next += *count;
    return true;
}

void CArtworkPrefetch::askBatch(int first, int count)
{
    int answers[kBatch] = {};
    m_ask(first, count, answers);
    QMutexLocker lock(&m_mutex);
    for (int i = 0; i < count; ++i)
        m_answers[size_t(first + i)] = answers[i] ? 1 : 0;
    if (m_awaited >= first && m_awaited < first + count)
        m_answered.wakeAll();
}

void CArtworkPrefetch::work()
{
    int first = 0, count = 0;
    while (claim(&first, &count))
        askBatch(first, count);
}

bool CArtworkPrefetch::Answer(int index)
{
    if (index < 0 || index >= m_count)
        return false;
    int count = 0;
    {
        QMutexLocker lock(&m_mutex);
        m_wanted = std::max(m_wanted, index);
        // One thread takes the room a batch at a time.
        if (m_waitingForRoom > 0 && m_next < m_wanted + kWindow)
            m_room.wakeOne();
        if (index < m_next) {
            m_awaited = index;
            while (m_answers[size_t(index)] == UNKNOWN)
                m_answered.wait(&m_mutex);
            m_awaited = -1;
            return m_answers[size_t(index)] == 1;
        }
        // Not taken yet: the loop asks this batch itself, the threads go on after it.
        count = std::min(kBatch, m_count - index);
        m_next = index + count;
    }
    askBatch(index, count);
    QMutexLocker lock(&m_mutex);
    return m_answers[size_t(index)] == 1;
}
