#include "engine/settings_names.h"

#include <array>
#include <iterator>

#include "dsp/dsp_strings.h"

namespace zeltrak {

namespace {

template <std::size_t N>
const char* Pick(const std::array<const char*, N>& names, std::size_t index) {
    return index < N ? names[index] : "";
}

constexpr std::array<const char*, 13> kChannelProcessing{
    "Left channel only",
    "Right channel only",
    "Both Left and Right",
    "Average Left and Right",
    "Real Transfer Function (Left / Right)",
    "Real Transfer Function (Right / Left)",
    "Cross Spectrum (Left * Right)",
    "Cross Spectrum (Right * Left)",
    "Complex Transfer Function (Left / Right)",
    "Complex Transfer Function (Right / Left)",
    "Coherence Function",
    "Complex Transfer (L/R) and Coherence",
    "Complex Transfer (R/L) and Coherence",
};

// Indexed by mode - 1.
constexpr std::array<const char*, 3> kModeReport{"MODE:\tReal-Time", "MODE:\tPost-Processing", "MODE:\tRecorder"};
constexpr std::array<const char*, 3> kModeToolbar{"Real Time", "Post Process", "Recorder"};
constexpr std::array<const char*, 3> kAverageTypes{"Exponential", "Linear", "Vector"};
constexpr std::array<const char*, 4> kWeightings{"Flat", "A", "B", "C"};
constexpr std::array<const char*, 2> kDensities{"PSD: Units^2/Hz", "PSD: Units/sqrt(Hz)"};

}  // namespace

const char* ChannelProcessingName(uint16_t mode) { return Pick(kChannelProcessing, mode); }
const char* ModeReportWord(uint32_t opMode) { return opMode == 0 ? "" : Pick(kModeReport, opMode - 1); }
const char* ModeToolbarLabel(uint32_t opMode) { return opMode == 0 ? "" : Pick(kModeToolbar, opMode - 1); }
const char* AverageTypeName(uint16_t type) { return Pick(kAverageTypes, type); }
const char* WindowTypeName(uint16_t type) { return type < std::size(kWindowNames) ? kWindowNames[type] : ""; }
const char* AmplitudeScaleName(uint16_t ampScaleType) { return ampScaleType ? "Logarithmic (dB)" : "Linear"; }
const char* WeightingName(uint16_t weighting) { return Pick(kWeightings, weighting); }
const char* SpectralDensityName(uint16_t densityType) { return densityType ? kDensities[1] : kDensities[0]; }

}  // namespace zeltrak
