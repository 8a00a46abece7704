#include "automation/net/advise_session.h"

#include <algorithm>
#include <array>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "automation/automation_items.h"
#include "automation/net/net_strings.h"

namespace zeltrak {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace websocket = beast::websocket;
using nlohmann::json;

namespace {

// After this many unusable messages the client is taken to be broken, not merely clumsy.
constexpr int kMaxBadMessages = 16;

json SubscribedNames(const AdviseSet& set) {
    json names = json::array();
    for (std::size_t i = 0; i < set.size(); ++i)
        if (set.test(i)) names.push_back(AutomationItemNames()[i]);
    return names;
}

}  // namespace

AdviseSession::AdviseSession(std::shared_ptr<NetState> state, beast::tcp_stream stream)
    : state_(std::move(state)), count_(*state_), ws_(std::move(stream)) {}

AdviseSession::~AdviseSession() {
    for (std::size_t i = 0; i < subscribed_.size(); ++i)
        if (subscribed_.test(i)) --state_->subscribers[i];
}

void AdviseSession::Accept(beast::http::request<beast::http::string_body> request) {
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeout{};
    timeout.handshake_timeout = state_->options.headerTimeout;
    timeout.idle_timeout = state_->options.idleTimeout;
    timeout.keep_alive_pings = true;  // an idle but live client answers the pings and stays
    ws_.set_option(timeout);
    ws_.read_message_max(state_->options.maxBodyBytes);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) {
        if (ec) return;
        self->open_ = true;
        self->state_->advisers.push_back(self);
        self->Read();
    });
}

void AdviseSession::Read() {
    ws_.async_read(in_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) {
            self->open_ = false;
            return;
        }
        const bool text = self->ws_.got_text();
        const std::string message = beast::buffers_to_string(self->in_.data());
        self->in_.consume(self->in_.size());
        if (text) self->OnMessage(message);
        else self->Refuse(kNetNotJson);
        if (self->open_) self->Read();
    });
}

void AdviseSession::OnMessage(const std::string& text) {
    const json message = json::parse(text, nullptr, false);
    if (message.is_discarded()) return Refuse(kNetNotJson);
    if (!message.is_object() || message.size() != 1) return Refuse(kNetBadMessage);
    const bool subscribe = message.contains("subscribe");
    const json& names = subscribe ? message["subscribe"] : message.value("unsubscribe", json());
    if (!names.is_array() || !std::all_of(names.begin(), names.end(), [](const json& n) { return n.is_string(); }))
        return Refuse(kNetBadMessage);
    if (Change(names, subscribe)) Reply({{"subscribed", SubscribedNames(subscribed_)}});
}

// All names or none: a list with an unknown name changes nothing.
bool AdviseSession::Change(const json& names, bool subscribe) {
    AdviseSet changed;
    for (const json& name : names) {
        const std::optional<int> index = AutomationItemIndex(name.get<std::string>());
        if (!index) {
            Reply({{"error", kNetUnknownItem}, {"item", name}});
            return false;
        }
        changed.set(static_cast<std::size_t>(*index));
    }
    for (std::size_t i = 0; i < changed.size(); ++i) {
        if (!changed.test(i) || subscribed_.test(i) == subscribe) continue;
        subscribed_.set(i, subscribe);
        state_->subscribers[i] += subscribe ? 1 : -1;
    }
    return true;
}

void AdviseSession::Refuse(const std::string& why) {
    Reply({{"error", why}});
    if (++badMessages_ < kMaxBadMessages) return;
    // Closes once the replies before it are written: a close is a write of its own.
    open_ = false;
    closing_ = true;
    if (!writing_) WriteNext();
}

void AdviseSession::Reply(const json& message) {
    Enqueue({std::make_shared<const std::string>(message.dump()), {}, false});
}

void AdviseSession::Deliver(int item, const std::shared_ptr<const std::string>& json) {
    if (!open_ || !Wants(item)) return;
    // The shared text ends with '}': the connection's own counter completes it.
    std::string tail = nlohmann::json{{"seq", ++seq_}}.dump();
    tail.front() = ',';
    Enqueue({json, std::move(tail), true});
}

void AdviseSession::Enqueue(Outgoing outgoing) {
    if (outgoing.value && queue_.size() >= state_->options.maxQueuedAdvise) {
        const auto oldest = std::find_if(queue_.begin(), queue_.end(), [](const Outgoing& o) { return o.value; });
        if (oldest != queue_.end()) {
            queue_.erase(oldest);
            ++state_->dropped;
        }
    }
    queue_.push_back(std::move(outgoing));
    if (!writing_) WriteNext();
}

void AdviseSession::WriteNext() {
    if (queue_.empty() || (!open_ && !closing_)) {
        writing_ = false;
        if (closing_ && queue_.empty()) {
            closing_ = false;
            ws_.async_close(websocket::close_code::policy_error, [self = shared_from_this()](beast::error_code) {});
        }
        return;
    }
    writing_ = true;
    current_ = std::move(queue_.front());
    queue_.pop_front();
    const std::string& body = *current_.body;
    const std::size_t head = current_.tail.empty() ? body.size() : body.size() - 1;
    const std::array<net::const_buffer, 2> frame{net::buffer(body.data(), head), net::buffer(current_.tail)};
    ws_.text(true);
    ws_.async_write(frame, [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) {
            self->open_ = false;
            self->writing_ = false;
            return;
        }
        self->WriteNext();
    });
}

void DeliverAdvise(NetState& state, std::vector<std::pair<int, std::string>> values) {
    std::vector<std::shared_ptr<AdviseSession>> live;
    auto& advisers = state.advisers;
    advisers.erase(std::remove_if(advisers.begin(), advisers.end(),
                                  [&live](const std::weak_ptr<AdviseSession>& weak) {
                                      auto session = weak.lock();
                                      if (!session) return true;
                                      live.push_back(std::move(session));
                                      return false;
                                  }),
                   advisers.end());
    for (auto& [item, text] : values) {
        if (item < 0 || item >= static_cast<int>(kAutomationItemCount)) continue;
        if (std::none_of(live.begin(), live.end(), [item = item](const auto& s) { return s->Wants(item); })) continue;
        // Escaped once, whatever the number of subscribers. A value is not always UTF-8 (a pass
        // string a client sent, a file name): bad bytes become U+FFFD rather than stop the server.
        const json message = {{"item", AutomationItemNames()[static_cast<std::size_t>(item)]},
                              {"value", std::move(text)}};
        const auto shared = std::make_shared<const std::string>(
            message.dump(-1, ' ', false, json::error_handler_t::replace));
        for (const auto& session : live) session->Deliver(item, shared);
    }
}

}  // namespace zeltrak
