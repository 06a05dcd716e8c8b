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
constexpr int kMaxLevel = 3;

int MatchLevel(int flags)
{
    if (flags & OPT_DEGREE_HIGH)
        return 1;
    if ((flags & OPT_DEGREE_LOW) && !(flags & OPT_DEGREE_MEDIUM))
        return 3;
    return 2;
}

// Counted by hand: without a popcnt target the builtin becomes a library
// call, which made it most of the cost of a comparison.
inline int BitErrors(uint32_t x, uint32_t y)
{
    uint32_t v = x ^ y;
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    v = (v + (v >> 4)) & 0x0f0f0f0fu;
    return static_cast<int>((v * 0x01010101u) >> 24);
}

// Sum of differing bits over count value pairs, or -1 as soon as one pair
// differs in more than tolerance bits.
int SeriesErrors(const uint32_t* a, const uint32_t* b, int count, int tolerance)
{
    int errors = 0;
    for (int i = 0; i < count; ++i) {
        const int bits = BitErrors(a[i], b[i]);
        if (bits > tolerance)
            return -1;
        errors += bits;
    }
    return errors;
}

// The most bit errors a window may hold to align in a pass. The test is
// written in doubles on purpose: with pass x 0.05 taken as a double, pass 3
// admits 96 bits, one more than an integer bound would. It only grows with
// the errors, so one bound per pass stands for every count.
constexpr int MaxWindowErrors(int pass)
{
    int errors = -1;
    while ((errors + 1) / double(kWindowBits) < pass * kErrorRatePerLevel)
        ++errors;
    return errors;
}
constexpr int kMaxWindowErrors[kMaxLevel + 1] = {MaxWindowErrors(0), MaxWindowErrors(1), MaxWindowErrors(2),
                                                 MaxWindowErrors(3)};
static_assert(kMaxWindowErrors[1] == 31 && kMaxWindowErrors[2] == 63 && kMaxWindowErrors[3] == 96,
              "the alignment limits the comparison is known by");

// The first pass, up to lastPass, in which the window a[0..19] / b[0..19]
// aligns: 0 when none. One scan serves every pass, since a window that
// aligns in one pass aligns in every later one.
int WindowPass(const uint32_t* a, const uint32_t* b, int lastPass)
{
    const int tolerance = kTolerancePerLevel * lastPass;
    const int errorLimit = kMaxWindowErrors[lastPass];
    int errors = 0;
    int worst = 0;
    // Four values between tests: on unrelated series the tests of single
    // values went either way so often that mispredicted branches cost more
    // than the counting. Testing later changes no answer, as both limits
    // only ever get crossed for good.
    static_assert(kWindow % 4 == 0, "whole blocks of four");
    for (int i = 0; i < kWindow; i += 4) {
        const int b0 = BitErrors(a[i], b[i]);
        const int b1 = BitErrors(a[i + 1], b[i + 1]);
        const int b2 = BitErrors(a[i + 2], b[i + 2]);
        const int b3 = BitErrors(a[i + 3], b[i + 3]);
        errors += b0 + b1 + b2 + b3;
        worst = std::max({worst, b0, b1, b2, b3});
        if (worst > tolerance || errors > errorLimit)
            return 0;
    }
    for (int pass = std::max(1, (worst + kTolerancePerLevel - 1) / kTolerancePerLevel); pass <= lastPass; ++pass)
        if (errors <= kMaxWindowErrors[pass])
            return pass;
    return 0;
}

// Pass by pass, the first shift at which one series' opening window lines
// up with the other's (b shifted before a at each shift); offsets name where
// each series starts. Every window is scanned once: the earliest pass wins,
// and a later window only counts when it aligns in an earlier pass.
bool FindAlignment(const uint32_t* a, const uint32_t* b, int level, int& offsetA, int& offsetB)
{
    int best = level + 1;
    auto consider = [&](const uint32_t* x, const uint32_t* y, int shiftA, int shiftB) {
        // Only an earlier pass than the best so far can win. In the strict
        // passes most windows of unrelated series fail on their first value,
        // which a quick look settles.
        const int lastPass = best - 1;
        if (lastPass <= 2 && BitErrors(x[0], y[0]) > kTolerancePerLevel * lastPass)
            return;
        const int pass = WindowPass(x, y, lastPass);
        if (pass == 0)
            return;
        best = pass;
        offsetA = shiftA;
        offsetB = shiftB;
    };
    for (int shift = 0; shift < kMaxShift && best > 1; ++shift) {
        consider(a, b + shift, 0, shift);
        if (shift != 0 && best > 1)
            consider(a + shift, b, shift, 0);
    }
    return best <= level;
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
