#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "automation/automation_backend.h"
#include "automation/automation_commands.h"
#include "automation/net/automation_discovery.h"

namespace zeltrak {

class TIniStore;

struct AutomationServerOptions {
    std::vector<std::string> addresses = {"127.0.0.1", "::1"};  // each one that can be bound is served
    uint16_t port = 0;                        // 0: a free port chosen by the system (same port on every address)
    std::vector<std::string> allowedOrigins;  // browser origins allowed ("http://localhost:8080"); none by default
    std::string discoveryPath;                // empty: no discovery file
    std::size_t maxBodyBytes = 64 * 1024;
    std::chrono::milliseconds headerTimeout{10000}, idleTimeout{60000}, engineTimeout{10000};
    std::size_t maxConnections = 256;   // beyond: refused with 503
    std::size_t maxQueuedAdvise = 512;  // per advise client; beyond: oldest dropped and counted
    std::vector<CommandKeyword> commands;  // for /openapi.json
};

// The [Automation] section: Enabled (1), Address (comma list), Port (0), AllowedOrigins (comma list).
AutomationServerOptions ReadAutomationSettings(const TIniStore& ini);
bool AutomationEnabled(const TIniStore& ini);

struct NetState;  // what the io thread, the sessions and the analyser's pending work share

// The automation server: HTTP requests and commands, and WebSocket advise, on the loopback
// interface by default, every request checked for its Host, Origin and token. The analyser's
// work goes through EnginePost; the io thread never waits for it.
class TAutomationServer : public TAdviseSink {
public:
    TAutomationServer(TAutomationBackend& backend, EnginePost post, AutomationServerOptions options);
    ~TAutomationServer() override;
    TAutomationServer(const TAutomationServer&) = delete;
    TAutomationServer& operator=(const TAutomationServer&) = delete;

    // Binds, starts the io thread and writes the discovery file; a new token each time.
    bool Start(std::string& error);
    // Closes every connection, joins the io thread and removes the discovery file.
    void Stop();
    uint16_t Port() const { return port_; }
    const std::string& Token() const { return token_; }

    AdviseSet Subscribed() const override;
    void Publish(std::vector<std::pair<int, std::string>> values) override;

    // Updates dropped for slow advise readers since Start, over all connections.
    std::size_t DroppedAdvise() const;

private:
    bool Bind(NetState& state, std::string& error);

    TAutomationBackend& backend_;
    EnginePost post_;
    AutomationServerOptions options_;
    uint16_t port_ = 0;
    std::string token_;
    std::string boundAddress_;
    std::string writtenDiscovery_;
    mutable std::mutex stateMutex_;  // guards state_ for the analyser's thread against Start/Stop
    std::shared_ptr<NetState> state_;
    std::thread io_;
};

}  // namespace zeltrak
