#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

// How the delay finder shows a delay.
enum class DelayUnits : uint16_t { Milliseconds = 0, Feet = 1, Metres = 2 };

struct DelayFinderOptions {
    DelayUnits displayUnits = DelayUnits::Milliseconds;
    int32_t maxDelayMs = 500;          // 10..1000
    float speedOfSoundFtPerS = 1130.0f;  // 10..100,000
};

// The correlation block length for a largest delay of `maxDelayMs` at `rate`: the search
// window of three quarters of the block must span the delay either way.
uint32_t DelayBlockLength(int32_t maxDelayMs, uint32_t rate);

// The delay as the window shows it: "%6.3f msec", "%6.3f ft" or "%6.3f m".
std::string FormatDelay(double delayMs, const DelayFinderOptions& options);

}  // namespace zeltrak
