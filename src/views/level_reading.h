#pragma once
#include <optional>

namespace zeltrak {

class TSeriesData;
struct EngineFrame;

// The meters read from −60 dBFS; silence is shown at this floor rather than as −inf.
inline constexpr double kLevelFloorDb = -120.0;
// Long enough to read a peak's number, short enough to follow the programme.
inline constexpr double kPeakHoldSeconds = 1.5;
inline constexpr double kPeakFallDbPerSecond = 20.0;
// A clip lasting one frame must stay visible.
inline constexpr double kOverloadHoldSeconds = 2.0;

// One channel's level in one frame, in dB relative to the format's full scale. The rms is on
// the AES17 scale (+3.01 dB), so a full-scale sine reads 0 dBFS for peak and rms alike.
struct ChannelLevel {
    double peakDb = kLevelFloorDb;
    double rmsDb = kLevelFloorDb;
};

// 20·log10(fraction) of full scale, never below the floor.
double FullScaleDb(double fraction);
// The level over the samples the frame analyses (its decimated length).
ChannelLevel MeasureLevel(const TSeriesData& series);

// What the meters show frame after frame: the latest levels, the held peaks and the overload
// lamp. Time is the frames' own, so a file run at any speed holds for its own seconds.
class TLevelReading {
public:
    void Take(const EngineFrame& frame);
    void Reset();

    int Channels() const { return channels_; }  // 0 before the first frame, 1 mono, 2 stereo
    ChannelLevel Level(int channel) const;
    double HeldPeakDb(int channel) const;
    bool OverloadLit() const;

private:
    // The highest peak since `since`, held then falling.
    struct PeakHold {
        double db = kLevelFloorDb;
        double since = 0.0;
        double At(double time) const;
    };
    ChannelLevel levels_[2];
    PeakHold holds_[2];
    int channels_ = 0;
    double now_ = 0.0;
    std::optional<double> lastOverload_;
};

}  // namespace zeltrak
