#pragma once

namespace zeltrak {

// Texts of the spectral scaling (microphone compensation files and axis labels).
inline constexpr const char* kCompensationTooFewText =
    "file: %s must contain at least 3 entries.  File will not be used.";
inline constexpr const char* kCompensationOrderText =
    "Frequency terms in file: %s are not in ascending order.  File will not be used.";
inline constexpr const char* kCompensationOpenText = "Failure opening Microphone Compensation file: %s";
inline constexpr const char* kPercentFullScaleLabel = "Percent Full Scale";
inline constexpr const char* kRelativeAmplitudeLabel = "Relative Amplitude (dB)";
inline constexpr const char* kCoherenceMagnitudeLabel = "Coherence |\u03b3|";
inline constexpr const char* kCoherenceSquaredLabel = "Coherence \u03b3\u00b2 (magnitude squared)";
inline constexpr const char* kCrossPowerSuffix = ", mean of |X||Y|";
inline constexpr const char* kCrossVectorSuffix = ", |mean of X\u00b7Y*|";

}  // namespace zeltrak
