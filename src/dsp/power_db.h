#pragma once
#include <cstdint>

namespace zeltrak {

// 10·log10(power) of a float, -999.9 where power is not above 0, within a few float ulps of
// the library logarithm: cheap enough for the decibel copy of every bin of every frame.
float PowerToDbFast(float power);

// out[i] = PowerToDbFast(p[i]) for n values, in a loop that vectorises.
void PowerToDbArray(const float* p, float* out, uint32_t n);

}  // namespace zeltrak
