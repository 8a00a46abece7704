#pragma once
#include <array>
#include <optional>
#include <string>

#include "automation/automation_commands.h"

namespace zeltrak {

// A frequency or time range set through automation (lo < hi).
struct AutomationRange {
    double lo = 0.0;
    double hi = 0.0;
};

// What the automation commands set that the analyser's settings do not hold: the markers, the
// view ranges, the time segment, the annotation lines, and the two texts a reply clears.
struct AutomationState {
    std::array<std::optional<double>, 6> markers;       // Hz
    std::array<std::optional<AutomationRange>, 5> spans;  // by AutomationView, Hz
    std::optional<AutomationRange> timeSegment;           // seconds of the open file
    std::array<std::string, 2> annotation;
    std::string passString;
    std::string lastClosedFile;
};

}  // namespace zeltrak
