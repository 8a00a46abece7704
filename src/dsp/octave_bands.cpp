#include "dsp/octave_bands.h"

#include <algorithm>
#include <cmath>

namespace zeltrak {

namespace {

double Centre(uint32_t i, uint32_t n) { return std::pow(10.0, 3.0 * i / (10.0 * n)); }

// More would be a settings record gone wrong (the dialog offers 1/1 to 1/96 octave).
constexpr uint32_t kMaxBands = 1u << 20;

float Fraction(double v) { return static_cast<float>(std::clamp(v, 0.0, 1.0)); }

}  // namespace

float NominalBandFrequency(uint32_t index, uint32_t octaveNumber) {
    const uint32_t n = octaveNumber ? octaveNumber : 1;
    if ((3ull * index) % n == 0) {
        static constexpr double kSeries[10] = {1.0, 1.25, 1.6, 2.0, 2.5, 3.15, 4.0, 5.0, 6.3, 8.0};
        const uint64_t tenth = 3ull * index / n;
        return static_cast<float>(kSeries[tenth % 10] * std::pow(10.0, static_cast<double>(tenth / 10)));
    }
    const double c = Centre(index, n);
    const double scale = std::pow(10.0, std::floor(std::log10(c)) - 2.0);
    return static_cast<float>(std::round(c / scale) * scale);
}

std::vector<TBandRecord> BuildOctaveBands(uint32_t octaveNumber, double nyquist) {
    const uint32_t n = octaveNumber ? octaveNumber : 1;
    const double half = std::pow(2.0, 0.5 / n);
    std::vector<TBandRecord> bands;
    // A Nyquist frequency that is not a finite number gives the one band at 1 Hz instead of
    // an endless table.
    const double top = std::isfinite(nyquist) ? nyquist : 0.0;
    for (uint32_t i = 0; i < kMaxBands; ++i) {
        const double c = Centre(i, n);
        if (i > 0 && !(c < top)) break;
        TBandRecord b;
        b.centre = static_cast<float>(c);
        b.nominal = NominalBandFrequency(i, n);
        b.lower = i == 0 ? static_cast<float>(c / half) : bands.back().upper;
        b.upper = static_cast<float>(c * half);
        bands.push_back(b);
    }
    return bands;
}

std::vector<TBandBins> BandBinsFor(const std::vector<TBandRecord>& bands, const BinAxis& axis) {
    std::vector<TBandBins> out(bands.size());
    const double w = axis.binWidth;
    for (size_t i = 0; i < bands.size(); ++i) {
        TBandBins& b = out[i];
        b.lowBin = axis.FreqToBin(bands[i].lower);
        b.highBin = axis.FreqToBin(bands[i].upper);
        if (!(w > 0.0)) continue;
        // An edge beyond the last bin would give a fraction above 1: the band can take at most
        // all of that bin.
        b.lowFraction = Fraction((axis.BinFrequency(b.lowBin) + w / 2 - bands[i].lower) / w);
        b.highFraction = Fraction((bands[i].upper - (axis.BinFrequency(b.highBin) - w / 2)) / w);
    }
    return out;
}

}  // namespace zeltrak
