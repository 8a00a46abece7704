#include "measure/measurements.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "base/numeric.h"
#include "dsp/bin_axis.h"
#include "dsp/peak_interpolation.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_display.h"
#include "dsp/weighting.h"

namespace zeltrak {

namespace {

constexpr int kMaxPeakPasses = 11;
constexpr int kNeighbours = 5;
constexpr int kMaxHarmonics = 40;
constexpr double kPercentPerFullScale = 100.0;
BinAxis Axis(const TSpectralData& s) { return BinAxis{s.Bins(), s.BinWidth(), s.Nyquist()}; }

bool IsRatio(const TSpectralData& s) {
    return s.RealTransferDone() || s.ComplexTransferDone() || s.CoherenceDone();
}

// The unit reference offset in dB that applies to calibrated band powers.
double UnitOffset(const TSpectralData& s, const MeasurementContext& c) {
    if (!s.Scale().Calibrated() || IsRatio(s) || c.relativeDisplay || !c.calibration) return 0.0;
    return UnitOffsetDb(c.calibration->RefUnits);
}

// Averaged power of bin k, 0 outside the array (and for an object without one).
double P(const TSpectralData& s, int64_t k) {
    const float* p = s.AveragePower();
    if (!p || k < 0 || k >= static_cast<int64_t>(s.Bins())) return 0.0;
    return p[k];
}

// Factors of the A, B or C curve per bin, built once per axis.
const std::vector<float>& WeightingFactors(uint32_t type, const TSpectralData& s) {
    using Key = std::tuple<uint32_t, uint32_t, float>;
    thread_local std::map<Key, std::vector<float>> cache;
    const Key key{type, s.Bins(), s.BinWidth()};
    auto it = cache.find(key);
    if (it == cache.end()) {
        if (cache.size() > 16) cache.clear();
        it = cache.emplace(key, WeightingFactorsOnBins(type, Axis(s))).first;
    }
    return it->second;
}

bool StrictLocalMaximum(const float* p, int64_t u) {
    const float v = p[u];
    for (int d = 1; d <= kNeighbours; ++d)
        if (!(v > p[u - d]) || !(v > p[u + d])) return false;
    return true;
}

}  // namespace

bool InBands(const TSpectralData& s) { return s.FreqScale() == FrequencyScale::OctaveBands && s.BandAxis().Count() > 0; }

uint32_t MeasureFreqToBin(const TSpectralData& s, double f) { return Axis(s).FreqToBin(f); }

uint32_t MeasureFreqToBand(const TSpectralData& s, double f) {
    const auto& bands = s.BandAxis().Records();
    for (uint32_t i = 0; i < bands.size(); ++i)
        if (f < bands[i].upper) return i;
    return bands.empty() ? 0 : static_cast<uint32_t>(bands.size() - 1);
}

double MeasureBinToFreq(const TSpectralData& s, uint32_t k) { return s.BinFrequency(k); }

double PowerAt(const TSpectralData& s, double f) {
    const int64_t n = s.Bins();
    const int64_t k = MeasureFreqToBin(s, f);
    if (k < 3 || k > n - 3) return 0.0;
    return P(s, k);
}

double BinAmplitude(const TSpectralData& s, uint32_t k, const MeasurementContext& context) {
    if (!InBands(s)) return SpectralDisplayValue(s, k);
    // On a band axis GetValue reads bands; a bin's value is formed as on a bin axis.
    if (k >= s.Bins() || !s.AveragePower()) return 0.0;
    const double p = P(s, k);
    const double root = p > 0.0 ? std::sqrt(p) : 0.0;
    if (s.AmpScale() != AmplitudeScale::Decibels) return root * (s.Scale().Calibrated() || s.CoherenceDone() ? 1.0 : kPercentPerFullScale);
    if (s.CoherenceDone()) return root;
    const double db = PowerToDb(p);
    return db > kNoDecibels ? db + UnitOffset(s, context) : kNoDecibels;
}

std::vector<PeakResult> FindPeaks(const TSpectralData& s, int64_t lo, int64_t hi, int count,
                                  const MeasurementContext& context) {
    count = std::clamp(count, 0, kMaxPeakPasses);
    std::vector<PeakResult> out(static_cast<size_t>(count));
    const float* p = s.AveragePower();
    const int64_t n = s.Bins();
    // Every candidate needs five neighbours on both sides; a spectrum of fewer than eleven
    // bins has none.
    lo = std::max<int64_t>(lo, kNeighbours);
    hi = std::min<int64_t>(hi, n - 1 - kNeighbours);
    if (!p || count == 0 || lo > hi) return out;
    // Each pass takes the largest maximum not yet taken (the lower bin on ties), so the
    // passes are the maxima in falling order with ties in bin order.
    std::vector<std::pair<float, int64_t>> maxima;
    for (int64_t u = lo; u <= hi; ++u)
        if (p[u] > -10000000.0f && StrictLocalMaximum(p, u)) maxima.emplace_back(p[u], u);
    const size_t wanted = std::min(maxima.size(), out.size());
    std::partial_sort(maxima.begin(), maxima.begin() + static_cast<std::ptrdiff_t>(wanted), maxima.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
    for (size_t j = 0; j < out.size() && j < maxima.size(); ++j) {
        const uint32_t bin = static_cast<uint32_t>(maxima[j].second);
        out[j].bin = bin;
        out[j].found = true;
        out[j].frequency = MeasureBinToFreq(s, bin);
        out[j].amplitude = BinAmplitude(s, bin, context);
    }
    return out;
}

PeakResult FindPeak(const TSpectralData& s, int64_t lo, int64_t hi, int k, const MeasurementContext& context) {
    if (k < 0 || k >= kMaxPeakPasses) return {};
    return FindPeaks(s, lo, hi, k + 1, context)[static_cast<size_t>(k)];
}

namespace {

double NoPower(bool logarithmic) { return logarithmic ? kNoDecibels : 0.0; }

// A sum of averaged bin powers as the reading asked for, on the scale the display values use.
double SummedPowerReading(const TSpectralData& s, double sum, bool logarithmic, bool percent,
                          const MeasurementContext& context) {
    sum *= s.SummedPowerFactor();
    if (!(sum > 0.0)) return NoPower(logarithmic);
    if (logarithmic) return PowerToDb(sum) + UnitOffset(s, context);
    return std::sqrt(sum) * (percent ? kPercentPerFullScale : 1.0);
}

// The displayed values of bands lo ... hi summed as powers.
double DisplayedBandsPower(const TSpectralData& s, int64_t lo, int64_t hi, bool logarithmic, bool percent,
                           const MeasurementContext& context) {
    const bool coherence = s.CoherenceDone();
    const int64_t last = static_cast<int64_t>(s.BandAxis().Count()) - 1;
    lo = std::max<int64_t>(lo, 0);
    hi = std::min(hi, last);
    const bool logAxis = s.AmpScale() == AmplitudeScale::Decibels && !coherence;
    double sum = 0.0;
    for (int64_t k = lo; k <= hi; ++k) {
        const double v = SpectralDisplayValue(s, static_cast<uint32_t>(k));
        if (logAxis)
            sum += v > kNoDecibels ? std::pow(10.0, 0.1 * v) : 0.0;
        else
            sum += std::pow(v / (percent ? kPercentPerFullScale : 1.0), 2);
    }
    if (!(sum > 0.0)) return NoPower(logarithmic);
    // the band values of a logarithmic axis are already re the unit's reference
    if (logarithmic) return PowerToDb(sum) + (logAxis ? 0.0 : UnitOffset(s, context));
    return std::sqrt(sum) * (logAxis ? std::pow(10.0, -0.05 * UnitOffset(s, context)) : 1.0) *
           (percent ? kPercentPerFullScale : 1.0);
}

// Every display of a bin (percent, units, decibels, either density) is its averaged power seen
// through one monotonic map, so the displayed values sum as the powers do. A density bin
// holds binWidth hertz of its per-hertz power.
double DisplayedBinsPower(const TSpectralData& s, int64_t lo, int64_t hi, bool logarithmic, bool percent,
                          const MeasurementContext& context) {
    const int64_t last = static_cast<int64_t>(s.Bins()) - 1;
    lo = std::min(std::max<int64_t>(lo, 3), last);
    hi = std::min(hi, last);
    double sum = 0.0;
    for (int64_t k = lo; k <= hi; ++k) sum += std::max(0.0, P(s, k));
    return SummedPowerReading(s, sum, logarithmic, percent, context);
}

// The power of bins (or bands) lo ... hi without the display's weighting, weighted by `mode`.
double WeightedPower(const TSpectralData& s, int64_t lo, int64_t hi, bool logarithmic, int mode, bool percent,
                     const MeasurementContext& context) {
    double sum = 0.0;
    const float* display = s.Scale().Weighting();
    const std::vector<float>* weights = mode == kBandFlat ? nullptr : &WeightingFactors(static_cast<uint32_t>(mode), s);
    const auto term = [&](int64_t k, double fraction) {
        double v = P(s, k);
        if (display && display[k] != 0.0f) v /= static_cast<double>(display[k]) * display[k];
        if (weights) v *= static_cast<double>((*weights)[k]) * (*weights)[k];
        sum += v * fraction;
    };
    if (InBands(s)) {
        const auto& bb = s.BandAxis().Bins();
        const int64_t last = static_cast<int64_t>(bb.size()) - 1;
        lo = std::clamp<int64_t>(lo, 0, last);
        hi = std::min(hi, last);
        if (lo <= hi) {
            const int64_t first = bb[lo].lowBin, end = std::min<int64_t>(bb[hi].highBin, s.Bins() - 1);
            if (first == end) {
                term(first, std::max(0.0, static_cast<double>(bb[lo].lowFraction) + bb[hi].highFraction - 1.0));
            } else if (first < end) {
                term(first, bb[lo].lowFraction);
                for (int64_t k = first + 1; k < end; ++k) term(k, 1.0);
                term(end, bb[hi].highFraction);
            }
        }
    } else {
        const int64_t last = static_cast<int64_t>(s.Bins()) - 1;
        lo = std::min(std::max<int64_t>(lo, 3), last);
        hi = std::min(hi, last);
        for (int64_t k = lo; k <= hi; ++k) term(k, 1.0);
    }
    return SummedPowerReading(s, sum, logarithmic, percent, context);
}

}  // namespace

double BandPower(const TSpectralData& s, int64_t lo, int64_t hi, bool logarithmic, int mode,
                 const MeasurementContext& context) {
    if (!s.AveragePower() || s.Bins() == 0) return NoPower(logarithmic);
    // Display values in percent and dB re full scale (or the unit's reference) become the
    // same linear power scale before summing, so that both axes give the same total.
    const bool percent = !s.Scale().Calibrated() && !s.CoherenceDone();
    if (mode == kBandDisplayed) {
        return InBands(s) ? DisplayedBandsPower(s, lo, hi, logarithmic, percent, context)
                          : DisplayedBinsPower(s, lo, hi, logarithmic, percent, context);
    }
    if (mode < kBandFlat || mode > kBandC) return NoPower(logarithmic);
    return WeightedPower(s, lo, hi, logarithmic, mode, percent, context);
}

ToneLobe ToneAt(const TSpectralData& s, uint32_t b) {
    ToneLobe lobe;
    const int64_t n = s.Bins();
    if (!s.AveragePower() || b >= n) return lobe;
    const int64_t reach = MainLobeHalfWidth(s.WindowType());
    int64_t lo = b, hi = b;
    // Outward while the skirt does not rise: a neighbouring tone or the noise floor ends it.
    while (lo > 1 && b - lo < reach && P(s, lo - 1) <= P(s, lo)) --lo;
    while (hi < n - 2 && hi - b < reach && P(s, hi + 1) <= P(s, hi)) ++hi;
    double sum = 0.0;
    for (int64_t k = lo; k <= hi; ++k) sum += std::max(0.0, P(s, k));
    lobe.lo = static_cast<uint32_t>(lo);
    lobe.hi = static_cast<uint32_t>(hi);
    lobe.peak = b;
    lobe.power = sum * s.SummedPowerFactor();
    return lobe;
}

double InterpolatedFrequency(const TSpectralData& s, uint32_t b) {
    if (b == 0 || b + 1 >= s.Bins() || !s.AveragePower()) return MeasureBinToFreq(s, b);
    const double offset =
        PeakOffset(s.WindowType(), s.FFTSize(), P(s, b - 1), P(s, b), P(s, b + 1));
    return (b + offset) * static_cast<double>(s.BinWidth());
}

namespace {

// The bins of the measured band: from the band's low edge (never DC) to its high edge (below
// the last bin, which is never averaged).
struct BandBins {
    int64_t first = 0;
    int64_t last = -1;
};

BandBins MeasuredBand(const TSpectralData& s, const MeasurementContext& c) {
    const double width = s.BinWidth();
    if (!(width > 0.0) || s.Bins() < 3) return {};
    BandBins band;
    band.first = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(std::max(0.0, c.bandLowHz) / width)));
    const double top = std::min<double>(c.bandHighHz, s.Nyquist());
    band.last = std::min<int64_t>(static_cast<int64_t>(std::floor(top / width)), static_cast<int64_t>(s.Bins()) - 2);
    return band;
}


// The typical power of a bin in the band: the median, which the few bins of tones do not move.
double NoiseFloor(const TSpectralData& s, const BandBins& band) {
    if (band.last < band.first) return 0.0;
    std::vector<float> p(s.AveragePower() + band.first, s.AveragePower() + band.last + 1);
    auto middle = p.begin() + static_cast<std::ptrdiff_t>(p.size() / 2);
    std::nth_element(p.begin(), middle, p.end());
    return std::max(0.0f, *middle);
}

// Every window leaks some of a tone beyond its main lobe: Hann's skirt holds 0.05 % of it
// (-33 dB), far above the noise of a good converter. The skirt belongs to the tone, not to the
// noise, for as long as it stands above the floor; it ends where it sinks into the floor or
// where the spectrum rises again towards another tone.
void WidenOverSkirt(const TSpectralData& s, ToneLobe& lobe, double floor) {
    const int64_t n = s.Bins();
    const int64_t look = MainLobeHalfWidth(s.WindowType());
    const double threshold = 1.25 * floor;
    // Sidelobes rise again after each null, but not above the bins just behind them; a tone
    // does.
    const auto range = [&](int64_t from, int64_t step) {
        double most = 0.0;
        for (int64_t j = 0; j < look; ++j) most = std::max(most, P(s, from + step * j));
        return most;
    };
    const auto walk = [&](int64_t from, int64_t step) {
        int64_t edge = from;
        for (int64_t k = from + step; k >= 1 && k <= n - 2; k += step) {
            if (!(range(k, step) > threshold) || P(s, k) > 4.0 * range(k - step, -step)) break;
            edge = k;
        }
        return edge;
    };
    lobe.lo = static_cast<uint32_t>(walk(lobe.lo, -1));
    lobe.hi = static_cast<uint32_t>(walk(lobe.hi, 1));
}

}  // namespace

