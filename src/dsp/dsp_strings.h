#pragma once

namespace zeltrak {

// Texts of the signal-processing kernels, shown exactly as written here.
inline constexpr const char* kDspErrorCaption = "Error";
inline constexpr const char* kDspInvalidWindowType = "TSmoothing: Invalid Window Type";

// Window names as the lists and reports show them, by window type 0 ... 9.
inline constexpr const char* kWindowNames[10] = {"Bartlett", "Blackman", "Flat top", "Hamming",    "Hanning",
                                                 "Kaiser",   "Parzen",   "Triangular", "Uniform", "Gaussian"};

}  // namespace zeltrak
