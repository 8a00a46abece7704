#pragma once
#include <cstdint>

namespace zeltrak {

// The signal generator as the measurements and the acquisition loop see it: when it is open,
// they start it beside their recording (where the card can play while it records) and stop it
// with the run. The default is no generator.
class GeneratorHook {
public:
    virtual ~GeneratorHook() = default;
    virtual bool Active() const { return false; }
    virtual void StartWithRun() {}
    virtual void StopWithRun() {}
    // The output device it plays on (-1 none), so that a shared device is asked for duplex.
    virtual int32_t OutputDeviceId() const { return -1; }
    // How long to wait after the input started before playing: devices that need a block of
    // silence ahead of their first buffer are given time to queue it.
    virtual uint32_t StartDelayMilliseconds() const { return 0; }
};

}  // namespace zeltrak
