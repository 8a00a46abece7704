// End to end through a real audio server: a JACK server on its dummy backend, PortAudio's
// output patched to its input, a tone played by TSoundOutput and found in TSoundInput's recording.
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

#include "engine/sound_port.h"
#include "platform/buffer_done_queue.h"
#include "platform/portaudio/portaudio_driver.h"
#include "platform/scripted_host.h"
#include "jack/jack_fixture.h"

namespace zeltrak {
namespace {

using namespace std::chrono_literals;

using namespace jack_testing;

class JackLoop : public JackTest {};

// Amplitude of the component at `hz` in one channel of interleaved 16-bit frames (a single DFT bin).
double Amplitude(const std::vector<int16_t>& samples, int channel, double hz) {
    const size_t frames = samples.size() / 2;
    double re = 0.0, im = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        const double x = samples[2 * n + channel] / 32768.0;
        const double phase = 2.0 * M_PI * hz * n / kRate;
        re += x * std::cos(phase);
        im -= x * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / frames;
}



TEST_F(JackLoop, ToneFromOutputPortIsRecordedByInputPort) {
    PortAudioDriver driver;
    ASSERT_TRUE(driver.Initialized());
    const int inDevice = FindJackDevice(driver, WaveDirection::Input);
    const int outDevice = FindJackDevice(driver, WaveDirection::Output);
    ASSERT_GE(inDevice, 0);
    ASSERT_GE(outDevice, 0);

    ScriptedHost host;
    BufferDoneQueue queue;
    TSoundInput in(driver, host, inDevice);
    TSoundOutput out(driver, host, outDevice);
    ASSERT_TRUE(in.SetFormat(kRate, 2, 2));
    ASSERT_TRUE(out.SetFormat(kRate, 2, 2));
    EXPECT_FALSE(in.SetFormat(kRate / 2, 2, 2));  // the server runs at one rate only
    in.SetFormat(kRate, 2, 2);

    // One second of 1 kHz at half scale on the left and 1.5 kHz at quarter scale on the right,
    // a whole number of periods so that the looping buffer joins without a seam.
    std::vector<int16_t> tone(2 * kRate);
    for (uint32_t n = 0; n < kRate; ++n) {
        tone[2 * n] = static_cast<int16_t>(std::lround(16384.0 * std::sin(2 * M_PI * 1000.0 * n / kRate)));
        tone[2 * n + 1] = static_cast<int16_t>(std::lround(8192.0 * std::sin(2 * M_PI * 1500.0 * n / kRate)));
    }
    const uint32_t half = kRate / 2 * 4;  // half a second of stereo 16-bit frames
    std::vector<int16_t> rec0(half / 2, 0x7777), rec1(half / 2, 0x7777);

    ASSERT_TRUE(out.Open(&queue, false));
    ASSERT_TRUE(in.Open(&queue, false));
    // Starting connects the streams to the server's own ports; patch after that. Until buffers
    // come the input has nowhere to put its frames and drops them.
    ASSERT_TRUE(in.Start());
    ASSERT_TRUE(out.Write(tone.data(), static_cast<uint32_t>(tone.size() * 2), 0, true));
    ASSERT_TRUE(out.Restart());
    PatchOutputToInput();
    std::this_thread::sleep_for(200ms);  // let the tone reach the input
    EXPECT_EQ(in.PositionBytes(), 0u);
    ASSERT_TRUE(in.AddBuffer(rec0.data(), half, 0));
    ASSERT_TRUE(in.AddBuffer(rec1.data(), half, 1));

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!(in.IsSlotDone(0) && in.IsSlotDone(1)) && std::chrono::steady_clock::now() < deadline) {
        BufferDoneQueue::Notice n;
        queue.WaitPop(n, 100ms);
    }
    ASSERT_TRUE(in.IsSlotDone(0) && in.IsSlotDone(1)) << "the recording did not finish";
    EXPECT_GE(in.PositionBytes(), 2 * half);
    EXPECT_GT(out.PositionBytes(), 0u);
    EXPECT_FALSE(out.IsSlotDone(0));  // still looping

    std::vector<int16_t> recorded(rec0);
    recorded.insert(recorded.end(), rec1.begin(), rec1.end());
    EXPECT_NEAR(Amplitude(recorded, 0, 1000.0), 0.5, 0.005);
    EXPECT_NEAR(Amplitude(recorded, 1, 1500.0), 0.25, 0.0025);
    EXPECT_LT(Amplitude(recorded, 0, 1500.0), 0.001);
    EXPECT_LT(Amplitude(recorded, 1, 1000.0), 0.001);

    // The recording is the played tone, sample for sample, at some latency.
    const auto first = std::find_if(recorded.begin(), recorded.end(), [](int16_t v) { return v != 0; });
    ASSERT_NE(first, recorded.end());
    size_t lag = kRate;
    for (size_t k = 0; k < kRate; ++k) {
        bool match = true;
        for (size_t n = 0; n < 64 && match; ++n) {
            match = std::abs(recorded[2 * n] - tone[2 * ((n + k) % kRate)]) <= 1 &&
                    std::abs(recorded[2 * n + 1] - tone[2 * ((n + k) % kRate) + 1]) <= 1;
        }
        if (match) {
            lag = k;
            break;
        }
    }
    ASSERT_LT(lag, kRate) << "no alignment of the recording with the tone";
    int worst = 0;
    for (size_t n = 0; n < recorded.size() / 2; ++n) {
        for (int c = 0; c < 2; ++c) {
            worst = std::max(worst, std::abs(recorded[2 * n + c] - tone[2 * ((n + lag) % kRate) + c]));
        }
    }
    EXPECT_LE(worst, 1);
    std::printf("recording aligned at tone frame %zu, largest sample difference %d\n", lag, worst);

    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(in.Close());
    EXPECT_TRUE(out.IsSlotDone(0));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(JackLoop, ServerVanishingMidRecordingFailsCleanly) {
    PortAudioDriver driver;
    ASSERT_TRUE(driver.Initialized());
    const int inDevice = FindJackDevice(driver, WaveDirection::Input);
    ASSERT_GE(inDevice, 0);
    ScriptedHost host;
    BufferDoneQueue queue;
    TSoundInput in(driver, host, inDevice);
    ASSERT_TRUE(in.SetFormat(kRate, 2, 2));
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<int16_t> a(kRate * 2), b(kRate * 2);  // one second each
    ASSERT_TRUE(in.AddBuffer(a.data(), kRate * 4, 0));
    ASSERT_TRUE(in.Start());
    std::this_thread::sleep_for(200ms);
    const uint32_t before = in.PositionBytes();
    EXPECT_GT(before, 0u);

    const auto start = std::chrono::steady_clock::now();
    server_.Stop();
    std::this_thread::sleep_for(300ms);
    // The lost device shows as a failing driver call: a message, a 0 result, and the queued
    // buffer handed back, not lost.
    const bool added = in.AddBuffer(b.data(), kRate * 4, 1);
    std::printf("after the server went: AddBuffer %d, open %d, messages %zu, position %u (was %u)\n", added,
                in.IsOpen(), host.messages.size(), in.PositionBytes(), before);
    EXPECT_FALSE(added);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, "Failure accessing sound device.");
    in.Close();
    EXPECT_FALSE(in.IsOpen());
    EXPECT_TRUE(in.AllSlotsDone());
    // The server is gone for good: opening again is refused at once.
    EXPECT_FALSE(in.Open(&queue, false));
    EXPECT_FALSE(in.IsOpen());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

}  // namespace
}  // namespace zeltrak
