#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

class TEngine;
enum class EngineRunState : uint32_t;

// The run state as a word ("Running", "Stopped", "Recording", "Playing").
const char* RunStateName(EngineRunState state);

// One line of the run's state as the status bar shows it: run state, frames, average count,
// overload, and the peak frequency with its level.
std::string EngineStatusLine(TEngine& engine);

}  // namespace zeltrak
