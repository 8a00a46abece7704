#pragma once
#include <cstdint>

namespace zeltrak {

// Averaging types. The `AverageType` setting stores them as these integer codes.
enum class AveragingType : uint16_t {
    Exponential = 0,
    Linear = 1,
    Vector = 2,
};

inline constexpr uint16_t kAveragingTypeCount = 3;

constexpr uint16_t AveragingCode(AveragingType type) { return static_cast<uint16_t>(type); }
// An unknown code averages like the default, exponentially.
constexpr AveragingType AveragingTypeFromCode(uint32_t code) {
    if (code == AveragingCode(AveragingType::Linear)) return AveragingType::Linear;
    if (code == AveragingCode(AveragingType::Vector)) return AveragingType::Vector;
    return AveragingType::Exponential;
}

// "Infinite" in the averaging dialog.
inline constexpr uint32_t kInfiniteAverageBlocks = 1000000;

}  // namespace zeltrak
