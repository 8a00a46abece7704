#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

// The words the settings report, lists and toolbar use for enumerated settings.
// Values outside a list give an empty string.
const char* ChannelProcessingName(uint16_t mode);
const char* ModeReportWord(uint32_t opMode);   // "MODE:\tReal-Time" ...
const char* ModeToolbarLabel(uint32_t opMode); // "Real Time" ...
const char* AverageTypeName(uint16_t type);
const char* WindowTypeName(uint16_t type);
const char* AmplitudeScaleName(uint16_t ampScaleType);  // "Linear", "Logarithmic (dB)"
const char* WeightingName(uint16_t weighting);          // "Flat", "A", "B", "C"
const char* SpectralDensityName(uint16_t densityType);  // "PSD: Units^2/Hz" ...

}  // namespace zeltrak
