#include "fingerprint/fingerprint.h"

#include "cadenzo.h"

#include <algorithm>

namespace {

constexpr int kMinValues = 40;
constexpr int kWindow = 20;
constexpr int kMaxShift = 20;
constexpr int kWindowBits = kWindow * 32;
constexpr int kTolerancePerLevel = 5;
constexpr double kErrorRatePerLevel = 0.05;

int MatchLevel(int flags)
{
    if (flags & OPT_DEGREE_HIGH)
        return 1;
    if ((flags & OPT_DEGREE_LOW) && !(flags & OPT_DEGREE_MEDIUM))
        return 3;
    return 2;
}

// Sum of differing bits over count value pairs, or -1 as soon as one pair
// differs in more than tolerance bits.
int SeriesErrors(const uint32_t* a, const uint32_t* b, int count, int tolerance)
{
    int errors = 0;
    for (int i = 0; i < count; ++i) {
        const int bits = __builtin_popcount(a[i] ^ b[i]);
        if (bits > tolerance)
            return -1;
        errors += bits;
    }
    return errors;
}

// The rate test is written in doubles on purpose: with pass x 0.05 taken as
// a double, pass 3 admits 96 bits, one more than an integer bound would.
bool WindowAligns(const uint32_t* a, const uint32_t* b, int pass)
{
    const int errors = SeriesErrors(a, b, kWindow, kTolerancePerLevel * pass);
    return errors >= 0 && errors / double(kWindowBits) < pass * kErrorRatePerLevel;
}

// The first shift, pass by pass, at which one series' opening window lines
// up with the other's; offsets name where each series starts.
bool FindAlignment(const uint32_t* a, const uint32_t* b, int level, int& offsetA, int& offsetB)
{
    for (int pass = 1; pass <= level; ++pass) {
        for (int shift = 0; shift < kMaxShift; ++shift) {
            if (WindowAligns(a, b + shift, pass)) {
                offsetA = 0;
                offsetB = shift;
                return true;
            }
            if (shift != 0 && WindowAligns(a + shift, b, pass)) {
                offsetA = shift;
                offsetB = 0;
                return true;
            }
        }
    }
    return false;
}

} // namespace

int SimilarCompare(const uint32_t* a, const uint32_t* b, int n, int flags)
{
    const int level = MatchLevel(flags);
    if (!a || !b)
        return SC_NULL_SERIES;
    if (n < kMinValues)
        return SC_TOO_SHORT;
    int offsetA = 0;
    int offsetB = 0;
    if (!FindAlignment(a, b, level, offsetA, offsetB))
        return 0;
    const int m = n - std::max(offsetA, offsetB);
    const int errors = SeriesErrors(a + offsetA, b + offsetB, m, kTolerancePerLevel * level);
    if (errors < 0)
        return 0;
    return errors / (double(m) * 32) <= level * kErrorRatePerLevel ? 1 : 0;
}
