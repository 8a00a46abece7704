#pragma once
#include <cstdint>
#include <vector>

#include "dsp/bin_axis.h"
#include "dsp/spline.h"

namespace zeltrak {

// The `StandardWeighting` setting.
enum : uint32_t {
    kWeightingNone = 0,
    kWeightingA = 1,
    kWeightingB = 2,
    kWeightingC = 3,
};

// Compensation and weighting levels are clamped to +-this many dB.
inline constexpr float kMaxCurveLevelDb = 120.0f;

// Level in dB of the A, B or C weighting at a frequency; 0 dB for none or an unknown type.
// A and C are the analytic IEC 61672-1 expressions, B the classical pole-zero curve (three
// zeros at 0 Hz; poles twice at 20.6 Hz, once at 158.5 Hz, twice at 12.2 kHz). Each curve is
// shifted so that 1 kHz is exactly 0 dB, by 20 log10 of its own value at 1 kHz (about +2.00,
// +0.17 and +0.06 dB, the constants the standard rounds to). Levels are clamped to
// +-kMaxCurveLevelDb, so that 0 Hz, where the response vanishes, comes out -120 dB.
double WeightingLevelDb(uint32_t type, double frequencyHz);

// Amplitude factors 10^(level/20) of a weighting on every bin; empty for none or an unknown type.
std::vector<float> WeightingFactorsOnBins(uint32_t type, const BinAxis& axis);

// Levels of a curve on every bin: the first level up to the first point's bin, the last level
// from the last point's bin on, and the spline (clamped to -120 ... +120 dB) in between.
std::vector<float> CurveOntoBins(const std::vector<CurvePoint>& points, const BinAxis& axis);

// Amplitude factors of a level per bin, 10^(level/20); a factor that comes out 0 or not
// finite becomes 1.0.
std::vector<float> LevelsToFactors(const std::vector<float>& levels);

}  // namespace zeltrak
