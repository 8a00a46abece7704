#pragma once
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

namespace zeltrak {

// Work handed to the owner's thread from other threads (the automation server's requests):
// posted anywhere, run in order where the owner's loop calls RunPending.
class TTaskQueue {
public:
    // `wake` is called after each post, to end the owner's wait.
    explicit TTaskQueue(std::function<void()> wake = {}) : wake_(std::move(wake)) {}

    void Post(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        if (wake_) wake_();
    }

    // Runs what was posted before the call; returns how many ran.
    int RunPending() {
        std::deque<std::function<void()>> due;
        {
            std::lock_guard lock(mutex_);
            due.swap(tasks_);
        }
        for (auto& task : due) task();
        return static_cast<int>(due.size());
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    std::function<void()> wake_;
};

}  // namespace zeltrak
