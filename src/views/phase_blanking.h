#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zeltrak {

// How far below a spectrum's highest bin a bin's phase is still worth drawing: deeper down the
// bin holds noise and its phase is random.
inline constexpr double kDefaultPhaseBlankDepthDb = 60.0;

// The depths a user may choose: shallower blanks the tone's own skirts, deeper keeps noise.
inline constexpr double kMinPhaseBlankDepthDb = 1.0;
inline constexpr double kMaxPhaseBlankDepthDb = 200.0;
bool UsablePhaseBlankDepth(double depthDb);
// The depth written in text (surrounding blanks allowed); nullopt for anything else or a depth
// outside the usable range.
std::optional<double> ParsePhaseBlankDepth(const std::string& text);

// Sets to NaN (blank: not drawn, not exported) each phase[k] whose bin power power[k] (linear,
// |X|²) lies more than depthDb below the highest power of the first n bins; a bin with no power
// at all is always blank. n is the shorter of the two lengths. A depth that is not positive
// and finite blanks nothing.
void BlankWeakPhase(const float* power, std::size_t n, double depthDb, std::vector<float>& phase);

}  // namespace zeltrak