ToneAnalysis AnalyseTone(const TSpectralData& s, const MeasurementContext& c) {
    ToneAnalysis a;
    const int64_t n = s.Bins();
    const uint32_t b0 = s.Averager().PeakBin();
    const double width = s.BinWidth();
    if (!s.AveragePower() || !(P(s, b0) > 0.0) || !(width > 0.0)) return a;
    // a "tone" at DC is no tone: nothing to measure against
    const double frequency = InterpolatedFrequency(s, b0);
    if (!(frequency > 1.0)) return a;
    const BandBins band = MeasuredBand(s, c);
    const double floor = NoiseFloor(s, band);

    // Bins that belong to a tone (DC, the fundamental, the harmonics) rather than to the noise.
    std::vector<uint8_t> taken(static_cast<size_t>(n), 0);
    const auto take = [&](ToneLobe lobe) {
        WidenOverSkirt(s, lobe, floor);
        for (uint32_t k = lobe.lo; k <= lobe.hi; ++k) taken[k] = 1;
    };
    ToneLobe dc;
    dc.hi = std::min<uint32_t>(MainLobeHalfWidth(s.WindowType()), static_cast<uint32_t>(n - 1));
    take(dc);
    const ToneLobe fundamental = ToneAt(s, b0);
    a.tone = fundamental.power;
    a.frequency = frequency;
    take(fundamental);

    const double top = std::min(0.99 * s.Nyquist(), c.bandHighHz);
    const int harmonics = std::min(TruncToInt32(top / a.frequency), kMaxHarmonics);
    for (int h = 2; h <= harmonics; ++h) {
        const int64_t centre = std::llround(h * a.frequency / width);
        if (centre < 1 || centre > n - 2) break;
        // the nearest bin is the harmonic's unless its neighbour holds more
        int64_t best = centre;
        for (int64_t k = std::max<int64_t>(centre - 1, 1); k <= std::min(centre + 1, n - 2); ++k)
            if (P(s, k) > P(s, best)) best = k;
        if (taken[static_cast<size_t>(best)]) continue;
        const ToneLobe lobe = ToneAt(s, static_cast<uint32_t>(best));
        double sum = 0.0;
        for (uint32_t k = lobe.lo; k <= lobe.hi; ++k)
            if (!taken[k]) sum += std::max(0.0, P(s, k));
        // what noise lies under the harmonic is the floor's, not the harmonic's
        sum -= floor * (lobe.hi - lobe.lo + 1);
        a.harmonics += std::max(0.0, sum) * s.SummedPowerFactor();
        take(lobe);
    }

    double rest = 0.0;
    int64_t restCount = 0, filled = 0;
    for (int64_t k = band.first; k <= band.last; ++k) {
        if (taken[static_cast<size_t>(k)]) {
            ++filled;
        } else {
            rest += std::max(0.0, P(s, k));
            ++restCount;
        }
    }
    // Bins under a tone hold noise too: they get the mean of the bins that hold noise alone.
    const double mean = restCount ? rest / static_cast<double>(restCount) : 0.0;
    a.noise = (rest + mean * static_cast<double>(filled)) * s.SummedPowerFactor();
    a.noiseAndDistortion = a.noise + a.harmonics;
    return a;
}

