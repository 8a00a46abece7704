// The shell's modes and settings offscreen: the Real-Time buffer question with its answers,
// dialogs that refuse bad entries and store good ones, and the settings file written at exit.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <cstring>

#include "base/strings.h"
#include "engine/format_query.h"
#include "engine/multi_device_driver.h"
#include "files/wave_file.h"
#include "gui/shell.h"
#include "platform/scripted_host.h"
#include "support/temp_dir.h"
#include "views/qt/desktop.h"
#include "views/qt/device_dialog.h"
#include "views/qt/settings_dialogs.h"

namespace zeltrak {
namespace {

TEST(ShellModes, YesKeepsTheRealTimeBufferAsAFileAndNoDiscardsIt) {
    zeltrak::testing::TempDir dir;
    for (Answer answer : {Answer::Yes, Answer::No}) {
        SCOPED_TRACE(answer == Answer::Yes ? "Yes" : "No");
        Shell s(dir.path());
        s.host.SetScriptedAnswer(true, answer);
        s.RunSomeFrames();
        for (uint32_t same : {uint32_t(kModeRealTime), 4u}) s.window->SelectMode(same);  // the same or no mode: no change
        EXPECT_TRUE(s.engine->Running());
        const uint32_t mode = answer == Answer::Yes ? kModePostProcessing : kModeRecorder;
        s.window->SelectMode(mode);
        EXPECT_FALSE(s.engine->Running());
        EXPECT_EQ(s.Questions(), 1);
        EXPECT_EQ(s.settings.Mode.OpMode, mode);
        TWaveFile* file = s.engine->WaveFile();
        EXPECT_EQ(file != nullptr, answer == Answer::Yes);
        EXPECT_EQ(s.Title(), answer == Answer::Yes ? kTitle + " [Untitled]" : kTitle);
        if (file == nullptr) continue;
        // The kept buffer is the file the transport moves through; places outside it are refused.
        EXPECT_TRUE(s.window->FastForward());
        EXPECT_EQ(file->Position(), file->Length());
        const uint32_t rate = s.settings.Settings().format.rate;
        ASSERT_GT(file->Length(), rate / 100);
        EXPECT_TRUE(s.window->GoTo(0.01));
        for (double bad : {-1.0, 1e9, std::nan("")}) EXPECT_FALSE(s.window->GoTo(bad)) << bad;
        EXPECT_EQ(file->Position(), rate / 100);
        // Back and out again without a run: a kept file is no Real-Time buffer, so no question.
        s.host.SetScriptedAnswer(true, Answer::No);
        s.window->SelectMode(kModeRealTime);
        s.window->SelectMode(kModePostProcessing);
        EXPECT_EQ(s.Questions(), 1);
        EXPECT_EQ(s.engine->WaveFile(), file);
    }
}

class AnyFormat : public TFormatQuery {
public:
    bool QueryFormat(uint32_t rate, uint16_t, uint16_t) override { return rate >= MinRate() && rate <= MaxRate(); }
    bool StandardRatesOnly() const override { return false; }
    uint32_t MaxRate() const override { return 48000; }
    uint32_t MinRate() const override { return 8000; }
};

TEST(SettingsDialogs, RefuseABadEntryWithTheDialogOpenAndStoreAGoodOne) {
    QtHost host;
    host.SetQuiet(true);
    AnyFormat device;
    ProcessingSettings settings;
    settings.Load(TIniStore(), DeviceCounts{1, 1});
    settings.Mode.OpMode = kModePostProcessing;  // overlap is an entry only there
    bool squared = false;
    struct Case {
        std::unique_ptr<QDialog> dialog;
        const char *field, *bad, *message, *good;
        std::function<bool()> stored;  // the good entry landed
    } cases[] = {
        {std::make_unique<TProcessingDialog>(host, settings, device), "overlapPercent", "100",
         "Overlap Percentage must be between 0 and 99%", "75", [&] { return settings.Settings().OverlapPercent == 75; }},
        {std::make_unique<TTriggerDialog>(host, settings.Trigger), "threshold", "101",
         "Threshold must be between 0 and 100 percent.", "60", [&] { return settings.Trigger.Threshold == 60; }},
        {std::make_unique<TFileOptionsDialog>(host, settings.FileIO), "maxRamRecordingSecs", "3601",
         "Maximum RAM recording time must be less than 3600 seconds.", "600",
         [&] { return settings.FileIO.MaxRamRecordingTimeSecs == 600; }},
        {std::make_unique<TScalingDialog>(host, settings.Scaling(), squared), nullptr, nullptr, nullptr, nullptr,
         [&] { return settings.Scaling().FreqScaleType == kFreqLinear && squared; }},
    };
    for (Case& c : cases) {
        QDialog& d = *c.dialog;
        SCOPED_TRACE(d.windowTitle().toStdString());
        d.show();
        if (c.field) {
            const ProcessingSettings before = settings;
            QLineEdit* e = d.findChild<QLineEdit*>(c.field);
            ASSERT_NE(e, nullptr);
            e->setText(c.bad);
            d.accept();
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(host.Messages().back(), c.message);
            EXPECT_TRUE(!std::memcmp(&settings.Settings(), &before.Settings(), sizeof(SettingsBlock)) &&
                        !std::memcmp(&settings.Trigger, &before.Trigger, sizeof(TriggerBlock)) &&
                        !std::memcmp(&settings.FileIO, &before.FileIO, sizeof(FileIOBlock)));
            e->setText(c.good);
        } else {
            d.findChild<QComboBox*>("frequencyAxis")->setCurrentIndex(0);
            d.findChild<QCheckBox*>("coherenceSquared")->setChecked(true);
        }
        const size_t shown = host.Messages().size();
        d.accept();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(host.Messages().size(), shown);
        EXPECT_TRUE(c.stored());
    }
}

TEST(DeviceDialog, RefusesWhatCannotBeUsedAndMovesTheEngineOnOk) {
    test::MultiDeviceDriver driver{{"Mic Array", "USB Interface 2x2", "Loopback"}, {"HDMI Out", "Loopback"}};
    driver.capsFailing = {0};  // a device without a name still has its row
    ScriptedHost host;
    ProcessingSettings settings;
    settings.Settings().format = SampleFormat::Make(8000, 1, 2);
    settings.Settings().FFTsize = 1024;
    RecomputeDerivedFields(settings.Settings());
    settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
    settings.Device.InputDeviceID = 2;
    settings.Device.OutputDeviceID = 1;
    BufferDoneQueue queue;
    TEngine engine(host, driver, settings, &queue);
    auto state = [&] {
        return std::to_string(settings.Device.InputDeviceID) + "/" + std::to_string(settings.Device.OutputDeviceID) +
               " " + engine.InputPort().DeviceName() + "/" + engine.OutputPort().DeviceName();
    };
    // Accepts and expects the refusal `message` with the dialog open and nothing moved.
    auto refused = [&](TDeviceDialog& d, const std::string& message) {
        const std::string before = state();
        d.Accept();
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages.back().text, message);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(state(), before);
    };
    TDeviceDialog d(host, driver, settings, engine);
    d.show();
    EXPECT_FALSE(d.InputNames()[0].isEmpty());
    EXPECT_EQ(d.SelectedInput(), 2);
    ASSERT_TRUE(engine.Run());  // a running analyser keeps its devices
    d.SelectInput(0);
    refused(d, kDeviceDialogStopFirst);
    engine.Stop();
    driver.inputs.pop_back();  // the chosen device went away while the dialog was open
    d.SelectInput(2);
    refused(d, LoadString(kStrSoundDeviceFailure));
    EXPECT_EQ(d.InputNames().size(), 2);
    driver.outputs.clear();  // a direction with no device at all offers nothing to choose
    TDeviceDialog empty(host, driver, settings, engine);
    empty.show();
    refused(empty, LoadString(kStrNoSoundDriver));
    driver.outputs = {"HDMI Out"};
    d.SelectInput(1);
    d.SelectOutput(0);
    d.Accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(state(), "1/0 USB Interface 2x2/HDMI Out");
}

// What the user changed in the window is what the next start reads from the settings file;
// a file that cannot be written is reported, left as it was, and the window still closes.
TEST(ShellSettingsFile, ClosingTheWindowStoresTheSettingsOrReportsWhyNot) {
    zeltrak::testing::TempDir dir;
    const std::string readOnly = dir.File("zeltrak.ini");
    zeltrak::testing::WriteFile(readOnly, "[Settings]\nFFTsize=2048\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const std::pair<std::string, std::string> cases[] = {
        {dir.File("config/zeltrak/zeltrak.ini"), ""},  // folders not made yet
        {readOnly + "/zeltrak.ini", "The settings could not be saved to " + readOnly + "/zeltrak.ini."},
        {readOnly, "The settings file " + readOnly + " is read-only; the settings were not saved."}};
    for (const auto& [path, message] : cases) {
        TIniStore ini;
        ini.Load(path);
        ini.SetString("SpectrumOpts", "StartFreq", "20");  // someone else's key survives
        Shell s(dir.path());
        s.window->SetOnClose([&](const std::string& name) { StoreDesktopSettings(s.host, s.settings, name, ini, path); });
        s.window->SelectMode(kModePostProcessing);
        ASSERT_TRUE(s.window->SelectFftSize(8192));
        s.window->close();
        EXPECT_FALSE(s.window->isVisible());
        EXPECT_EQ(s.LastMessage(), message);
        if (!message.empty()) continue;
        TIniStore reread;
        ASSERT_TRUE(reread.Load(path));
        ProcessingSettings loaded;
        loaded.Load(reread, DeviceCounts{1, 1});
        EXPECT_EQ(loaded.Mode.OpMode, kModePostProcessing);
        EXPECT_EQ(loaded.Settings().FFTsize, 8192u);
        EXPECT_EQ(std::memcmp(&loaded.Settings(), &s.settings.Settings(), sizeof(SettingsBlock)), 0);
        EXPECT_EQ(reread.GetString("SpectrumOpts", "StartFreq", "", 32), "20");
    }
    EXPECT_EQ(zeltrak::testing::ReadFile(readOnly), "[Settings]\nFFTsize=2048\n");
    struct stat st {};
    ASSERT_EQ(::stat(readOnly.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

}  // namespace
}  // namespace zeltrak
