#pragma once
#include <cstdint>
#include <vector>

#include "dsp/bin_axis.h"
#include "dsp/octave_bands.h"
#include "dsp/spectral_buffer.h"

namespace zeltrak {

// The fractional-octave axis of a spectrum: its bands, the bins each band takes in, and the
// band levels in dB made from the averaged bin powers.
class TBandAxis {
public:
    // The 1/octave bands below the axis' Nyquist frequency; false when their values do not fit
    // in memory (the axis is then empty).
    bool Build(uint32_t octave, const BinAxis& axis);
    // Another band layout, values set to -999.9; no bands clears the axis. False (and empty)
    // when the values do not fit in memory.
    bool SetBins(const std::vector<TBandBins>& bands);
    // Every value back to -999.9.
    void Reset();
    // Band levels from `bins` averaged powers: the sum of the bins in each band (weighted by
    // how much of an edge bin lies inside), or their mean. peakHold keeps a band's largest level.
    void Update(const float* power, uint32_t bins, bool asMean, bool peakHold);

    uint32_t Count() const { return static_cast<uint32_t>(bins_.size()); }
    const std::vector<TBandRecord>& Records() const { return records_; }
    const std::vector<TBandBins>& Bins() const { return bins_; }
    const float* Values() const { return values_.get(); }

private:
    std::vector<TBandRecord> records_;
    std::vector<TBandBins> bins_;
    SpectralBuffer<float> values_;
};

}  // namespace zeltrak
