#pragma once
#include <bitset>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/automation_items.h"

namespace zeltrak {

// What the automation transport asks of the analyser. Every call is made on the analyser's
// own thread (the transport hands it over with an EnginePost and waits for the answer).
class TAutomationBackend {
public:
    virtual ~TAutomationBackend() = default;
    // Runs an execute command; true when it was carried out (acknowledged).
    virtual bool Execute(std::string_view command) = 0;
    // The reply text of an item; nothing for a name that is not an item.
    virtual std::optional<std::string> Request(std::string_view item) = 0;
};

// Runs a piece of work on the analyser's thread, later; callable from any thread.
using EnginePost = std::function<void(std::function<void()>)>;

// Which items have advise subscribers, by index.
using AdviseSet = std::bitset<kAutomationItemCount>;

// Where advise values go: the transport's subscribers. Called on the analyser's thread.
class TAdviseSink {
public:
    virtual ~TAdviseSink() = default;
    // The items someone subscribes to now (the analyser computes only those).
    virtual AdviseSet Subscribed() const = 0;
    // New values (item index, reply text), each sent to every subscriber of its item.
    virtual void Publish(std::vector<std::pair<int, std::string>> values) = 0;
};

}  // namespace zeltrak
