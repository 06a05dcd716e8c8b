// The artwork answers of a load, asked ahead of the load loop on a few
// threads. Telling whether a file holds a picture is mostly waiting for the
// disk, so several checks at once hide it behind the loop's own work. The
// loop takes the answers in track order, so tracks, rows, records and
// progress come as before; the threads stay at most a window ahead of it,
// so a paused load soon leaves them idle.
#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <functional>
#include <thread>
#include <vector>

class CArtworkPrefetch
{
public:
    // Sets answers[i] to whether track first + i holds artwork, for count
    // tracks; called on the prefetch threads and, for a batch no thread
    // took yet, on the loop's.
    using Ask = std::function<void(int first, int count, int* answers)>;

    // Starts asking for tracks 0 to count - 1.
    CArtworkPrefetch(int count, Ask ask);
    // Stops asking and waits for the threads.
    ~CArtworkPrefetch();
    CArtworkPrefetch(const CArtworkPrefetch&) = delete;
    CArtworkPrefetch& operator=(const CArtworkPrefetch&) = delete;

    // The answer for index, waited for when a thread is asking. Indexes
    // only grow from call to call.
    bool Answer(int index);

private:
    enum { UNKNOWN = -1 };
    // Claims the next batch; false when there is none or the threads stop.
    bool claim(int* first, int* count);
    void askBatch(int first, int count);
    void work();

    const int m_count;
    const Ask m_ask;
    QMutex m_mutex;
    QWaitCondition m_answered;
    QWaitCondition m_room;
    std::vector<signed char> m_answers; // guarded by m_mutex
    int m_next = 0;                     // the first index not claimed; guarded by m_mutex
    int m_wanted = 0;                   // the loop's index; guarded by m_mutex
    bool m_stop = false;                // guarded by m_mutex
    // Who waits, so that nobody is woken in vain; guarded by m_mutex.
    int m_waitingForRoom = 0;
    int m_awaited = -1;                 // the index the loop waits for
    std::vector<std::thread> m_threads;
};
