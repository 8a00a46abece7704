#include "automation/net/ctl_command.h"

#include "automation/net/automation_openapi.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "automation/net/automation_discovery.h"

namespace zeltrak {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using net::ip::tcp;
using nlohmann::json;

constexpr const char* kPrefix = "zeltrak ctl: ";

std::string PercentEncode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

struct Connection {
    net::io_context io;
    beast::tcp_stream stream{io};
    std::string host;  // the Host header
    std::string token;
};

// Connects to the server of the discovery file; a message naming the file when there is none.
bool Connect(const std::string& path, Connection& connection, std::string& error) {
    DiscoveryRecord record;
    if (!ReadDiscoveryFile(path, record, error)) {
        error = "no automation server is running (" + error + ")";
        return false;
    }
    beast::error_code ec;
    const net::ip::address address = net::ip::make_address(record.address, ec);
    if (!ec) connection.stream.connect(tcp::endpoint(address, record.port), ec);
    if (ec) {
        error = "no automation server answers at " + record.url + " (discovery file " + path + "): " + ec.message();
        return false;
    }
    const bool v6 = record.address.find(':') != std::string::npos;
    connection.host = (v6 ? "[" + record.address + "]" : record.address) + ":" + std::to_string(record.port);
    connection.token = record.token;
    return true;
}

std::optional<http::response<http::string_body>> Exchange(Connection& connection, http::verb method,
                                                          const std::string& target, const std::string& body,
                                                          std::string& error) {
    http::request<http::string_body> request{method, target, 11};
    request.set(http::field::host, connection.host);
    request.set(http::field::authorization, "Bearer " + connection.token);
    request.set(http::field::content_type, "text/plain");
    request.body() = body;
    request.prepare_payload();
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    beast::error_code ec;
    http::write(connection.stream, request, ec);
    if (!ec) http::read(connection.stream, buffer, response, ec);
    if (ec) {
        error = "the server closed the connection: " + ec.message();
        return std::nullopt;
    }
    return response;
}

void PrintText(std::FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
    if (text.empty() || text.back() != '\n') std::fputc('\n', out);
}

int Refused(std::FILE* err, const http::response<http::string_body>& response) {
    std::fprintf(err, "%s%u %s\n", kPrefix, response.result_int(), response.body().c_str());
    return 1;
}

int RunHttp(const CtlOptions& options, Connection& connection, std::FILE* out, std::FILE* err) {
    std::string error;
    const bool execute = options.action == CtlOptions::Action::Execute;
    const std::string target = options.action == CtlOptions::Action::Request
                                   ? "/items/" + PercentEncode(options.arguments.at(0))
                                   : execute ? "/execute" : "/items";
    const auto response = Exchange(connection, execute ? http::verb::post : http::verb::get, target,
                                   execute ? options.arguments.at(0) : std::string(), error);
    if (!response) {
        std::fprintf(err, "%s%s\n", kPrefix, error.c_str());
        return 2;
    }
    if (execute && (response->result() == http::status::ok || response->result() == http::status::conflict)) {
        PrintText(out, response->body());
        return response->result() == http::status::ok ? 0 : 1;
    }
    if (response->result() != http::status::ok) return Refused(err, *response);
    if (options.action == CtlOptions::Action::Request) {
        PrintText(out, response->body());
        return 0;
    }
    const json list = json::parse(response->body(), nullptr, false);
    if (list.is_discarded() || !list.contains("items") || !list["items"].is_array()) {
        std::fprintf(err, "%sthe server's item list is not readable\n", kPrefix);
        return 2;
    }
    for (const json& name : list["items"])
        if (name.is_string()) PrintText(out, name.get<std::string>());
    return 0;
}

// Prints every update until the server closes the connection or the user interrupts.
int RunAdvise(const CtlOptions& options, Connection& connection, std::FILE* out, std::FILE* err) {
    beast::websocket::stream<beast::tcp_stream> ws(std::move(connection.stream));
    ws.set_option(beast::websocket::stream_base::decorator([&connection](beast::websocket::request_type& request) {
        request.set(http::field::authorization, "Bearer " + connection.token);
    }));
    beast::error_code ec;
    ws.handshake(connection.host, "/advise", ec);
    if (!ec) ws.write(net::buffer(json{{"subscribe", options.arguments}}.dump(-1, ' ', false, json::error_handler_t::replace)),
                         ec);
    beast::flat_buffer buffer;
    while (!ec) {
        ws.read(buffer, ec);
        if (ec) break;
        const json message = json::parse(beast::buffers_to_string(buffer.data()), nullptr, false);
        buffer.consume(buffer.size());
        if (message.is_object() && message.contains("error")) {
            std::fprintf(err, "%s%s %s\n", kPrefix, message["error"].dump().c_str(),
                         message.value("item", std::string()).c_str());
            return 1;
        }
        if (!message.is_object() || !message.contains("item") || !message["item"].is_string() ||
            !message.contains("value") || !message["value"].is_string())
            continue;
        std::fputs(AdviseLines(message["item"].get<std::string>(), message["value"].get<std::string>()).c_str(), out);
        std::fflush(out);
    }
    std::fprintf(err, "%sthe advise connection ended: %s\n", kPrefix, ec.message().c_str());
    return 2;
}

}  // namespace

std::string AdviseLines(const std::string& item, const std::string& value) {
    std::string out;
    std::size_t start = 0;
    do {
        const std::size_t end = std::min(value.find('\n', start), value.size());
        std::string line = value.substr(start, end - start);
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        if (!(end == value.size() && line.empty() && start > 0)) out += item + "\t" + line + "\n";
        start = end + 1;
    } while (start < value.size());
    return out;
}

int RunCtlCommand(const CtlOptions& options, std::FILE* out, std::FILE* err) {
    if (options.action == CtlOptions::Action::OpenApi) {
        std::fprintf(out, "%s\n", AutomationOpenApi(AutomationCommandKeywords()).c_str());
        return 0;
    }
    const bool needsArgument = options.action != CtlOptions::Action::Items;
    if (options.action == CtlOptions::Action::None || (needsArgument && options.arguments.empty())) {
        std::fprintf(err, "%sexpected request ITEM, execute TEXT, advise ITEM... or items\n", kPrefix);
        return 2;
    }
    const std::string path = options.discovery.empty() ? DefaultDiscoveryPath() : options.discovery;
    Connection connection;
    std::string error;
    if (!Connect(path, connection, error)) {
        std::fprintf(err, "%s%s\n", kPrefix, error.c_str());
        return 2;
    }
    if (options.action == CtlOptions::Action::Advise) return RunAdvise(options, connection, out, err);
    return RunHttp(options, connection, out, err);
}

}  // namespace zeltrak
