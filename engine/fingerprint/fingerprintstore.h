// Fingerprints for the deep duplicate scan, made on several cores ahead of
// the analysis loop, which still compares one pair at a time in its own
// order. Each track is loaded once (from its cache, or from its audio,
// writing the cache as DuplicateCalculate does) and keeps at most
// kCompareValues values in memory, so Compare returns exactly what
// DuplicateCalculate would return for the same pair, codes included.
//
// Work runs in list order and at most `lookahead` tracks beyond the highest
// index Compare has asked for, so a paused loop pauses the store and a
// stopped one leaves little done in vain. Tracks sharing a cache path load
// one after the other, in list order, as a sequential scan would meet them.
// Unlike a sequential scan, a track the loop never reaches (its file exists
// but every later track matched before it) may still get its cache written.
//
// Threads: Start, Compare and Stop belong to one thread (the analysis
// thread); fingerprints are made on a private thread pool.
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QThreadPool>
#include <QVector>
#include <QWaitCondition>

#include <memory>

struct tagFingerprintSource {
    QByteArray audioPath; // UTF-8; empty leaves the track out (never loaded)
    QByteArray cachePath; // UTF-8
};

class CFingerprintStore
{
public:
    // threads 0: one per core; lookahead 0: eight tracks per thread.
    explicit CFingerprintStore(int threads = 0, int lookahead = 0);
    // Stops and waits for the workers.
    ~CFingerprintStore();
    CFingerprintStore(const CFingerprintStore&) = delete;
    CFingerprintStore& operator=(const CFingerprintStore&) = delete;

    // Starts loading the tracks of the list, index = list position. Once
    // per store: 0, or -1 when it was started before.
    int Start(const QVector<tagFingerprintSource>& sources);

    // DuplicateCalculate(current, candidate, flags) of the two list entries,
    // waiting until both are loaded. FP_NULL_PATH for an index out of range
    // or a track left out; FP_STOPPED when Stop came first.
    int Compare(int current, int candidate, int flags);

    // No new track starts loading; tracks in progress finish (a few seconds
    // of decoding at most). Returns when every worker is idle. Idempotent.
    void Stop();

    int Count() const { return m_iCount; }

private:
    struct Entry;

    void WorkerLoop();
    bool TakeNext(int& index);
    bool AwaitSameCache(int index);
    void Load(int index);
    void MarkLoaded(int index);
    void Request(int index);
    const Entry* Await(int index);

    int m_iThreads;
    int m_iLookahead;
    int m_iCount = 0;
    std::unique_ptr<Entry[]> m_entries;

    QMutex m_mutex;
    QWaitCondition m_workAllowed; // workers wait for the loop to move on
    QWaitCondition m_entryLoaded; // Compare and same-cache tracks wait here
    bool m_bStarted = false;
    bool m_bStopped = false;
    int m_iNext = 0;      // next index to hand to a worker
    int m_iPosition = -1; // highest index asked for
    int m_iAsked = -1;    // m_iPosition as last set by this (the caller's) thread

    QThreadPool m_pool;
};
