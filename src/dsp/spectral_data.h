#pragma once
#include <cstdint>
#include <vector>

#include "base/sample_format.h"
#include "dsp/averaging_types.h"
#include "dsp/band_axis.h"
#include "dsp/bin_scale.h"
#include "dsp/calibration_units.h"
#include "dsp/power_db.h"
#include "dsp/scales.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_buffer.h"
#include "dsp/spectrum_averager.h"
#include "dsp/spline.h"
#include "files/calibration_record.h"

namespace zeltrak {

// The analysis values a spectral object is built from (the engine copies them out of its
// processing block; dsp does not know the settings record).
struct SpectralSettings {
    SampleFormat format;
    uint32_t fftSize = 4096;
    uint16_t decimationRatio = 1;
    float samplingRateCorrection = 1.0f;
    uint32_t averageBlocks = 1;
    AveragingType averageType = AveragingType::Exponential;
    bool peakHold = false;
    WindowType smoothingWindow = WindowType::Hanning;
    // The correction of the window the frames are multiplied with (amplitude or energy):
    // densities and summed powers need to know how much noise a bin holds.
    WindowCorrection windowCorrection = WindowCorrection::Amplitude;
};

// The scaling values a spectral object is built from.
struct SpectralScaling {
    AmplitudeScale amplitudeScale = AmplitudeScale::Decibels;
    FrequencyScale frequencyScale = FrequencyScale::Logarithmic;
    uint32_t octaveNumber = 3;
    bool spectralDensity = false;  // values per hertz instead of per bin
    DensityUnits densityUnits = DensityUnits::SquaredPerHertz;
    uint32_t standardWeighting = 0;    // 0 none, 1 A, 2 B, 3 C
    bool coherenceSquared = false;     // coherence shown as γ² instead of |γ|
};

// Why a spectral object is unusable. The object only records it; whoever built or configured
// the object decides what the user is told.
enum class SpectralStatus : uint8_t {
    Ok,
    InvalidSize,               // a transform size the caller should never have asked for
    OutOfMemory,
    LinearHistoryOutOfMemory,  // the per-block history of a linear average did not fit
};

// The spectrum of one signal: the FFT of the current frame and the two-channel operations on
// it, composed with its average (TSpectrumAverager), the per-bin scale (TBinScale) and the
// fractional-octave bands (TBandAxis); what is shown of it comes from spectral_display.
//
// Complex arrays are interleaved (re, im). Bin 0 of `current` and `averageComplex` holds DC as
// its real and Nyquist as its imaginary part, as the packed real FFT leaves them.
// A failed allocation leaves Error() set and Status() saying why; every operation on such an
// object does nothing.
class TSpectralData {
public:
    // channel: 0 left, 1 right, -1 for a result of two-channel processing.
    TSpectralData(const SpectralSettings& settings, const SpectralScaling& scaling, int channel);
    TSpectralData(const TSpectralData&) = delete;
    TSpectralData& operator=(const TSpectralData&) = delete;

    bool Error() const { return status_ != SpectralStatus::Ok; }
    SpectralStatus Status() const { return status_; }

    // Time sample i of the next frame (i below fftSize; others are ignored).
    void SetInput(uint32_t i, float value);
    // The frame's fftSize time samples, for filling and windowing in place; null in error.
    float* TimeSamples() { return Error() ? nullptr : current_.get(); }

    // Forward real FFT of the time samples, then every bin times binScale.
    bool Transform();
    // Folds the current spectrum into the average. bandsAsMean makes fractional-octave bands
    // the mean of their bins instead of the sum (for ratios such as transfer and coherence).
    void Average(bool bandsAsMean = false);
    void ResetAverage();
    // Folds in the average of another run of frames of the same spectrum (see
    // TSpectrumAverager::Merge).
    void MergeAverage(const TSpectralData& other);
    // New block count and type. The linear history (N up to 1000) is allocated here; on
    // failure the object is left in error (LinearHistoryOutOfMemory).
    bool SetAverage(uint32_t blocks, AveragingType type);

    // Two-channel operations, per bin, into this object from spectrums of the same size
    // (a mismatch or an operand in error does nothing). AverageChannels and CrossSpectrum
    // combine the current spectrums; the transfer and coherence functions use the averaged
    // powers of the channel objects and this object's averaged cross spectrum.
    bool AverageChannels(const TSpectralData& a, const TSpectralData& b);
    bool CrossSpectrum(const TSpectralData& a, const TSpectralData& b);
    bool RealTransfer(const TSpectralData& a, const TSpectralData& b);
    bool ComplexTransfer(const TSpectralData& reference);
    bool Coherence(const TSpectralData& a, const TSpectralData& b);

    // Scaling: each call rebuilds the per-bin scale (see TBinScale), which the transform then
    // applies to every bin. The setters that allocate are false when the object is or falls
    // in error (OutOfMemory).
    void SetCalibration(const CalibrationRecord* record, int channel);
    bool SetWeighting(uint32_t standardWeighting);
    // Interpolates a microphone's compensation curve (frequency in Hz, level in dB, ascending)
    // onto the bins; no points drops the compensation.
    bool SetCompensation(const std::vector<CurvePoint>& points);

