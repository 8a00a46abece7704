// The analyser's Real-Time mode through a real audio server: a JACK server on its dummy
// backend, a tone played by TSoundOutput patched into the input the engine records from, and
// the engine's spectrums finding the tone's frequencies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/sound_port.h"
#include "platform/buffer_done_queue.h"
#include "platform/portaudio/portaudio_driver.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kRate = 48000;

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path == nullptr ? "" : path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Runs a JACK command-line tool with a time limit; returns its standard output.
std::string Tool(const std::string& command, int* status = nullptr) {
    std::string text;
    FILE* p = ::popen(("timeout 10 " + command + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) return text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) text += buffer;
    const int s = ::pclose(p);
    if (status != nullptr) *status = s;
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// A private JACK server on the dummy backend, stopped by its process id.
class JackServer {
public:
    bool Start() {
        name_ = "zeltrak_test_" + std::to_string(::getpid());
        ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        pid_ = ::fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execlp("jackd", "jackd", "-n", name_.c_str(), "--no-realtime", "-d", "dummy", "-r",
                     std::to_string(kRate).c_str(), "-p", "256", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Tool("jack_lsp").find("system:playback_1") != std::string::npos) return true;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(20ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    ~JackServer() { Stop(); }

private:
    std::string name_;
    pid_t pid_ = -1;
};

int FindJackDevice(PortAudioDriver& driver, WaveDirection direction) {
    for (uint32_t i = 0; i < driver.DeviceCount(direction); ++i) {
        if (driver.HostApiName(direction, i).find("JACK") != std::string::npos) return static_cast<int>(i);
    }
    return -1;
}

class JackEngine : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("jackd") || !OnPath("jack_connect") || !OnPath("jack_lsp")) {
            GTEST_SKIP() << "jackd is not installed";
        }
        ASSERT_TRUE(server_.Start()) << "the JACK server did not come up";
    }
    void TearDown() override { server_.Stop(); }

    // Patches every PortAudio output port to the input port of the same number, and takes the
    // server's own (silent) capture ports off our inputs.
    void PatchOutputToInput() {
        std::vector<std::string> ins, outs;
        for (const std::string& port : Lines(Tool("jack_lsp"))) {
            if (port.rfind("system:", 0) == 0) continue;
            const size_t colon = port.find(':');
            if (colon == std::string::npos) continue;
            const std::string local = port.substr(colon + 1);
            if (local.rfind("in_", 0) == 0) ins.push_back(port);
            if (local.rfind("out_", 0) == 0) outs.push_back(port);
        }
        std::sort(ins.begin(), ins.end());
        std::sort(outs.begin(), outs.end());
        ASSERT_EQ(ins.size(), 2u);
        ASSERT_EQ(outs.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            Tool("jack_disconnect system:capture_" + std::to_string(i + 1) + " " + ins[i]);
            int status = -1;
            Tool("jack_connect " + outs[i] + " " + ins[i], &status);
            ASSERT_EQ(status, 0) << outs[i] << " -> " << ins[i];
        }
    }

    JackServer server_;
};

TEST_F(JackEngine, RealTimeRunFindsThePlayedTones) {
    PortAudioDriver driver;
    ASSERT_TRUE(driver.Initialized());
    const int inDevice = FindJackDevice(driver, WaveDirection::Input);
    const int outDevice = FindJackDevice(driver, WaveDirection::Output);
    ASSERT_GE(inDevice, 0);
    ASSERT_GE(outDevice, 0);

    ScriptedHost host;
    BufferDoneQueue queue;
    // 1500 Hz at half scale on the left, 3000 Hz at quarter scale on the right: bins 128 and
    // 256 of a 4096-point FFT at 48 kHz. One second loops without a seam.
    std::vector<int16_t> tone(2 * kRate);
    for (uint32_t n = 0; n < kRate; ++n) {
        tone[2 * n] = static_cast<int16_t>(std::lround(16384.0 * std::sin(2 * M_PI * 1500.0 * n / kRate)));
        tone[2 * n + 1] = static_cast<int16_t>(std::lround(8192.0 * std::sin(2 * M_PI * 3000.0 * n / kRate)));
    }
    TSoundOutput out(driver, host, outDevice);
    ASSERT_TRUE(out.SetFormat(kRate, 2, 2));
    ASSERT_TRUE(out.Open(&queue, false));
    ASSERT_TRUE(out.Write(tone.data(), static_cast<uint32_t>(tone.size() * 2), 0, true));
    ASSERT_TRUE(out.Restart());

    ProcessingSettings settings;
    settings.Device.InputDeviceID = static_cast<uint32_t>(inDevice);
    settings.Mode.OpMode = kModeRealTime;
    SettingsBlock& s = settings.Settings();
    s.format = SampleFormat::Make(kRate, 2, 2);
    s.FFTsize = 4096;
    s.ChannelProcessing = 2;
    s.SmoothingWindow = 2;  // flat top: the tone's level reads true
    settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
    TSoundPort::ResetLivePositionEstimate();
    TEngine engine(host, driver, settings, &queue);
    TEngineLoop loop(engine, queue);
    ASSERT_TRUE(engine.Run()) << (host.messages.empty() ? "" : host.messages.back().text);
    PatchOutputToInput();
    // Frames before the patch saw silence; with averaging over one frame only the last counts.
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < deadline && engine.Running()) {
        loop.Pump(0);
        loop.WaitForNotice(5);
    }
    ASSERT_TRUE(engine.Running());
    EXPECT_GT(engine.FrameCount(), 20u);
    const TSpectralData* left = engine.Spectrum(0);
    const TSpectralData* right = engine.Spectrum(1);
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(left->PeakBin(), 128u);
    EXPECT_EQ(right->PeakBin(), 256u);
    EXPECT_FLOAT_EQ(left->PeakFrequency(), 1500.0f);
    EXPECT_FLOAT_EQ(right->PeakFrequency(), 3000.0f);
    EXPECT_NEAR(10 * std::log10(left->AveragePower()[128]), 20 * std::log10(16384.0 / 32767), 0.1);
    EXPECT_NEAR(10 * std::log10(right->AveragePower()[256]), 20 * std::log10(8192.0 / 32767), 0.1);
    engine.Stop();
    EXPECT_EQ(engine.RunState(), kStopped);
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
    std::printf("Real-Time through JACK: %u frames in 2 s\n", engine.FrameCount());
}

}  // namespace
}  // namespace zeltrak
