// The PortAudio backend on this machine's devices, and the Loopback card after them.
#include "platform/portaudio/portaudio_driver.h"

#include <gtest/gtest.h>

#include "engine/sound_port.h"
#include "platform/buffer_done_queue.h"
#include "platform/portaudio/system_wave_driver.h"
#include "support/scripted_host.h"

namespace zeltrak {
namespace {

TEST(PortAudioDriver, EnumeratesQuietlyRefusesUnknownDevicesAndTheLoopbackCardComesLast) {
    uint32_t realInputs = 0;
    ::testing::internal::CaptureStderr();
    {
        PortAudioDriver driver;
        ASSERT_TRUE(driver.Initialized());
        for (WaveDirection dir : {WaveDirection::Input, WaveDirection::Output}) {
            const uint32_t count = driver.DeviceCount(dir);
            for (uint32_t i = 0; i < count; ++i) EXPECT_FALSE(driver.HostApiName(dir, i).empty());
            WaveInCaps ic;
            WaveOutCaps oc;
            EXPECT_EQ(dir == WaveDirection::Input ? driver.GetInCaps(count, ic) : driver.GetOutCaps(count, oc),
                      kWaveBadDeviceId);
            WaveFormat f;
            EXPECT_EQ(driver.QueryFormat(dir, count, f), kWaveBadDeviceId);
            std::unique_ptr<WaveStream> s;
            EXPECT_EQ(driver.Open(dir, count, f, nullptr, s), kWaveBadDeviceId);
            EXPECT_EQ(s, nullptr);
        }
        uint32_t volume = 0;
        EXPECT_EQ(driver.GetVolume(0, volume), kWaveNotSupported);
        realInputs = driver.DeviceCount(WaveDirection::Input);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ::testing::internal::CaptureStderr();  // what the sound servers print on a probe
    const auto chain = CreateSystemWaveDriver({.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {}});
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(chain->DeviceCount(WaveDirection::Input), realInputs + 1);
    WaveInCaps ic;
    ASSERT_EQ(chain->GetInCaps(realInputs, ic), kWaveOk);
    EXPECT_STREQ(ic.productName, "Loopback");
    std::unique_ptr<WaveStream> none;
    EXPECT_EQ(chain->Open(WaveDirection::Input, realInputs + 1, {}, nullptr, none), kWaveBadDeviceId);
    WaveOutCaps oc;
    EXPECT_EQ(chain->GetOutCaps(chain->DeviceCount(WaveDirection::Output), oc), kWaveBadDeviceId);
    if (realInputs > 0) return;
    ScriptedHost host;
    TSoundInput in(*chain, host, 0);
    in.SetFormat(8000, 1, 2);
    BufferDoneQueue queue;
    ASSERT_TRUE(in.Open(&queue, false));
    std::vector<uint8_t> buffer(160);
    ASSERT_TRUE(in.AddBuffer(buffer.data(), 160, 0));
    ASSERT_TRUE(in.Start());
    auto* card = dynamic_cast<LoopbackDriver*>(&chain->Driver(chain->DriverCount() - 1));
    ASSERT_NE(card, nullptr);
    card->Advance(80);
    EXPECT_TRUE(in.IsSlotDone(0));
    EXPECT_EQ(queue.Size(), 1u);
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace zeltrak
