#pragma once
#include <algorithm>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/loopback_driver.h"

namespace zeltrak::test {

// A card with several named devices per direction. Every device is served by one manual-clock
// Loopback card underneath; the driver remembers which device each open asked for.
class MultiDeviceDriver : public WaveDriver {
public:
    MultiDeviceDriver(std::vector<std::string> in, std::vector<std::string> out)
        : inputs(std::move(in)), outputs(std::move(out)), card(Manual()) {}
    static LoopbackConfig Manual() {
        LoopbackConfig c;
        c.clock = LoopbackConfig::Clock::Manual;
        return c;
    }

    uint32_t DeviceCount(WaveDirection d) override {
        return static_cast<uint32_t>(d == WaveDirection::Input ? inputs.size() : outputs.size());
    }
    WaveResult GetInCaps(uint32_t device, WaveInCaps& caps) override {
        if (device >= inputs.size() || capsFailing.count(device)) return kWaveBadDeviceId;
        caps = WaveInCaps{};
        Fill(caps.productName, inputs[device]);
        caps.formats = kFormatAnyStereo | kFormatAny16Bit | kFormatAny44k;
        return kWaveOk;
    }
    WaveResult GetOutCaps(uint32_t device, WaveOutCaps& caps) override {
        if (device >= outputs.size()) return kWaveBadDeviceId;
        caps = WaveOutCaps{};
        Fill(caps.productName, outputs[device]);
        caps.formats = kFormatAnyStereo | kFormatAny16Bit | kFormatAny44k;
        return kWaveOk;
    }
    WaveResult QueryFormat(WaveDirection d, uint32_t device, const WaveFormat& f) override {
        if (device >= DeviceCount(d)) return kWaveBadDeviceId;
        return card.QueryFormat(d, 0, f);
    }
    WaveResult Open(WaveDirection d, uint32_t device, const WaveFormat& f, WaveNotifySink* sink,
                    std::unique_ptr<WaveStream>& stream) override {
        (d == WaveDirection::Input ? openedInputs : openedOutputs).push_back(device);
        if (device >= DeviceCount(d) || unplugged) return kWaveBadDeviceId;
        return card.Open(d, 0, f, sink, stream);
    }
    WaveResult GetVolume(uint32_t, uint32_t& v) override { return card.GetVolume(0, v); }
    WaveResult SetVolume(uint32_t, uint32_t v) override { return card.SetVolume(0, v); }

    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    std::set<uint32_t> capsFailing;  // input devices whose capabilities cannot be read
    bool unplugged = false;          // every open fails although the devices are still listed
    bool fullNames = false;          // names fill all 32 bytes with no terminator
    std::vector<uint32_t> openedInputs;
    std::vector<uint32_t> openedOutputs;
    LoopbackDriver card;

private:
    void Fill(char (&field)[32], const std::string& name) const {
        if (fullNames) {
            std::fill(std::begin(field), std::end(field), 'N');
            std::copy_n(name.begin(), std::min<size_t>(name.size(), 32), field);
        } else {
            CopyProductName(field, name.c_str());
        }
    }
};

}  // namespace zeltrak::test
