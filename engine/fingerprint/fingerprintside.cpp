#include "fingerprint/fingerprintside.h"

#include "core/mmlog.h"
#include "fingerprint/fingerprint.h"
#include "fingerprint/fingerprintcache.h"
#include "quorra.h"

#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cstring>

namespace {

// Chromaprint algorithm 1, the one every cache was made with.
constexpr int kAlgorithm = 1;

int TakeRawValues(tagFingerprintRecord& record)
{
    uint32_t* raw = nullptr;
    int size = 0;
    if (chromaprint_get_raw_fingerprint(record.context.get(), &raw, &size) != 1)
        return SF_RAW;
    const std::unique_ptr<uint32_t, decltype(&chromaprint_dealloc)> owned(raw, &chromaprint_dealloc);
    if (size < 0)
        return SF_RAW;
    // At least one slot, so a side that loaded always has a series to hand
    // to the comparison, however short.
    record.values.reset(static_cast<uint32_t*>(std::malloc(std::max(size, 1) * sizeof(uint32_t))));
    if (!record.values)
        return SF_MEMORY;
    if (size > 0)
        std::memcpy(record.values.get(), raw, size * sizeof(uint32_t));
    record.iCount = size;
    return SF_NONE;
}

bool DecodedEnough(int decoderResult, const tagFingerprintRecord& record)
{
    // Our own early stop makes the decoder report a callback failure; it is
    // the one such failure that means success.
    return decoderResult == CR_OK || (decoderResult == CR_CALLBACK && record.bEnough);
}

int ComputeFingerprint(const char* audioPath, tagFingerprintRecord& record)
{
    record.context.reset(chromaprint_new(kAlgorithm));
    if (!record.context)
        return SF_NEW;
    *record.task.handle() = CreateConverTask(CK_DECODE, nullptr);
    if (!record.task)
        return SF_TASK;
    record.iValuesWanted = kCompareValues;
    const int decoded = DecoderAudio(record.task.handle(), audioPath, GetAudioInfoProc, GetDecoderDataProc, &record);
    if (!DecodedEnough(decoded, record))
        return SF_DECODE;
    if (chromaprint_finish(record.context.get()) != 1)
        return SF_FINISH;
    return TakeRawValues(record);
}

} // namespace

CConvertTask::~CConvertTask()
{
    DestroyConvertTask(&m_pTask);
}

int GetAudioInfoProc(void* user, int sampleRate, int channels, int third)
{
    auto* record = static_cast<tagFingerprintRecord*>(user);
    if (!record)
        return -1;
    record->iSampleRate = sampleRate;
    record->iChannels = channels;
    record->iThird = third;
    if (!record->context || chromaprint_start(record->context.get(), sampleRate, channels) != 1)
        return 1;
    return 0;
}

int GetDecoderDataProc(void* user, const short* samples, int byteCount)
{
    auto* record = static_cast<tagFingerprintRecord*>(user);
    if (!record)
        return -1;
    if (!record->context || chromaprint_feed(record->context.get(), samples, byteCount / 2) != 1)
        return 1;
    if (record->iValuesWanted <= 0)
        return 0;
    // Chromaprint makes values as audio arrives and never changes one it
    // has made, so once enough exist the rest of the file adds nothing we
    // would read. (Asking costs a copy of at most a few hundred values.)
    int made = 0;
    if (chromaprint_get_raw_fingerprint_size(record->context.get(), &made) != 1 || made < record->iValuesWanted)
        return 0;
    record->bEnough = true;
    return kFeedEnough;
}

int SideFailureCode(int failure, int side)
{
    struct Codes { int side1, side2; };
    static const Codes codes[] = {
        {0, 0},                                   // SF_NONE
        {FP_NEW_1, FP_NEW_2},                     // SF_NEW
        {FP_TASK_1, FP_TASK_2},                   // SF_TASK
        {FP_DECODE_1, FP_DECODE_2},               // SF_DECODE
        {FP_FINISH_1, FP_FINISH_2},               // SF_FINISH
        {FP_MEMORY_1, FP_MEMORY_2},               // SF_MEMORY
        {FP_RAW_1, FP_RAW_2},                     // SF_RAW
        {FP_CACHE_OPEN_1, FP_CACHE_OPEN_2},       // SF_CACHE_OPEN
        {FP_CACHE_MEMORY_1, FP_CACHE_MEMORY_2},   // SF_CACHE_MEMORY
    };
    if (failure < SF_NONE || failure > SF_CACHE_MEMORY)
        return FP_COMPARE;
    return side == 1 ? codes[failure].side1 : codes[failure].side2;
}

int LoadFingerprintSide(const char* audioPath, const char* cachePath, tagFingerprintRecord& record)
{
    const QString cache = QString::fromUtf8(cachePath);
    if (QFileInfo::exists(cache))
        return ReadFingerprintCache(cache, record);
    const int failure = ComputeFingerprint(audioPath, record);
    if (failure != SF_NONE)
        return failure;
    if (!WriteFingerprintCache(cache, record))
        WriteLog(QStringLiteral("Create %1 bin Failed! %2").arg(QString::fromUtf8(audioPath), cache));
    return SF_NONE;
}

int CompareFingerprints(const uint32_t* values1, int count1, const uint32_t* values2, int count2, int flags)
{
    // Both sides compare the same prefix whether their values came from a
    // cache (which yields at most kCompareValues) or were just computed, so
    // a result never depends on which comparison wrote the caches.
    count1 = std::min(count1, kCompareValues);
    count2 = std::min(count2, kCompareValues);
    const int result = SimilarCompare(values1, values2, std::min(count1, count2), flags);
    if (result == SC_TOO_SHORT)
        return count2 < count1 ? FP_FEW_VALUES_2 : FP_FEW_VALUES_1;
    return result < 0 ? FP_COMPARE : result;
}
