#pragma once
// Internal to the automation transport: one WebSocket advise connection.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <nlohmann/json_fwd.hpp>

#include "automation/net/net_state.h"

namespace zeltrak {

class AdviseSession : public std::enable_shared_from_this<AdviseSession> {
public:
    AdviseSession(std::shared_ptr<NetState> state, boost::beast::tcp_stream stream);
    ~AdviseSession();
    // Completes the upgrade the request asked for, then serves subscriptions.
    void Accept(boost::beast::http::request<boost::beast::http::string_body> request);
    // A published value, its JSON without "seq" made once for all subscribers.
    void Deliver(int item, const std::shared_ptr<const std::string>& json);
    bool Wants(int item) const { return subscribed_.test(static_cast<std::size_t>(item)); }

private:
    struct Outgoing {
        std::shared_ptr<const std::string> body;
        std::string tail;    // the connection's own ',"seq":n}' completing a published value
        bool value = false;  // a published value may be dropped for a slow reader; replies are not
    };
    void Read();
    void OnMessage(const std::string& text);
    bool Change(const nlohmann::json& names, bool subscribe);
    void Reply(const nlohmann::json& message);
    void Refuse(const std::string& why);
    void Enqueue(Outgoing outgoing);
    void WriteNext();

    std::shared_ptr<NetState> state_;
    ConnectionCount count_;
    boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
    boost::beast::flat_buffer in_;
    AdviseSet subscribed_;
    uint64_t seq_ = 0;
    int badMessages_ = 0;
    std::deque<Outgoing> queue_;
    Outgoing current_;
    bool writing_ = false;
    bool open_ = false;
    bool closing_ = false;  // after too many bad messages
};

}  // namespace zeltrak
