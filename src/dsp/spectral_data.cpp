// The decibel and averaging passes are plain loops over arrays; let them vectorise.
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")

#include "dsp/spectral_data.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/numeric.h"
#include "base/strings.h"
#include "dsp/fft.h"
#include "dsp/octave_bands.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_strings.h"
#include "dsp/weighting.h"

namespace zeltrak {

namespace {

constexpr double kDegreesPerRadian = 57.2957795056;
constexpr double kPi = 3.14159265358979323846;
constexpr float kNoDb = static_cast<float>(kNoDecibels);

std::atomic<SpectralAllocationGate> gAllocationGate{nullptr};

bool ValidFFTSize(uint32_t n) { return n >= 2 && n <= kMaxFFTSize && (n & (n - 1)) == 0; }

double Power(double re, double im) { return re * re + im * im; }

double Phase(double re, double im) { return (re == 0.0 && im == 0.0) ? 0.0 : std::atan2(im, re); }

float Db10(double power) { return static_cast<float>(PowerToDb(power)); }

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

// out[i] = 10·log10(p[i]) for n values, -999.9 where not positive.
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

}  // namespace

float PowerToDbFast(float power) {
    return IsNormalPositive(power) ? NormalPowerToDb(power) : static_cast<float>(PowerToDb(power));
}

void SetSpectralAllocationGate(SpectralAllocationGate gate) { gAllocationGate.store(gate); }

template <class T>
TSpectralData::Buffer<T> TSpectralData::Allocate(size_t count) {
    if (count == 0 || count > std::numeric_limits<size_t>::max() / sizeof(T)) return nullptr;
    const SpectralAllocationGate gate = gAllocationGate.load();
    if (gate && !gate(count * sizeof(T))) return nullptr;
    // calloc: zero pages come from the system untouched, and the all-zero bit pattern is 0.0
    return Buffer<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}

TSpectralData::TSpectralData(const SpectralSettings& settings, const SpectralScaling& scaling, int channel)
    : channel_(channel) {
    fftSize_ = settings.fftSize;
    bins_ = fftSize_ / 2;
    ampScale_ = scaling.amplitudeScale;
    freqScale_ = scaling.frequencyScale;
    octave_ = scaling.octaveNumber;
    psdFlag_ = scaling.spectralDensityFlag;
    psdType_ = scaling.spectralDensityType;
    coherenceSquared_ = scaling.coherenceSquared;
    windowType_ = settings.smoothingWindow;
    peakHold_ = settings.peakHold;
    const double range = (static_cast<double>(settings.format.maxValue) - settings.format.minValue) * 0.5;
    halfRange_ = range > 0.0 ? static_cast<float>(range) : 1.0f;
    const double decimation = settings.decimationRatio ? settings.decimationRatio : 1;
    nyquist_ = static_cast<float>(settings.format.rate * static_cast<double>(settings.samplingRateCorrection) *
                                  0.5 / decimation);
    binWidth_ = bins_ ? nyquist_ / static_cast<float>(bins_) : 0.0f;
    if (settings.windowCorrection == kCorrectionAmplitude && ValidFFTSize(fftSize_))
        binNoiseBandwidth_ = WindowNoiseBandwidth(static_cast<uint16_t>(windowType_), fftSize_);
    // PSD is a per-hertz view of bins: the power of a bin over the bandwidth its noise comes
    // from. Band sums are powers and take no such factor.
    if (psdFlag_ && !InBands() && binWidth_ > 0.0f)
        psdFactor_ = static_cast<float>(std::sqrt(binWidth_ * binNoiseBandwidth_));

    // A size of 0 (or one the transform cannot take) comes from the caller, not the user:
    // the object is simply unusable.
    if (!ValidFFTSize(fftSize_)) {
        status_ = SpectralStatus::InvalidSize;
        return;
    }
    current_ = Allocate<float>(fftSize_);
    averageComplex_ = Allocate<float>(fftSize_);
    averagePower_ = Allocate<float>(bins_);
    binScale_ = Allocate<float>(bins_);
    if (InDecibels()) averageDb_ = Allocate<float>(bins_);
    if (!current_ || !averageComplex_ || !averagePower_ || !binScale_ || (InDecibels() && !averageDb_) ||
        !PrepareRealFFT(fftSize_)) {
        MarkOutOfMemory();
        return;
    }
    if (InBands() && !BuildBands()) return;
    if (!SetWeighting(scaling.standardWeighting)) return;
    if (!SetAverage(settings.averageBlocks, settings.averageType)) return;
    ResetAverage();
}

void TSpectralData::MarkOutOfMemory() { status_ = SpectralStatus::OutOfMemory; }

double UnitConversionFactor(int32_t conversionType) {
    constexpr double kFeetPerSecondSquaredPerG = 32.174;
    switch (conversionType) {
        case 1:
        case 4: return kFeetPerSecondSquaredPerG;
        case 2:
        case 5: return 12.0 * kFeetPerSecondSquaredPerG;
        case 3:
        case 6: return 304.8 * kFeetPerSecondSquaredPerG;
        case 7:
        case 8: return 1000.0 * 12.0 * kFeetPerSecondSquaredPerG;
        default: return 1.0;
    }
}

double UnitOffsetDb(int32_t refUnits) {
    switch (refUnits) {
        case 2:
        case 8: return 93.9794;
        case 10:
        case 11: return 120.0;
        case 9: return 170.752;
        case 7: return 2.213966;
        default: return 0.0;
    }
}

double UnitReference(int32_t refUnits) {
    switch (refUnits) {
        case 2:
        case 8: return 20e-6;
        case 10:
        case 11: return 1e-6;
        case 9: return 2.9e-9;
        case 7: return 0.775;
        default: return 1.0;
    }
}

void TSpectralData::ComputeBinScale() {
    if (Error()) return;
    // The packed transform's factor 2 and the N of the sum leave a full-scale sine on a bin
    // at 1.0 before the gain.
    double s = gain_ / (static_cast<double>(fftSize_) * halfRange_) / psdFactor_;
    if (calibrated_) {
        if (calibration_.LabelType == 1)
            s *= 0.7071067811865;
        else if (calibration_.LabelType == 2)
            s *= 2.0;
    }
    const int32_t integration = calibrated_ ? calibration_.IntegrationType : 0;
    constexpr double kTwoPi = 2.0 * 3.141592654;
    for (uint32_t k = 0; k < bins_; ++k) {
        double v = s;
        if (weighting_) v *= weighting_[k];
        if (compensation_) v /= compensation_[k];
        const double f = BinFrequency(k);
        if (f > 0.0001) {
            if (integration == 1)
                v /= kTwoPi * f;
            else if (integration == 2)
                v /= (kTwoPi * f) * (kTwoPi * f);
        }
        // a record holding junk must not turn every later value into NaN or infinity
        binScale_[k] = std::isfinite(v) ? static_cast<float>(v) : 0.0f;
    }
}

void TSpectralData::SetCalibration(const CalibrationRecord* record, int channel) {
    if (Error()) return;
    calibrated_ = record != nullptr && record->IsEnabled != 0;
    gain_ = 1.0f;
    if (calibrated_) {
        calibration_ = *record;
        if (channel == 0 || channel == 1) {
            const double ratio = channel == 0 ? record->CalRatioLeft : record->CalRatioRight;
            const float g = static_cast<float>(ratio * UnitConversionFactor(record->ConversionType));
            gain_ = std::isfinite(g) ? g : 1.0f;
        }
    } else {
        calibration_ = CalibrationRecord{};
    }
    ComputeBinScale();
}

bool TSpectralData::StoreFactors(const std::vector<float>& factors, Buffer<float>& out) {
    out = Allocate<float>(bins_);
    if (!out) {
        MarkOutOfMemory();
        return false;
    }
    std::copy(factors.begin(), factors.end(), out.get());
    return true;
}

bool TSpectralData::SetWeighting(uint32_t standardWeighting) {
    if (Error()) return false;
    weighting_.reset();
    const std::vector<float> factors = WeightingFactorsOnBins(standardWeighting, BinAxis{bins_, binWidth_, nyquist_});
    if (!factors.empty() && !StoreFactors(factors, weighting_)) return false;
    ComputeBinScale();
    return true;
}

bool TSpectralData::SetCompensation(const std::vector<CurvePoint>& points) {
    if (Error()) return false;
    compensation_.reset();
    if (!points.empty() &&
        !StoreFactors(LevelsToFactors(CurveOntoBins(points, BinAxis{bins_, binWidth_, nyquist_})), compensation_))
        return false;
    ComputeBinScale();
    return true;
}

bool TSpectralData::BuildBands() {
    bandRecords_ = BuildOctaveBands(octave_, nyquist_);
    const BinAxis axis{bins_, binWidth_, nyquist_};
    if (!SetBandBins(BandBinsFor(bandRecords_, axis))) {
        bandRecords_.clear();
        return false;
    }
    return true;
}

float TSpectralData::ValueFrequency(uint32_t index) const {
    if (InBands()) return index < bandRecords_.size() ? bandRecords_[index].centre : 0.0f;
    return BinFrequency(index);
}

std::string TSpectralData::LinearLabel() const {
    return calibrated_ ? std::string(calibration_.LabelLinear) : kPercentFullScaleLabel;
}

std::string TSpectralData::LogLabel() const {
    return calibrated_ ? std::string(calibration_.LabelLog) : kRelativeAmplitudeLabel;
}

std::string TSpectralData::ValueLabel() const {
    if (coherenceDone_) return coherenceSquared_ ? kCoherenceSquaredLabel : kCoherenceMagnitudeLabel;
    std::string label = InDecibels() ? LogLabel() : LinearLabel();
    // Power averaging of a cross spectrum averages |X||Y| per frame; only vector averaging
    // keeps the phase that lets uncorrelated parts cancel.
    if (HoldsCrossSpectrum())
        label += averageType_ == kAverageVector ? kCrossVectorSuffix : kCrossPowerSuffix;
    return label;
}

double TSpectralData::GetValue(uint32_t index) const {
    if (Error()) return 0.0;
    const bool ratio = IsRatio();
    const bool unitScale = calibrated_ && !ratio;
    const int32_t units = calibration_.RefUnits;
    double v;
    if (InBands()) {
        if (!bandValues_ || index >= bandBins_.size()) return 0.0;
        const double db = bandValues_[index];
        // the no-value level stays the no-value level: it is no level a unit could shift
        const bool noValue = !(db > kNoDecibels) || !std::isfinite(db);
        if (InDecibels() && !coherenceDone_) return noValue ? kNoDecibels : db + (unitScale ? UnitOffsetDb(units) : 0.0);
        if (noValue) return 0.0;
        if (unitScale)
            v = std::pow(10.0, 0.05 * (db + UnitOffsetDb(units))) * UnitReference(units);
        else
            v = coherenceDone_ ? std::pow(10.0, (coherenceSquared_ ? 0.1 : 0.05) * db)
                               : std::pow(10.0, 0.05 * db) * (calibrated_ ? 1.0 : 100.0);
        return std::isfinite(v) ? v : 0.0;
    }
    if (index >= bins_) return 0.0;
    const double p = averagePower_[index];
    const double root = p > 0.0 ? std::sqrt(p) : 0.0;
    if (coherenceDone_ && coherenceSquared_) return std::isfinite(p) && p > 0.0 ? p : 0.0;
    if (!InDecibels()) {
        v = (psdFlag_ && psdType_ == 0) ? p : root;
        if (!calibrated_ && !coherenceDone_) v *= 100.0;
        return std::isfinite(v) ? v : 0.0;
    }
    if (coherenceDone_) return std::isfinite(root) ? root : 0.0;
    if (!psdFlag_)
        v = averageDb_ ? averageDb_[index] : PowerToDb(p);
    else
        v = psdType_ == 1 ? AmplitudeToDb(root) : PowerToDb(p);
    if (!(v > kNoDecibels) || !std::isfinite(v)) return kNoDecibels;
    return unitScale ? v + UnitOffsetDb(units) : v;
}

void TSpectralData::SetInput(uint32_t i, float value) {
    if (Error() || i >= fftSize_) return;
    current_[i] = value;
}

bool TSpectralData::Transform() {
    if (Error()) return false;
    float* x = current_.get();
    if (!RealFFT(x, fftSize_, 1)) return false;
    const float* scale = binScale_.get();
    // bin 0 carries DC and Nyquist, and both take the scale of bin 0
    for (uint32_t k = 0; k < bins_; ++k) {
        x[2 * k] *= scale[k];
        x[2 * k + 1] *= scale[k];
    }
    return true;
}

bool TSpectralData::SetAverage(uint32_t blocks, uint32_t type) {
    if (Error()) return false;
    historyPower_.reset();
    historyComplex_.reset();
    sumPower_.reset();
    sumComplex_.reset();
    // No blocks would divide by zero; an unknown type averages like the default one.
    blocks_ = blocks ? blocks : 1;
    averageType_ = type <= kAverageVector ? type : kAverageExponential;
    ringIndex_ = 0;
    refreshCursor_ = 0;
    if (averageType_ == kAverageLinear && blocks_ <= kMaxLinearHistoryBlocks) {
        const size_t slots = static_cast<size_t>(blocks_) * bins_;
        historyPower_ = Allocate<float>(slots);
        historyComplex_ = Allocate<float>(2 * slots);
        sumPower_ = Allocate<double>(bins_);
        sumComplex_ = Allocate<double>(2 * static_cast<size_t>(bins_));
        if (!historyPower_ || !historyComplex_ || !sumPower_ || !sumComplex_) {
            historyPower_.reset();
            historyComplex_.reset();
            sumPower_.reset();
            sumComplex_.reset();
            status_ = SpectralStatus::LinearHistoryOutOfMemory;
            return false;
        }
    }
    return true;
}

void TSpectralData::ResetAverage() {
    if (Error()) return;
    averaged_ = 0;
    std::fill(current_.get(), current_.get() + fftSize_, 0.0f);
    std::fill(averageComplex_.get(), averageComplex_.get() + fftSize_, 0.0f);
    std::fill(averagePower_.get(), averagePower_.get() + bins_, 0.0f);
    if (averageDb_) std::fill(averageDb_.get(), averageDb_.get() + bins_, kNoDb);
    if (bandValues_) std::fill(bandValues_.get(), bandValues_.get() + bandBins_.size(), kNoDb);
    if (UsesHistory()) {
        const size_t slots = static_cast<size_t>(blocks_) * bins_;
        std::memset(historyPower_.get(), 0, slots * sizeof(float));
        std::memset(historyComplex_.get(), 0, 2 * slots * sizeof(float));
        std::fill(sumPower_.get(), sumPower_.get() + bins_, 0.0);
        std::fill(sumComplex_.get(), sumComplex_.get() + 2 * static_cast<size_t>(bins_), 0.0);
    }
}

void TSpectralData::StoreBin(uint32_t i, double re, double im, double power) {
    // Peak hold keeps a bin's value from the frame where it was largest; on a band axis the
    // bands hold their peaks instead.
    if (!peakHold_ || InBands() || power > averagePower_[i]) {
        averageComplex_[2 * i] = static_cast<float>(re);
        averageComplex_[2 * i + 1] = static_cast<float>(im);
        averagePower_[i] = static_cast<float>(power);
    }
}

void TSpectralData::Average(bool bandsAsMean) {
    if (Error()) return;
    const uint32_t n = blocks_;
    if (averageType_ == kAverageLinear) {
        if (averaged_ < n) {
            ++averaged_;
            ringIndex_ = averaged_ - 1;
        } else {
            averaged_ = n;
            ringIndex_ = (ringIndex_ + 1) % n;
        }
    } else {
        averaged_ = std::min(averaged_ + 1, n);
    }
    if (UsesHistory())
        AverageHistory();
    else
        AverageRunning();
    FinishAverage();
    if (InBands()) UpdateBandValues(bandsAsMean);
}

namespace {

// One running-average pass over bins [0, n): C = ((k-1)·C + x) / k, and the power likewise or
// (vector) as the power of C; with the cross flag powers become magnitudes. Without peak hold
// every bin is stored, and the loop has no branch.
template <bool kVector, bool kCross, bool kHold>
void RunningPass(const float* cur, float* avgC, float* avgP, uint32_t n, double previous, double invK) {
    for (uint32_t i = 0; i < n; ++i) {
        const double re = cur[2 * i];
        const double im = cur[2 * i + 1];
        const double cRe = (previous * avgC[2 * i] + re) * invK;
        const double cIm = (previous * avgC[2 * i + 1] + im) * invK;
        double p;
        if constexpr (kVector) {
            p = Power(cRe, cIm);
        } else {
            double v = Power(re, im);
            if constexpr (kCross) v = std::sqrt(v);
            p = (previous * avgP[i] + v) * invK;
        }
        if constexpr (kVector && kCross) p = std::sqrt(p);
        if constexpr (kHold) {
            if (!(p > avgP[i])) continue;
        }
        avgC[2 * i] = static_cast<float>(cRe);
        avgC[2 * i + 1] = static_cast<float>(cIm);
        avgP[i] = static_cast<float>(p);
    }
}

template <bool kVector, bool kCross>
void RunningPass(bool hold, const float* cur, float* avgC, float* avgP, uint32_t n, double previous, double invK) {
    if (hold)
        RunningPass<kVector, kCross, true>(cur, avgC, avgP, n, previous, invK);
    else
        RunningPass<kVector, kCross, false>(cur, avgC, avgP, n, previous, invK);
}

}  // namespace

void TSpectralData::AverageRunning() {
    const double previous = averaged_ - 1.0;
    const double invK = 1.0 / averaged_;
    const bool hold = peakHold_ && !InBands();
    const float* cur = current_.get();
    float* avgC = averageComplex_.get();
    float* avgP = averagePower_.get();
    // the last bin is never averaged
    const uint32_t n = bins_ - 1;
    if (averageType_ == kAverageVector) {
        if (crossFlag_)
            RunningPass<true, true>(hold, cur, avgC, avgP, n, previous, invK);
        else
            RunningPass<true, false>(hold, cur, avgC, avgP, n, previous, invK);
    } else {
        if (crossFlag_)
            RunningPass<false, true>(hold, cur, avgC, avgP, n, previous, invK);
        else
            RunningPass<false, false>(hold, cur, avgC, avgP, n, previous, invK);
    }
}

void TSpectralData::FinishAverage() {
    const float* p = averagePower_.get();
    if (bins_ > kFirstPeakBin + 1) {
        uint32_t peak = kFirstPeakBin;
        for (uint32_t i = kFirstPeakBin + 1; i + 1 < bins_; ++i)
            if (p[i] > p[peak]) peak = i;
        peakBin_ = peak;
    }
    if (averageDb_) PowerToDbArray(p, averageDb_.get(), bins_ - 1);
}

void TSpectralData::RefreshHistorySums() {
    // One slice of bins per frame is summed afresh over all slots, so every bin's running sum
    // is exact again once per N frames, and the cost per frame stays one pass over the bins.
    const uint32_t averagedBins = bins_ - 1;
    if (averagedBins == 0) return;
    const uint32_t slice = (averagedBins + blocks_ - 1) / blocks_;
    const uint32_t begin = refreshCursor_;
    const uint32_t end = std::min(averagedBins, begin + slice);
    for (uint32_t i = begin; i < end; ++i) {
        sumPower_[i] = 0.0;
        sumComplex_[2 * i] = 0.0;
        sumComplex_[2 * i + 1] = 0.0;
    }
    for (uint32_t s = 0; s < blocks_; ++s) {
        const float* hp = historyPower_.get() + static_cast<size_t>(s) * bins_;
        const float* hc = historyComplex_.get() + 2 * static_cast<size_t>(s) * bins_;
        for (uint32_t i = begin; i < end; ++i) {
            sumPower_[i] += hp[i];
            sumComplex_[2 * i] += hc[2 * i];
            sumComplex_[2 * i + 1] += hc[2 * i + 1];
        }
    }
    refreshCursor_ = end >= averagedBins ? 0 : end;
}

void TSpectralData::AverageHistory() {
    RefreshHistorySums();
    const double invK = 1.0 / averaged_;
    const bool cross = crossFlag_;
    const float* cur = current_.get();
    float* hp = historyPower_.get() + static_cast<size_t>(ringIndex_) * bins_;
    float* hc = historyComplex_.get() + 2 * static_cast<size_t>(ringIndex_) * bins_;
    double* sp = sumPower_.get();
    double* sc = sumComplex_.get();
    for (uint32_t i = 0; i + 1 < bins_; ++i) {
        const float re = cur[2 * i];
        const float im = cur[2 * i + 1];
        double v = Power(re, im);
        if (cross) v = std::sqrt(v);
        // the sums take exactly what the slot keeps, so that overwriting it later cancels
        const float stored = static_cast<float>(v);
        sp[i] += static_cast<double>(stored) - hp[i];
        sc[2 * i] += static_cast<double>(re) - hc[2 * i];
        sc[2 * i + 1] += static_cast<double>(im) - hc[2 * i + 1];
        hp[i] = stored;
        hc[2 * i] = re;
        hc[2 * i + 1] = im;
        StoreBin(i, sc[2 * i] * invK, sc[2 * i + 1] * invK, sp[i] * invK);
    }
}

void TSpectralData::SetHolds(bool cross, bool real, bool complex, bool coherence) {
    crossFlag_ = cross;
    realTransferDone_ = real;
    complexTransferDone_ = complex;
    coherenceDone_ = coherence;
}

bool TSpectralData::AverageChannels(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || a.Error() || b.Error() || a.bins_ != bins_ || b.bins_ != bins_) return false;
    const float* x = a.current_.get();
    const float* y = b.current_.get();
    float* out = current_.get();
    for (uint32_t i = 0; i < bins_; ++i) {
        const double aRe = x[2 * i], aIm = x[2 * i + 1];
        const double bRe = y[2 * i], bIm = y[2 * i + 1];
        const double meanPower = (Power(aRe, aIm) + Power(bRe, bIm)) / 2.0;
        const double m = meanPower > 0.0 ? std::sqrt(meanPower) : 0.0;
        // The mean of the two phases along the shorter arc: halving their plain sum would put
        // the mean of +179 and -179 degrees at 0 instead of 180.
        const double pa = Phase(aRe, aIm);
        const double phi = pa + std::remainder(Phase(bRe, bIm) - pa, 2.0 * kPi) / 2.0;
        out[2 * i] = static_cast<float>(m * std::cos(phi));
        out[2 * i + 1] = static_cast<float>(m * std::sin(phi));
    }
    SetHolds(false, false, false, false);
    return true;
}

