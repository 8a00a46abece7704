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
#include "jack/jack_fixture.h"

namespace zeltrak {
namespace {

using namespace std::chrono_literals;

using namespace jack_testing;

class JackEngine : public JackTest {};

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
