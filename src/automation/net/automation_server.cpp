#include "automation/net/automation_server.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iomanip>
#include <random>
#include <sstream>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>

#include "automation/net/automation_openapi.h"
#include "automation/net/net_state.h"

namespace zeltrak {

namespace net = boost::asio;
using net::ip::tcp;

namespace {

// 32 random bytes, hex.
std::string NewToken() {
    std::random_device device;
    std::ostringstream out;
    for (int i = 0; i < 32; ++i) out << std::hex << std::setw(2) << std::setfill('0') << (device() & 0xFFu);
    return out.str();
}

void Accept(const std::shared_ptr<NetState>& state, tcp::acceptor& acceptor) {
    acceptor.async_accept([weak = std::weak_ptr<NetState>(state), &acceptor](boost::system::error_code ec,
                                                                             tcp::socket socket) {
        auto state = weak.lock();
        if (!state || ec == net::error::operation_aborted || !acceptor.is_open()) return;
        if (!ec) StartHttpSession(state, std::move(socket), state->connections >= state->options.maxConnections);
        Accept(state, acceptor);
    });
}

}  // namespace

NetState::NetState(TAutomationBackend& backend_, EnginePost post_, const AutomationServerOptions& options_,
                   std::string token_)
    : backend(backend_), post(std::move(post_)), options(options_), token(std::move(token_)),
      openApi(AutomationOpenApi(options_.commands)), io(std::make_unique<net::io_context>(1)) {}

void NetState::OnEngine(std::function<void(TAutomationBackend&)> work) {
    post([self = shared_from_this(), work = std::move(work)] {
        std::lock_guard lock(self->engineGate_);
        if (self->engineOpen_) work(self->backend);
    });
}

void NetState::OnIo(std::function<void()> work) {
    std::lock_guard lock(ioGate_);
    if (ioOpen_) net::post(*io, std::move(work));
}

void NetState::CloseEngine() {
    std::lock_guard lock(engineGate_);
    engineOpen_ = false;
}

void NetState::CloseIo() {
    std::lock_guard lock(ioGate_);
    ioOpen_ = false;
    io->stop();
}

TAutomationServer::TAutomationServer(TAutomationBackend& backend, EnginePost post, AutomationServerOptions options)
    : backend_(backend), post_(std::move(post)), options_(std::move(options)) {}

TAutomationServer::~TAutomationServer() { Stop(); }

bool TAutomationServer::Bind(NetState& state, std::string& error) {
    uint16_t port = options_.port;
    std::string bound;
    for (const std::string& name : options_.addresses) {
        boost::system::error_code ec;
        const net::ip::address address = net::ip::make_address(name, ec);
        if (ec) {
            error += (error.empty() ? "" : "; ") + name + ": not an address";
            continue;
        }
        tcp::acceptor acceptor(*state.io);
        const tcp::endpoint endpoint(address, port);
        acceptor.open(endpoint.protocol(), ec);
        if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
        if (!ec && address.is_v6()) acceptor.set_option(net::ip::v6_only(true), ec);
        if (!ec) acceptor.bind(endpoint, ec);
        if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
        if (ec) {
            error += (error.empty() ? "" : "; ") + name + ": " + ec.message();
            continue;
        }
        port = acceptor.local_endpoint().port();  // a port the system chose serves every address
        if (bound.empty()) bound = name;
        state.acceptors.push_back(std::move(acceptor));
    }
    if (state.acceptors.empty()) {
        error = "cannot listen on any address (" + error + ")";
        return false;
    }
    error.clear();
    port_ = port;
    boundAddress_ = bound;
    return true;
}

bool TAutomationServer::Start(std::string& error) {
    Stop();
    token_ = NewToken();
    auto state = std::make_shared<NetState>(backend_, post_, options_, token_);
    if (!Bind(*state, error)) return false;
    if (!options_.discoveryPath.empty()) {
        const DiscoveryRecord record{static_cast<long>(::getpid()), boundAddress_, port_, token_,
                                     ServerUrl(boundAddress_, port_)};
        if (!WriteDiscoveryFile(options_.discoveryPath, record, error)) return false;
        writtenDiscovery_ = options_.discoveryPath;
    }
    for (tcp::acceptor& acceptor : state->acceptors) Accept(state, acceptor);
    {
        std::lock_guard lock(stateMutex_);
        state_ = state;
    }
    io_ = std::thread([state] {
        auto guard = net::make_work_guard(*state->io);
        // A fault in one connection's handler must not take the analyser down with it.
        for (;;) {
            try {
                state->io->run();
                return;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "zeltrak: automation server: %s\n", e.what());
            }
        }
    });
    return true;
}

void TAutomationServer::Stop() {
    std::shared_ptr<NetState> state;
    {
        std::lock_guard lock(stateMutex_);
        state = std::move(state_);
    }
    if (state) {
        state->CloseEngine();
        state->CloseIo();
        if (io_.joinable()) io_.join();
        state->acceptors.clear();
        state->advisers.clear();
        // Destroys the connections with the handlers that hold them.
        state->io.reset();
    }
    if (!writtenDiscovery_.empty()) RemoveDiscoveryFileIfOurs(writtenDiscovery_);
    writtenDiscovery_.clear();
}

AdviseSet TAutomationServer::Subscribed() const {
    AdviseSet set;
    std::lock_guard lock(stateMutex_);
    if (!state_) return set;
    for (std::size_t i = 0; i < set.size(); ++i) set.set(i, state_->subscribers[i] > 0);
    return set;
}

void TAutomationServer::Publish(std::vector<std::pair<int, std::string>> values) {
    std::shared_ptr<NetState> state;
    {
        std::lock_guard lock(stateMutex_);
        state = state_;
    }
    if (!state || values.empty()) return;
    // The texts move to the io thread, which escapes each once for all its subscribers.
    auto shared = std::make_shared<std::vector<std::pair<int, std::string>>>(std::move(values));
    NetState* raw = state.get();
    state->OnIo([raw, shared] { DeliverAdvise(*raw, std::move(*shared)); });
}

std::size_t TAutomationServer::DroppedAdvise() const {
    std::lock_guard lock(stateMutex_);
    return state_ ? state_->dropped.load() : 0;
}

}  // namespace zeltrak
