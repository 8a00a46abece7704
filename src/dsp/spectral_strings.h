#pragma once

namespace zeltrak {

// Texts of the spectral averaging and channel processing.
inline constexpr const char* kSpectralErrorCaption = "Error";
inline constexpr const char* kLinearAverageMemoryText =
    "Insufficient memory for linear averaging - try using exponential average";

}  // namespace zeltrak
