#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/sample_format.h"
#include "dsp/averaging_types.h"
#include "dsp/scales.h"
#include "dsp/smoothing.h"
#include "dsp/spline.h"
#include "files/calibration_record.h"

namespace zeltrak {

// Up to this many blocks a linear average keeps the per-block history; above it the running
// formula needs none.
inline constexpr uint32_t kMaxLinearHistoryBlocks = 1000;
// Peak search skips the lowest bins, where DC and window leakage live.
inline constexpr uint32_t kFirstPeakBin = 5;

// The analysis values a spectral object is built from (the engine copies them out of its
// processing block; dsp does not know the settings record).
struct SpectralSettings {
    SampleFormat format;
    uint32_t fftSize = 4096;
    uint16_t decimationRatio = 1;
    float samplingRateCorrection = 1.0f;
    uint32_t averageBlocks = 1;
    uint32_t averageType = kAverageExponential;
    bool peakHold = false;
    uint32_t smoothingWindow = 4;
    // The correction of the window the frames are multiplied with (kCorrectionAmplitude or
    // kCorrectionEnergy): densities and summed powers need to know how much noise a bin holds.
    uint16_t windowCorrection = kCorrectionAmplitude;
};

// The scaling values a spectral object is built from.
struct SpectralScaling {
    AmplitudeScale amplitudeScale = AmplitudeScale::Decibels;
    FrequencyScale frequencyScale = FrequencyScale::Logarithmic;
    uint32_t octaveNumber = 3;
    uint32_t spectralDensityFlag = 0;
    uint32_t spectralDensityType = 0;  // 0 units squared per hertz, 1 units per root hertz
    uint32_t standardWeighting = 0;    // 0 none, 1 A, 2 B, 3 C
    bool coherenceSquared = false;     // coherence shown as γ² instead of |γ|
};

// Factor of the `ConversionType` of a calibration record: acceleration in g shown as velocity
// or displacement in feet, inches, millimetres or mils per second (1.0 for none).
double UnitConversionFactor(int32_t conversionType);
// Decibels that a calibrated level in dB re 1 unit gains when shown against the unit's own
// reference (20 uPa, 1 uPa, 2.9e-9 psi, 0.775 V); 0 for the other units.
double UnitOffsetDb(int32_t refUnits);
// The unit's reference amplitude in linear units (1.0 where the reference is 1 unit).
double UnitReference(int32_t refUnits);

// Which bins make up one fractional-octave band, and how much of each edge bin lies inside it.
struct TBandBins {
    uint32_t lowBin = 0;
    float lowFraction = 0.0f;
    uint32_t highBin = 0;
    float highFraction = 0.0f;
};

// One fractional-octave band: its exact centre, the rounded centre used in labels and its
// edges in Hz.
struct TBandRecord {
    float centre = 0.0f;
    float nominal = 0.0f;
    float lower = 0.0f;
    float upper = 0.0f;
};

// 10·log10(power) of a float, -999.9 where power is not above 0, within a few float ulps of
// the library logarithm: cheap enough for the decibel copy of every bin of every frame.
float PowerToDbFast(float power);

// Decides whether an allocation of `bytes` may go ahead. Tests install one that refuses, to
// walk the out-of-memory paths; nullptr restores the default (always try).
using SpectralAllocationGate = bool (*)(size_t bytes);
void SetSpectralAllocationGate(SpectralAllocationGate gate);

// Why a spectral object is unusable. The object only records it; whoever built or configured
// the object decides what the user is told.
enum class SpectralStatus : uint8_t {
    Ok,
    InvalidSize,               // a transform size the caller should never have asked for
    OutOfMemory,
    LinearHistoryOutOfMemory,  // the per-block history of a linear average did not fit
};

// The spectrum of one signal: the FFT of the current frame, its running average (complex and
// power), the decibel copy, the fractional-octave band values and the per-bin scale.
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
    // New block count and type. The linear history (N up to 1000) is allocated here; on
    // failure the object is left in error (LinearHistoryOutOfMemory).
    bool SetAverage(uint32_t blocks, uint32_t type);

    // Two-channel operations, per bin, into this object from spectrums of the same size
    // (a mismatch or an operand in error does nothing). AverageChannels and CrossSpectrum
    // combine the current spectrums; the transfer and coherence functions use the averaged
    // powers of the channel objects and this object's averaged cross spectrum.
    bool AverageChannels(const TSpectralData& a, const TSpectralData& b);
    bool CrossSpectrum(const TSpectralData& a, const TSpectralData& b);
    bool RealTransfer(const TSpectralData& a, const TSpectralData& b);
    bool ComplexTransfer(const TSpectralData& reference);
    bool Coherence(const TSpectralData& a, const TSpectralData& b);

