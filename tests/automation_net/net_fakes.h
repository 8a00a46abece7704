#pragma once
// A fake analyser for the automation transport: its work runs on an "engine" thread of its own
// that drains what EnginePost queues, as the real analyser's thread would.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "automation/automation_backend.h"
#include "automation/automation_items.h"

namespace zeltrak::testing {

class EngineThread {
public:
    EngineThread() : thread_([this] { Drain(); }) {}
    ~EngineThread() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        ready_.notify_one();
        thread_.join();
    }
    EnginePost Poster() {
        return [this](std::function<void()> work) {
            {
                std::lock_guard lock(mutex_);
                queue_.push_back(std::move(work));
            }
            ready_.notify_one();
        };
    }

private:
    void Drain() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty()) return;
            auto work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            work();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    bool stop_ = false;
    std::thread thread_;
};

// "Peak Frequency" answers as a stereo pair; "Delay Finder" takes `slow` to answer; "[Run]" is
// the one command acknowledged. Every command text received is kept.
class FakeBackend : public TAutomationBackend {
public:
    bool Execute(std::string_view command) override {
        std::lock_guard lock(mutex);
        commands.emplace_back(command);
        return command == "[Run]";
    }
    std::optional<std::string> Request(std::string_view item) override {
        const std::optional<int> index = AutomationItemIndex(item);
        if (!index) return std::nullopt;
        if (*index == kItemDelayFinder) std::this_thread::sleep_for(slow);
        if (*index == kItemPeakFrequency) return FormatPairItem(1000.0, 997.5);
        return std::string(AutomationItemNames()[static_cast<std::size_t>(*index)]) + " value";
    }
    std::mutex mutex;
    std::vector<std::string> commands;
    std::chrono::milliseconds slow{0};
};

}  // namespace zeltrak::testing
