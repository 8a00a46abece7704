// The device list as the user sees it: each device with its channels and rates. The rate
// field's range message asks the same preset rates, so it names the same 4000 and 200000 Hz.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "views/qt/device_dialog.h"
#include "views/qt/qt_host.h"

namespace zeltrak {
namespace {

TEST(DeviceListDialog, EachDeviceShowsItsChannelsAndRates) {
    QtHost host;
    host.SetQuiet(true);
    LoopbackDriver card;
    ProcessingSettings settings;
    settings.Load(TIniStore(), DeviceCounts{1, 1});
    BufferDoneQueue queue;
    TEngine engine(host, card, settings, &queue);
    TDeviceDialog devices(host, card, settings, engine);
    const std::string row = "Loopback \u2014 2 ch, 4000\u2013200000 Hz";
    EXPECT_EQ(devices.InputNames().join('|').toStdString(), row);
    EXPECT_EQ(devices.OutputNames().join('|').toStdString(), row);
}

}  // namespace
}  // namespace zeltrak
