#pragma once
#include <string>

namespace zeltrak {

class TEngine;

// One line of the run's state as the status bar shows it: run state, frames, average count,
// overload, and the peak frequency with its level.
std::string EngineStatusLine(TEngine& engine);

}  // namespace zeltrak
