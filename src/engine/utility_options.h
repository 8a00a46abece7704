#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zeltrak {

// `zeltrak dtmf|delay|reverb FILE.wav [options]`: the measurement utilities run on a recording.
// Unset options keep the utility's settings.
struct UtilityOptions {
    enum class Kind { None, Dtmf, Delay, Reverb };
    Kind kind = Kind::None;
    std::string input;
    // delay
    std::optional<int32_t> maxDelayMs;
    std::optional<double> speedOfSound;  // ft/s
    // reverb
    std::optional<int32_t> smoothing;      // 0 none, 1 averaging, 2 Schroeder
    std::optional<int32_t> extrapolation;  // 0 RT 10, 1 RT 20, 2 RT 30
    std::optional<int32_t> maxDecaySeconds;
};

}  // namespace zeltrak
