#include "engine/engine_loop.h"

#include <algorithm>
#include <chrono>

#include "engine/engine.h"

namespace zeltrak {

int TEngineLoop::DeliverPending() {
    int n = 0;
    BufferDoneQueue::Notice notice{};
    while (queue_.TryPop(notice)) {
        engine_.BufferDone(notice.direction, notice.header);
        ++n;
    }
    return n;
}

bool TEngineLoop::Pump(uint32_t waitMs) {
    const int delivered = DeliverPending();
    if (engine_.TakeIdleRequest()) idleWanted_ = true;
    if (engine_.Running() && idleWanted_) {
        idleWanted_ = engine_.FrameStep();
    } else if (delivered == 0 && waitMs > 0) {
        BufferDoneQueue::Notice notice{};
        if (queue_.WaitPop(notice, std::chrono::milliseconds(waitMs))) engine_.BufferDone(notice.direction, notice.header);
    }
    return engine_.Running();
}

bool TEngineLoop::WaitForNotice(uint32_t ms) {
    BufferDoneQueue::Notice notice{};
    if (!queue_.WaitPop(notice, std::chrono::milliseconds(ms))) return false;
    engine_.BufferDone(notice.direction, notice.header);
    return true;
}

uint32_t TEngineLoop::MillisecondsToWork(uint32_t unpacedMs) {
    if (queue_.Size() > 0) return 0;
    if (!engine_.Running()) return unpacedMs;
    return engine_.MillisecondsToNextFrame().value_or(unpacedMs);
}

void TEngineLoop::WaitForWork(uint32_t unpacedMs, uint32_t maxMs) {
    const uint32_t ms = std::min(MillisecondsToWork(unpacedMs), maxMs);
    if (ms > 0) WaitForNotice(ms);
}

}  // namespace zeltrak
