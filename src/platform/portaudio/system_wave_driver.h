#pragma once
#include <memory>

#include "platform/loopback_driver.h"
#include "platform/wave_driver_chain.h"

namespace zeltrak {

// The drivers the program runs on: in each direction the PortAudio devices first, then the
// Loopback card, so that a machine without sound hardware has the Loopback card as device 0.
std::unique_ptr<WaveDriverChain> CreateSystemWaveDriver(const LoopbackConfig& loopback);

}  // namespace zeltrak