double ThdOf(const ToneAnalysis& a) {
    if (!(a.tone > 0.0) || !(a.harmonics > 0.0)) return 0.0;
    return 100.0 * std::sqrt(a.harmonics / a.tone);
}
double ThdnOf(const ToneAnalysis& a) {
    if (!(a.tone > 0.0) || !(a.noiseAndDistortion > 0.0)) return 0.0;
    return 100.0 * std::sqrt(a.noiseAndDistortion / a.tone);
}
double SnrOf(const ToneAnalysis& a) { return a.tone > 0.0 ? PowerToDb(a.tone) - PowerToDb(a.noise) : 0.0; }
double SinadOf(const ToneAnalysis& a) { return a.tone > 0.0 ? PowerToDb(a.tone) - PowerToDb(a.noiseAndDistortion) : 0.0; }

double MeasureTHD(const TSpectralData& s, const MeasurementContext& c) { return ThdOf(AnalyseTone(s, c)); }
double MeasureTHDN(const TSpectralData& s, const MeasurementContext& c) { return ThdnOf(AnalyseTone(s, c)); }
double MeasureSNR(const TSpectralData& s, const MeasurementContext& c) { return SnrOf(AnalyseTone(s, c)); }
double MeasureSINAD(const TSpectralData& s, const MeasurementContext& c) { return SinadOf(AnalyseTone(s, c)); }

