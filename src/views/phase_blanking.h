#pragma once
#include <cstddef>
#include <vector>

namespace zeltrak {

// How far below a spectrum's highest bin a bin's phase is still worth drawing: deeper down the
// bin holds noise and its phase is random.
inline constexpr double kDefaultPhaseBlankDepthDb = 60.0;

// Sets to NaN (blank: not drawn, not exported) each phase[k] whose bin power power[k] (linear,
// |X|²) lies more than depthDb below the highest power of the first n bins; a bin with no power
// at all is always blank. n is the shorter of the two lengths. A depth that is not positive
// and finite blanks nothing.
void BlankWeakPhase(const float* power, std::size_t n, double depthDb, std::vector<float>& phase);

}  // namespace zeltrak
