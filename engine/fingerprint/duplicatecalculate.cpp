#include "fingerprint/fingerprint.h"

#include "fingerprint/fingerprintside.h"

int DuplicateCalculate(const char* audioPath1, const char* cachePath1, const char* audioPath2,
                       const char* cachePath2, int flags)
{
    if (!audioPath1 || !cachePath1 || !audioPath2 || !cachePath2)
        return FP_NULL_PATH;
    // Each record frees its values, task and context on every way out.
    tagFingerprintRecord side1;
    side1.iSide = 1;
    int failure = LoadFingerprintSide(audioPath1, cachePath1, side1);
    if (failure != SF_NONE)
        return SideFailureCode(failure, 1);
    tagFingerprintRecord side2;
    side2.iSide = 2;
    failure = LoadFingerprintSide(audioPath2, cachePath2, side2);
    if (failure != SF_NONE)
        return SideFailureCode(failure, 2);
    return CompareFingerprints(side1.values.get(), side1.iCount, side2.values.get(), side2.iCount, flags);
}
