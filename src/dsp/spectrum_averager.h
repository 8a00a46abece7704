#pragma once
#include <cstdint>

#include "dsp/averaging_types.h"
#include "dsp/spectral_buffer.h"

namespace zeltrak {

// Up to this many blocks a linear average keeps the per-block history; above it the running
// formula needs none.
inline constexpr uint32_t kMaxLinearHistoryBlocks = 1000;
// Peak search skips the lowest bins, where DC and window leakage live.
inline constexpr uint32_t kFirstPeakBin = 5;

// The running average of a spectrum's frames: complex values (interleaved re, im), powers and,
// when asked for, their decibel copy, with the peak bin of the powers. The last bin is never
// averaged. A linear average of up to kMaxLinearHistoryBlocks blocks keeps every block's bins,
// so that the oldest leaves the average exactly.
class TSpectrumAverager {
public:
    // The arrays for `bins` bins (the decibel copy only withDb). holdBins keeps each bin's
    // value from the frame where its power was largest. False when out of memory.
    bool Allocate(uint32_t bins, bool withDb, bool holdBins);
    // New block count (0 counts as 1) and type. False, without history, when the linear
    // history does not fit in memory.
    bool SetAverage(uint32_t blocks, AveragingType type);
    // Empties the average: values 0, decibels -999.9, no frames counted.
    void Reset();
    // Folds one frame's bins into the average; cross averages magnitudes instead of powers.
    void Add(const float* frame, bool cross);
    // The decibel copy of every bin again, after the powers were replaced.
    void RefreshDb();
    // Folds in another running average of the same size, weighted by the frames each holds:
    // the average of both runs of frames, when each is a plain mean (no ring, hold or decay).
    void Merge(const TSpectrumAverager& other);

    // Writable arrays: the peak and decibels of the average as it stands are settled first,
    // since the caller may replace it.
    float* Complex() { return Settle(), complex_.get(); }
    const float* Complex() const { return complex_.get(); }
    float* Power() { return Settle(), power_.get(); }
    const float* Power() const { return power_.get(); }
    const float* Db() const { return Settle(), db_.get(); }

    AveragingType Type() const { return type_; }
    uint32_t Blocks() const { return blocks_; }
    uint32_t Averaged() const { return averaged_; }
    uint32_t RingIndex() const { return ringIndex_; }
    uint32_t PeakBin() const { return Settle(), peakBin_; }
    bool KeepsHistory() const { return historyPower_ != nullptr; }

private:
    void Count();
    void AddRunning(const float* frame, bool cross);
    void AddToHistory(const float* frame, bool cross);
    void RefreshHistorySums();
    void StoreBin(uint32_t i, double re, double im, double power);
    void DropHistory();
    // Peak bin and decibel copy of the average of the last Add, found when first asked for:
    // a batch run that averages thousands of frames only reads the last.
    void Settle() const;

    uint32_t bins_ = 0;
    bool holdBins_ = false;
    SpectralBuffer<float> complex_;  // bins complex
    SpectralBuffer<float> power_;    // bins
    SpectralBuffer<float> db_;       // bins, or none
    // The running average's own state, in double; complex_ and power_ are its rounded copy,
    // which callers may replace with results derived from it.
    SpectralBuffer<double> runComplex_;  // bins complex
    SpectralBuffer<double> runPower_;    // bins
    // Linear history: blocks slots of bins values each, slot-major. The running sums over all
    // slots spare summing N slots per bin and frame; they are recomputed from the slots a
    // slice of bins per frame so that rounding cannot build up.
    SpectralBuffer<float> historyPower_;
    SpectralBuffer<float> historyComplex_;
    SpectralBuffer<double> sumPower_;
    SpectralBuffer<double> sumComplex_;
    uint32_t refreshCursor_ = 0;
    AveragingType type_ = AveragingType::Exponential;
    uint32_t blocks_ = 1;
    uint32_t averaged_ = 0;
    uint32_t ringIndex_ = 0;
    mutable uint32_t peakBin_ = 0;
    mutable bool unsettled_ = false;
};

}  // namespace zeltrak
