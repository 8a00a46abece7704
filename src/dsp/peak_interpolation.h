#pragma once
#include <cstdint>

#include "dsp/smoothing.h"

namespace zeltrak {

// Where between bins a tone lies, from the power of its largest bin and of the two bins beside
// it: the offset in bins (-0.5 ... 0.5) to add to the largest bin. The window's own transform
// says how the power of a tone divides between adjacent bins, so the estimate holds for every
// window (a parabola through the log spectrum is off by up to a sixth of a bin with some).
// 0 when the powers give no usable answer.
double PeakOffset(WindowType windowType, uint32_t fftSize, double below, double peak, double above);

}  // namespace zeltrak
