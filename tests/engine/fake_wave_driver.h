#pragma once
#include "engine/multi_device_driver.h"

namespace zeltrak::test {

// A driver with chosen device names, format bits and scripted failures, on top of a manual-clock
// Loopback card that does the real buffer work.
class FakeWaveDriver : public WaveDriver {
public:
    FakeWaveDriver() : card(ManualClock()) {}

    // Device 0 of each direction exists unless devices is 0; every device reports `name`.
    std::string name = "Fake";
    uint32_t devices = 1;
    uint32_t formats = 0;
    uint32_t support = kWaveCapsVolume;
    bool capsFail = false;
    bool refuse24 = false;
    WaveResult openResult = kWaveOk;
    InjectedResults inject;
    uint32_t positionOffset = 0;  // added to the streams' byte positions, to bring a wrap near
    LoopbackDriver card;

    uint32_t DeviceCount(WaveDirection) override { return devices; }
    WaveResult GetInCaps(uint32_t device, WaveInCaps& caps) override {
        if (capsFail || device >= devices) return kWaveBadDeviceId;
        caps = WaveInCaps{};
        CopyProductName(caps.productName, name.c_str());
        caps.formats = formats;
        return kWaveOk;
    }
    WaveResult GetOutCaps(uint32_t device, WaveOutCaps& caps) override {
        if (capsFail || device >= devices) return kWaveBadDeviceId;
        caps = WaveOutCaps{};
        CopyProductName(caps.productName, name.c_str());
        caps.formats = formats;
        caps.support = support;
        return kWaveOk;
    }
    WaveResult QueryFormat(WaveDirection d, uint32_t device, const WaveFormat& f) override {
        if (device >= devices) return kWaveBadDeviceId;
        if (refuse24 && f.ContainerBytes() == 3) return kWaveBadFormat;
        return card.QueryFormat(d, 0, f);
    }
    WaveResult Open(WaveDirection d, uint32_t device, const WaveFormat& f, WaveNotifySink* sink,
                    std::unique_ptr<WaveStream>& stream) override {
        if (device >= devices) return kWaveBadDeviceId;
        if (openResult != kWaveOk) return openResult;
        std::unique_ptr<WaveStream> inner;
        const WaveResult r = card.Open(d, 0, f, sink, inner);
        if (r != kWaveOk) return r;
        stream = std::make_unique<PullableStream>(std::move(inner), notPulled_, &inject, &positionOffset);
        return kWaveOk;
    }
    WaveResult GetVolume(uint32_t device, uint32_t& v) override { return device >= devices ? kWaveBadDeviceId : card.GetVolume(0, v); }
    WaveResult SetVolume(uint32_t device, uint32_t v) override { return device >= devices ? kWaveBadDeviceId : card.SetVolume(0, v); }

private:
    const bool notPulled_ = false;
};

}  // namespace zeltrak::test