bool TSpectralData::CrossSpectrum(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || a.Error() || b.Error() || a.bins_ != bins_ || b.bins_ != bins_) return false;
    const float* x = a.current_.get();
    const float* y = b.current_.get();
    float* out = current_.get();
    for (uint32_t i = 0; i < bins_; ++i) {
        const double aRe = x[2 * i], aIm = x[2 * i + 1];
        const double bRe = y[2 * i], bIm = y[2 * i + 1];
        out[2 * i] = static_cast<float>(aRe * bRe + aIm * bIm);
        out[2 * i + 1] = static_cast<float>(aIm * bRe - aRe * bIm);
    }
    SetHolds(true, false, false, false);
    return true;
}

bool TSpectralData::RealTransfer(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || a.Error() || b.Error() || a.bins_ != bins_ || b.bins_ != bins_) return false;
    const float* pa = a.averagePower_.get();
    const float* pb = b.averagePower_.get();
    for (uint32_t i = 0; i < bins_; ++i) {
        if (!(pb[i] > 0.0f)) continue;
        averagePower_[i] = static_cast<float>(static_cast<double>(pa[i]) / pb[i]);
    }
    if (averageDb_) PowerToDbArray(averagePower_.get(), averageDb_.get(), bins_);
    SetHolds(crossFlag_, true, false, false);
    if (InBands()) UpdateBandValues(true);
    return true;
}

