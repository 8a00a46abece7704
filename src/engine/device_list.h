#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wave_driver.h"

namespace zeltrak {

// The rates a device is asked about, both for the device list and for the rate field's range
// message, so the two always agree.
inline constexpr std::array<uint32_t, 19> kPresetRates{4000,  5512,  6000,  8000,  11025, 12000,  16000,
                                                       22050, 24000, 32000, 44100, 48000, 50000,  64000,
                                                       88200, 96000, 100000, 192000, 200000};

// What the device list shows of one device.
struct DeviceListing {
    std::string name;             // empty when the driver cannot describe the device
    uint16_t channels = 0;        // 0 when unknown
    std::vector<uint32_t> rates;  // the preset rates it takes in 16 bit, ascending
};

// A driver's devices in one direction, in device order, so that a list's index is the device
// id. A device the driver cannot describe keeps its place with an empty name and nothing known.
std::vector<DeviceListing> ListDevices(WaveDriver& driver, WaveDirection direction);

// "2 ch, 4000–200000 Hz": a range when the device takes three or more preset rates and every one
// from its lowest to its highest, otherwise the rates it takes ("44100, 48000 Hz"); empty when
// nothing is known.
std::string DeviceCapabilityText(const DeviceListing& device);

}  // namespace zeltrak
