#pragma once

namespace zeltrak {

// The reverberation measurement's own words (the duplex refusal is the ports' kNoDuplexText,
// the memory failure the numbered kStrInsufficientMemory).
inline constexpr const char* kReverbInProgressText = "Reverb measurement in progress. Press <Esc> to cancel.";
inline constexpr const char* kReverbAcquiringText = "Acquiring Data...";

}  // namespace zeltrak
