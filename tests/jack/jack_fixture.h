#pragma once
// A JACK server on its dummy backend, started and stopped by the test, with PortAudio's ports
// patched output to input: the real audio path that the end-to-end tests run through.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/portaudio/portaudio_driver.h"

namespace zeltrak::jack_testing {

using namespace std::chrono_literals;

// The server runs at this rate; the tests open their ports at it.
constexpr uint32_t kRate = 48000;

inline bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path == nullptr ? "" : path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Runs a JACK command-line tool with a time limit; returns its standard output.
inline std::string Tool(const std::string& command, int* status = nullptr) {
    std::string text;
    FILE* p = ::popen(("timeout 10 " + command + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) return text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) text += buffer;
    const int s = ::pclose(p);
    if (status != nullptr) *status = s;
    return text;
}

inline std::vector<std::string> Lines(const std::string& text) {
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
        ::kill(pid_, SIGCONT);  // a test may have frozen it
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                RemoveSemaphores();
                return;
            }
            std::this_thread::sleep_for(20ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        RemoveSemaphores();
    }

    ~JackServer() { Stop(); }

    pid_t Pid() const { return pid_; }

private:
    // A client that never closed (a stream left on a dead server) leaves its semaphore behind.
    void RemoveSemaphores() const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("jack_sem.", 0) == 0 && file.find("_" + name_ + "_") != std::string::npos) {
                std::filesystem::remove(entry.path(), error);
            }
        }
    }

    std::string name_;
    pid_t pid_ = -1;
};

inline int FindJackDevice(PortAudioDriver& driver, WaveDirection direction) {
    for (uint32_t i = 0; i < driver.DeviceCount(direction); ++i) {
        if (driver.HostApiName(direction, i).find("JACK") != std::string::npos) return static_cast<int>(i);
    }
    return -1;
}

class JackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("jackd") || !OnPath("jack_connect") || !OnPath("jack_lsp")) {
            GTEST_SKIP() << "jackd is not installed";
        }
        // PortAudio cannot start afresh in this process; ctest runs each test in its own.
        if (PortAudioDriver::StreamsAbandoned()) {
            GTEST_SKIP() << "an earlier test in this process gave up a stream on its JACK server";
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

}  // namespace zeltrak::jack_testing
