#pragma once
#include <string>

namespace zeltrak {

// A time in seconds as the displays write it: the shortest of "s.mmm", "m:ss.mmm",
// "h:mm:ss.mmm" whose leading field is not zero, with "-" before negative values.
std::string FormatTimeWithMillis(double seconds);
// The same without the milliseconds: "s", "m:ss", "h:mm:ss".
std::string FormatTime(double seconds);

}  // namespace zeltrak