    // Scaling. Each call rebuilds binScale, which the transform then applies to every bin:
    // 1 / (fftSize x halfRange) x gain / psdFactor x label-type factor x weighting
    // / compensation, divided by 2 pi f (or its square) for integrated acceleration.
    //
    // record null (or not enabled): uncalibrated. Otherwise the record is copied and the gain
    // is the channel's ratio (channel 0 left, 1 right, -1 forces 1.0) times the conversion
    // factor.
    void SetCalibration(const CalibrationRecord* record, int channel);
    // Builds (1 A, 2 B, 3 C) or drops (0) the weighting factors per bin.
    bool SetWeighting(uint32_t standardWeighting);
    // Interpolates a microphone's compensation curve (frequency in Hz, level in dB, ascending)
    // onto the bins; no points drops the compensation. False only when the object is in error
    // or the factors do not fit in memory (OutOfMemory).
    bool SetCompensation(const std::vector<CurvePoint>& points);

    bool Calibrated() const { return calibrated_; }
    float Gain() const { return gain_; }
    float PsdFactor() const { return psdFactor_; }
    // Turns a sum of averaged bin powers into the power of the signal they hold: 1/ENBW for a
    // window corrected for tones (each bin also holds noise from ENBW bins' width), 1 for an
    // energy-corrected one, the bin width for a density.
    double SummedPowerFactor() const { return static_cast<double>(psdFactor_) * psdFactor_ / binNoiseBandwidth_; }
    // Noise bandwidth of one bin in bins: the window's ENBW when it is corrected for tones.
    double BinNoiseBandwidth() const { return binNoiseBandwidth_; }
    const float* Weighting() const { return Error() ? nullptr : weighting_.get(); }
    const float* Compensation() const { return Error() ? nullptr : compensation_.get(); }
    // Axis labels: the record's when calibrated, else percent of full scale and relative dB.
    std::string LinearLabel() const;
    std::string LogLabel() const;
    // What the values of this object are, for an axis or a column: the label of the amplitude
    // scale in force, or what a coherence or a power-averaged cross spectrum really holds.
    std::string ValueLabel() const;

    // The number shown for bin (or, on a band axis, band) `index`: percent of full scale or
    // dB uncalibrated; physical units or dB against the unit's reference when calibrated;
    // PSD when asked; the linear value of a coherence. 0 for an index out of range.
    double GetValue(uint32_t index) const;

    // The points a display or a table of this spectrum has: the bands on a band axis (at their
    // centre frequencies), else the bins (at their frequencies).
    uint32_t ValueCount() const { return InBands() ? Bands() : bins_; }
    float ValueFrequency(uint32_t index) const;

    // The bands of a fractional-octave axis (empty on other axes).
    const std::vector<TBandRecord>& BandRecords() const { return bandRecords_; }
    const std::vector<TBandBins>& BandBins() const { return bandBins_; }

    // Band hook: the band layout of a fractional-octave axis. Allocates the band values (set
    // to -999.9); false and error on a failed allocation.
    bool SetBandBins(const std::vector<TBandBins>& bands);
    // Band values from the averaged power: a sum of the bins in each band, or their mean.
    void UpdateBandValues(bool asMean);

    // Accessors. Arrays are null in error; averageDb is null unless the amplitude axis is
    // logarithmic, bandValues unless bands are set.
    const float* Current() const { return Error() ? nullptr : current_.get(); }
    const float* AverageComplex() const { return Error() ? nullptr : averageComplex_.get(); }
    const float* AveragePower() const { return Error() ? nullptr : averagePower_.get(); }
    const float* AverageDb() const { return Error() ? nullptr : averageDb_.get(); }
    const float* BandValues() const { return Error() ? nullptr : bandValues_.get(); }
    // The per-bin factor applied after the transform (scaling fills it; the default is the
    // plain normalisation to full scale).
    float* BinScale() { return Error() ? nullptr : binScale_.get(); }
    const float* BinScale() const { return Error() ? nullptr : binScale_.get(); }

    float BinFrequency(uint32_t i) const;
    double PhaseDegrees(uint32_t i) const;
    uint32_t PeakBin() const { return peakBin_; }
    float PeakFrequency() const { return BinFrequency(peakBin_); }

