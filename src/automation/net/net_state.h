#pragma once
// Internal to the automation transport: what the server, its sessions and the work posted to
// the analyser share. Everything here outlives the server object while a session or a posted
// closure still holds it.
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "automation/net/automation_server.h"

namespace zeltrak {

class AdviseSession;

struct NetState : std::enable_shared_from_this<NetState> {
    NetState(TAutomationBackend& backend, EnginePost post, const AutomationServerOptions& options,
             std::string token);

    // Runs `work` with the backend on the analyser's thread, unless the server stopped meanwhile.
    void OnEngine(std::function<void(TAutomationBackend&)> work);
    // Runs `work` on the io thread, unless the server stopped meanwhile.
    void OnIo(std::function<void()> work);
    // After these, nothing new reaches the backend or the io thread.
    void CloseEngine();
    void CloseIo();

    TAutomationBackend& backend;
    EnginePost post;
    const AutomationServerOptions options;
    const std::string token;
    const std::string openApi;
    std::unique_ptr<boost::asio::io_context> io;
    std::vector<boost::asio::ip::tcp::acceptor> acceptors;

    std::array<std::atomic<int>, kAutomationItemCount> subscribers{};
    std::atomic<std::size_t> connections{0};
    std::atomic<std::size_t> dropped{0};
    std::vector<std::weak_ptr<AdviseSession>> advisers;  // io thread only

private:
    // Recursive: a command carried out under the gate may itself stop the server.
    std::recursive_mutex engineGate_;
    bool engineOpen_ = true;
    std::mutex ioGate_;
    bool ioOpen_ = true;
};

// Counts a connection for as long as it lives.
class ConnectionCount {
public:
    explicit ConnectionCount(NetState& state) : state_(state) { ++state_.connections; }
    ~ConnectionCount() { --state_.connections; }
    ConnectionCount(const ConnectionCount&) = delete;
    ConnectionCount& operator=(const ConnectionCount&) = delete;

private:
    NetState& state_;
};

// Serves one accepted connection; `refuse`: answers 503 (too many connections) and closes.
void StartHttpSession(std::shared_ptr<NetState> state, boost::asio::ip::tcp::socket socket, bool refuse);
// Sends each value to the advise sessions subscribed to its item (io thread).
void DeliverAdvise(NetState& state, std::vector<std::pair<int, std::string>> values);

}  // namespace zeltrak