double MeasureIMD(const TSpectralData& s) {
    const int64_t n = s.Bins();
    const PeakResult high = FindPeak(s, MeasureFreqToBin(s, 1000.0), n - 1, 0);
    if (!high.found) return 0.0;
    const double f2 = high.frequency;
    const ToneLobe carrier = ToneAt(s, high.bin);
    const int64_t b2 = high.bin;
    double sum = 0.0;
    const auto sidebands = [&](int64_t lo, int64_t hi) {
        for (const PeakResult& r : FindPeaks(s, lo, hi, kMaxPeakPasses))
            if (r.found && (r.bin < carrier.lo || r.bin > carrier.hi)) sum += ToneAt(s, r.bin).power;
    };
    sidebands(b2 + 4, MeasureFreqToBin(s, f2 + 200.0));
    sidebands(MeasureFreqToBin(s, f2 - 200.0), b2 - 4);
    if (!(sum > 0.0) || !(carrier.power > 0.0)) return 0.0;
    return 100.0 * std::sqrt(sum / carrier.power);
}

SfdrResult MeasureSFDR(const TSpectralData& s) {
    const int64_t n = s.Bins();
    const uint32_t b0 = s.Averager().PeakBin();
    if (!s.AveragePower() || n < 8) return {};
    // The fundamental with the skirt its window leaks is no spur.
    ToneLobe fundamental = ToneAt(s, b0);
    WidenOverSkirt(s, fundamental, NoiseFloor(s, BandBins{4, n - 2}));
    double spur = -999999.9;
    uint32_t spurBin = 0;
    for (int64_t k = 4; k <= n - 1; ++k) {
        if (k >= fundamental.lo && k <= fundamental.hi) continue;
        if (P(s, k) > spur) {
            spur = P(s, k);
            spurBin = static_cast<uint32_t>(k);
        }
    }
    const double spurPower = spur > 0.0 ? ToneAt(s, spurBin).power : spur;
    return {PowerToDb(fundamental.power) - PowerToDb(spurPower), spurBin};
}

