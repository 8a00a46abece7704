// The Device dialog, offscreen: the devices by name with the ones in use selected, OK moving
// the engine, and refusals that keep the dialog open and the settings as they were.
#include <gtest/gtest.h>

#include <QListWidget>

#include "base/strings.h"
#include "engine/engine.h"
#include "engine/multi_device_driver.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "platform/scripted_host.h"
#include "views/qt/device_dialog.h"

namespace zeltrak {
namespace {

using test::MultiDeviceDriver;

const std::string kTitle = "VornalPRO - FFT Spectral Analysis System";

class DeviceDialog : public ::testing::Test {
protected:
    void SetUp() override {
        settings.Settings().format = SampleFormat::Make(8000, 1, 2);
        settings.Settings().FFTsize = 1024;
        RecomputeDerivedFields(settings.Settings());
        settings.Mode.OpMode = kModeRealTime;
        settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
        settings.Device.InputDeviceID = 2;
        settings.Device.OutputDeviceID = 1;
        engine = std::make_unique<TEngine>(host, driver, settings, &queue);
    }
    void TearDown() override {
        if (engine->Running()) engine->Stop();
        engine.reset();
    }
    // The device ids and the ports' names, as a single value to compare before and after.
    std::string State() const {
        return std::to_string(settings.Device.InputDeviceID) + "/" + std::to_string(settings.Device.OutputDeviceID) +
               " " + engine->InputPort().DeviceName() + "/" + engine->OutputPort().DeviceName();
    }

    MultiDeviceDriver driver{{"Mic Array", "USB Interface 2x2", "Loopback"}, {"HDMI Out", "Loopback"}};
    ScriptedHost host;
    ProcessingSettings settings;
    BufferDoneQueue queue;
    std::unique_ptr<TEngine> engine;
};

TEST_F(DeviceDialog, ListsTheDevicesByNameWithTheCurrentOnesSelected) {
    TDeviceDialog d(host, driver, settings, *engine);
    d.show();
    EXPECT_EQ(d.InputNames(), (QStringList{"Mic Array", "USB Interface 2x2", "Loopback"}));
    EXPECT_EQ(d.OutputNames(), (QStringList{"HDMI Out", "Loopback"}));
    EXPECT_EQ(d.SelectedInput(), 2);
    EXPECT_EQ(d.SelectedOutput(), 1);
    // The lists are real widgets a user can reach.
    ASSERT_NE(d.findChild<QListWidget*>("inputDevices"), nullptr);
    EXPECT_EQ(d.findChild<QListWidget*>("outputDevices")->currentItem()->text(), "Loopback");

    // The Loopback card alone is a device like any other.
    LoopbackDriver loopback(MultiDeviceDriver::Manual());
    settings.Device = {};
    TEngine onLoopback(host, loopback, settings, &queue);
    TDeviceDialog l(host, loopback, settings, onLoopback);
    EXPECT_EQ(l.InputNames(), QStringList{"Loopback"});
    EXPECT_EQ(l.OutputNames(), QStringList{"Loopback"});
    EXPECT_EQ(l.SelectedInput(), 0);
    EXPECT_EQ(l.SelectedOutput(), 0);
}

TEST_F(DeviceDialog, OkMovesTheEngineToTheChosenDevices) {
    TDeviceDialog d(host, driver, settings, *engine);
    d.show();
    d.SelectInput(1);
    d.SelectOutput(0);
    d.Accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(State(), "1/0 USB Interface 2x2/HDMI Out");
    EXPECT_TRUE(host.messages.empty());

    // A fresh dialog shows the new choice.
    TDeviceDialog again(host, driver, settings, *engine);
    EXPECT_EQ(again.SelectedInput(), 1);
    EXPECT_EQ(again.SelectedOutput(), 0);
}

TEST_F(DeviceDialog, RefusalsShowTheirMessageAndKeepTheDialogOpen) {
    const std::string before = State();
    TDeviceDialog d(host, driver, settings, *engine);
    d.show();

    // A running analyser keeps its devices.
    ASSERT_TRUE(engine->Run());
    d.SelectInput(0);
    d.Accept();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kDeviceDialogStopFirst);
    EXPECT_EQ(host.messages[0].caption, kTitle);
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(State(), before);
    engine->Stop();

    // The chosen device went away while the dialog was open: the lists are read again.
    driver.inputs.pop_back();
    d.SelectInput(2);
    d.Accept();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, LoadString(kStrSoundDeviceFailure));
    EXPECT_EQ(host.messages[1].caption, kTitle);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(State(), before);
    EXPECT_EQ(d.InputNames(), (QStringList{"Mic Array", "USB Interface 2x2"}));
    // The stored device is no longer there; the list shows where the port would go.
    EXPECT_EQ(d.SelectedInput(), 1);

    // A direction with no device at all offers nothing to choose.
    driver.outputs.clear();
    TDeviceDialog empty(host, driver, settings, *engine);
    empty.show();
    EXPECT_TRUE(empty.OutputNames().isEmpty());
    empty.Accept();
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2].text, LoadString(kStrNoSoundDriver));
    EXPECT_TRUE(empty.isVisible());
    EXPECT_EQ(State(), before);

    // With a device back, a valid choice goes through.
    driver.outputs = {"HDMI Out"};
    d.SelectInput(0);
    d.SelectOutput(0);
    d.Accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(State(), "0/0 Mic Array/HDMI Out");
}

TEST_F(DeviceDialog, UnnamedDeviceStillHasItsRow) {
    driver.capsFailing = {0};
    TDeviceDialog d(host, driver, settings, *engine);
    ASSERT_EQ(d.InputNames().size(), 3);
    EXPECT_FALSE(d.InputNames()[0].isEmpty());
    EXPECT_EQ(d.InputNames()[1], "USB Interface 2x2");
    d.SelectInput(1);
    d.SelectOutput(1);
    d.Accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(settings.Device.InputDeviceID, 1u);
}

}  // namespace
}  // namespace zeltrak
