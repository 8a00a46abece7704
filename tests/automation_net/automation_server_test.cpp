#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <iterator>

#include <boost/asio/connect.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "automation/command_interpreter.h"
#include "automation/net/automation_openapi.h"
#include "automation/net/automation_server.h"
#include "automation/net/ctl_command.h"
#include "automation/net/http_checks.h"
#include "automation_net/net_fakes.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "files/calibration_record.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "platform/task_queue.h"
#include "support/scripted_host.h"
#include "views/headless_shell.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace websocket = beast::websocket;
using net::ip::tcp;
using nlohmann::json;

struct Answer {
    int status = 0;
    std::string body;
};

// Runs what was started on `io` for at most 3 s: a server that never answers fails the test
// instead of hanging it.
void RunAtMost3s(net::io_context& io, beast::tcp_stream& stream) {
    io.restart();
    io.run_for(std::chrono::seconds(3));
    if (io.stopped()) return;
    stream.cancel();
    io.restart();
    io.run();
}

Answer Http(uint16_t port, http::verb method, const std::string& target, const std::string& body,
            const std::vector<std::pair<http::field, std::string>>& headers) {
    net::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    http::request<http::string_body> request{method, target, 11};
    for (const auto& [field, value] : headers) request.set(field, value);
    request.body() = body;
    request.prepare_payload();
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    beast::error_code ec = net::error::timed_out;
    http::async_write(stream, request, [&](beast::error_code e, std::size_t) {
        if (e) ec = e;
        else http::async_read(stream, buffer, response, [&](beast::error_code e2, std::size_t) { ec = e2; });
    });
    RunAtMost3s(io, stream);
    return ec ? Answer{-1, ec.message()} : Answer{static_cast<int>(response.result_int()), response.body()};
}

// What arrives on a raw socket within 3 s, up to `size` bytes; empty when it closes first.
std::string RawRead(beast::tcp_stream& stream, net::io_context& io, std::size_t size, beast::error_code& ec) {
    std::string text(size, '\0');
    std::size_t got = 0;
    ec = net::error::timed_out;
    stream.async_read_some(net::buffer(text), [&](beast::error_code e, std::size_t n) { ec = e, got = n; });
    RunAtMost3s(io, stream);
    return text.substr(0, got);
}

// Raw bytes in, the status line's code out (0: connection closed without an answer).
int RawStatus(uint16_t port, const std::string& bytes) {
    net::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    net::write(stream, net::buffer(bytes));
    beast::error_code ec;
    const std::string text = RawRead(stream, io, 64, ec);
    return text.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(text.substr(9, 3)) : 0;
}

class AdviseClient {
public:
    // Handshake status: 101 when upgraded.
    int Open(uint16_t port, const std::string& target, const std::string& origin = "") {
        ws_.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        ws_.set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
            if (!origin.empty()) request.set(http::field::origin, origin);
        }));
        websocket::response_type response;
        beast::error_code ec;
        ws_.handshake(response, "127.0.0.1", target, ec);
        return static_cast<int>(response.result_int());
    }
    json Say(const std::string& text, bool binary = false) {
        ws_.binary(binary);
        ws_.write(net::buffer(text));
        return Next();
    }
    json Next() {
        beast::flat_buffer buffer;
        beast::error_code ec = net::error::timed_out;
        ws_.async_read(buffer, [&](beast::error_code e, std::size_t) { ec = e; });
        RunAtMost3s(io_, ws_.next_layer());
        return ec ? json{{"failed", ec.message()}} : json::parse(beast::buffers_to_string(buffer.data()));
    }

