// The decibel copy of every bin is a plain loop over arrays; let it vectorise.
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")

#include "dsp/power_db.h"

#include <cstring>
#include <limits>

#include "base/numeric.h"

namespace zeltrak {

namespace {

// 10·log10(p) for a positive normal float p. p = 2^e · m with m in [sqrt(1/2), sqrt(2)),
// split without a branch so that loops over arrays vectorise; t = (m-1)/(m+1) then stays
// below 0.1716, where five terms of the atanh series are good to 1e-9.
inline float NormalPowerToDb(float p) {
    uint32_t bits;
    std::memcpy(&bits, &p, sizeof bits);
    bits += 0x3f800000u - 0x3f3504f3u;
    const int exponent = static_cast<int>(bits >> 23) - 127;
    const uint32_t mantissaBits = (bits & 0x007fffffu) + 0x3f3504f3u;
    float m;
    std::memcpy(&m, &mantissaBits, sizeof m);
    const float t = (m - 1.0f) / (m + 1.0f);
    const float t2 = t * t;
    const float lnM = 2.0f * t * (1.0f + t2 * (1.0f / 3 + t2 * (1.0f / 5 + t2 * (1.0f / 7 + t2 * (1.0f / 9)))));
    constexpr float kDbPerOctave = 3.0102999566f;  // 10·log10(2)
    constexpr float kDbPerNeper = 4.3429448190f;   // 10 / ln(10)
    return static_cast<float>(exponent) * kDbPerOctave + lnM * kDbPerNeper;
}

inline bool IsNormalPositive(float p) {
    return p >= std::numeric_limits<float>::min() && p <= std::numeric_limits<float>::max();
}

}  // namespace

void PowerToDbArray(const float* p, float* out, uint32_t n) {
    // bitwise operators keep the loop free of branches
    uint32_t unusual = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const float x = p[i];
        out[i] = NormalPowerToDb(x);
        unusual |= static_cast<uint32_t>(!(x >= std::numeric_limits<float>::min())) |
                   static_cast<uint32_t>(!(x <= std::numeric_limits<float>::max()));
    }
    if (!unusual) return;
    // zeros (silence, unfilled bins) and the odd subnormal or infinity
    for (uint32_t i = 0; i < n; ++i)
        if (!IsNormalPositive(p[i])) out[i] = static_cast<float>(PowerToDb(p[i]));
}

float PowerToDbFast(float power) {
    return IsNormalPositive(power) ? NormalPowerToDb(power) : static_cast<float>(PowerToDb(power));
}

}  // namespace zeltrak