bool TSpectralData::ComplexTransfer(const TSpectralData& reference) {
    if (Error() || reference.Error() || reference.bins_ != bins_) return false;
    const float* pr = reference.averagePower_.get();
    for (uint32_t i = 0; i < bins_; ++i) {
        if (!(pr[i] > 0.0f)) continue;
        const double hRe = averageComplex_[2 * i] / static_cast<double>(pr[i]);
        const double hIm = averageComplex_[2 * i + 1] / static_cast<double>(pr[i]);
        const double v = Power(hRe, hIm);
        if (!peakHold_ || v >= averagePower_[i]) averagePower_[i] = static_cast<float>(v);
    }
    if (averageDb_) PowerToDbArray(averagePower_.get(), averageDb_.get(), bins_);
    SetHolds(crossFlag_, false, true, false);
    if (InBands()) UpdateBandValues(true);
    return true;
}

bool TSpectralData::Coherence(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || a.Error() || b.Error() || a.bins_ != bins_ || b.bins_ != bins_) return false;
    const float* pa = a.averagePower_.get();
    const float* pb = b.averagePower_.get();
    double previous = 0.0;
    for (uint32_t i = 0; i < bins_; ++i) {
        // the product in double: two small powers must not underflow to a false zero
        const double denominator = static_cast<double>(pa[i]) * pb[i];
        const double g = denominator != 0.0
                             ? Power(averageComplex_[2 * i], averageComplex_[2 * i + 1]) / denominator
                             : previous;
        previous = g;
        if (!peakHold_ || g >= averagePower_[i]) averagePower_[i] = static_cast<float>(g);
    }
    if (averageDb_) PowerToDbArray(averagePower_.get(), averageDb_.get(), bins_);
    SetHolds(crossFlag_, false, false, true);
    if (InBands()) UpdateBandValues(true);
    return true;
}

