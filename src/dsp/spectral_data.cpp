#include "dsp/spectral_data.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "dsp/fft.h"

namespace zeltrak {

namespace {

constexpr double kDegreesPerRadian = 57.2957795056;

bool ValidFFTSize(uint32_t n) { return n >= 2 && n <= kMaxFFTSize && (n & (n - 1)) == 0; }

double Phase(double re, double im) { return (re == 0.0 && im == 0.0) ? 0.0 : std::atan2(im, re); }

}  // namespace

TSpectralData::TSpectralData(const SpectralSettings& settings, const SpectralScaling& scaling, int channel)
    : channel_(channel) {
    TakeSettings(settings, scaling);
    // A size of 0 (or one the transform cannot take) comes from the caller, not the user:
    // the object is simply unusable.
    if (!ValidFFTSize(fftSize_)) {
        status_ = SpectralStatus::InvalidSize;
        return;
    }
    if (!AllocateParts(scaling)) return;
    if (!SetAverage(settings.averageBlocks, settings.averageType)) return;
    ResetAverage();
}

void TSpectralData::TakeSettings(const SpectralSettings& settings, const SpectralScaling& scaling) {
    fftSize_ = settings.fftSize;
    bins_ = fftSize_ / 2;
    ampScale_ = scaling.amplitudeScale;
    freqScale_ = scaling.frequencyScale;
    octave_ = scaling.octaveNumber;
    density_ = scaling.spectralDensity;
    densityUnits_ = scaling.densityUnits;
    coherenceSquared_ = scaling.coherenceSquared;
    windowType_ = settings.smoothingWindow;
    peakHold_ = settings.peakHold;
    const double range = (static_cast<double>(settings.format.maxValue) - settings.format.minValue) * 0.5;
    halfRange_ = range > 0.0 ? static_cast<float>(range) : 1.0f;
    const double decimation = settings.decimationRatio ? settings.decimationRatio : 1;
    nyquist_ = static_cast<float>(settings.format.rate * static_cast<double>(settings.samplingRateCorrection) *
                                  0.5 / decimation);
    binWidth_ = bins_ ? nyquist_ / static_cast<float>(bins_) : 0.0f;
    if (settings.windowCorrection == WindowCorrection::Amplitude && ValidFFTSize(fftSize_))
        binNoiseBandwidth_ = WindowNoiseBandwidth(windowType_, fftSize_);
    // PSD is a per-hertz view of bins: the power of a bin over the bandwidth its noise comes
    // from. Band sums are powers and take no such factor.
    if (density_ && !InBands() && binWidth_ > 0.0f)
        psdFactor_ = static_cast<float>(std::sqrt(binWidth_ * binNoiseBandwidth_));
}

bool TSpectralData::AllocateParts(const SpectralScaling& scaling) {
    current_ = AllocateSpectral<float>(fftSize_);
    // on a band axis the bands hold their peaks instead of the bins
    const bool allocated = current_ && average_.Allocate(bins_, InDecibels(), peakHold_ && !InBands()) &&
                           scale_.Init(Axis(), fftSize_, halfRange_, psdFactor_);
    if (!allocated || !PrepareRealFFT(fftSize_)) return Fail(SpectralStatus::OutOfMemory);
    if (InBands() && !bands_.Build(octave_, Axis())) return Fail(SpectralStatus::OutOfMemory);
    return SetWeighting(scaling.standardWeighting);
}

bool TSpectralData::Fail(SpectralStatus status) {
    status_ = status;
    return false;
}

void TSpectralData::SetCalibration(const CalibrationRecord* record, int channel) {
    if (!Error()) scale_.SetCalibration(record, channel);
}

bool TSpectralData::SetWeighting(uint32_t standardWeighting) {
    if (Error()) return false;
    return scale_.SetWeighting(standardWeighting) || Fail(SpectralStatus::OutOfMemory);
}

bool TSpectralData::SetCompensation(const std::vector<CurvePoint>& points) {
    if (Error()) return false;
    return scale_.SetCompensation(points) || Fail(SpectralStatus::OutOfMemory);
}

void TSpectralData::SetInput(uint32_t i, float value) {
    if (Error() || i >= fftSize_) return;
    current_[i] = value;
}

namespace {

// Every complex bin times its factor; bin 0 carries DC and Nyquist, and both take the scale of
// bin 0. The arrays never overlap and a size_t index cannot wrap; both let the loop vectorise.
void ScaleBins(float* __restrict x, const float* __restrict scale, uint32_t bins) {
    for (size_t k = 0; k < bins; ++k) {
        x[2 * k] *= scale[k];
        x[2 * k + 1] *= scale[k];
    }
}

}  // namespace

bool TSpectralData::Transform() {
    if (Error()) return false;
    float* x = current_.get();
    if (!RealFFT(x, fftSize_, 1)) return false;
    ScaleBins(x, scale_.Factors(), bins_);
    return true;
}

bool TSpectralData::SetAverage(uint32_t blocks, AveragingType type) {
    if (Error()) return false;
    return average_.SetAverage(blocks, type) || Fail(SpectralStatus::LinearHistoryOutOfMemory);
}

void TSpectralData::ResetAverage() {
    if (Error()) return;
    std::fill(current_.get(), current_.get() + fftSize_, 0.0f);
    average_.Reset();
    bands_.Reset();
}

void TSpectralData::Average(bool bandsAsMean) {
    if (Error()) return;
    average_.Add(current_.get(), crossFlag_);
    if (InBands()) UpdateBandValues(bandsAsMean);
}

void TSpectralData::MergeAverage(const TSpectralData& other) {
    if (Error() || !SameSize(other)) return;
    average_.Merge(other.average_);
    if (InBands()) UpdateBandValues(false);
}

void TSpectralData::SetHolds(bool cross, bool real, bool complex, bool coherence) {
    crossFlag_ = cross;
    realTransferDone_ = real;
    complexTransferDone_ = complex;
    coherenceDone_ = coherence;
}

void TSpectralData::FinishRatio() {
    average_.RefreshDb();
    if (InBands()) UpdateBandValues(true);
}

bool TSpectralData::SetBandBins(const std::vector<TBandBins>& bands) {
    if (Error()) return false;
    return bands_.SetBins(bands) || Fail(SpectralStatus::OutOfMemory);
}

void TSpectralData::UpdateBandValues(bool asMean) {
    if (!Error()) bands_.Update(std::as_const(average_).Power(), bins_, asMean, peakHold_);
}

double TSpectralData::PhaseDegrees(uint32_t i) const {
    if (Error() || i >= bins_) return 0.0;
    const float* c = average_.Complex();
    return Phase(c[2 * i], c[2 * i + 1]) * kDegreesPerRadian;
}

}  // namespace zeltrak
