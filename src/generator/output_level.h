#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "generator/signal_setup.h"

namespace zeltrak {

// A sound card whose full-scale output voltage is known.
struct CardPreset {
    uint16_t index;
    std::string_view label;
    double volts;  // rms output of a full-scale sine
};
inline constexpr int kCardPresetCount = 8;
const std::array<CardPreset, kCardPresetCount>& CardPresets();

// The factor in (0, 1] that scales a channel's full-scale signal to `level` in `units`.
// A full-scale voltage <= 0 is replaced by 1.0 (written back, so the dialog shows what was used);
// a level outside what the card can play gives 1.0 rather than silence or clipping.
double LevelFactor(double level, OutputUnits units, float& fullScaleVolts);
double LevelFactor(const OutputLevelSetup& setup, int channel, float& fullScaleVolts);

}  // namespace zeltrak