private:
    net::io_context io_;
    websocket::stream<beast::tcp_stream> ws_{io_};
};

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        options_.addresses = {"127.0.0.1"};
        options_.allowedOrigins = {"http://localhost:8080"};
        options_.discoveryPath = dir_.File("automation.json");
        options_.maxBodyBytes = 1024;
        options_.headerTimeout = std::chrono::milliseconds(400);
        options_.engineTimeout = std::chrono::milliseconds(150);
        server_ = std::make_unique<TAutomationServer>(backend_, engine_.Poster(), options_);
        std::string error;
        ASSERT_TRUE(server_->Start(error)) << error;
    }
    std::string Bearer() const { return "Bearer " + server_->Token(); }

    testing::TempDir dir_;
    testing::FakeBackend backend_;
    testing::EngineThread engine_;
    AutomationServerOptions options_;
    std::unique_ptr<TAutomationServer> server_;
};

TEST(AutomationChecks, HostOriginTokenInThatOrder) {
    const std::vector<std::string> addresses = {"192.168.1.5", "fe80::1"}, origins = {"http://localhost:8080"};
    const std::string token = "abc123";
    const AccessPolicy header{&addresses, &origins, &token, false}, query{&addresses, &origins, &token, true};
    struct Case { const char* host; const char* origin; const char* auth; const char* target; bool q; int status; };
    const Case cases[] = {
        {"127.0.0.1:8000", nullptr, "Bearer abc123", "/items", false, 0},
        {"LOCALHOST", nullptr, "bearer abc123", "/items", false, 0},
        {"[::1]:1", "http://localhost:8080", "Bearer abc123", "/", false, 0},
        {"192.168.1.5", nullptr, "Bearer abc123", "/", false, 0},
        {"[fe80::1]:9", nullptr, "Bearer abc123", "/", false, 0},
        {"evil.example:80", "http://evil", "", "/", false, 403},      // Host first
        {"localhost.evil.example", nullptr, "Bearer abc123", "/", false, 403},
        {"", nullptr, "Bearer abc123", "/", false, 403},
        {"localhost", "http://evil", "", "/", false, 403},              // then Origin
        {"localhost", "null", "Bearer abc123", "/", false, 403},
        {"localhost", nullptr, "Bearer abc12", "/", false, 401},
        {"localhost", nullptr, "", "/advise?token=abc123", false, 401},  // query only on the upgrade
        {"localhost", nullptr, "", "/advise?x=1&token=abc123", true, 0},
        {"localhost", nullptr, "", "/advise?token=abc12", true, 401},
    };
    for (const Case& c : cases) {
        const RequestFacts facts{c.host, c.origin ? c.origin : "", c.origin != nullptr, c.auth, c.target};
        EXPECT_EQ(CheckAccess(facts, c.q ? query : header), c.status) << c.host << " " << c.auth << " " << c.target;
    }
}

TEST(AutomationChecks, RoutesDecodeItemNames) {
    EXPECT_EQ(MatchRoute("/items/Peak%20Frequency?x").item, "Peak Frequency");
    EXPECT_EQ(MatchRoute("/items/THD%2bN").item, "THD+N");
    EXPECT_EQ(MatchRoute("/items/bad%2").kind, Route::Kind::BadTarget);
    EXPECT_EQ(MatchRoute("/items/bad%zz").kind, Route::Kind::BadTarget);
    EXPECT_EQ(MatchRoute("/items/").kind, Route::Kind::NotFound);
    EXPECT_EQ(AdviseLines("Spectrum", "1\t2\r\n3\t4\r\n"), "Spectrum\t1\t2\nSpectrum\t3\t4\n");
    EXPECT_EQ(AdviseLines("FFT Count", "7"), "FFT Count\t7\n");
}

