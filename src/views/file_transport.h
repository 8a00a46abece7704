#pragma once

namespace zeltrak {

class TEngine;

// The Post-Processing transport on the engine's open file; false when there is none or the
// time is outside the file (the position then stays).
bool RewindFile(TEngine& engine);
bool FastForwardFile(TEngine& engine);
bool GoToSeconds(TEngine& engine, double seconds);

}  // namespace zeltrak
