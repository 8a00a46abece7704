#pragma once
#include <string>

#include "utilities/reverb_analysis.h"

namespace zeltrak {

// Copy as Text of the three views, lines ending "\r\n".
// Per band: frequency (or "Wideband") and the time t10 ... t60 picked by `rtIndex` (0 ... 5).
std::string ReverbTimesText(const ReverbData& data, int rtIndex);
// Per frame: time and the smoothed level of `band`.
std::string ReverbDecayText(const ReverbData& data, int band);
// Per frame: time, then every band's smoothed level, each followed by a tab.
std::string ReverbSurfaceText(const ReverbData& data);

}  // namespace zeltrak
