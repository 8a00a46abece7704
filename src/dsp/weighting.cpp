#include "dsp/weighting.h"

#include <algorithm>
#include <cmath>

namespace zeltrak {

namespace {

// Pole frequencies of the weightings (Hz).
constexpr double kF1 = 20.598997;
constexpr double kF2 = 107.65265;
constexpr double kF3 = 737.86223;
constexpr double kF4 = 12194.217;
constexpr double kF5 = 158.48932;

bool IsWeighting(uint32_t type) { return type == kWeightingA || type == kWeightingB || type == kWeightingC; }

// The response before normalisation, as a product of factors none of which exceeds 1, so that
// nothing overflows short of the frequency's square itself.
double Response(uint32_t type, double f) {
    const double s = f * f;
    const double lowCut = s / (s + kF1 * kF1);
    const double highCut = kF4 * kF4 / (s + kF4 * kF4);
    switch (type) {
        case kWeightingA: return lowCut * highCut * s / (std::sqrt(s + kF2 * kF2) * std::sqrt(s + kF3 * kF3));
        case kWeightingB: return lowCut * highCut * f / std::sqrt(s + kF5 * kF5);
        case kWeightingC: return lowCut * highCut;
        default: return 1.0;
    }
}

}  // namespace

double WeightingLevelDb(uint32_t type, double frequencyHz) {
    if (!IsWeighting(type)) return 0.0;
    const double f = std::abs(frequencyHz);
    // the ratio is exactly 1 at 1 kHz, so that level is exactly 0 dB
    const double level = 20.0 * std::log10(Response(type, f) / Response(type, 1000.0));
    // NaN only where the square of the frequency overflows (or for a NaN frequency): far out
    // where the response has fallen to nothing, like at 0 Hz, where the level is -infinity
    constexpr double kLimit = kMaxCurveLevelDb;
    return std::isnan(level) ? -kLimit : std::clamp(level, -kLimit, kLimit);
}

std::vector<float> WeightingFactorsOnBins(uint32_t type, const BinAxis& axis) {
    if (!IsWeighting(type)) return {};
    std::vector<float> factors(axis.bins);
    for (uint32_t k = 0; k < axis.bins; ++k)
        factors[k] = static_cast<float>(std::pow(10.0, 0.05 * WeightingLevelDb(type, axis.BinFrequency(k))));
    return factors;
}

std::vector<float> CurveOntoBins(const std::vector<CurvePoint>& points, const BinAxis& axis) {
    std::vector<float> levels(axis.bins, 0.0f);
    if (points.empty() || axis.bins == 0) return levels;
    const uint32_t b0 = axis.FreqToBin(points.front().x);
    const uint32_t b1 = axis.FreqToBin(points.back().x);
    for (uint32_t k = 0; k <= b0 && k < axis.bins; ++k) levels[k] = points.front().y;
    for (uint32_t k = b1; k < axis.bins; ++k) levels[k] = points.back().y;
    if (b1 > b0 + 1) {
        const TSpline spline(points);
        for (uint32_t k = b0 + 1; k < b1; ++k) {
            const float v = spline.Evaluate(axis.BinFrequency(k));
            levels[k] = std::isnan(v) ? 0.0f : std::clamp(v, -kMaxCurveLevelDb, kMaxCurveLevelDb);
        }
    }
    return levels;
}

std::vector<float> LevelsToFactors(const std::vector<float>& levels) {
    std::vector<float> factors(levels.size());
    for (size_t k = 0; k < levels.size(); ++k) {
        const float a = static_cast<float>(std::pow(10.0, 0.05 * levels[k]));
        factors[k] = (a == 0.0f || !std::isfinite(a)) ? 1.0f : a;
    }
    return factors;
}

}  // namespace zeltrak
