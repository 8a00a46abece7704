#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/wave_driver.h"

namespace zeltrak {

// The machine's sound devices (ALSA, JACK, PulseAudio ...) through PortAudio. Samples are
// copied between the stream and the owner's queued buffers on PortAudio's callback thread only;
// positions count the frames actually transferred. A machine without sound hardware simply has
// no devices. PortAudio has no device volume, so no device reports volume support.
// Starting, stopping and closing a stream wait a bounded time: a stream whose server or device
// stops answering (a frozen JACK server) is given up and fails, so that the owner can still quit.
class PortAudioDriver : public WaveDriver {
public:
    PortAudioDriver();
    ~PortAudioDriver() override;
    PortAudioDriver(const PortAudioDriver&) = delete;
    PortAudioDriver& operator=(const PortAudioDriver&) = delete;

    // False when the library could not start; the driver then lists no devices.
    bool Initialized() const { return initialized_; }

    // True once a stream in this process was given up on a server or device that stopped
    // answering. PortAudio then stays initialised for good, holding the host interface as it was.
    static bool StreamsAbandoned() { return abandoned_.load() > 0; }

    uint32_t DeviceCount(WaveDirection direction) override;
    WaveResult GetInCaps(uint32_t device, WaveInCaps& caps) override;
    WaveResult GetOutCaps(uint32_t device, WaveOutCaps& caps) override;
    WaveResult QueryFormat(WaveDirection direction, uint32_t device, const WaveFormat& format) override;
    WaveResult Open(WaveDirection direction, uint32_t device, const WaveFormat& format, WaveNotifySink* sink,
                    std::unique_ptr<WaveStream>& stream) override;
    WaveResult GetVolume(uint32_t outputDevice, uint32_t& volume) override;
    WaveResult SetVolume(uint32_t outputDevice, uint32_t volume) override;

    // Which host interface serves a device ("ALSA", "JACK Audio Connection Kit" ...), and its full name.
    std::string HostApiName(WaveDirection direction, uint32_t device) const;
    std::string FullDeviceName(WaveDirection direction, uint32_t device) const;

private:
    class Stream;
    struct Device {
        int paIndex = -1;
        std::optional<uint32_t> formats;  // probed on first use
    };

    Device* Find(WaveDirection direction, uint32_t device);
    const Device* Find(WaveDirection direction, uint32_t device) const;
    uint32_t ProbeFormats(WaveDirection direction, int paIndex);
    bool IsJack(int paIndex) const;
    // A stream whose sound server vanished or stopped answering cannot be closed without
    // hanging; it is left open, and if it was on JACK, JACK devices are refused from then on.
    static void AbandonStream(bool jack);
    WaveResult FillCaps(WaveDirection direction, uint32_t device, char (&name)[32], uint32_t& formats,
                        uint16_t& channels, uint32_t& version);

    bool initialized_ = false;
    // Process-wide, as PortAudio's state is: a later driver gets the same wedged host interface.
    static inline std::atomic<bool> jackGone_{false};
    static inline std::atomic<int> abandoned_{0};
    std::mutex mutex_;
    std::vector<Device> inputs_;
    std::vector<Device> outputs_;
};

}  // namespace zeltrak