double MeasureNoiseFigure(const TSpectralData* left, const TSpectralData* right, const MeasurementContext& context) {
    if (!left || !right) return 0.0;
    const int polarity = context.noiseFigurePolarity;
    const double l = MeasureSNR(*left, context), r = MeasureSNR(*right, context);
    return polarity == 6 ? l - r : r - l;
}

double MeasurePeakFrequency(const TSpectralData& s) {
    if (!InBands(s)) return MeasureBinToFreq(s, s.Averager().PeakBin());
    const float* v = s.BandAxis().Values();
    if (s.Error() || !v) return 0.0;
    const uint32_t best = static_cast<uint32_t>(std::max_element(v, v + s.BandAxis().Count()) - v);
    return s.BandAxis().Records()[best].centre;
}

double MeasurePeakAmplitude(const TSpectralData& s, const MeasurementContext& context) {
    if (!InBands(s)) return BinAmplitude(s, s.Averager().PeakBin(), context);
    const float* v = s.BandAxis().Values();
    if (s.Error() || !v) return 0.0;
    return SpectralDisplayValue(s, static_cast<uint32_t>(std::max_element(v, v + s.BandAxis().Count()) - v));
}

double MeasureTotalPower(const TSpectralData& s, const MeasurementContext& context) {
    return MeasureBandPower(s, kBandDisplayed, context);
}