    // The per-bin scale the transform applies, with the calibration, weighting and
    // compensation it was built from. Its arrays are only meaningful while the object is not
    // in error.
    const TBinScale& Scale() const { return scale_; }
    float PsdFactor() const { return psdFactor_; }
    // Turns a sum of averaged bin powers into the power of the signal they hold: 1/ENBW for a
    // window corrected for tones (each bin also holds noise from ENBW bins' width), 1 for an
    // energy-corrected one, the bin width for a density.
    double SummedPowerFactor() const { return static_cast<double>(psdFactor_) * psdFactor_ / binNoiseBandwidth_; }
    // Noise bandwidth of one bin in bins: the window's ENBW when it is corrected for tones.
    double BinNoiseBandwidth() const { return binNoiseBandwidth_; }
    // Spectral density asked for (0 none), and as units squared (0) or units (1) per root hertz.
    bool Density() const { return density_; }
    DensityUnits DensityUnit() const { return densityUnits_; }
    // The bands of a fractional-octave axis (empty on other axes). Its values are only
    // meaningful while the object is not in error.
    const TBandAxis& BandAxis() const { return bands_; }

    // Band hook: the band layout of a fractional-octave axis. Allocates the band values (set
    // to -999.9); false and error on a failed allocation.
    bool SetBandBins(const std::vector<TBandBins>& bands);
    // Band values from the averaged power: a sum of the bins in each band, or their mean.
    void UpdateBandValues(bool asMean);

    // Accessors. Arrays are null in error; averageDb is null unless the amplitude axis is
    // logarithmic.
    // The average's counters, type and peak bin (its arrays through the accessors below, which
    // are null in error).
    const TSpectrumAverager& Averager() const { return average_; }
    const float* Current() const { return Error() ? nullptr : current_.get(); }
    const float* AverageComplex() const { return Error() ? nullptr : average_.Complex(); }
    const float* AveragePower() const { return Error() ? nullptr : average_.Power(); }
    const float* AverageDb() const { return Error() ? nullptr : average_.Db(); }

    float BinFrequency(uint32_t i) const { return Axis().BinFrequency(i); }
    double PhaseDegrees(uint32_t i) const;
    float PeakFrequency() const { return BinFrequency(average_.PeakBin()); }

    uint32_t FFTSize() const { return fftSize_; }
    uint32_t Bins() const { return bins_; }
    float Nyquist() const { return nyquist_; }
    float BinWidth() const { return binWidth_; }
    float HalfRange() const { return halfRange_; }
    AmplitudeScale AmpScale() const { return ampScale_; }
    FrequencyScale FreqScale() const { return freqScale_; }
    bool InBands() const { return freqScale_ == FrequencyScale::OctaveBands; }
    bool InDecibels() const { return ampScale_ == AmplitudeScale::Decibels; }
    uint32_t Octave() const { return octave_; }
    zeltrak::WindowType WindowType() const { return windowType_; }
    int Channel() const { return channel_; }
    bool PeakHold() const { return peakHold_; }

    // What the object holds.
    bool CrossFlag() const { return crossFlag_; }
    bool RealTransferDone() const { return realTransferDone_; }
    bool ComplexTransferDone() const { return complexTransferDone_; }
    bool CoherenceDone() const { return coherenceDone_; }
    bool CoherenceSquared() const { return coherenceSquared_; }
    // A transfer function or coherence: a ratio of spectrums, which takes no units.
    bool IsRatio() const { return realTransferDone_ || complexTransferDone_ || coherenceDone_; }
    // A cross spectrum as such, not a transfer or coherence made from one.
    bool HoldsCrossSpectrum() const { return crossFlag_ && !IsRatio(); }

private:
    BinAxis Axis() const { return BinAxis{bins_, binWidth_, nyquist_}; }
    void TakeSettings(const SpectralSettings& settings, const SpectralScaling& scaling);
    bool AllocateParts(const SpectralScaling& scaling);
    // The status when a step failed, for `return Fail(...)` in the bool members.
    bool Fail(SpectralStatus status);
    bool SameSize(const TSpectralData& other) const { return !other.Error() && other.bins_ == bins_; }
    // After a transfer or coherence replaced the averaged powers.
    void FinishRatio();
    void SetHolds(bool cross, bool real, bool complex, bool coherence);

    SpectralStatus status_ = SpectralStatus::Ok;
    int channel_ = 0;

    SpectralBuffer<float> current_;  // fftSize floats: time samples, then bins complex values
    TSpectrumAverager average_;
    TBinScale scale_;
    TBandAxis bands_;

    float psdFactor_ = 1.0f;
    double binNoiseBandwidth_ = 1.0;
    bool density_ = false;
    DensityUnits densityUnits_ = DensityUnits::SquaredPerHertz;
    bool coherenceSquared_ = false;

    uint32_t fftSize_ = 0;
    float halfRange_ = 1.0f;
    uint32_t bins_ = 0;
    float nyquist_ = 0.0f;
    float binWidth_ = 0.0f;
    AmplitudeScale ampScale_ = AmplitudeScale::Decibels;
    FrequencyScale freqScale_ = FrequencyScale::Logarithmic;
    uint32_t octave_ = 3;
    zeltrak::WindowType windowType_ = zeltrak::WindowType::Hanning;
    bool peakHold_ = false;
    bool realTransferDone_ = false;
    bool complexTransferDone_ = false;
    bool crossFlag_ = false;
    bool coherenceDone_ = false;
};

}  // namespace zeltrak
