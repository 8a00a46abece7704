#pragma once
#include <cstdint>

#include "platform/buffer_done_queue.h"

namespace zeltrak {

class TEngine;

// The small headless event loop: delivers the sound drivers' buffer-done notices to the
// engine on this thread and calls its idle step while it asks for more.
class TEngineLoop {
public:
    TEngineLoop(TEngine& engine, BufferDoneQueue& queue) : engine_(engine), queue_(queue) {}

    // Hands every pending notice to the engine; returns how many there were.
    int DeliverPending();
    // One round: pending notices, then one idle step when the engine wants one. When there
    // is nothing to do it waits up to `waitMs` for a notice. Returns whether the engine runs.
    bool Pump(uint32_t waitMs);
    // Waits up to `ms` for one notice and delivers it; false when none came.
    bool WaitForNotice(uint32_t ms);
    // How long the loop may sleep before there is work: 0 with notices pending or a frame due,
    // the time until the input completes the next frame, or `unpacedMs` for a run the input
    // does not pace.
    uint32_t MillisecondsToWork(uint32_t unpacedMs);
    // Sleeps until there is work (a notice wakes it early), at most `maxMs`.
    void WaitForWork(uint32_t unpacedMs, uint32_t maxMs);

private:
    TEngine& engine_;
    BufferDoneQueue& queue_;
    bool idleWanted_ = true;
};

}  // namespace zeltrak
