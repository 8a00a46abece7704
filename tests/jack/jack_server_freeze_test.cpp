// A JACK server that freezes (stopped, not gone) must not take the analyser down with it:
// stopping a stream on it gives up after a bounded wait and reports the device failed, so
// that an interrupted analyser can still shut down.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "jack/jack_fixture.h"
#include "platform/buffer_done_queue.h"
#include "platform/portaudio/portaudio_driver.h"

namespace zeltrak {
namespace {

using namespace std::chrono_literals;

using namespace jack_testing;

class JackFrozen : public JackTest {};

TEST_F(JackFrozen, StoppingOnAFrozenServerGivesUpAndReportsFailure) {
    PortAudioDriver driver;
    ASSERT_TRUE(driver.Initialized());
    const int device = FindJackDevice(driver, WaveDirection::Input);
    ASSERT_GE(device, 0);
    WaveFormat format;
    format.channels = 2;
    format.samplesPerSec = kRate;
    format.blockAlign = 4;
    format.avgBytesPerSec = kRate * 4;
    format.bitsPerSample = 16;
    BufferDoneQueue queue;
    std::vector<uint8_t> buffer(kRate * 4 * 10);  // ten seconds: still queued when the server freezes
    WaveHeader header;
    header.data = buffer.data();
    header.bufferLength = static_cast<uint32_t>(buffer.size());
    std::unique_ptr<WaveStream> stream;
    ASSERT_EQ(driver.Open(WaveDirection::Input, static_cast<uint32_t>(device), format, &queue, stream), kWaveOk);
    ASSERT_EQ(stream->Prepare(header), kWaveOk);
    ASSERT_EQ(stream->AddBuffer(header), kWaveOk);
    ASSERT_EQ(stream->Start(), kWaveOk);
    const auto recording = std::chrono::steady_clock::now() + 5s;
    while (header.bytesRecorded.load() == 0 && std::chrono::steady_clock::now() < recording) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_GT(header.bytesRecorded.load(), 0u);

    // Whatever happens below, the server runs again before the fixture stops it; a stop that
    // never returns is released by thawing the server, failing the test instead of hanging it.
    const pid_t server = server_.Pid();
    std::atomic<bool> returned{false};
    std::thread watchdog([&] {
        const auto limit = std::chrono::steady_clock::now() + 20s;
        while (!returned.load() && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(20ms);
        ::kill(server, SIGCONT);
    });
    struct Thaw {
        std::atomic<bool>& returned;
        std::thread& watchdog;
        ~Thaw() {
            returned.store(true);
            watchdog.join();
        }
    } thaw{returned, watchdog};

    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    std::this_thread::sleep_for(200ms);

    const auto start = std::chrono::steady_clock::now();
    const WaveResult reset = stream->Reset();
    const auto resetTook = std::chrono::steady_clock::now() - start;
    const WaveResult closed = stream->Close();
    const auto took = std::chrono::steady_clock::now() - start;
    returned.store(true);

    EXPECT_EQ(reset, kWaveError);
    EXPECT_EQ(closed, kWaveError);
    EXPECT_LT(took, 5s);
    std::printf("reset gave up after %lld ms, close after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(resetTook).count()),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    // The buffer came back and is the owner's again: once the server runs on, the stream left
    // behind must not write to it.
    EXPECT_TRUE(header.IsDone());
    EXPECT_FALSE(header.IsQueued());
    const uint32_t recorded = header.bytesRecorded.load();
    std::fill(buffer.begin(), buffer.end(), 0x5A);
    ::kill(server, SIGCONT);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(header.bytesRecorded.load(), recorded);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x5A; }));
}

}  // namespace
}  // namespace zeltrak
