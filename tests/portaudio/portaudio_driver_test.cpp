#include "platform/portaudio/portaudio_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/sound_port.h"
#include "platform/buffer_done_queue.h"
#include "platform/portaudio/system_wave_driver.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

// Runs `body` with stderr sent to a file and returns what arrived there.
template <class F>
std::string StderrOf(F body) {
    char path[] = "/tmp/zeltrak_stderr_XXXXXX";
    const int fd = ::mkstemp(path);
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(fd, STDERR_FILENO);
    body();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(fd);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    ::unlink(path);
    return text.str();
}

TEST(PortAudioDriver, EnumeratesWithoutChatterAndRefusesUnknownDevices) {
    const std::string chatter = StderrOf([] {
        PortAudioDriver driver;
        ASSERT_TRUE(driver.Initialized());
        for (WaveDirection dir : {WaveDirection::Input, WaveDirection::Output}) {
            const uint32_t count = driver.DeviceCount(dir);
            for (uint32_t i = 0; i < count; ++i) {
                WaveInCaps ic;
                WaveOutCaps oc;
                const WaveResult r = dir == WaveDirection::Input ? driver.GetInCaps(i, ic) : driver.GetOutCaps(i, oc);
                EXPECT_EQ(r, kWaveOk);
                EXPECT_FALSE(driver.HostApiName(dir, i).empty());
            }
            WaveInCaps ic;
            EXPECT_EQ(driver.GetInCaps(driver.DeviceCount(WaveDirection::Input), ic), kWaveBadDeviceId);
            WaveFormat f;
            EXPECT_EQ(driver.QueryFormat(dir, count, f), kWaveBadDeviceId);
            std::unique_ptr<WaveStream> s;
            EXPECT_EQ(driver.Open(dir, count, f, nullptr, s), kWaveBadDeviceId);
            EXPECT_EQ(s, nullptr);
        }
        uint32_t volume = 0;
        EXPECT_EQ(driver.GetVolume(0, volume), kWaveNotSupported);
    });
    EXPECT_EQ(chatter, "");
}

TEST(SystemWaveDriver, LoopbackCardComesLastInEachDirection) {
    std::unique_ptr<WaveDriverChain> chain;
    uint32_t realInputs = 0, realOutputs = 0;
    StderrOf([&] {
        LoopbackConfig config;
        config.clock = LoopbackConfig::Clock::Manual;
        chain = CreateSystemWaveDriver(config);
        PortAudioDriver probe;
        realInputs = probe.DeviceCount(WaveDirection::Input);
        realOutputs = probe.DeviceCount(WaveDirection::Output);
    });
    ASSERT_EQ(chain->DeviceCount(WaveDirection::Input), realInputs + 1);
    ASSERT_EQ(chain->DeviceCount(WaveDirection::Output), realOutputs + 1);
    WaveInCaps ic;
    WaveOutCaps oc;
    ASSERT_EQ(chain->GetInCaps(realInputs, ic), kWaveOk);
    ASSERT_EQ(chain->GetOutCaps(realOutputs, oc), kWaveOk);
    EXPECT_STREQ(ic.productName, "Loopback");
    EXPECT_STREQ(oc.productName, "Loopback");

    // On a machine without sound hardware the ports land on the Loopback card and work.
    if (realInputs == 0) {
        ScriptedHost host;
        TSoundInput in(*chain, host, 0);
        EXPECT_EQ(in.DeviceName(), "Loopback");
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
}

}  // namespace
}  // namespace zeltrak
