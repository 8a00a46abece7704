#include "engine/engine_loop.h"

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

void TEngineLoop::RunUntilStopped(const std::function<bool()>& cancel, uint32_t idleGapMs) {
    idleWanted_ = true;
    while (engine_.Running()) {
        if (cancel && cancel()) return;
        Pump(20);
        if (idleGapMs > 0 && engine_.Running()) WaitForNotice(idleGapMs);
    }
    DeliverPending();
}

}  // namespace zeltrak
