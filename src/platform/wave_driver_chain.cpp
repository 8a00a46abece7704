#include "platform/wave_driver_chain.h"

namespace zeltrak {

WaveDriver* WaveDriverChain::Resolve(WaveDirection direction, uint32_t device, uint32_t& local) {
    for (auto& d : drivers_) {
        const uint32_t count = d->DeviceCount(direction);
        if (device < count) {
            local = device;
            return d.get();
        }
        device -= count;
    }
    return nullptr;
}

uint32_t WaveDriverChain::DeviceCount(WaveDirection direction) {
    uint32_t total = 0;
    for (auto& d : drivers_) total += d->DeviceCount(direction);
    return total;
}

WaveResult WaveDriverChain::GetInCaps(uint32_t device, WaveInCaps& caps) {
    uint32_t local = 0;
    WaveDriver* d = Resolve(WaveDirection::Input, device, local);
    return d == nullptr ? kWaveBadDeviceId : d->GetInCaps(local, caps);
}

WaveResult WaveDriverChain::GetOutCaps(uint32_t device, WaveOutCaps& caps) {
    uint32_t local = 0;
    WaveDriver* d = Resolve(WaveDirection::Output, device, local);
    return d == nullptr ? kWaveBadDeviceId : d->GetOutCaps(local, caps);
}

WaveResult WaveDriverChain::QueryFormat(WaveDirection direction, uint32_t device, const WaveFormat& format) {
    uint32_t local = 0;
    WaveDriver* d = Resolve(direction, device, local);
    return d == nullptr ? kWaveBadDeviceId : d->QueryFormat(direction, local, format);
}

WaveResult WaveDriverChain::Open(WaveDirection direction, uint32_t device, const WaveFormat& format,
                                 WaveNotifySink* sink, std::unique_ptr<WaveStream>& stream) {
    uint32_t local = 0;
    WaveDriver* d = Resolve(direction, device, local);
    return d == nullptr ? kWaveBadDeviceId : d->Open(direction, local, format, sink, stream);
}

WaveResult WaveDriverChain::GetVolume(uint32_t outputDevice, uint32_t& volume) {
    uint32_t local = 0;
    WaveDriver* d = Resolve(WaveDirection::Output, outputDevice, local);
    return d == nullptr ? kWaveBadDeviceId : d->GetVolume(local, volume);
}

WaveResult WaveDriverChain::SetVolume(uint32_t outputDevice, uint32_t volume) {
    uint32_t local = 0;
    WaveDriver* d = Resolve(WaveDirection::Output, outputDevice, local);
    return d == nullptr ? kWaveBadDeviceId : d->SetVolume(local, volume);
}

}  // namespace zeltrak
