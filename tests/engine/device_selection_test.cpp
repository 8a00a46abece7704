// Choosing the sound devices: the names a driver lists, moving the engine's ports to other
// devices, and what happens when a chosen device is refused or disappears.
#include <gtest/gtest.h>

#include "base/strings.h"
#include "engine/device_list.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/multi_device_driver.h"
#include "platform/buffer_done_queue.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using test::MultiDeviceDriver;

TEST(DeviceList, NamesComeInDeviceOrderPerDirection) {
    MultiDeviceDriver d({"Mic Array", "USB Interface 2x2", "Loopback"}, {"HDMI Out", "Loopback"});
    EXPECT_EQ(ListDeviceNames(d, WaveDirection::Input),
              (std::vector<std::string>{"Mic Array", "USB Interface 2x2", "Loopback"}));
    EXPECT_EQ(ListDeviceNames(d, WaveDirection::Output), (std::vector<std::string>{"HDMI Out", "Loopback"}));

    LoopbackDriver loopback(MultiDeviceDriver::Manual());
    EXPECT_EQ(ListDeviceNames(loopback, WaveDirection::Input), std::vector<std::string>{"Loopback"});
    EXPECT_EQ(ListDeviceNames(loopback, WaveDirection::Output), std::vector<std::string>{"Loopback"});

    MultiDeviceDriver none({}, {});
    EXPECT_TRUE(ListDeviceNames(none, WaveDirection::Input).empty());
}

TEST(DeviceList, UnreadableDeviceKeepsItsPlaceAndFullFieldsStayInside) {
    MultiDeviceDriver d({"First", "Second", "Third"}, {"Out"});
    d.capsFailing = {1};
    // The index must stay the device id, or choosing "Third" would open device 1.
    EXPECT_EQ(ListDeviceNames(d, WaveDirection::Input), (std::vector<std::string>{"First", "", "Third"}));

    // A driver may use all 32 bytes of the name field; the name must not run past it.
    d.capsFailing.clear();
    d.fullNames = true;
    const std::string longName = "A device name of exactly 32 chrs";
    ASSERT_EQ(longName.size(), 32u);
    d.inputs = {longName};
    EXPECT_EQ(ListDeviceNames(d, WaveDirection::Input), std::vector<std::string>{longName});
}

class DeviceSelection : public ::testing::Test {
protected:
    void SetUp() override {
        TSoundPort::ResetLivePositionEstimate();
        SettingsBlock& s = settings.Settings();
        s.format = SampleFormat::Make(8000, 1, 2);
        s.FFTsize = 1024;
        RecomputeDerivedFields(s);
        settings.Mode.OpMode = kModeRealTime;
        settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
        engine = std::make_unique<TEngine>(host, driver, settings, &queue);
        loop = std::make_unique<TEngineLoop>(*engine, queue);
    }
    void TearDown() override {
        if (engine && engine->Running()) engine->Stop();
        loop.reset();
        engine.reset();  // before the driver goes
    }
    // Runs the card and the loop until a frame was analysed or `frames` sample periods passed.
    bool AnalyseOneFrame(uint32_t frames = 8000) {
        for (uint32_t done = 0; done < frames && engine->Running(); done += 500) {
            driver.card.Advance(500);
            loop->Pump(0);
            if (engine->FrameCount() > 0) return true;
        }
        return engine->FrameCount() > 0;
    }
    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> t;
        for (const auto& m : host.messages) t.push_back(m.text);
        return t;
    }

    MultiDeviceDriver driver{{"Mic Array", "USB Interface 2x2", "Loopback"}, {"HDMI Out", "Loopback"}};
    ScriptedHost host;
    ProcessingSettings settings;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
    std::unique_ptr<TEngineLoop> loop;
};

TEST_F(DeviceSelection, SelectingMovesBothPortsAndTheRunOpensTheChosenDevice) {
    EXPECT_EQ(engine->InputPort().DeviceName(), "Mic Array");
    EXPECT_EQ(engine->OutputPort().DeviceName(), "HDMI Out");

    ASSERT_TRUE(engine->SelectDevices(2, 1));
    EXPECT_EQ(settings.Device.InputDeviceID, 2u);
    EXPECT_EQ(settings.Device.OutputDeviceID, 1u);
    EXPECT_EQ(engine->InputPort().DeviceId(), 2);
    EXPECT_EQ(engine->InputPort().DeviceName(), "Loopback");
    EXPECT_EQ(engine->OutputPort().DeviceId(), 1);
    EXPECT_EQ(engine->OutputPort().DeviceName(), "Loopback");

    ASSERT_TRUE(engine->Run());
    EXPECT_TRUE(AnalyseOneFrame());
    ASSERT_FALSE(driver.openedInputs.empty());
    EXPECT_EQ(driver.openedInputs.back(), 2u);
    engine->Stop();

    // And back again: the ports follow every choice, not only the first.
    ASSERT_TRUE(engine->SelectDevices(1, 0));
    EXPECT_EQ(engine->InputPort().DeviceName(), "USB Interface 2x2");
    EXPECT_EQ(engine->OutputPort().DeviceName(), "HDMI Out");
    ASSERT_TRUE(engine->Run());
    EXPECT_TRUE(AnalyseOneFrame());
    EXPECT_EQ(driver.openedInputs.back(), 1u);
    EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
}

