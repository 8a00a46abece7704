#pragma once
#include <array>

namespace zeltrak {

// Telephone keypad tones: a key sounds one row and one column frequency together.
inline constexpr std::array<double, 4> kDtmfRowHz{697.0, 770.0, 852.0, 941.0};
inline constexpr std::array<double, 4> kDtmfColumnHz{1209.0, 1336.0, 1477.0, 1633.0};
inline constexpr char kDtmfKeys[4][5] = {"123A", "456B", "789C", "*0#D"};

}  // namespace zeltrak
