#include "generator/output_level.h"

#include <cmath>

#include "generator/generator_strings.h"

namespace zeltrak {

const std::array<CardPreset, kCardPresetCount>& CardPresets() {
    using generator_text::kCardPresetLabels;
    static const std::array<CardPreset, kCardPresetCount> presets{{
        {0, kCardPresetLabels[0], 0.647},
        {1, kCardPresetLabels[1], 4.945},
        {2, kCardPresetLabels[2], 2.13},
        {3, kCardPresetLabels[3], 1.255},
        {4, kCardPresetLabels[4], 1.391},
        {5, kCardPresetLabels[5], 1.608},
        {6, kCardPresetLabels[6], 1.06},
        {7, kCardPresetLabels[7], 3.84},
    }};
    return presets;
}

namespace {

double RawFactor(double level, OutputUnits units, double fs) {
    const double db = std::pow(10.0, 0.05 * level);
    switch (units) {
        case OutputUnits::DbFullScale: return db;
        case OutputUnits::PercentFullScale: return 0.01 * level;
        case OutputUnits::VoltsRms: return level / fs;
        case OutputUnits::MillivoltsRms: return 0.001 * level / fs;
        case OutputUnits::DbvRms: return db / fs;
        case OutputUnits::DbmvRms: return 0.001 * db / fs;
        case OutputUnits::DbuRms: return 0.775 * db / fs;
    }
    return 1.0;  // units read from a damaged settings file
}

}  // namespace

double LevelFactor(double level, OutputUnits units, float& fullScaleVolts) {
    if (!(fullScaleVolts > 0.0f)) fullScaleVolts = 1.0f;
    const double g = RawFactor(level, units, fullScaleVolts);
    return (g > 1.0 || !(g > 0.0)) ? 1.0 : g;
}

double LevelFactor(const OutputLevelSetup& setup, int channel, float& fullScaleVolts) {
    return LevelFactor(channel == 0 ? setup.levelLeft : setup.levelRight, setup.units, fullScaleVolts);
}

}  // namespace zeltrak
