#pragma once

namespace zeltrak {

// Labels of the spectral values, shown exactly as written here.
inline constexpr const char* kPercentFullScaleLabel = "Percent Full Scale";
inline constexpr const char* kRelativeAmplitudeLabel = "Relative Amplitude (dB)";
inline constexpr const char* kCoherenceMagnitudeLabel = "Coherence |\u03b3|";
inline constexpr const char* kCoherenceSquaredLabel = "Coherence \u03b3\u00b2 (magnitude squared)";
inline constexpr const char* kCrossPowerSuffix = ", mean of |X||Y|";
inline constexpr const char* kCrossVectorSuffix = ", |mean of X\u00b7Y*|";

}  // namespace zeltrak
