// End to end through a private JACK server on its dummy backend, PortAudio's outputs patched to
// its inputs; the tests also stop and freeze the server, as a user's machine might.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <thread>

#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/sound_port.h"
#include "platform/buffer_done_queue.h"
#include "platform/portaudio/portaudio_driver.h"
#include "support/scripted_host.h"

namespace zeltrak {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = 48000;  // the server's rate; the tests open their ports at it

std::string Tool(const std::string& command, int* status = nullptr) {
    std::string text;
    FILE* p = ::popen(("timeout 10 " + command + " 2>/dev/null").c_str(), "r");
    char buffer[512];
    while (p && std::fgets(buffer, sizeof buffer, p) != nullptr) text += buffer;
    const int s = p ? ::pclose(p) : -1;
    if (status != nullptr) *status = s;
    return text;
}

struct JackServer {
    bool Start() {
        name = "zeltrak_test_" + std::to_string(::getpid());
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        pid = ::fork();
        if (pid < 0) return false;
        if (pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(null, fd);
            ::execlp("jackd", "jackd", "-n", name.c_str(), "--no-realtime", "-d", "dummy", "-r",
                     std::to_string(kRate).c_str(), "-p", "256", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (const auto end = Clock::now() + 10s; Clock::now() < end;) {
            if (Tool("jack_lsp").find("system:playback_1") != std::string::npos) return true;
            if (::waitpid(pid, nullptr, WNOHANG) == pid) { pid = -1; return false; }  // it died
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    void Stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGCONT);  // a test may have frozen it
        ::kill(pid, SIGTERM);
        for (const auto deadline = Clock::now() + 5s; ::waitpid(pid, nullptr, WNOHANG) != pid;) {
            if (Clock::now() > deadline) ::kill(pid, SIGKILL);
            std::this_thread::sleep_for(20ms);
        }
        pid = -1;
        // A client that never closed (a stream left on a dead server) leaves its semaphore behind.
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("jack_sem.", 0) == 0 && file.find("_" + name + "_") != std::string::npos)
                std::filesystem::remove(entry.path(), error);
        }
    }
    ~JackServer() { Stop(); }
    std::string name;
    pid_t pid = -1;
};

class Jack : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v jackd jack_connect jack_lsp >/dev/null") != 0) GTEST_SKIP() << "no jackd";
        // PortAudio cannot start afresh in this process; ctest runs each test in its own.
        if (PortAudioDriver::StreamsAbandoned())
            GTEST_SKIP() << "an earlier test in this process gave up a stream on its JACK server";
        ASSERT_TRUE(server_.Start()) << "the JACK server did not come up";
        driver_ = std::make_unique<PortAudioDriver>();  // it finds the server when it starts
        ASSERT_TRUE(driver_->Initialized());
        for (WaveDirection d : {WaveDirection::Input, WaveDirection::Output})
            for (uint32_t i = 0; i < driver_->DeviceCount(d); ++i)
                if (driver_->HostApiName(d, i).find("JACK") != std::string::npos)
                    (d == WaveDirection::Input ? in_ : out_) = static_cast<int>(i);
        ASSERT_TRUE(in_ >= 0 && out_ >= 0) << "no JACK device";
    }
    void TearDown() override {
        driver_.reset();
        server_.Stop();
    }

    // Patches each PortAudio output to the input of the same number, instead of the silent capture.
    void PatchOutputToInput() {
        std::vector<std::string> ports[2];  // ours: in_N, out_N
        std::stringstream lines(Tool("jack_lsp"));
        for (std::string port; std::getline(lines, port);)
            for (int out = 0; out < 2; ++out)
                if (port.rfind("system:", 0) != 0 && port.find(out ? ":out_" : ":in_") != std::string::npos)
                    ports[out].push_back(port);
        for (auto& p : ports) std::sort(p.begin(), p.end());
        ASSERT_TRUE(ports[0].size() == 2 && ports[1].size() == 2) << Tool("jack_lsp");
        for (size_t i = 0; i < 2; ++i) {
            Tool("jack_disconnect system:capture_" + std::to_string(i + 1) + " " + ports[0][i]);
            int status = -1;
            Tool("jack_connect " + ports[1][i] + " " + ports[0][i], &status);
            ASSERT_EQ(status, 0) << ports[1][i] << " -> " << ports[0][i];
        }
    }

    // Loops a second of tone, half scale left and quarter right, in whole periods: no seam.
    void Play(TSoundOutput& out, double leftHz, double rightHz) {
        tone_.resize(2 * kRate);
        for (uint32_t n = 0; n < 2 * kRate; ++n)
            tone_[n] = static_cast<int16_t>(
                std::lround((16384 >> n % 2) * std::sin(2 * M_PI * (n % 2 ? rightHz : leftHz) * (n / 2) / kRate)));
        ASSERT_TRUE(out.SetFormat(kRate, 2, 2));
        ASSERT_TRUE(out.Open(&queue_, false));
        ASSERT_TRUE(out.Write(tone_.data(), static_cast<uint32_t>(tone_.size() * 2), 0, true));
        ASSERT_TRUE(out.Restart());
    }

    JackServer server_;
    std::unique_ptr<PortAudioDriver> driver_;
    int in_ = -1, out_ = -1;
    ScriptedHost host_;
    BufferDoneQueue queue_;
    std::vector<int16_t> tone_;  // what Play loops
};

