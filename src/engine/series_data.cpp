#include "engine/series_data.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "engine/processing_settings.h"
#include "files/wave_data.h"

namespace zeltrak {

TSeriesData::TSeriesData(const SampleFormat& format, uint32_t length, float gain, uint32_t ratio, bool lowPass)
    : format_(format), ratio_(std::max<uint32_t>(ratio, 1)), lowPass_(lowPass && ratio >= 2) {
    if (format_.bytesPerSample < 1 || format_.bytesPerSample > 4) format_ = SampleFormat::Make(format.rate, 1, 2);
    length_ = length + (lowPass_ ? kDecimationTaps : 0);
    const double range = (static_cast<double>(format_.maxValue) - format_.minValue) * 0.5;
    scale_ = range > 0 ? static_cast<float>(gain / range) : 0.0f;
    try {
        data_.resize(static_cast<size_t>(length_) * format_.bytesPerSample);
    } catch (const std::bad_alloc&) {
        error_ = true;
        length_ = 0;
        return;
    }
    if (lowPass_) taps_ = DesignDecimationFilter(ratio_);
    Clear();
}

void TSeriesData::Clear() {
    if (format_.bytesPerSample == 1) {
        std::fill(data_.begin(), data_.end(), static_cast<uint8_t>(format_.zeroOffset));
    } else {
        for (uint32_t i = 0; i < length_; ++i) SetSample(i, format_.zeroOffset);
    }
}

int32_t TSeriesData::Raw(uint32_t i) const {
    if (i >= length_) return format_.zeroOffset;
    return DecodeSample(&data_[static_cast<size_t>(i) * format_.bytesPerSample], format_.bytesPerSample);
}

double TSeriesData::GetSample(uint32_t i, bool scaled) const {
    const double v = static_cast<double>(Raw(i)) - format_.zeroOffset;
    return scaled ? v * scale_ : v;
}

void TSeriesData::SetSample(uint32_t i, int32_t value) {
    if (i >= length_) return;
    EncodeSample(&data_[static_cast<size_t>(i) * format_.bytesPerSample], format_.bytesPerSample, value);
}

uint32_t TSeriesData::DecimatedLength() const {
    if (ratio_ == 1) return length_;
    return (length_ - (lowPass_ ? kDecimationTaps : 0)) / ratio_;
}

bool TSeriesData::Decimate() {
    if (error_ || ratio_ < 2) return !error_;
    if (lowPass_ && !LowPassFilterSamples(data_.data(), length_, format_.bytesPerSample, taps_)) return false;
    return DecimateSamples(data_.data(), length_, format_.bytesPerSample, ratio_) != 0;
}

int32_t TSeriesData::PeakLevel() const {
    const uint32_t n = std::min(DecimatedLength(), length_);
    int64_t peak = 1;
    if (n > 0) {
        int32_t lo, hi;
        PackedSampleRange(data_.data(), format_.bytesPerSample, n, lo, hi);
        peak = std::max({peak, int64_t{hi} - format_.zeroOffset, format_.zeroOffset - int64_t{lo}});
    }
    const int64_t full = int64_t{format_.maxValue} - format_.zeroOffset;
    if (peak >= full - 1) return 10;
    return static_cast<int32_t>(10.0 * std::log(static_cast<double>(peak)) / std::log(static_cast<double>(full)));
}

bool TSeriesData::FindTrigger(const TriggerBlock& trigger, uint32_t from, uint32_t to, uint32_t& index) const {
    if (trigger.TriggerType > 1 || trigger.TriggerSlope > 1) return false;
    const int64_t zero = format_.zeroOffset;
    const int64_t level = (int64_t{format_.maxValue} - zero) * trigger.Threshold / 100 + zero;
    // Distances from the zero level, so that unsigned 8-bit data triggers as signed data does
    // (for the signed widths the zero level is 0 and this is the plain comparison).
    const int64_t delta = level - zero;
    const bool positive = trigger.TriggerSlope == 0;
    uint32_t end = std::min(to, length_);
    if (trigger.TriggerType == 0) {
        for (uint32_t i = from; i < end; ++i) {
            const int64_t s = Raw(i);
            if (positive ? s >= level : s - zero <= -delta) {
                index = i;
                return true;
            }
        }
        return false;
    }
    if (end >= length_) end = length_ == 0 ? 0 : length_ - 1;
    for (uint32_t i = from; i < end; ++i) {
        const int64_t change = int64_t{Raw(i + 1)} - Raw(i);
        if (positive ? change >= delta : -change >= delta) {
            index = i;
            return true;
        }
    }
    return false;
}

}  // namespace zeltrak