TEST_F(DeviceSelection, RefusedWhileRunningAndForIdsThatAreNoDevice) {
    ASSERT_TRUE(engine->SelectDevices(1, 1));
    const TSoundInput* inputBefore = &engine->InputPort();
    const TSoundOutput* outputBefore = &engine->OutputPort();
    auto unchanged = [&] {
        return settings.Device.InputDeviceID == 1 && settings.Device.OutputDeviceID == 1 &&
               &engine->InputPort() == inputBefore && &engine->OutputPort() == outputBefore &&
               engine->InputPort().DeviceName() == "USB Interface 2x2";
    };

    EXPECT_FALSE(engine->SelectDevices(3, 0));  // one past the last input
    EXPECT_FALSE(engine->SelectDevices(0, 2));  // one past the last output
    EXPECT_FALSE(engine->SelectDevices(kNoDevice, 0));
    EXPECT_FALSE(engine->SelectDevices(0, kNoDevice));
    EXPECT_TRUE(unchanged());

    ASSERT_TRUE(engine->Run());
    ASSERT_TRUE(AnalyseOneFrame());
    EXPECT_FALSE(engine->SelectDevices(0, 0));
    EXPECT_TRUE(unchanged());
    // The run goes on undisturbed on its device.
    const uint32_t frames = engine->FrameCount();
    for (int i = 0; i < 8; ++i) {
        driver.card.Advance(500);
        loop->Pump(0);
    }
    EXPECT_TRUE(engine->Running());
    EXPECT_GT(engine->FrameCount(), frames);
    engine->Stop();
    loop->DeliverPending();
    EXPECT_TRUE(engine->SelectDevices(0, 0));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(DeviceSelection, VanishedDeviceEndsInThePortsMessageNotACrash) {
    ASSERT_TRUE(engine->SelectDevices(2, 1));

    // Still listed but gone: the open fails with the port's busy-device message (empty caption).
    driver.unplugged = true;
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(engine->RunState(), kStopped);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, LoadString(kStrSoundBoardBusy));
    EXPECT_EQ(host.messages[0].caption, "");
    driver.unplugged = false;

    // Fewer devices than before: the id beyond the list is not offered any more, and the run
    // says the device is gone instead of blaming the format or opening some other device.
    driver.inputs = {"Mic Array", "USB Interface 2x2"};
    const size_t opensBefore = driver.openedInputs.size();
    EXPECT_FALSE(engine->SelectDevices(2, 1));
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(engine->RunState(), kStopped);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, LoadString(kStrSoundDeviceFailure));
    EXPECT_EQ(driver.openedInputs.size(), opensBefore);

    // Every input device gone, with the port's device still chosen: the same refusal, and
    // nothing left to choose.
    driver.inputs.clear();
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(engine->RunState(), kStopped);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2].text, LoadString(kStrSoundDeviceFailure));
    EXPECT_FALSE(engine->SelectDevices(0, 0));

    // A device comes back: choosing it makes the analyser usable again.
    driver.inputs = {"Mic Array"};
    ASSERT_TRUE(engine->SelectDevices(0, 0));
    ASSERT_TRUE(engine->Run());
    EXPECT_EQ(driver.openedInputs.back(), 0u);
    EXPECT_TRUE(AnalyseOneFrame());
    engine->Stop();
    EXPECT_EQ(host.messages.size(), 3u);
}

// Pulled out mid-run: the analyser stops and says why instead of waiting for ever, and a
// device that answers again can be run at once.
TEST_F(DeviceSelection, DevicePulledOutMidRunStopsTheAnalyserWithItsMessage) {
    ASSERT_TRUE(engine->Run());
    ASSERT_TRUE(AnalyseOneFrame());
    driver.pulledOut = true;
    for (int i = 0; i < 20 && engine->Running(); ++i) {
        driver.card.Advance(500);
        loop->Pump(0);
    }
    EXPECT_FALSE(engine->Running());
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{LoadString(kStrSoundDeviceFailure)});

    driver.pulledOut = false;
    ASSERT_TRUE(engine->Run());
    EXPECT_TRUE(AnalyseOneFrame());
    engine->Stop();
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(DeviceSelection, DevicesGoneAfterStartUpGiveTheNoDriverMessage) {
    // The format was accepted while the card was there; the open then finds no device at all.
    ASSERT_TRUE(engine->SelectDevices(1, 0));
    ASSERT_TRUE(engine->InputPort().SetFormat(settings.Settings().format));
    driver.inputs.clear();
    EXPECT_FALSE(engine->InputPort().Open(nullptr, false));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{LoadString(kStrNoSoundDriver)});
    EXPECT_EQ(engine->InputPort().DeviceId(), -1);
    // The engine refuses to run on the port that lost its device, with its own words.
    EXPECT_FALSE(engine->Run());
    EXPECT_EQ(host.messages.back().text, "No Sound Cards were detected on your system.");
    EXPECT_EQ(engine->RunState(), kStopped);
}

TEST_F(DeviceSelection, UnreadableDeviceIsReportedByItsPort) {
    driver.capsFailing = {1};
    EXPECT_TRUE(engine->SelectDevices(1, 0));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{LoadString(kStrSoundDeviceFailure)});
    EXPECT_EQ(engine->InputPort().DeviceId(), 1);
    EXPECT_EQ(engine->InputPort().DeviceName(), "");
}

}  // namespace
}  // namespace zeltrak
