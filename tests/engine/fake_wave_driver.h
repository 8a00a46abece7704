#pragma once
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/loopback_driver.h"

namespace zeltrak::test {

// A driver with chosen device names, format bits and scripted failures, on top of a manual-clock
// Loopback card that does the real buffer work.
class FakeWaveDriver : public WaveDriver {
public:
    explicit FakeWaveDriver(LoopbackConfig config = ManualConfig()) : card(config) {}
    static LoopbackConfig ManualConfig() {
        LoopbackConfig c;
        c.clock = LoopbackConfig::Clock::Manual;
        return c;
    }

    // Device 0 of each direction exists unless devices is 0; every device reports `name`.
    std::string name = "Fake";
    uint32_t devices = 1;
    uint32_t formats = 0;
    uint32_t support = kWaveCapsVolume;
    bool capsFail = false;
    bool refuse24 = false;
    WaveResult openResult = kWaveOk;
    // Results handed out, in order, by the named stream operation before it reaches the card.
    std::map<std::string, std::deque<WaveResult>> inject;
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
        stream = std::make_unique<Stream>(*this, std::move(inner));
        return kWaveOk;
    }
    WaveResult GetVolume(uint32_t device, uint32_t& v) override { return device >= devices ? kWaveBadDeviceId : card.GetVolume(0, v); }
    WaveResult SetVolume(uint32_t device, uint32_t v) override { return device >= devices ? kWaveBadDeviceId : card.SetVolume(0, v); }

private:
    class Stream : public WaveStream {
    public:
        Stream(FakeWaveDriver& d, std::unique_ptr<WaveStream> inner) : d_(d), inner_(std::move(inner)) {}
        WaveResult Prepare(WaveHeader& h) override { return Run("Prepare", [&] { return inner_->Prepare(h); }); }
        WaveResult Unprepare(WaveHeader& h) override { return Run("Unprepare", [&] { return inner_->Unprepare(h); }); }
        WaveResult AddBuffer(WaveHeader& h) override { return Run("AddBuffer", [&] { return inner_->AddBuffer(h); }); }
        WaveResult Start() override { return Run("Start", [&] { return inner_->Start(); }); }
        WaveResult Pause() override { return Run("Pause", [&] { return inner_->Pause(); }); }
        WaveResult Restart() override { return Run("Restart", [&] { return inner_->Restart(); }); }
        WaveResult Reset() override { return Run("Reset", [&] { return inner_->Reset(); }); }
        WaveResult GetPosition(uint32_t& b) override { return inner_->GetPosition(b); }
        WaveResult Message(uint32_t, uintptr_t, uintptr_t) override { return kWaveNotSupported; }
        WaveResult Close() override { return Run("Close", [&] { return inner_->Close(); }); }

    private:
        template <class F>
        WaveResult Run(const std::string& op, F forward) {
            auto it = d_.inject.find(op);
            if (it != d_.inject.end() && !it->second.empty()) {
                const WaveResult r = it->second.front();
                it->second.pop_front();
                if (r != kWaveOk) return r;
            }
            return forward();
        }
        FakeWaveDriver& d_;
        std::unique_ptr<WaveStream> inner_;
    };
};

}  // namespace zeltrak::test
