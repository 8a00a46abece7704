#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace zeltrak {

// Anti-alias low-pass applied to stored integer samples before keeping one sample in D.
inline constexpr int kDecimationTaps = 39;
// The filtered output leads its input by this many samples (the centre tap).
inline constexpr int kDecimationAdvance = 19;

using DecimationTaps = std::array<float, kDecimationTaps>;

// Windowed-sinc design for ratio D: cut-off π/D, centre tap 1/D, tapered by a 39-point
// Hanning window. A ratio below 2 gives the identity (a unit centre tap).
DecimationTaps DesignDecimationFilter(uint32_t ratio);

// Filters `count` samples of `bytesPerSample` bytes (1 unsigned, 2/3/4 signed
// little-endian; 3-byte samples are sign-extended and packed back) in place:
// s[p] = trunc(Σ s[p + k]·h[k]) for p < count - 40. Results beyond the sample width
// saturate instead of wrapping. A buffer of 40 samples or fewer is left as it is.
// False for a null buffer or a width other than 1 ... 4 bytes.
bool LowPassFilterSamples(uint8_t* samples, size_t count, uint16_t bytesPerSample, const DecimationTaps& taps);

// Keeps every ratio-th sample in place: s[i] = s[i·D] for i < count / D. Returns the new
// count (count itself for a ratio of 1, 0 for a ratio of 0, a null buffer or a bad width).
size_t DecimateSamples(uint8_t* samples, size_t count, uint16_t bytesPerSample, uint32_t ratio);

}  // namespace zeltrak
