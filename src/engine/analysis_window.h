#pragma once
#include <cstdint>
#include <vector>

#include "dsp/smoothing.h"

namespace zeltrak {

class Host;

// The analysis window's coefficients for the engine. Kept in its own unit so that the engine
// sees the window as plain floats.
// Returns false when the window could not be built (why is told through host, when given).
// `uniform` is set for the Uniform window, whose frames are not multiplied at all.
bool BuildAnalysisWindow(uint32_t size, WindowType type, WindowCorrection correctionMode, Host* host,
                         std::vector<float>& coefficients, bool& uniform);

}  // namespace zeltrak
