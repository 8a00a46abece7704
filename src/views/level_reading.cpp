#include "views/level_reading.h"

#include <algorithm>
#include <cmath>

#include "engine/engine_listener.h"
#include "engine/series_data.h"

namespace zeltrak {

double FullScaleDb(double fraction) {
    return fraction > 0.0 ? std::max(kLevelFloorDb, 20.0 * std::log10(fraction)) : kLevelFloorDb;
}

ChannelLevel MeasureLevel(const TSeriesData& series) {
    const uint32_t n = std::min(series.DecimatedLength(), series.Length());
    const double fullScale = series.Format().FullScale();
    if (n == 0 || fullScale <= 0.0) return {};
    // Raw counts, not the scaled samples: the series' scale carries the calibration gain.
    double peak = 0.0, sumOfSquares = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        const double x = series.GetSample(i, false);
        peak = std::max(peak, std::abs(x));
        sumOfSquares += x * x;
    }
    const double rms = std::sqrt(sumOfSquares / n);
    return {FullScaleDb(peak / fullScale), FullScaleDb(std::sqrt(2.0) * rms / fullScale)};
}

double TLevelReading::PeakHold::At(double time) const {
    const double late = time - since - kPeakHoldSeconds;
    return late <= 0.0 ? db : std::max(kLevelFloorDb, db - kPeakFallDbPerSecond * late);
}

void TLevelReading::Take(const EngineFrame& frame) {
    // Time running backwards means a new run or a rewound file: the old holds mean nothing.
    if (channels_ > 0 && frame.currentTime < now_) Reset();
    now_ = frame.currentTime;
    const TSeriesData* series[2] = {frame.left, frame.right};
    channels_ = 0;
    for (int c = 0; c < 2; ++c) {
        levels_[c] = series[c] ? MeasureLevel(*series[c]) : ChannelLevel{};
        if (series[c]) channels_ = c + 1;
        if (levels_[c].peakDb >= holds_[c].At(now_)) holds_[c] = {levels_[c].peakDb, now_};
    }
    if (frame.overloaded) lastOverload_ = now_;
}

void TLevelReading::Reset() { *this = TLevelReading{}; }

ChannelLevel TLevelReading::Level(int channel) const {
    return channel == 0 || channel == 1 ? levels_[channel] : ChannelLevel{};
}

double TLevelReading::HeldPeakDb(int channel) const {
    if (channel != 0 && channel != 1) return kLevelFloorDb;
    return std::max(holds_[channel].At(now_), levels_[channel].peakDb);
}

bool TLevelReading::OverloadLit() const {
    return lastOverload_ && now_ - *lastOverload_ < kOverloadHoldSeconds;
}

}  // namespace zeltrak
