#include "engine/device_list.h"

#include <cstring>

namespace zeltrak {

namespace {

// Capability names are fixed fields that a driver may fill to the last byte.
template <size_t N>
std::string NameOf(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

}  // namespace

std::vector<std::string> ListDeviceNames(WaveDriver& driver, WaveDirection direction) {
    const uint32_t count = driver.DeviceCount(direction);
    std::vector<std::string> names;
    for (uint32_t device = 0; device < count; ++device) {
        if (direction == WaveDirection::Input) {
            WaveInCaps caps;
            names.push_back(driver.GetInCaps(device, caps) == kWaveOk ? NameOf(caps.productName) : std::string());
        } else {
            WaveOutCaps caps;
            names.push_back(driver.GetOutCaps(device, caps) == kWaveOk ? NameOf(caps.productName) : std::string());
        }
    }
    return names;
}

}  // namespace zeltrak
