#pragma once

namespace zeltrak {

// Window names as the lists and reports show them, by window type 0 ... 9.
inline constexpr const char* kWindowNames[10] = {"Bartlett", "Blackman", "Flat top", "Hamming",    "Hanning",
                                                 "Kaiser",   "Parzen",   "Triangular", "Uniform", "Gaussian"};

}  // namespace zeltrak
