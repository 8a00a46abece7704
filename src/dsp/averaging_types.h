#pragma once
#include <cstdint>

namespace zeltrak {

// Averaging types (the `AverageType` setting).
enum : uint32_t {
    kAverageExponential = 0,
    kAverageLinear = 1,
    kAverageVector = 2,
};

// "Infinite" in the averaging dialog.
inline constexpr uint32_t kInfiniteAverageBlocks = 1000000;

}  // namespace zeltrak