TEST(AutomationSettings, SectionAndDiscoveryFile) {
    TIniStore ini;
    ini.Parse("[Automation]\nEnabled=0\nAddress= 10.0.0.2 , ::1,\nPort=70000\nAllowedOrigins=http://a:1,http://b\n");
    const AutomationServerOptions options = ReadAutomationSettings(ini);
    EXPECT_FALSE(AutomationEnabled(ini));
    EXPECT_EQ(options.addresses, (std::vector<std::string>{"10.0.0.2", "::1"}));
    EXPECT_EQ(options.port, 0);  // out of range: a free port
    EXPECT_EQ(options.allowedOrigins, (std::vector<std::string>{"http://a:1", "http://b"}));
    EXPECT_TRUE(AutomationEnabled(TIniStore()));
    EXPECT_EQ(ReadAutomationSettings(TIniStore()).addresses, (std::vector<std::string>{"127.0.0.1", "::1"}));

    testing::TempDir dir;
    const std::string path = dir.File("automation.json");
    std::string error;
    ASSERT_TRUE(WriteDiscoveryFile(path, {1, "127.0.0.1", 1234, "t", "u"}, error)) << error;
    RemoveDiscoveryFileIfOurs(path);  // another process's file stays
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    EXPECT_FALSE(WriteDiscoveryFile(path, {1, "127.0.0.1", 1234, "t", "u"}, error));  // others could swap it
    EXPECT_EQ(dir.Files().size(), 1u);
}

TEST_F(ServerTest, RequestsAndRefusals) {
    backend_.slow = std::chrono::milliseconds(400);
    const std::string host = "127.0.0.1:" + std::to_string(server_->Port());
    using F = http::field;
    const std::vector<std::pair<F, std::string>> ok = {{F::host, host}, {F::authorization, Bearer()}};
    auto with = [&](F field, std::string value) {
        auto headers = ok;
        headers.emplace_back(field, std::move(value));
        return headers;
    };
    struct Case { http::verb method; const char* target; std::string body; std::vector<std::pair<F, std::string>> headers; int status; const char* reply; };
    const Case cases[] = {
        {http::verb::get, "/items/Peak%20Frequency", "", ok, 200, "1000.000000\t997.500000"},
        {http::verb::get, "/items/fft%20count", "", ok, 200, "FFT Count value"},
        {http::verb::get, "/items/No%20Such", "", ok, 404, nullptr},
        {http::verb::post, "/execute", "[Run]\r\n", ok, 200, "ACK"},
        {http::verb::post, "/execute", "[Bogus]", ok, 409, "NACK"},
        {http::verb::post, "/execute", std::string(1025, 'x'), ok, 413, nullptr},
        {http::verb::get, "/items", "", {{F::host, host}}, 401, nullptr},
        {http::verb::get, "/items", "", {{F::host, host}, {F::authorization, "Bearer 00"}}, 401, nullptr},
        {http::verb::get, "/items", "", {{F::host, "evil.example"}, {F::authorization, Bearer()}}, 403, nullptr},
        {http::verb::get, "/items", "", with(F::origin, "http://evil.example"), 403, nullptr},
        {http::verb::get, "/items/SNR", "", with(F::origin, "http://localhost:8080"), 200, "SNR value"},
        {http::verb::delete_, "/items", "", ok, 405, nullptr},
        {http::verb::get, "/execute", "", ok, 405, nullptr},
        {http::verb::get, "/nowhere", "", ok, 404, nullptr},
        {http::verb::get, "/advise", "", ok, 426, nullptr},
        {http::verb::get, "/items/Delay%20Finder", "", ok, 503, nullptr},  // the engine answers too late
    };
    for (const Case& c : cases) {
        const Answer answer = Http(server_->Port(), c.method, c.target, c.body, c.headers);
        EXPECT_EQ(answer.status, c.status) << c.target << " " << answer.body;
        if (c.reply) {
            EXPECT_EQ(answer.body, c.reply) << c.target;
        }
    }
    EXPECT_EQ(backend_.commands, (std::vector<std::string>{"[Run]", "[Bogus]"}));  // line ends trimmed

    const json items = json::parse(Http(server_->Port(), http::verb::get, "/items", "", ok).body);
    EXPECT_EQ(items["service"], "Zeltrak");
    ASSERT_EQ(items["items"].size(), kAutomationItemCount);
    EXPECT_EQ(items["items"][58], "Version Number");
    const json api = json::parse(Http(server_->Port(), http::verb::get, "/openapi.json", "", ok).body);
    EXPECT_EQ(api["paths"]["/items/{name}"]["get"]["parameters"][0]["schema"]["enum"], items["items"]);

    EXPECT_EQ(RawStatus(server_->Port(), "NOT HTTP AT ALL\r\n\r\n"), 400);
    EXPECT_EQ(RawStatus(server_->Port(), "GET /items HTTP/1.1\r\nContent-Length: x\r\n\r\n"), 400);
}

