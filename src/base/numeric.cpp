#include "base/numeric.h"

#include <cmath>
#include <limits>

namespace zeltrak {

double PowerToDb(double power) {
    return power > 0.0 ? 10.0 * std::log10(power) : kNoDecibels;
}

double AmplitudeToDb(double amplitude) {
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : kNoDecibels;
}

namespace {
template <typename Int>
Int SaturatingTrunc(double value) {
    if (std::isnan(value)) return 0;
    const double t = std::trunc(value);
    if (t <= static_cast<double>(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
    if (t >= static_cast<double>(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
    return static_cast<Int>(t);
}
}  // namespace

int32_t TruncToInt32(double value) { return SaturatingTrunc<int32_t>(value); }
int64_t TruncToInt64(double value) { return SaturatingTrunc<int64_t>(value); }
uint32_t TruncToUint32(double value) { return SaturatingTrunc<uint32_t>(value); }
int32_t RoundHalfUpToInt32(double value) { return SaturatingTrunc<int32_t>(value + 0.5); }
uint32_t RoundHalfUpToUint32(double value) { return SaturatingTrunc<uint32_t>(value + 0.5); }

}  // namespace zeltrak
