#pragma once
#include <cstdint>

namespace zeltrak {

// The no-value level of every decibel array.
inline constexpr double kNoDecibels = -999.9;

// 10·log10(x) for powers and 20·log10(x) for amplitudes; x not above 0 gives kNoDecibels.
double PowerToDb(double power);
double AmplitudeToDb(double amplitude);

// Float-to-integer conversions. The default truncates toward zero; sample values and
// bin indices add 0.5 before truncating where a computation asks for rounding.
// Values beyond the target range saturate instead of invoking undefined behaviour.
int32_t TruncToInt32(double value);
int64_t TruncToInt64(double value);
uint32_t TruncToUint32(double value);
int32_t RoundHalfUpToInt32(double value);  // (int)(value + 0.5)
uint32_t RoundHalfUpToUint32(double value);

}  // namespace zeltrak
