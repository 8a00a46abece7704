// Choosing the sound devices: the names a driver lists, moving the engine's ports to other
// devices, and what happens when a chosen device is refused or disappears.
#include <gtest/gtest.h>

#include "base/strings.h"
#include "engine/device_list.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/multi_device_driver.h"
#include "platform/buffer_done_queue.h"
#include "support/scripted_host.h"

namespace zeltrak {
namespace {

using test::MultiDeviceDriver;

TEST(DeviceList, UnreadableDeviceKeepsItsPlaceAndFullFieldsStayInside) {
    MultiDeviceDriver d({"First", "Second", "Third"}, {"Out"});
    d.capsFailing = {1};
    auto names = [&](WaveDirection direction) {
        std::vector<std::string> out;
        for (const DeviceListing& device : ListDevices(d, direction)) out.push_back(device.name);
        return out;
    };
    // The index must stay the device id, or choosing "Third" would open device 1.
    EXPECT_EQ(names(WaveDirection::Input), (std::vector<std::string>{"First", "", "Third"}));
    EXPECT_EQ(names(WaveDirection::Output), std::vector<std::string>{"Out"});
    // A driver may use all 32 bytes of the name field; the name must not run past it.
    d.fullNames = true;
    d.inputs = {"A device name of exactly 32 chrs"};
    EXPECT_EQ(names(WaveDirection::Input), d.inputs);
}

// The Loopback card takes every rate from its lowest to its highest, in both directions.
TEST(DeviceList, ChannelsAndRatesAreWhatTheDeviceTakes) {
    LoopbackDriver card;
    std::vector<uint32_t> within;
    for (uint32_t rate : kPresetRates)
        if (rate >= LoopbackDriver::kMinRate && rate <= LoopbackDriver::kMaxRate) within.push_back(rate);
    for (WaveDirection direction : {WaveDirection::Input, WaveDirection::Output}) {
        const std::vector<DeviceListing> devices = ListDevices(card, direction);
        ASSERT_EQ(devices.size(), 1u);
        EXPECT_EQ(devices[0].channels, 2);
        EXPECT_EQ(devices[0].rates, within);
    }
}

TEST(DeviceList, CapabilityTextGivesARangeOnlyWhenNoPresetRateIsMissing) {
    const struct {
        uint16_t channels;
        std::vector<uint32_t> rates;
        std::string text;
    } cases[] = {
        {2, {8000, 11025, 12000, 16000}, "2 ch, 8000\u201316000 Hz"},
        {1, {44100, 48000, 96000}, "1 ch, 44100, 48000, 96000 Hz"},  // 50000 to 88200 refused
        {2, {44100, 48000}, "2 ch, 44100, 48000 Hz"},
        {0, {48000}, "48000 Hz"},
        {8, {}, "8 ch"},
        {0, {}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DeviceCapabilityText({"Card", c.channels, c.rates}), c.text);
}

class DeviceSelection : public ::testing::Test {
protected:
    void SetUp() override {
        TSoundPort::ResetLivePositionEstimate();
        settings.Settings().format = SampleFormat::Make(8000, 1, 2);
        settings.Settings().FFTsize = 1024;
        settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
        engine = std::make_unique<TEngine>(host, driver, settings, &queue);
        loop = std::make_unique<TEngineLoop>(*engine, queue);
    }
    // Runs the card and the loop until a frame was analysed or a second passed.
    bool AnalyseOneFrame() {
        for (uint32_t done = 0; done < 8000 && engine->Running() && engine->FrameCount() == 0; done += 500) {
            driver.card.Advance(500);
            loop->Pump(0);
        }
        return engine->FrameCount() > 0;
    }
    std::string LastMessage() const { return host.messages.empty() ? "" : host.messages.back().text; }

    MultiDeviceDriver driver{{"Mic Array", "USB Interface 2x2", "Loopback"}, {"HDMI Out", "Loopback"}};
    ScriptedHost host;
    ProcessingSettings settings;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TEngineLoop> loop;
};

TEST_F(DeviceSelection, ChosenVanishedOrPulledDevicesEndInTheirMessagesNotACrash) {
    ASSERT_TRUE(engine->SelectDevices(2, 1));
    EXPECT_EQ(settings.Device.InputDeviceID, 2u);
    EXPECT_EQ(engine->InputPort().DeviceName(), "Loopback");
    EXPECT_EQ(engine->OutputPort().DeviceId(), 1);
    for (auto [in, out] : {std::pair{3u, 0u}, {0u, 2u}, {kNoDevice, 0u}, {0u, kNoDevice}})
        EXPECT_FALSE(engine->SelectDevices(in, out)) << in << " " << out;
    ASSERT_TRUE(engine->Run());
    EXPECT_TRUE(AnalyseOneFrame());
    EXPECT_EQ(driver.openedInputs.back(), 2u);
    EXPECT_FALSE(engine->SelectDevices(0, 0));  // not while running
    EXPECT_EQ(engine->InputPort().DeviceName(), "Loopback");
    engine->Stop();
    EXPECT_TRUE(host.messages.empty()) << LastMessage();
    // A device whose capabilities cannot be read is chosen, but its port says so.
    driver.capsFailing = {1};
    EXPECT_TRUE(engine->SelectDevices(1, 0));
    EXPECT_EQ(LastMessage(), LoadString(kStrSoundDeviceFailure));
    driver.capsFailing.clear();
    ASSERT_TRUE(engine->SelectDevices(2, 1));
    // Still listed but gone: the open fails with the port's busy-device message.
    driver.unplugged = true;
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(LastMessage(), LoadString(kStrSoundBoardBusy));
    driver.unplugged = false;
    // Fewer devices than before: the run says the device is gone instead of opening another.
    driver.inputs = {"Mic Array", "USB Interface 2x2"};
    const size_t opens = driver.openedInputs.size();
    EXPECT_FALSE(engine->SelectDevices(2, 1));
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(LastMessage(), LoadString(kStrSoundDeviceFailure));
    EXPECT_EQ(driver.openedInputs.size(), opens);
    // Every input gone, and the port's own open finds no device at all.
    driver.inputs.clear();
    EXPECT_FALSE(engine->Run());
    EXPECT_FALSE(engine->SelectDevices(0, 0));
    EXPECT_FALSE(engine->InputPort().Open(nullptr, false));
    EXPECT_EQ(LastMessage(), LoadString(kStrNoSoundDriver));
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(LastMessage(), "No Sound Cards were detected on your system.");
    EXPECT_EQ(engine->RunState(), EngineRunState::Stopped);

    // A device comes back; pulled out mid-run, the analyser stops and says why, and runs
    // again at once when it answers.
    driver.inputs = {"Mic Array"};
    ASSERT_TRUE(engine->SelectDevices(0, 0));
    ASSERT_TRUE(engine->Run());
    ASSERT_TRUE(AnalyseOneFrame());
    const size_t messages = host.messages.size();
    driver.pulledOut = true;
    for (int i = 0; i < 20 && engine->Running(); ++i) {
        driver.card.Advance(500);
        loop->Pump(0);
    }
    EXPECT_FALSE(engine->Running());
    ASSERT_EQ(host.messages.size(), messages + 1);
    EXPECT_EQ(LastMessage(), LoadString(kStrSoundDeviceFailure));
    driver.pulledOut = false;
    ASSERT_TRUE(engine->Run());
    EXPECT_TRUE(AnalyseOneFrame());
    engine->Stop();
    EXPECT_EQ(host.messages.size(), messages + 1);
}

}  // namespace
}  // namespace zeltrak
