#pragma once
#include <string>
#include <vector>

#include "platform/wave_driver.h"

namespace zeltrak {

// The product names of a driver's devices in one direction, in device order, so that a
// list's index is the device id. A device the driver cannot describe keeps its place with an
// empty name.
std::vector<std::string> ListDeviceNames(WaveDriver& driver, WaveDirection direction);

}  // namespace zeltrak
