#include "dsp/band_axis.h"

#include <algorithm>

#include "base/numeric.h"

namespace zeltrak {

namespace {

constexpr float kNoDb = static_cast<float>(kNoDecibels);

// The power of one band from the bins' powers, as a sum or a mean.
double BandPower(const TBandBins& band, const float* p, uint32_t bins, bool asMean) {
    const uint32_t lo = std::min(band.lowBin, bins - 1);
    const uint32_t hi = std::min(band.highBin, bins - 1);
    if (lo == hi) {
        // A band inside one bin covers lowFraction + highFraction - 1 of it; adding both edge
        // fractions would count the bin twice. Its mean is the bin itself.
        const double inside = std::max(0.0, static_cast<double>(band.lowFraction) + band.highFraction - 1.0);
        return asMean ? p[lo] : p[lo] * inside;
    }
    double sum = static_cast<double>(p[lo]) * band.lowFraction + static_cast<double>(p[hi]) * band.highFraction;
    for (uint32_t i = lo + 1; i < hi; ++i) sum += p[i];
    const double width = (hi - lo - 1) + static_cast<double>(band.lowFraction) + band.highFraction;
    if (asMean) sum /= (width != 0.0 ? width : 1.0);
    return sum;
}

}  // namespace

bool TBandAxis::Build(uint32_t octave, const BinAxis& axis) {
    records_ = BuildOctaveBands(octave, axis.nyquist);
    if (!SetBins(BandBinsFor(records_, axis))) {
        records_.clear();
        return false;
    }
    return true;
}

bool TBandAxis::SetBins(const std::vector<TBandBins>& bands) {
    values_.reset();
    bins_.clear();
    if (bands.empty()) return true;
    values_ = AllocateSpectral<float>(bands.size());
    if (!values_) return false;
    bins_ = bands;
    Reset();
    return true;
}

void TBandAxis::Reset() {
    if (values_) std::fill(values_.get(), values_.get() + bins_.size(), kNoDb);
}

void TBandAxis::Update(const float* power, uint32_t bins, bool asMean, bool peakHold) {
    if (!values_ || bins == 0) return;
    for (size_t b = 0; b < bins_.size(); ++b) {
        const TBandBins& band = bins_[b];
        if (std::min(band.lowBin, bins - 1) > std::min(band.highBin, bins - 1)) continue;
        const float value = static_cast<float>(PowerToDb(BandPower(band, power, bins, asMean)));
        if (!peakHold || value > values_[b]) values_[b] = value;
    }
}

}  // namespace zeltrak
