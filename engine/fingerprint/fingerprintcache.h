// Fingerprint cache files: int32 sample rate, int32 third format value,
// raw uint32 values, all little-endian.
#pragma once

#include <QString>

struct tagFingerprintRecord;

// Reads the header (missing header values stay 0) and at most
// kCompareValues values into record. A tagSideFailure.
int ReadFingerprintCache(const QString& path, tagFingerprintRecord& record);

// Writes the header and all iCount values under a temporary name, then
// renames it onto path. False when the cache could not be made.
bool WriteFingerprintCache(const QString& path, const tagFingerprintRecord& record);