double MeasureBandPower(const TSpectralData& s, int mode, const MeasurementContext& context) {
    const double fl = MeasureBinToFreq(s, 2);
    const double fu = 0.99 * s.Nyquist();
    const bool logarithmic = s.AmpScale() == AmplitudeScale::Decibels;
    if (InBands(s))
        return BandPower(s, MeasureFreqToBand(s, fl), MeasureFreqToBand(s, fu), logarithmic, mode, context);
    return BandPower(s, MeasureFreqToBin(s, fl), MeasureFreqToBin(s, fu), logarithmic, mode, context);
}

double Measure(MeasurementCode code, const TSpectralData& s, const MeasurementContext& context) {
    if (s.Error()) return 0.0;
    switch (code) {
        case kMeasureTHD: return MeasureTHD(s, context);
        case kMeasureTHDN: return MeasureTHDN(s, context);
        case kMeasureIMD: return MeasureIMD(s);
        case kMeasureSNR: return MeasureSNR(s, context);
        case kMeasureSINAD: return MeasureSINAD(s, context);
        case kMeasureSFDR: return MeasureSFDR(s).db;
        case kMeasureNoiseFigure: return 0.0;
        case kMeasurePeakFrequency: return MeasurePeakFrequency(s);
        case kMeasurePeakAmplitude: return MeasurePeakAmplitude(s, context);
        case kMeasureTotalPower: return MeasureTotalPower(s, context);
    }
    return 0.0;
}

