#pragma once
#include <memory>
#include <utility>
#include <vector>

#include "platform/wave_driver.h"

namespace zeltrak {

// Several drivers seen as one: per direction, the devices of the first driver come first,
// then those of the next, and so on.
class WaveDriverChain : public WaveDriver {
public:
    void Append(std::unique_ptr<WaveDriver> driver) { drivers_.push_back(std::move(driver)); }
    size_t DriverCount() const { return drivers_.size(); }
    WaveDriver& Driver(size_t i) { return *drivers_[i]; }

    uint32_t DeviceCount(WaveDirection direction) override;
    WaveResult GetInCaps(uint32_t device, WaveInCaps& caps) override;
    WaveResult GetOutCaps(uint32_t device, WaveOutCaps& caps) override;
    WaveResult QueryFormat(WaveDirection direction, uint32_t device, const WaveFormat& format) override;
    WaveResult Open(WaveDirection direction, uint32_t device, const WaveFormat& format, WaveNotifySink* sink,
                    std::unique_ptr<WaveStream>& stream) override;
    WaveResult GetVolume(uint32_t outputDevice, uint32_t& volume) override;
    WaveResult SetVolume(uint32_t outputDevice, uint32_t volume) override;

    // The driver that owns a chain-wide device index and the index within it; null when out of range.
    WaveDriver* Resolve(WaveDirection direction, uint32_t device, uint32_t& local);

private:
    std::vector<std::unique_ptr<WaveDriver>> drivers_;
};

}  // namespace zeltrak