bool TSpectralData::SetBandBins(const std::vector<TBandBins>& bands) {
    if (Error()) return false;
    bandValues_.reset();
    bandBins_.clear();
    if (bands.empty()) return true;
    bandValues_ = Allocate<float>(bands.size());
    if (!bandValues_) {
        MarkOutOfMemory();
        return false;
    }
    bandBins_ = bands;
    std::fill(bandValues_.get(), bandValues_.get() + bands.size(), kNoDb);
    return true;
}

void TSpectralData::UpdateBandValues(bool asMean) {
    if (Error() || !bandValues_ || bins_ == 0) return;
    const float* p = averagePower_.get();
    for (size_t b = 0; b < bandBins_.size(); ++b) {
        const TBandBins& band = bandBins_[b];
        const uint32_t lo = std::min(band.lowBin, bins_ - 1);
        const uint32_t hi = std::min(band.highBin, bins_ - 1);
        if (lo > hi) continue;
        double sum;
        if (lo == hi) {
            // A band inside one bin covers lowFraction + highFraction - 1 of it; adding both
            // edge fractions would count the bin twice. Its mean is the bin itself.
            const double inside = std::max(0.0, static_cast<double>(band.lowFraction) + band.highFraction - 1.0);
            sum = asMean ? p[lo] : p[lo] * inside;
        } else {
            sum = static_cast<double>(p[lo]) * band.lowFraction + static_cast<double>(p[hi]) * band.highFraction;
            for (uint32_t i = lo + 1; i < hi; ++i) sum += p[i];
            const double width = (hi - lo - 1) + static_cast<double>(band.lowFraction) + band.highFraction;
            if (asMean) sum /= (width != 0.0 ? width : 1.0);
        }
        const float value = Db10(sum);
        if (!peakHold_ || value > bandValues_[b]) bandValues_[b] = value;
    }
}

float TSpectralData::BinFrequency(uint32_t i) const {
    return i >= bins_ ? nyquist_ : static_cast<float>(i) * binWidth_;
}

double TSpectralData::PhaseDegrees(uint32_t i) const {
    if (Error() || i >= bins_) return 0.0;
    return Phase(averageComplex_[2 * i], averageComplex_[2 * i + 1]) * kDegreesPerRadian;
}

}  // namespace zeltrak
