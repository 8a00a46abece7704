#pragma once
#include <cstdint>
#include <vector>

#include "base/sample_format.h"
#include "dsp/decimation.h"

namespace zeltrak {

struct TriggerBlock;

// One channel's frame of samples in their stored integer width, with the scale that turns
// them into full-scale units and the anti-alias filter used before decimation.
class TSeriesData {
public:
    // length is the number of samples the frame needs before decimation; with a ratio of at
    // least 2 and the low-pass flag set, 39 more are kept for the filter.
    TSeriesData(const SampleFormat& format, uint32_t length, float gain, uint32_t ratio, bool lowPass);
    TSeriesData(const TSeriesData&) = delete;
    TSeriesData& operator=(const TSeriesData&) = delete;

    bool Error() const { return error_; }
    const SampleFormat& Format() const { return format_; }
    uint32_t Length() const { return length_; }
    float Scale() const { return scale_; }
    uint32_t Ratio() const { return ratio_; }
    bool LowPass() const { return lowPass_; }
    const DecimationTaps& Taps() const { return taps_; }

    // Every sample set to the zero level.
    void Clear();
    // The stored integer (24-bit sign-extended, 8-bit unsigned as stored).
    int32_t Raw(uint32_t i) const;
    // sample - zeroOffset, times the scale when `scaled`.
    double GetSample(uint32_t i, bool scaled) const;
    void SetSample(uint32_t i, int32_t value);
    // (length - 39 when filtered) / ratio, or the length when the ratio is 1.
    uint32_t DecimatedLength() const;
    // Filters (when set) and keeps every ratio-th sample, in place.
    bool Decimate();
    // Peak over the decimated length on a 0 ... 10 scale; 10 means full scale was reached.
    int32_t PeakLevel() const;
    // Scans [from, min(to, length)) for the trigger of `trigger`; edge types also stop before
    // i + 1 reaches the length. Returns whether it fired and where.
    bool FindTrigger(const TriggerBlock& trigger, uint32_t from, uint32_t to, uint32_t& index) const;

    uint8_t* Bytes() { return data_.data(); }
    const uint8_t* Bytes() const { return data_.data(); }

private:
    SampleFormat format_;
    std::vector<uint8_t> data_;
    uint32_t length_ = 0;
    float scale_ = 1.0f;
    uint32_t ratio_ = 1;
    bool lowPass_ = false;
    DecimationTaps taps_{};
    bool error_ = false;
};

}  // namespace zeltrak