TEST_F(Jack, ToneFromOutputPortIsRecordedSampleForSample) {
    TSoundInput in(*driver_, host_, in_);
    TSoundOutput out(*driver_, host_, out_);
    EXPECT_FALSE(in.SetFormat(kRate / 2, 2, 2));  // the server runs at one rate only
    ASSERT_TRUE(in.SetFormat(kRate, 2, 2));
    const uint32_t half = kRate / 2 * 4;  // half a second of stereo 16-bit frames
    std::vector<int16_t> recorded(half, 0x7777);
    ASSERT_TRUE(in.Open(&queue_, false));
    // Starting connects the streams to the server's own ports; patch after that. Until buffers
    // come the input has nowhere to put its frames and drops them.
    ASSERT_TRUE(in.Start());
    Play(out, 1000.0, 1500.0);
    PatchOutputToInput();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(in.PositionBytes(), 0u);
    ASSERT_TRUE(in.AddBuffer(recorded.data(), half, 0));
    ASSERT_TRUE(in.AddBuffer(recorded.data() + half / 2, half, 1));
    BufferDoneQueue::Notice notice;
    for (const auto end = Clock::now() + 10s; !(in.IsSlotDone(0) && in.IsSlotDone(1)) && Clock::now() < end;)
        queue_.WaitPop(notice, 100ms);
    ASSERT_TRUE(in.IsSlotDone(0) && in.IsSlotDone(1)) << "the recording did not finish";
    EXPECT_GE(in.PositionBytes(), 2 * half);
    EXPECT_FALSE(out.IsSlotDone(0));  // still looping

    // The recording is the played tone, sample for sample, at some latency.
    auto matches = [&](size_t lag, size_t samples) {  // within one step of the tone `lag` frames on
        for (size_t n = 0; n < samples; ++n)
            if (std::abs(recorded[n] - tone_[(n + 2 * lag) % (2 * kRate)]) > 1) return false;
        return true;
    };
    size_t lag = 0;
    while (lag < kRate && !matches(lag, 128)) ++lag;
    ASSERT_LT(lag, kRate) << "no alignment of the recording with the tone";
    EXPECT_TRUE(matches(lag, recorded.size())) << "aligned at tone frame " << lag;
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(in.Close());
    EXPECT_TRUE(out.IsSlotDone(0));
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Jack, EngineRealTimeRunFindsThePlayedTonesAtTheirLevels) {
    // 1500 Hz and 3000 Hz: bins 128 and 256 of a 4096-point FFT at 48 kHz.
    TSoundOutput out(*driver_, host_, out_);
    Play(out, 1500.0, 3000.0);
    ProcessingSettings settings;
    settings.Device.InputDeviceID = static_cast<uint32_t>(in_);
    settings.Mode.OpMode = kModeRealTime;
    settings.Settings().format = SampleFormat::Make(kRate, 2, 2);
    settings.Settings().FFTsize = 4096;
    settings.Settings().ChannelProcessing = 2;
    settings.Settings().SmoothingWindow = 2;  // flat top: the tone's level reads true
    settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
    TSoundPort::ResetLivePositionEstimate();
    TEngine engine(host_, *driver_, settings, &queue_);
    TEngineLoop loop(engine, queue_);
    ASSERT_TRUE(engine.Run()) << (host_.messages.empty() ? "" : host_.messages.back().text);
    PatchOutputToInput();
    // Frames before the patch saw silence; with averaging over one frame only the last counts.
    for (const auto end = Clock::now() + 2s; engine.Running() && Clock::now() < end;) {
        loop.Pump(0);
        loop.WaitForNotice(5);
    }
    ASSERT_TRUE(engine.Running());
    EXPECT_GT(engine.FrameCount(), 20u);
    for (int ch = 0; ch < 2; ++ch) {
        const TSpectralData* spectrum = engine.Spectrum(ch);
        ASSERT_NE(spectrum, nullptr);
        EXPECT_EQ(spectrum->Averager().PeakBin(), 128u << ch);
        const double db = 20 * std::log10((16384 >> ch) / 32767.0);
        EXPECT_NEAR(10 * std::log10(spectrum->AveragePower()[128 << ch]), db, 0.1);
    }
    engine.Stop();
    EXPECT_EQ(engine.RunState(), EngineRunState::Stopped);
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(host_.messages.empty()) << host_.messages.front().text;
}