TEST_F(ServerTest, AdviseReachesEverySubscriberWithItsOwnSequence) {
    auto owned = std::make_unique<AdviseClient>();
    AdviseClient &first = *owned, second;
    const std::string host = "127.0.0.1:" + std::to_string(server_->Port());
    const auto upgrade = [&](const std::string& target, const char* origin) {
        std::vector<std::pair<http::field, std::string>> headers = {
            {http::field::host, host}, {http::field::connection, "Upgrade"}, {http::field::upgrade, "websocket"},
            {http::field::sec_websocket_key, "dGhlIHNhbXBsZSBub25jZQ=="}, {http::field::sec_websocket_version, "13"}};
        if (origin) headers.emplace_back(http::field::origin, origin);
        return Http(server_->Port(), http::verb::get, target, "", headers).status;
    };
    EXPECT_EQ(upgrade("/advise?token=" + server_->Token(), "http://evil.example"), 403);  // before accepting
    EXPECT_EQ(upgrade("/advise", nullptr), 401);
    ASSERT_EQ(first.Open(server_->Port(), "/advise?token=" + server_->Token()), 101);
    ASSERT_EQ(second.Open(server_->Port(), "/advise?token=" + server_->Token(), "http://localhost:8080"), 101);

    EXPECT_EQ(first.Say(R"({"subscribe": ["Peak Frequency", "No Such"]})"),
              json({{"error", "unknown item"}, {"item", "No Such"}}));
    EXPECT_TRUE(first.Say("\x01\x02junk", true).contains("error"));  // binary junk
    EXPECT_TRUE(first.Say("{not json").contains("error"));
    EXPECT_EQ(first.Say(R"({"subscribe": ["peak frequency", "Spectrum"]})"),
              json::parse(R"({"subscribed": ["Peak Frequency", "Spectrum"]})"));
    EXPECT_EQ(second.Say(R"({"subscribe": ["Spectrum"]})")["subscribed"].size(), 1u);
    AdviseSet expected;
    expected.set(kItemPeakFrequency).set(kItemSpectrum);
    EXPECT_EQ(server_->Subscribed(), expected);

    const std::string spectrum = "10.000000\t-3.000000\r\n\"quoted\"\t\\\r\n";
    for (int round = 0; round < 3; ++round)
        server_->Publish({{kItemPeakFrequency, "1000.0"}, {kItemSNR, "unsubscribed"}, {kItemSpectrum, spectrum}});
    for (uint64_t seq = 1; seq <= 6; seq += 2) {
        EXPECT_EQ(first.Next(), json({{"item", "Peak Frequency"}, {"value", "1000.0"}, {"seq", seq}}));
        EXPECT_EQ(first.Next(), json({{"item", "Spectrum"}, {"value", spectrum}, {"seq", seq + 1}}));
        EXPECT_EQ(second.Next(), json({{"item", "Spectrum"}, {"value", spectrum}, {"seq", (seq + 1) / 2}}));
    }
    // One subscriber leaves mid-advise; the other goes on undisturbed. A byte that is not UTF-8
    // arrives replaced.
    server_->Publish({{kItemSpectrum, "a\xff"}});
    owned.reset();
    server_->Publish({{kItemSpectrum, "b"}});
    EXPECT_EQ(second.Next()["value"], "a\xEF\xBF\xBD");
    EXPECT_EQ(second.Next(), json({{"item", "Spectrum"}, {"value", "b"}, {"seq", 5}}));
    EXPECT_EQ(second.Say(R"({"unsubscribe": ["Spectrum"]})"), json::parse(R"({"subscribed": []})"));
    // A client that only sends junk is closed after its 16th bad message, each one answered.
    for (int bad = 1; bad <= 16; ++bad) EXPECT_TRUE(second.Say("[]").contains("error")) << bad;
    EXPECT_EQ(second.Next()["failed"], beast::error_code(websocket::error::closed).message());
}