    uint32_t FFTSize() const { return fftSize_; }
    uint32_t Bins() const { return bins_; }
    uint32_t Bands() const { return static_cast<uint32_t>(bandBins_.size()); }
    float Nyquist() const { return nyquist_; }
    float BinWidth() const { return binWidth_; }
    float HalfRange() const { return halfRange_; }
    uint32_t AverageType() const { return averageType_; }
    uint32_t Blocks() const { return blocks_; }
    uint32_t Averaged() const { return averaged_; }
    uint32_t RingIndex() const { return ringIndex_; }
    AmplitudeScale AmpScale() const { return ampScale_; }
    FrequencyScale FreqScale() const { return freqScale_; }
    uint32_t Octave() const { return octave_; }
    uint32_t WindowType() const { return windowType_; }
    int Channel() const { return channel_; }
    bool PeakHold() const { return peakHold_; }
    bool LinearHistory() const { return historyPower_ != nullptr; }

    // What the object holds.
    bool CrossFlag() const { return crossFlag_; }
    bool RealTransferDone() const { return realTransferDone_; }
    bool ComplexTransferDone() const { return complexTransferDone_; }
    bool CoherenceDone() const { return coherenceDone_; }
    bool CoherenceSquared() const { return coherenceSquared_; }
    // A cross spectrum as such, not a transfer or coherence made from one.
    bool HoldsCrossSpectrum() const { return crossFlag_ && !IsRatio(); }

private:
    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };
    template <class T>
    using Buffer = std::unique_ptr<T[], FreeDeleter>;
    template <class T>
    static Buffer<T> Allocate(size_t count);

    bool UsesHistory() const { return historyPower_ != nullptr; }
    bool InBands() const { return freqScale_ == FrequencyScale::OctaveBands; }
    bool InDecibels() const { return ampScale_ == AmplitudeScale::Decibels; }
    void MarkOutOfMemory();
    // Per-bin amplitude factors into one of the object's arrays; false when out of memory.
    bool StoreFactors(const std::vector<float>& factors, Buffer<float>& out);
    void ComputeBinScale();
    bool BuildBands();
    bool IsRatio() const { return realTransferDone_ || complexTransferDone_ || coherenceDone_; }
    void AverageRunning();
    void AverageHistory();
    void RefreshHistorySums();
    void StoreBin(uint32_t i, double re, double im, double power);
    // Peak bin and decibel copy of the new average.
    void FinishAverage();
    void SetHolds(bool cross, bool real, bool complex, bool coherence);

    SpectralStatus status_ = SpectralStatus::Ok;
    int channel_ = 0;

    Buffer<float> current_;         // fftSize floats: time samples, then bins complex values
    Buffer<float> averageComplex_;  // bins complex
    Buffer<float> averagePower_;    // bins
    Buffer<float> averageDb_;       // bins, logarithmic amplitude axis only
    Buffer<float> binScale_;        // bins
    Buffer<float> bandValues_;      // bands
    Buffer<float> weighting_;       // bins, or none
    Buffer<float> compensation_;    // bins, or none
    std::vector<TBandBins> bandBins_;
    std::vector<TBandRecord> bandRecords_;

    bool calibrated_ = false;
    CalibrationRecord calibration_{};
    float gain_ = 1.0f;
    float psdFactor_ = 1.0f;
    double binNoiseBandwidth_ = 1.0;
    uint32_t psdFlag_ = 0;
    uint32_t psdType_ = 0;
    bool coherenceSquared_ = false;

    // Linear history: blocks slots of bins values each, slot-major. The running sums over all
    // slots spare summing N slots per bin and frame; they are recomputed from the slots a
    // slice of bins per frame so that rounding cannot build up.
    Buffer<float> historyPower_;
    Buffer<float> historyComplex_;
    Buffer<double> sumPower_;
    Buffer<double> sumComplex_;
    uint32_t refreshCursor_ = 0;

    uint32_t averageType_ = kAverageExponential;
    uint32_t blocks_ = 1;
    uint32_t averaged_ = 0;
    uint32_t ringIndex_ = 0;
    uint32_t fftSize_ = 0;
    float halfRange_ = 1.0f;
    uint32_t bins_ = 0;
    float nyquist_ = 0.0f;
    float binWidth_ = 0.0f;
    AmplitudeScale ampScale_ = AmplitudeScale::Decibels;
    FrequencyScale freqScale_ = FrequencyScale::Logarithmic;
    uint32_t octave_ = 3;
    uint32_t windowType_ = 4;
    uint32_t peakBin_ = 0;
    bool peakHold_ = false;
    bool realTransferDone_ = false;
    bool complexTransferDone_ = false;
    bool crossFlag_ = false;
    bool coherenceDone_ = false;
};

}  // namespace zeltrak
