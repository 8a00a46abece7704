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

// Below this coherence a two-channel result's phase is mostly noise: blank by default where
// less than half of it is explained by the other channel.
inline constexpr double kDefaultPhaseBlankCoherence = 0.5;
// Thresholds from 0 (blank nothing) to 1.
bool UsablePhaseBlankCoherence(double threshold);
// The threshold written in text (surrounding blanks allowed); nullopt for anything else or a
// threshold outside 0 … 1.
std::optional<double> ParsePhaseBlankCoherence(const std::string& text);

// Sets to NaN each phase[k] whose coherence lies below threshold, the coherence read as the
// view shows it: coherenceSquared[k] (γ², as the processing keeps it) when shownSquared, else
// its root |γ|. n is the shorter of the two lengths.
void BlankIncoherentPhase(const float* coherenceSquared, std::size_t n, double threshold, bool shownSquared,
                          std::vector<float>& phase);

}  // namespace zeltrak
