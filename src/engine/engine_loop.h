#pragma once
#include <cstdint>
#include <functional>

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
    // Pumps until the engine stops or `cancel` returns true (checked every round).
    // `idleGapMs` > 0 waits that long for a notice between idle steps, which keeps a live
    // analysis from spinning on data it has already shown.
    void RunUntilStopped(const std::function<bool()>& cancel, uint32_t idleGapMs = 0);

private:
    TEngine& engine_;
    BufferDoneQueue& queue_;
    bool idleWanted_ = true;
};

}  // namespace zeltrak
