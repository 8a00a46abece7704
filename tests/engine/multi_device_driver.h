#pragma once
#include <algorithm>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/loopback_driver.h"

namespace zeltrak::test {

// A Loopback card that moves only when a test advances it.
inline LoopbackConfig ManualClock() {
    LoopbackConfig c;
    c.clock = LoopbackConfig::Clock::Manual;
    return c;
}

// Results handed out, in order, by the named stream operation before it reaches the card.
using InjectedResults = std::map<std::string, std::deque<WaveResult>>;

// A stream that stops answering once its device is pulled out mid-run, and whose operations
// can be made to fail on cue.
class PullableStream : public WaveStream {
public:
    PullableStream(std::unique_ptr<WaveStream> inner, const bool& pulled, InjectedResults* inject = nullptr,
                   const uint32_t* positionOffset = nullptr)
        : inner_(std::move(inner)), pulled_(pulled), inject_(inject), positionOffset_(positionOffset) {}
    WaveResult Prepare(WaveHeader& h) override { return Run("Prepare", [&] { return inner_->Prepare(h); }); }
    WaveResult Unprepare(WaveHeader& h) override { return Run("Unprepare", [&] { return inner_->Unprepare(h); }); }
    WaveResult AddBuffer(WaveHeader& h) override {
        return pulled_ ? kWaveError : Run("AddBuffer", [&] { return inner_->AddBuffer(h); });
    }
    WaveResult Start() override { return Run("Start", [&] { return inner_->Start(); }); }
    WaveResult Pause() override { return Run("Pause", [&] { return inner_->Pause(); }); }
    WaveResult Restart() override { return Run("Restart", [&] { return inner_->Restart(); }); }
    WaveResult Reset() override { return Run("Reset", [&] { return inner_->Reset(); }); }
    WaveResult GetPosition(uint32_t& bytes) override {
        if (pulled_) return kWaveError;
        const WaveResult r = inner_->GetPosition(bytes);
        if (positionOffset_) bytes += *positionOffset_;  // wraps as a driver's 32-bit count does
        return r;
    }
    WaveResult Message(uint32_t m, uintptr_t a, uintptr_t b) override { return inner_->Message(m, a, b); }
    WaveResult Close() override { return Run("Close", [&] { return inner_->Close(); }); }

private:
    template <class F>
    WaveResult Run(const std::string& op, F forward) {
        std::deque<WaveResult>* q = inject_ ? &(*inject_)[op] : nullptr;
        if (q && !q->empty()) {
            const WaveResult r = q->front();
            q->pop_front();
            if (r != kWaveOk) return r;
        }
        return forward();
    }
    std::unique_ptr<WaveStream> inner_;
    const bool& pulled_;
    InjectedResults* inject_;
    const uint32_t* positionOffset_;
};

// A card with several named devices per direction. Every device is served by one manual-clock
// Loopback card underneath; the driver remembers which device each open asked for.
class MultiDeviceDriver : public WaveDriver {
public:
    MultiDeviceDriver(std::vector<std::string> in, std::vector<std::string> out)
        : inputs(std::move(in)), outputs(std::move(out)), card(ManualClock()) {}

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
        std::unique_ptr<WaveStream> inner;
        const WaveResult r = card.Open(d, 0, f, sink, inner);
        if (r == kWaveOk) stream = std::make_unique<PullableStream>(std::move(inner), pulledOut);
        return r;
    }
    WaveResult GetVolume(uint32_t, uint32_t& v) override { return card.GetVolume(0, v); }
    WaveResult SetVolume(uint32_t, uint32_t v) override { return card.SetVolume(0, v); }

    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    std::set<uint32_t> capsFailing;  // input devices whose capabilities cannot be read
    bool unplugged = false;          // every open fails although the devices are still listed
    bool pulledOut = false;          // open streams stop answering, as when a card is pulled mid-run
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
