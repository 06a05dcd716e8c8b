// One side of the duplicate test: its fingerprint from the cache or from
// the audio. Shared by DuplicateCalculate and CFingerprintStore.
#pragma once

#include <chromaprint.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

struct ChromaprintFree {
    void operator()(ChromaprintContext* context) const { chromaprint_free(context); }
};
struct MallocFree {
    void operator()(void* p) const { std::free(p); }
};
using ChromaprintPtr = std::unique_ptr<ChromaprintContext, ChromaprintFree>;
using ValuesPtr = std::unique_ptr<uint32_t, MallocFree>;

// A conversion task that destroys itself.
class CConvertTask
{
public:
    CConvertTask() = default;
    ~CConvertTask();
    CConvertTask(const CConvertTask&) = delete;
    CConvertTask& operator=(const CConvertTask&) = delete;
    void** handle() { return &m_pTask; }
    explicit operator bool() const { return m_pTask != nullptr; }

private:
    void* m_pTask = nullptr;
};

// The record of one side, also the user record of the decoder callbacks.
struct tagFingerprintRecord {
    ChromaprintPtr context;
    CConvertTask task;
    int iSampleRate = 0;
    int iChannels = 0;
    int iThird = 0;
    ValuesPtr values; // never null once the side loaded, even with no values
    int iCount = 0;
    int iSide = 0;
    // Early stop: the data callback answers kFeedEnough once the fingerprint
    // has iValuesWanted values (and sets bEnough); 0 means the whole file.
    int iValuesWanted = 0;
    bool bEnough = false;
};

// What went wrong with a side, before it is named by its side number.
enum tagSideFailure {
    SF_NONE = 0,
    SF_NEW,
    SF_TASK,
    SF_DECODE,
    SF_FINISH,
    SF_MEMORY,
    SF_RAW,
    SF_CACHE_OPEN,
    SF_CACHE_MEMORY
};

// The tagFingerprintResult of a failure on side 1 or 2.
int SideFailureCode(int failure, int side);

// Fills record from the cache (at most kCompareValues values) or from the
// audio (writing the cache). Returns a tagSideFailure.
int LoadFingerprintSide(const char* audioPath, const char* cachePath, tagFingerprintRecord& record);

// Compares two loaded sides on their first kCompareValues values at most and
// names a short series by its side: a tagFingerprintResult.
int CompareFingerprints(const uint32_t* values1, int count1, const uint32_t* values2, int count2,
                        int flags);
