#include "dsp/peak_interpolation.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <numbers>
#include <utility>
#include <vector>

#include "dsp/smoothing.h"

namespace zeltrak {

namespace {

// The shape of a window's transform has settled long before this size; larger FFTs use it.
constexpr uint32_t kShapeSize = 2048;
constexpr int kSteps = 256;

// ratio[j]: power of the next bin over the power of the nearest bin for a tone j/(2·kSteps)
// bins off the nearest bin; it rises from its on-bin value to 1 at half a bin.
std::vector<double> NeighbourRatios(WindowType type, uint32_t size) {
    const TSmoothing window(size, type, WindowCorrection::None);
    if (window.Error()) return {};
    const float* w = window.Coefficients();
    const auto power = [&](double offset) {
        std::complex<double> sum = 0.0;
        const double step = -2.0 * std::numbers::pi * offset / size;
        for (uint32_t n = 0; n < size; ++n) sum += static_cast<double>(w[n]) * std::polar(1.0, step * n);
        return std::norm(sum);
    };
    std::vector<double> ratio(kSteps + 1);
    for (int j = 0; j <= kSteps; ++j) {
        const double d = 0.5 * j / kSteps;
        const double nearest = power(d);
        ratio[j] = nearest > 0.0 ? power(1.0 - d) / nearest : 1.0;
    }
    ratio[kSteps] = 1.0;
    return ratio;
}

const std::vector<double>& Ratios(WindowType type, uint32_t fftSize) {
    const uint32_t size = std::min(fftSize, kShapeSize);
    thread_local std::map<std::pair<WindowType, uint32_t>, std::vector<double>> cache;
    const auto key = std::make_pair(type, size);
    auto it = cache.find(key);
    if (it == cache.end()) {
        if (cache.size() > 32) cache.clear();
        it = cache.emplace(key, NeighbourRatios(type, size)).first;
    }
    return it->second;
}

}  // namespace

double PeakOffset(WindowType windowType, uint32_t fftSize, double below, double peak, double above) {
    if (!(peak > 0.0) || !(below >= 0.0) || !(above >= 0.0) || fftSize < 4) return 0.0;
    const std::vector<double>& ratio = Ratios(windowType, fftSize);
    if (ratio.empty()) return 0.0;
    const double side = above >= below ? 1.0 : -1.0;
    const double r = std::max(above, below) / peak;
    if (r <= ratio.front()) return 0.0;
    if (r >= 1.0) return 0.5 * side;
    const auto upper = std::upper_bound(ratio.begin(), ratio.end(), r);
    const auto j = static_cast<size_t>(upper - ratio.begin());
    const double t = (r - ratio[j - 1]) / (ratio[j] - ratio[j - 1]);
    return side * 0.5 * (static_cast<double>(j - 1) + t) / kSteps;
}

}  // namespace zeltrak
