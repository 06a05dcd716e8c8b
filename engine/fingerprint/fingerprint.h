// The deep duplicate test: raw Chromaprint fingerprints (algorithm 1) of two
// audio files, cached per track, aligned and compared at a tolerance chosen
// by the match degree bits (OPT_DEGREE_*) of the scan's option word.
//
// Only the first kCompareValues values of a fingerprint are ever compared,
// whether they come from a cache or were just computed. So decoding stops as
// soon as Chromaprint has made that many, and a new cache file holds what was
// made by then: 200 or a few more values for a long track (about 27 s of
// audio), every value for a shorter one. A file whose tail is damaged
// therefore still gets a fingerprint when its first half minute decodes.
//
// Cache file: int32 sample rate, int32 third format value of the decoder,
// then the raw uint32 values; little-endian, no count. It is written under a
// temporary name and renamed, so a half-written cache is never read.
#pragma once

#include <QString>

#include <cstdint>

// Values compared per track, and the most read from a cache file.
constexpr int kCompareValues = 200;

// Results of DuplicateCalculate. Codes of a side name it by 1 or 2.
enum tagFingerprintResult {
    FP_DIFFERENT = 0,
    FP_SIMILAR = 1,
    FP_NULL_PATH = -1,
    FP_STOPPED = -2, // CFingerprintStore only: stopped before the pair was ready
    FP_NEW_1 = -3, FP_NEW_2 = -4,                   // chromaprint_new failed
    FP_TASK_1 = -5, FP_TASK_2 = -6,                 // CreateConverTask failed
    FP_DECODE_1 = -7, FP_DECODE_2 = -11,            // DecoderAudio failed
    FP_FINISH_1 = -8, FP_FINISH_2 = -12,            // chromaprint_finish failed
    FP_MEMORY_1 = -9, FP_MEMORY_2 = -13,            // no memory for the values
    FP_RAW_1 = -10, FP_RAW_2 = -14,                 // chromaprint_get_raw_fingerprint failed
    FP_CACHE_OPEN_1 = -15, FP_CACHE_OPEN_2 = -16,   // cache exists but cannot be read
    FP_CACHE_MEMORY_1 = -17, FP_CACHE_MEMORY_2 = -18,
    FP_FEW_VALUES_1 = -20, // under 40 values; side 1 has no more than side 2
    FP_FEW_VALUES_2 = -21, // under 40 values; side 2 has fewer than side 1
    FP_COMPARE = -22       // any other failure of the comparison
};

// Results of SimilarCompare besides 1 (similar) and 0.
enum tagSimilarResult { SC_NULL_SERIES = -1, SC_TOO_SHORT = -2 };

// Side 1 is the current track, side 2 the earlier one; paths are UTF-8.
// Reads each side's cache when it exists, else fingerprints the audio and
// writes the cache (a failed write is logged and does not fail the test).
// Side 1 is done first and its failure returns at once. Any thread; two
// calls may run at once unless they share a cache path.
int DuplicateCalculate(const char* audioPath1, const char* cachePath1, const char* audioPath2,
                       const char* cachePath2, int flags);

// Compares the first n values of a and b: 1 similar, 0 not, or tagSimilarResult.
int SimilarCompare(const uint32_t* a, const uint32_t* b, int n, int flags);

// Decoder callbacks; record is a tagFingerprintRecord. Format: -1 for a null
// record, 0 when the fingerprint started, 1 when not. Data: -1 for a null
// record, 0 fed, 1 feeding failed, kFeedEnough fed and enough audio seen.
int GetAudioInfoProc(void* record, int sampleRate, int channels, int third);
int GetDecoderDataProc(void* record, const short* samples, int byteCount);
constexpr int kFeedEnough = 2;

// The cache file of the track with that persistent ID in folder; an ID
// unfit for a file name is replaced by its stand-in (FileNameOfId).
QString FingerprintCachePath(const QString& folder, const QString& persistentId);

// Deletes every fingerprint cache (and leftover temporary cache) in folder:
// for the loader of a file-mode library, whose persistent IDs are list
// positions, so an older cache may belong to another file. 0 when none is
// left, -1 when one could not be deleted.
int RemoveFingerprintCaches(const QString& folder);