TEST_F(Jack, ServerVanishingMidRecordingFailsCleanly) {
    TSoundInput in(*driver_, host_, in_);
    ASSERT_TRUE(in.SetFormat(kRate, 2, 2));
    ASSERT_TRUE(in.Open(&queue_, false));
    std::vector<int16_t> a(kRate * 2), b(kRate * 2);  // one second each
    ASSERT_TRUE(in.AddBuffer(a.data(), kRate * 4, 0));
    ASSERT_TRUE(in.Start());
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(in.PositionBytes(), 0u);
    const auto start = Clock::now();
    server_.Stop();
    std::this_thread::sleep_for(300ms);
    // The lost device: a message, a failed call, and the queued buffer handed back, not lost.
    EXPECT_FALSE(in.AddBuffer(b.data(), kRate * 4, 1));
    ASSERT_FALSE(host_.messages.empty());
    EXPECT_EQ(host_.messages.back().text, "Failure accessing sound device.");
    in.Close();
    EXPECT_FALSE(in.IsOpen());
    EXPECT_TRUE(in.AllSlotsDone());
    EXPECT_FALSE(in.Open(&queue_, false));  // gone for good: refused at once
    EXPECT_LT(Clock::now() - start, 10s);
}

// A frozen server (stopped, not gone) must not hang the analyser: a stop gives up after a bounded wait.
TEST_F(Jack, StoppingOnAFrozenServerGivesUpAndReportsFailure) {
    const WaveFormat format{
        .channels = 2, .samplesPerSec = kRate, .avgBytesPerSec = kRate * 4, .blockAlign = 4, .bitsPerSample = 16};
    std::vector<uint8_t> buffer(kRate * 4 * 10);  // ten seconds: still queued when the server freezes
    WaveHeader header{.data = buffer.data(), .bufferLength = static_cast<uint32_t>(buffer.size())};
    std::unique_ptr<WaveStream> stream;
    ASSERT_EQ(driver_->Open(WaveDirection::Input, static_cast<uint32_t>(in_), format, &queue_, stream), kWaveOk);
    ASSERT_EQ(stream->Prepare(header), kWaveOk);
    ASSERT_EQ(stream->AddBuffer(header), kWaveOk);
    ASSERT_EQ(stream->Start(), kWaveOk);
    for (int i = 0; i < 500 && header.bytesRecorded.load() == 0; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GT(header.bytesRecorded.load(), 0u);

    // A stop that never returns is released by thawing the server: the test fails, not hangs.
    std::atomic<bool> returned{false};
    std::thread watchdog([&] {
        for (const auto end = Clock::now() + 20s; !returned.load() && Clock::now() < end;)
            std::this_thread::sleep_for(20ms);
        ::kill(server_.pid, SIGCONT);
    });
    EXPECT_EQ(::kill(server_.pid, SIGSTOP), 0);
    std::this_thread::sleep_for(200ms);
    const auto start = Clock::now();
    EXPECT_EQ(stream->Reset(), kWaveError);
    EXPECT_EQ(stream->Close(), kWaveError);
    EXPECT_LT(Clock::now() - start, 5s);
    // The buffer is the owner's again: once the server runs on, nothing may write to it.
    EXPECT_TRUE(header.IsDone() && !header.IsQueued());
    const uint32_t recorded = header.bytesRecorded.load();
    std::fill(buffer.begin(), buffer.end(), 0x5A);
    returned.store(true);  // the server runs on
    watchdog.join();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(header.bytesRecorded.load(), recorded);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x5A; }));
}

}  // namespace
}  // namespace zeltrak