MeasuredSpectrums SpectrumsToMeasure(const ChannelSpectrums& sp, ChannelProcessingMode mode, bool stereo) {
    if (!stereo) return {sp.left, nullptr};
    switch (mode) {
        case ChannelProcessingMode::Left: return {sp.left, nullptr};
        case ChannelProcessingMode::Right: return {sp.right, nullptr};
        // Both channels, and the transfer-and-coherence modes, whose channel auto-spectrums
        // are averaged alongside.
        case ChannelProcessingMode::Both:
        case ChannelProcessingMode::TransferCoherenceLR:
        case ChannelProcessingMode::TransferCoherenceRL: return {sp.left, sp.right};
        default: return {sp.result1, nullptr};
    }
}

const char* MeasurementName(MeasurementCode code) {
    static const char* const kNames[kMeasurementCount] = {
        "THD", "THD+N", "IMD", "SNR", "SINAD", "SFDR", "NF", "Peak Frequency", "Peak Amplitude", "Total Power"};
    return code >= 0 && code < kMeasurementCount ? kNames[code] : "";
}

std::string MeasurementUnit(MeasurementCode code, const TSpectralData& s, uint32_t standardWeighting) {
    std::string unit;
    switch (code) {
        case kMeasureTHD:
        case kMeasureTHDN:
        case kMeasureIMD: return "%";
        case kMeasureNoiseFigure: return "dB";
        case kMeasurePeakFrequency: return "Hz";
        case kMeasureSNR:
        case kMeasureSINAD:
        case kMeasureSFDR: unit = "dB"; break;
        case kMeasurePeakAmplitude:
        case kMeasureTotalPower:
            if (s.Scale().Calibrated())
                unit = s.AmpScale() == AmplitudeScale::Decibels ? SpectralLogLabel(s) : SpectralLinearLabel(s);
            else
                unit = s.AmpScale() == AmplitudeScale::Decibels ? "dB" : "%";
            break;
    }
    static const char* const kSuffix[] = {"", " A", " B", " C"};
    if (standardWeighting <= 3) unit += kSuffix[standardWeighting];
    return unit;
}

std::string FormatMeasurementValue(MeasurementCode code, double value) {
    const char* format = "%3.2f";
    switch (code) {
        case kMeasureTHD:
        case kMeasureTHDN: format = "%3.5f"; break;
        case kMeasureIMD: format = "%3.4f"; break;
        case kMeasureSNR:
        case kMeasureSINAD:
        case kMeasureSFDR:
        case kMeasureNoiseFigure: format = "%3.3f"; break;
        default: break;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, std::isfinite(value) ? value : 0.0);
    return buffer;
}

TMeasurementReadouts::TMeasurementReadouts() { enabled_.fill(true); }

void TMeasurementReadouts::SetEnabled(MeasurementCode code, bool enabled) {
    if (code >= 0 && code < kMeasurementCount) enabled_[code] = enabled;
}

bool TMeasurementReadouts::Enabled(MeasurementCode code) const {
    return code >= 0 && code < kMeasurementCount && enabled_[code];
}

void TMeasurementReadouts::Reset() { readouts_.fill(Readout{}); }

