#pragma once
#include <cstdint>

namespace zeltrak {

// The axes a spectrum is shown on. The settings file stores them as the integer codes below;
// they are converted where a spectral object is built from the stored record.
enum class FrequencyScale : uint16_t { Linear = 0, Logarithmic = 1, OctaveBands = 2 };
enum class AmplitudeScale : uint16_t { Linear = 0, Decibels = 1 };

// The units of a spectral density: squared units per hertz (a power density) or units per
// root hertz (its square root). Stored as 0 and 1.
enum class DensityUnits : uint16_t { SquaredPerHertz = 0, PerRootHertz = 1 };

constexpr uint16_t ScaleCode(FrequencyScale scale) { return static_cast<uint16_t>(scale); }
constexpr uint16_t ScaleCode(AmplitudeScale scale) { return static_cast<uint16_t>(scale); }

// An unknown code reads as the default axis: logarithmic frequency, linear unless 1 for amplitude.
constexpr FrequencyScale FrequencyScaleFromCode(uint32_t code) {
    if (code == ScaleCode(FrequencyScale::Linear)) return FrequencyScale::Linear;
    if (code == ScaleCode(FrequencyScale::OctaveBands)) return FrequencyScale::OctaveBands;
    return FrequencyScale::Logarithmic;
}
constexpr AmplitudeScale AmplitudeScaleFromCode(uint32_t code) {
    return code == ScaleCode(AmplitudeScale::Decibels) ? AmplitudeScale::Decibels : AmplitudeScale::Linear;
}
constexpr DensityUnits DensityUnitsFromCode(uint32_t code) {
    return code == 1 ? DensityUnits::PerRootHertz : DensityUnits::SquaredPerHertz;
}

}  // namespace zeltrak
