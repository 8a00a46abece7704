#include "engine/device_list.h"

#include <algorithm>
#include <cstring>

namespace zeltrak {

namespace {

// Capability names are fixed fields that a driver may fill to the last byte.
template <size_t N>
std::string NameOf(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

WaveFormat Pcm16(uint32_t rate, uint16_t channels) {
    WaveFormat f;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = 16;
    f.blockAlign = static_cast<uint16_t>(2 * channels);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

// Asked in as many channels as the analyser would use, up to two.
std::vector<uint32_t> AcceptedRates(WaveDriver& driver, WaveDirection direction, uint32_t device, uint16_t channels) {
    const uint16_t asked = static_cast<uint16_t>(std::clamp<uint16_t>(channels, 1, 2));
    std::vector<uint32_t> rates;
    for (const uint32_t rate : kPresetRates)
        if (driver.QueryFormat(direction, device, Pcm16(rate, asked)) == kWaveOk) rates.push_back(rate);
    return rates;
}

template <typename Caps>
DeviceListing Describe(const Caps& caps) {
    return {NameOf(caps.productName), caps.channels, {}};
}

DeviceListing DescribeDevice(WaveDriver& driver, WaveDirection direction, uint32_t device) {
    if (direction == WaveDirection::Input) {
        WaveInCaps caps;
        return driver.GetInCaps(device, caps) == kWaveOk ? Describe(caps) : DeviceListing{};
    }
    WaveOutCaps caps;
    return driver.GetOutCaps(device, caps) == kWaveOk ? Describe(caps) : DeviceListing{};
}

bool TakesEveryPresetBetween(const std::vector<uint32_t>& rates) {
    const auto first = std::find(kPresetRates.begin(), kPresetRates.end(), rates.front());
    const auto last = std::find(kPresetRates.begin(), kPresetRates.end(), rates.back());
    return last != kPresetRates.end() && static_cast<size_t>(last - first) + 1 == rates.size();
}

std::string RatesText(const std::vector<uint32_t>& rates) {
    if (rates.size() > 2 && TakesEveryPresetBetween(rates))
        return std::to_string(rates.front()) + "\u2013" + std::to_string(rates.back()) + " Hz";
    std::string text;
    for (const uint32_t rate : rates) text += (text.empty() ? "" : ", ") + std::to_string(rate);
    return text + " Hz";
}

}  // namespace

std::vector<DeviceListing> ListDevices(WaveDriver& driver, WaveDirection direction) {
    const uint32_t count = driver.DeviceCount(direction);
    std::vector<DeviceListing> devices;
    for (uint32_t device = 0; device < count; ++device) {
        DeviceListing d = DescribeDevice(driver, direction, device);
        d.rates = AcceptedRates(driver, direction, device, d.channels);
        devices.push_back(std::move(d));
    }
    return devices;
}

std::string DeviceCapabilityText(const DeviceListing& device) {
    std::string text = device.channels > 0 ? std::to_string(device.channels) + " ch" : "";
    if (!device.rates.empty()) text += (text.empty() ? "" : ", ") + RatesText(device.rates);
    return text;
}

}  // namespace zeltrak