void TMeasurementReadouts::Update(const ChannelSpectrums& spectrums, ChannelProcessingMode mode, bool stereo) {
    const MeasuredSpectrums m = SpectrumsToMeasure(spectrums, mode, stereo);
    const auto usable = [](const TSpectralData* s) { return s && !s->Error() && s->Averager().Averaged() > 0; };
    // THD, THD+N, SNR and SINAD share one analysis per signal
    std::optional<ToneAnalysis> tones[2];
    const auto value = [&](MeasurementCode code, const TSpectralData& s, int channel) {
        if (code != kMeasureTHD && code != kMeasureTHDN && code != kMeasureSNR && code != kMeasureSINAD)
            return Measure(code, s, context_);
        if (!tones[channel]) tones[channel] = AnalyseTone(s, context_);
        const ToneAnalysis& a = *tones[channel];
        switch (code) {
            case kMeasureTHD: return ThdOf(a);
            case kMeasureTHDN: return ThdnOf(a);
            case kMeasureSNR: return SnrOf(a);
            default: return SinadOf(a);
        }
    };
    const auto interpolated = [](const TSpectralData& s) {
        return InBands(s) ? MeasurePeakFrequency(s) : InterpolatedFrequency(s, s.Averager().PeakBin());
    };
    for (int i = 0; i < kMeasurementCount; ++i) {
        if (!enabled_[i]) continue;
        const auto code = static_cast<MeasurementCode>(i);
        Readout r;
        if (code == kMeasureNoiseFigure) {
            // one value from the two channel spectrums
            if (!usable(spectrums.left) || !usable(spectrums.right) || !stereo) continue;
            r.leftValue = MeasureNoiseFigure(spectrums.left, spectrums.right, context_);
            r.unit = "dB";
        } else {
            if (!usable(m.first)) continue;
            r.leftValue = value(code, *m.first, 0);
            r.unit = MeasurementUnit(code, *m.first, weighting_);
            if (code == kMeasurePeakFrequency) r.leftInterpolated = interpolated(*m.first);
            if (usable(m.second)) {
                r.twoChannels = true;
                r.rightValue = value(code, *m.second, 1);
                if (code == kMeasurePeakFrequency) r.rightInterpolated = interpolated(*m.second);
            }
        }
        r.measured = true;
        r.left = FormatMeasurementValue(code, r.leftValue) + " " + r.unit;
        r.right = r.twoChannels ? FormatMeasurementValue(code, r.rightValue) + " " + r.unit : std::string("0.0");
        readouts_[i] = r;
    }
}

bool ParseMeasurementList(const std::string& list, std::vector<MeasurementCode>& codes, std::string& error) {
    static const char* const kKeys[kMeasurementCount] = {"thd", "thdn", "imd",      "snr",     "sinad",
                                                         "sfdr", "nf",  "peakfreq", "peakamp", "power"};
    codes.clear();
    error.clear();
    std::string item;
    const auto add = [&](MeasurementCode c) {
        if (std::find(codes.begin(), codes.end(), c) == codes.end()) codes.push_back(c);
    };
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        item = list.substr(start, comma - start);
        start = comma + 1;
        std::string key;
        for (unsigned char ch : item)
            if (!std::isspace(ch)) key += static_cast<char>(std::tolower(ch));
        if (key.empty()) continue;
        if (key == "all") {
            for (int i = 0; i < kMeasurementCount; ++i) add(static_cast<MeasurementCode>(i));
            continue;
        }
        const auto* hit = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const char* k) { return key == k; });
        if (hit == std::end(kKeys)) {
            error = "unknown measurement \"" + item +
                    "\" (choose from thd, thdn, imd, snr, sinad, sfdr, nf, peakfreq, peakamp, power or all)";
            codes.clear();
            return false;
        }
        add(static_cast<MeasurementCode>(hit - std::begin(kKeys)));
    }
    if (codes.empty()) {
        error = "--measure needs at least one measurement";
        return false;
    }
    return true;
}

std::string FormatMeasurementLine(MeasurementCode code, const Readout& readout) {
    std::string line = MeasurementName(code);
    line += '\t';
    line += FormatMeasurementValue(code, readout.leftValue);
    if (readout.twoChannels) {
        line += '\t';
        line += FormatMeasurementValue(code, readout.rightValue);
    }
    line += '\t';
    line += readout.unit.empty() ? std::string("-") : readout.unit;
    if (code == kMeasurePeakFrequency) {
        char value[64];
        std::snprintf(value, sizeof value, "\n%s (interpolated)\t%.3f", MeasurementName(code), readout.leftInterpolated);
        line += value;
        if (readout.twoChannels) {
            std::snprintf(value, sizeof value, "\t%.3f", readout.rightInterpolated);
            line += value;
        }
        line += "\tHz";
    }
    return line;
}

}  // namespace zeltrak
