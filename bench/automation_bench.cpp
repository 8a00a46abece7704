// The automation server under load: request round trips of "Peak Frequency" with 1 and 50
// concurrent keep-alive clients (median and 99th percentile), and 20 advise clients subscribed
// to a 2049-line "Spectrum" published 30 times a second for 10 s (updates received and dropped).
//
//     build/bench/bench_automation_bench [--seconds S]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "automation/net/automation_server.h"
#include "automation_net/net_fakes.h"

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using net::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace zeltrak;

// Round-trip times in microseconds of `count` requests on one keep-alive connection.
std::vector<double> RequestLoop(uint16_t port, const std::string& token, int count) {
    net::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    http::request<http::empty_body> request{http::verb::get, "/items/Peak%20Frequency", 11};
    request.set(http::field::host, "127.0.0.1");
    request.set(http::field::authorization, "Bearer " + token);
    beast::flat_buffer buffer;
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        http::write(stream, request);
        http::response<http::string_body> response;
        http::read(stream, buffer, response);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (response.result() != http::status::ok) std::fprintf(stderr, "status %u\n", response.result_int());
    }
    return times;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(std::ceil(p / 100.0 * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

void RoundTrips(uint16_t port, const std::string& token, int clients, int perClient) {
    std::vector<std::vector<double>> times(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] { times[static_cast<std::size_t>(c)] = RequestLoop(port, token, perClient); });
    for (std::thread& t : threads) t.join();
    std::vector<double> all;
    for (const auto& one : times) all.insert(all.end(), one.begin(), one.end());
    std::printf("request round trip, %2d clients, %6zu requests: median %7.1f us, p99 %7.1f us, max %8.1f us\n",
                clients, all.size(), Percentile(all, 50), Percentile(all, 99), Percentile(all, 100));
}

struct AdviseCount {
    long received = 0;
    long gaps = 0;   // updates missing by seq
    long wrong = 0;  // values that differ from what was published
};

void AdviseReader(uint16_t port, const std::string& token, const std::string& expected, std::atomic<int>& ready,
                  AdviseCount& count) {
    net::io_context io;
    beast::websocket::stream<beast::tcp_stream> ws(io);
    ws.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    ws.handshake("127.0.0.1", "/advise?token=" + token);
    ws.write(net::buffer(std::string(R"({"subscribe": ["Spectrum"]})")));
    beast::flat_buffer buffer;
    ws.read(buffer);  // {"subscribed": ...}
    buffer.consume(buffer.size());
    ++ready;
    uint64_t last = 0;
    beast::error_code ec;
    while (!ec) {
        ws.read(buffer, ec);
        if (ec) break;
        const auto message = nlohmann::json::parse(beast::buffers_to_string(buffer.data()));
        buffer.consume(buffer.size());
        const uint64_t seq = message["seq"].get<uint64_t>();
        count.gaps += static_cast<long>(seq - last - 1);
        last = seq;
        ++count.received;
        if (message["value"] != expected) ++count.wrong;
    }
}

std::string SpectrumText() {
    std::string text;
    for (int bin = 0; bin <= 2048; ++bin) AppendPointLine(text, bin * 48000.0 / 4096, -20.0 - bin * 0.01, -23.5);
    return text;
}

void Advise(TAutomationServer& server, EnginePost post, uint16_t port, const std::string& token, double seconds) {
    constexpr int kClients = 20;
    std::vector<AdviseCount> counts(kClients);
    std::atomic<int> ready{0};
    const std::string spectrum = SpectrumText();
    std::vector<std::thread> readers;
    for (int c = 0; c < kClients; ++c)
        readers.emplace_back([&, c] { AdviseReader(port, token, spectrum, ready, counts[static_cast<std::size_t>(c)]); });
    while (ready < kClients) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int publishes = static_cast<int>(seconds * 30);
    const auto start = Clock::now();
    for (int i = 0; i < publishes; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000 / 30));
        // On the engine thread, as the analyser publishes after each spectrum.
        post([&server, spectrum] { server.Publish({{kItemSpectrum, spectrum}}); });
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::size_t dropped = server.DroppedAdvise();
    server.Stop();  // ends the readers
    for (std::thread& t : readers) t.join();
    long least = publishes, most = 0, gaps = 0, wrong = 0;
    for (const AdviseCount& c : counts) {
        least = std::min(least, c.received);
        most = std::max(most, c.received);
        gaps += c.gaps;
        wrong += c.wrong;
    }
    std::printf("advise: %d clients, %d publishes of %zu bytes in %.0f s: received per client %ld..%ld, "
                "gaps by seq %ld, dropped by the server %zu, values not as published %ld\n",
                kClients, publishes, spectrum.size(), seconds, least, most, gaps, dropped, wrong);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10.0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--seconds") seconds = std::atof(argv[i + 1]);
    testing::FakeBackend backend;
    testing::EngineThread engine;
    AutomationServerOptions options;
    options.addresses = {"127.0.0.1"};
    TAutomationServer server(backend, engine.Poster(), options);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "cannot start: %s\n", error.c_str());
        return 1;
    }
    RoundTrips(server.Port(), server.Token(), 1, 5000);
    RoundTrips(server.Port(), server.Token(), 50, 200);
    Advise(server, engine.Poster(), server.Port(), server.Token(), seconds);
    return 0;
}