TEST_F(ServerTest, StalledClientNeitherBlocksOthersNorStays) {
    net::io_context io;
    beast::tcp_stream slow(io);
    slow.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), server_->Port()));
    net::write(slow, net::buffer(std::string("GET /items HTTP/1.1\r\nHo")));
    const auto start = std::chrono::steady_clock::now();
    const std::string host = "127.0.0.1:" + std::to_string(server_->Port());
    EXPECT_EQ(Http(server_->Port(), http::verb::get, "/items/SNR", "",
                   {{http::field::host, host}, {http::field::authorization, Bearer()}}).status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    beast::error_code ec;
    RawRead(slow, io, 1, ec);  // closed after the header time limit (0.4 s), well before the read's 3 s
    EXPECT_EQ(ec, net::error::eof);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
}

// The whole chain on a real socket: the interpreter and the headless shell on an analyser
// thread of their own, a manual-clock Loopback card playing a 1 kHz sine advanced there.
class LiveAnalyser {
public:
    LiveAnalyser() {
        settings_.Settings().format = SampleFormat::Make(8000, 1, 2);
        settings_.Settings().FFTsize = 1024;
        settings_.Mode.OpMode = kModeRealTime;
        settings_.FileIO.RealTimeWaveBufferEnableFlag = 0;
        env_.tempDir = env_.waveDir = dir_.path();
        thread_ = std::thread([this] { Work(); });
    }
    ~LiveAnalyser() {
        stop_ = true;
        thread_.join();
    }
    EnginePost Poster() {
        return [this](std::function<void()> work) { tasks_.Post(std::move(work)); };
    }
    TCommandInterpreter& Interpreter() { return *interpreter_; }
    std::atomic<bool> ready{false};

private:
    void Work() {
        TSoundPort::ResetLivePositionEstimate();
        TEngine engine(host_, card_, settings_, &queue_, env_);
        TEngineLoop loop(engine, queue_);
        THeadlessShell shell(host_, engine, settings_, calibration_, nullptr, dir_.path());
        interpreter_ = std::make_unique<TCommandInterpreter>(shell);
        ready = true;
        while (!stop_) {
            tasks_.RunPending();
            if (engine.Running()) card_.Advance(512), loop.Pump(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        interpreter_->SetAdviseSink(nullptr);
        tasks_.RunPending();
        interpreter_.reset();
        engine.Stop();
    }
    testing::TempDir dir_;
    ScriptedHost host_;
    ProcessingSettings settings_;
    CalibrationRecord calibration_;
    EngineEnvironment env_;
    LoopbackDriver card_{{.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {},
                          .source = LoopbackConfig::Source::Sine, .sineHz = 1000.0, .sineDb = -12.0}};
    BufferDoneQueue queue_;
    TTaskQueue tasks_;
    std::unique_ptr<TCommandInterpreter> interpreter_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(AutomationLive, RunAdviseRequestAndRefusalThroughTheServer) {
    LiveAnalyser analyser;
    while (!analyser.ready) std::this_thread::yield();
    AutomationServerOptions options;
    options.addresses = {"127.0.0.1"};
    TAutomationServer server(analyser.Interpreter(), analyser.Poster(), options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    analyser.Poster()([&] { analyser.Interpreter().SetAdviseSink(&server); });
    const std::vector<std::pair<http::field, std::string>> auth = {
        {http::field::host, "127.0.0.1"}, {http::field::authorization, "Bearer " + server.Token()}};
    const auto post = [&](const char* command) { return Http(server.Port(), http::verb::post, "/execute", command, auth); };

    AdviseClient client;
    ASSERT_EQ(client.Open(server.Port(), "/advise?token=" + server.Token()), 101);
    ASSERT_EQ(client.Say(R"({"subscribe": ["FFT Count", "Peak Frequency"]})")["subscribed"].size(), 2u);
    EXPECT_EQ(post("[FFT Size 1000]").status, 409);
    EXPECT_EQ(post("[Run 3]").body, "ACK");
    // Each of the four frames advises both items, in table order.
    for (int frame = 1; frame <= 4; ++frame) {
        EXPECT_EQ(client.Next()["value"], "1000.000000") << frame;
        EXPECT_EQ(client.Next()["value"], std::to_string(frame)) << frame;
    }
    EXPECT_EQ(Http(server.Port(), http::verb::get, "/items/FFT%20Count", "", auth).body, "4");
    EXPECT_EQ(Http(server.Port(), http::verb::get, "/items/FFT%20Size", "", auth).body, "1024");
    server.Stop();
}

TEST(AutomationServer, ConnectionsBeyondTheLimitAreRefused) {
    testing::FakeBackend backend;
    testing::EngineThread engine;
    AutomationServerOptions options;
    options.addresses = {"127.0.0.1"};
    options.maxConnections = 1;
    TAutomationServer server(backend, engine.Poster(), options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    net::io_context io;
    beast::tcp_stream held(io);
    held.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), server.Port()));
    const std::vector<std::pair<http::field, std::string>> headers = {
        {http::field::host, "localhost"}, {http::field::authorization, "Bearer " + server.Token()}};
    EXPECT_EQ(Http(server.Port(), http::verb::get, "/items", "", headers).status, 503);
    held.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the server notices the close
    EXPECT_EQ(Http(server.Port(), http::verb::get, "/items", "", headers).status, 200);
}

TEST_F(ServerTest, RestartMakesANewTokenAndDiscoveryFile) {
    const auto discovery = [&] {
        DiscoveryRecord record;
        std::string error;
        EXPECT_TRUE(ReadDiscoveryFile(options_.discoveryPath, record, error)) << error;
        return record;
    };
    struct stat info {};
    ASSERT_EQ(::stat(options_.discoveryPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(discovery().token, server_->Token());
    EXPECT_EQ(discovery().port, server_->Port());

    // The ctl client finds the server through the file.
    CtlOptions ctl{CtlOptions::Action::Request, {"Peak Frequency"}, options_.discoveryPath};
    std::FILE* out = std::fopen(dir_.File("out.txt").c_str(), "w");
    EXPECT_EQ(RunCtlCommand(ctl, out, stderr), 0);
    ctl = {CtlOptions::Action::Execute, {"[Stop]"}, options_.discoveryPath};
    EXPECT_EQ(RunCtlCommand(ctl, out, stderr), 1);
    std::fclose(out);
    EXPECT_EQ(testing::ReadFile(dir_.File("out.txt")), "1000.000000\t997.500000\nNACK\n");

    const std::string oldToken = server_->Token();
    server_->Stop();
    EXPECT_FALSE(std::filesystem::exists(options_.discoveryPath));
    EXPECT_EQ(RunCtlCommand(ctl, stdout, stderr), 2);  // no server: a message naming the file
    std::string error;
    ASSERT_TRUE(server_->Start(error)) << error;
    EXPECT_NE(server_->Token(), oldToken);
    EXPECT_EQ(server_->Token().size(), 64u);
    EXPECT_EQ(discovery().token, server_->Token());
    EXPECT_EQ(Http(server_->Port(), http::verb::get, "/items", "",
                   {{http::field::host, "localhost"}, {http::field::authorization, "Bearer " + oldToken}}).status, 401);
}

}  // namespace
}  // namespace zeltrak

namespace zeltrak {
// The API description kept in the repository is the one the server serves.
TEST(AutomationOpenApi, TheStoredDocumentIsTheServedOne) {
    std::ifstream in(ZELTRAK_SOURCE_DIR "/docs/automation/openapi.json");
    const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(stored, AutomationOpenApi(AutomationCommandKeywords()) + "\n")
        << "regenerate it with: zeltrak ctl openapi > docs/automation/openapi.json";
}
}  // namespace zeltrak
