// One HTTP connection: reads requests under time limits, checks each, and answers it, asking
// the analyser through NetState::OnEngine without ever waiting for it on the io thread.
#include <array>
#include <chrono>
#include <memory>
#include <optional>

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "automation/automation_items.h"
#include "automation/net/advise_session.h"
#include "automation/net/http_checks.h"
#include "automation/net/net_state.h"
#include "automation/net/net_strings.h"

namespace zeltrak {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;

// Far more than any legitimate request's header needs.
constexpr std::uint32_t kHeaderLimit = 8 * 1024;

struct Reply {
    http::status status = http::status::ok;
    std::string body;
    const char* type = "text/plain; charset=utf-8";
};

std::string_view View(beast::string_view text) { return {text.data(), text.size()}; }

Reply Plain(http::status status, const char* text) { return {status, text}; }

std::string ItemList() {
    nlohmann::json items = nlohmann::json::array();
    for (const char* name : AutomationItemNames()) items.push_back(name);
    return nlohmann::json{{"service", kAutomationService}, {"topic", kAutomationTopic}, {"items", items}}.dump();
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(std::shared_ptr<NetState> state, net::ip::tcp::socket socket)
        : state_(std::move(state)), count_(*state_), stream_(std::move(socket)), timer_(stream_.get_executor()) {}

    void Start(bool refuse) {
        if (refuse) return Send(Plain(http::status::service_unavailable, kNetFull), 11, true);
        ReadRequest();
    }

private:
    void ReadRequest() {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        parser_->body_limit(state_->options.maxBodyBytes);
        stream_.expires_after(state_->options.headerTimeout);
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->OnRead(ec);
        });
    }

    // Between requests a keep-alive connection may idle longer than a request may take to arrive.
    void AwaitNextRequest() {
        if (buffer_.size() > 0) return ReadRequest();
        stream_.expires_never();
        timer_.expires_after(state_->options.idleTimeout);
        timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->stream_.socket().close(ec);
        });
        stream_.socket().async_wait(net::socket_base::wait_read, [self = shared_from_this()](beast::error_code ec) {
            self->timer_.cancel();
            if (!ec) self->ReadRequest();
        });
    }

    void OnRead(beast::error_code ec) {
        if (ec == http::error::body_limit) return Send(Plain(http::status::payload_too_large, kNetTooLarge), 11, true);
        if (ec == http::error::header_limit)
            return Send(Plain(http::status::request_header_fields_too_large, kNetMalformed), 11, true);
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == net::error::operation_aborted ||
            ec == net::error::connection_reset || ec == net::error::eof)
            return Close();
        if (ec) return Send(Plain(http::status::bad_request, kNetMalformed), 11, true);
        stream_.expires_never();
        Handle(parser_->get());
    }

    void Handle(http::request<http::string_body>& request) {
        version_ = request.version();
        keepAlive_ = request.keep_alive();
        const Route route = MatchRoute(View(request.target()));
        const bool upgrade = beast::websocket::is_upgrade(request);
        const RequestFacts facts{View(request[http::field::host]), View(request[http::field::origin]),
                                 request.count(http::field::origin) > 0, View(request[http::field::authorization]),
                                 View(request.target())};
        const AccessPolicy policy{&state_->options.addresses, &state_->options.allowedOrigins, &state_->token,
                                  route.kind == Route::Kind::Advise && upgrade};
        if (const int refusal = CheckAccess(facts, policy); refusal != 0)
            return Send(refusal == 401 ? Plain(http::status::unauthorized, kNetUnauthorized)
                                       : Plain(http::status::forbidden,
                                               IsAllowedHost(facts.host, state_->options.addresses) ? kNetBadOrigin
                                                                                                     : kNetBadHost),
                        version_, true);
        Dispatch(route, request, upgrade);
    }

    void Dispatch(const Route& route, http::request<http::string_body>& request, bool upgrade) {
        const http::verb method = request.method();
        const auto only = [&](http::verb allowed) { return method == allowed; };
        switch (route.kind) {
            case Route::Kind::Items:
                if (!only(http::verb::get)) break;
                return Send({http::status::ok, ItemList(), "application/json"}, version_, false);
            case Route::Kind::OpenApi:
                if (!only(http::verb::get)) break;
                return Send({http::status::ok, state_->openApi, "application/json"}, version_, false);
            case Route::Kind::Item:
                if (!only(http::verb::get)) break;
                return RequestItem(route.item);
            case Route::Kind::Execute:
                if (!only(http::verb::post)) break;
                return Execute(std::string(TrimLineEnds(request.body())));
            case Route::Kind::Advise:
                if (!only(http::verb::get)) break;
                if (!upgrade) return Send(Plain(http::status::upgrade_required, kNetUpgrade), version_, true);
                return Upgrade(parser_->release());
            case Route::Kind::BadTarget: return Send(Plain(http::status::bad_request, kNetMalformed), version_, true);
            case Route::Kind::NotFound: return Send(Plain(http::status::not_found, kNetNotFound), version_, false);
        }
        Send(Plain(http::status::method_not_allowed, kNetBadMethod), version_, false);
    }

    void RequestItem(const std::string& name) {
        // Unknown names are answered here: they need no trip to the analyser.
        if (!AutomationItemIndex(name)) return Send(Plain(http::status::not_found, kNetUnknownItem), version_, false);
        AskEngine([name](TAutomationBackend& backend) {
            std::optional<std::string> text = backend.Request(name);
            return text ? Reply{http::status::ok, std::move(*text)} : Plain(http::status::not_found, kNetUnknownItem);
        });
    }

    void Execute(std::string command) {
        AskEngine([command = std::move(command)](TAutomationBackend& backend) {
            return backend.Execute(command) ? Plain(http::status::ok, kNetAck) : Plain(http::status::conflict, kNetNack);
        });
    }

    // The analyser answers later on its own thread; whichever of the answer and the time limit
    // comes first is sent, the other ignored.
    void AskEngine(std::function<Reply(TAutomationBackend&)> work) {
        auto answered = std::make_shared<bool>(false);  // touched on the io thread only
        timer_.expires_after(state_->options.engineTimeout);
        timer_.async_wait([self = shared_from_this(), answered](beast::error_code ec) {
            if (ec || *answered) return;
            *answered = true;
            self->Send(Plain(http::status::service_unavailable, kNetBusy), self->version_, false);
        });
        std::weak_ptr<HttpSession> weak = shared_from_this();
        std::shared_ptr<NetState> state = state_;
        state_->OnEngine([state, weak, answered, work = std::move(work)](TAutomationBackend& backend) {
            auto reply = std::make_shared<Reply>(work(backend));
            state->OnIo([weak, answered, reply] {
                auto self = weak.lock();
                if (!self || *answered) return;
                *answered = true;
                self->timer_.cancel();
                self->Send(std::move(*reply), self->version_, false);
            });
        });
    }

    void Upgrade(http::request<http::string_body> request) {
        auto advise = std::make_shared<AdviseSession>(state_, std::move(stream_));
        advise->Accept(std::move(request));
    }

    void Send(Reply reply, unsigned version, bool close) {
        const bool keepAlive = keepAlive_ && !close;
        response_ = std::make_shared<http::response<http::string_body>>(reply.status, version);
        response_->set(http::field::content_type, reply.type);
        response_->set(http::field::cache_control, "no-store");
        if (reply.status == http::status::unauthorized) response_->set(http::field::www_authenticate, "Bearer");
        response_->body() = std::move(reply.body);
        response_->keep_alive(keepAlive);
        response_->prepare_payload();
        stream_.expires_after(state_->options.headerTimeout);
        http::async_write(stream_, *response_, [self = shared_from_this(), keepAlive](beast::error_code ec, std::size_t) {
            if (ec || !keepAlive) return self->Close();
            self->AwaitNextRequest();
        });
    }

    // Reads what the client still sends before closing: closing with unread data would reset the
    // connection and could destroy the refusal just sent (a 413 before the body was read).
    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(1));
        Drain();
    }

    void Drain() {
        stream_.async_read_some(net::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->stream_.close();
            self->Drain();
        });
    }

    std::shared_ptr<NetState> state_;
    ConnectionCount count_;
    beast::tcp_stream stream_;
    net::steady_timer timer_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::shared_ptr<http::response<http::string_body>> response_;
    std::array<char, 4096> scratch_{};
    unsigned version_ = 11;
    bool keepAlive_ = false;
};

}  // namespace

void StartHttpSession(std::shared_ptr<NetState> state, net::ip::tcp::socket socket, bool refuse) {
    std::make_shared<HttpSession>(std::move(state), std::move(socket))->Start(refuse);
}

}  // namespace zeltrak
