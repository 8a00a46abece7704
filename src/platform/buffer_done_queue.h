#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/wave_driver.h"

namespace zeltrak {

// A plain thread-safe queue of buffer-done notices, for the headless loop and tests.
class BufferDoneQueue : public WaveNotifySink {
public:
    struct Notice {
        WaveDirection direction;
        WaveHeader* header;
    };

    void PostBufferDone(WaveDirection direction, WaveHeader* header) override {
        std::lock_guard lock(mutex_);
        notices_.push_back({direction, header});
        ready_.notify_all();
        if (wake_) wake_();
    }

    // Called on the driver's thread after each notice, for a loop that does not wait on the
    // queue itself (an event loop). Held under the queue's lock, so clearing it is safe.
    void SetWake(std::function<void()> wake) {
        std::lock_guard lock(mutex_);
        wake_ = std::move(wake);
    }

    bool TryPop(Notice& out) {
        std::lock_guard lock(mutex_);
        if (notices_.empty()) return false;
        out = notices_.front();
        notices_.pop_front();
        return true;
    }

    // Waits at most `timeout` for a notice; a Wake ends the wait early (without a notice).
    bool WaitPop(Notice& out, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, timeout, [this] { return !notices_.empty() || woken_; }) || notices_.empty()) {
            woken_ = false;
            return false;
        }
        out = notices_.front();
        notices_.pop_front();
        return true;
    }

    // Ends a waiting WaitPop: other work (a posted task) is due on the owner's thread.
    void Wake() {
        std::lock_guard lock(mutex_);
        woken_ = true;
        ready_.notify_all();
        if (wake_) wake_();
    }

    size_t Size() const {
        std::lock_guard lock(mutex_);
        return notices_.size();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Notice> notices_;
    std::function<void()> wake_;
    bool woken_ = false;
};

}  // namespace zeltrak
