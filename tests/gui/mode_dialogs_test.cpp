// The shell's mode commands and settings dialogs, offscreen: the Real-Time buffer question
// with its two answers, the toolbar per mode, and dialogs that refuse bad entries.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/gui_test_support.h"
#include "gui/shell_fixture.h"
#include "base/strings.h"
#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/format_query.h"
#include "files/ini_store.h"
#include "files/wave_file.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/temp_dir.h"
#include "views/qt/desktop.h"
#include "views/qt/main_window.h"
#include "views/qt/qt_host.h"
#include "views/qt/settings_dialogs.h"
#include "views/qt/spectrum_view.h"

namespace zeltrak {
namespace {

using gui_testing::SpinUntil;

TEST(ShellModes, MenusAndToolbarFollowTheMode) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    EXPECT_TRUE(s.window->ModeAction(kModeRealTime)->isChecked());
    EXPECT_EQ(s.window->ModeToolBarLabel(), "Real Time");
    s.window->SelectMode(kModeRecorder);  // nothing recorded yet: no buffer, no question
    EXPECT_EQ(s.settings.Mode.OpMode, kModeRecorder);
    EXPECT_EQ(s.window->ModeToolBarLabel(), "Recorder");
    EXPECT_TRUE(s.window->ModeAction(kModeRecorder)->isChecked());
    EXPECT_FALSE(s.window->ModeAction(kModeRealTime)->isChecked());
    std::vector<std::string> buttons;
    for (QAction* a : s.window->ModeToolBar()->actions()) buttons.push_back(a->text().toStdString());
    for (const char* name : {"Run", "Stop", "Record", "Play"})
        EXPECT_NE(std::find(buttons.begin(), buttons.end(), name), buttons.end()) << name;
    for (const char* name : {"Single Step", "Rewind"})
        EXPECT_EQ(std::find(buttons.begin(), buttons.end(), name), buttons.end()) << name;
    s.window->ModeAction(kModePostProcessing)->trigger();
    EXPECT_EQ(s.settings.Mode.OpMode, kModePostProcessing);
    EXPECT_EQ(s.window->ModeToolBarLabel(), "Post Process");
    EXPECT_EQ(s.Questions(), 0);
}

TEST(ShellModes, ToolbarFftSizeRestartsTheRunWithTheNewSize) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.RunSomeFrames();
    auto* list = s.window->ModeToolBar()->findChild<QComboBox*>("fftSize");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentData().toUInt(), 1024u);
    EXPECT_EQ(list->itemData(list->count() - 1).toUInt(), 1048576u);
    ASSERT_TRUE(s.window->SelectFftSize(2048));
    EXPECT_EQ(s.settings.Settings().FFTsize, 2048u);
    EXPECT_EQ(list->currentData().toUInt(), 2048u);
    EXPECT_TRUE(s.engine->Running());
    ASSERT_TRUE(SpinUntil([&] { return s.engine->FrameCount() >= 2; }, 15000));
    EXPECT_EQ(s.engine->Spectrum(0)->Bins(), 1024u);  // N/2 bins of the new size
    s.window->StopAnalyser();
}

TEST(ShellModes, SameModeLeavesARunningAnalyserAlone) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.RunSomeFrames();
    s.window->SelectMode(kModeRealTime);
    EXPECT_TRUE(s.engine->Running());
    EXPECT_EQ(s.Questions(), 0);
    s.window->StopAnalyser();
}

TEST(ShellModes, YesKeepsTheRealTimeBufferAsAnUntitledFile) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.host.SetScriptedAnswer(true, Answer::Yes);
    s.RunSomeFrames();
    s.window->SelectMode(kModePostProcessing);
    EXPECT_FALSE(s.engine->Running());
    EXPECT_EQ(s.Questions(), 1);
    ASSERT_NE(s.engine->WaveFile(), nullptr);
    EXPECT_TRUE(s.engine->WaveFile()->Untitled());
    EXPECT_GT(s.engine->WaveFile()->Length(), 0u);
    EXPECT_EQ(s.Title(), kTitle + " [Untitled]");
    EXPECT_EQ(s.settings.Mode.OpMode, kModePostProcessing);
    EXPECT_TRUE(s.window->ModeAction(kModePostProcessing)->isChecked());

    // The kept buffer is the Post-Processing file: the transport moves through it.
    TWaveFile* file = s.engine->WaveFile();
    std::vector<std::string> buttons;
    for (QAction* a : s.window->ModeToolBar()->actions()) buttons.push_back(a->text().toStdString());
    for (const char* name : {"Rewind", "Fast Forward", "Go To", "Single Step"})
        EXPECT_NE(std::find(buttons.begin(), buttons.end(), name), buttons.end()) << name;
    EXPECT_TRUE(s.window->FastForward());
    EXPECT_EQ(file->Position(), file->Length());
    EXPECT_TRUE(s.window->Rewind());
    EXPECT_EQ(file->Position(), 0u);
    const uint32_t rate = s.settings.Settings().format.rate;
    ASSERT_GT(file->Length(), rate / 100);
    EXPECT_TRUE(s.window->GoTo(0.01));
    EXPECT_EQ(file->Position(), rate / 100);
    EXPECT_FALSE(s.window->GoTo(-1.0));
    EXPECT_FALSE(s.window->GoTo(1e9));
    EXPECT_FALSE(s.window->GoTo(std::nan("")));
    EXPECT_EQ(file->Position(), rate / 100);

    // Back to Real-Time and out again without a run: the kept file is no Real-Time buffer,
    // so there is no question and a No could not discard it.
    s.host.SetScriptedAnswer(true, Answer::No);
    const TWaveFile* kept = s.engine->WaveFile();
    s.window->SelectMode(kModeRealTime);
    s.window->SelectMode(kModePostProcessing);
    EXPECT_EQ(s.Questions(), 1);
    EXPECT_EQ(s.engine->WaveFile(), kept);
}

TEST(ShellModes, NoDiscardsTheRealTimeBuffer) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.host.SetScriptedAnswer(true, Answer::No);
    s.RunSomeFrames();
    const std::string before = s.Title();
    s.window->SelectMode(kModeRecorder);
    EXPECT_FALSE(s.engine->Running());
    EXPECT_EQ(s.Questions(), 1);
    EXPECT_EQ(s.engine->WaveFile(), nullptr);
    EXPECT_EQ(s.Title(), before);
    EXPECT_EQ(s.window->ModeToolBarLabel(), "Recorder");
}

// ---------------------------------------------------------------------------------------------

// A device that opens every rate between 8 kHz and 48 kHz.
class AnyFormat : public TFormatQuery {
public:
    bool QueryFormat(uint32_t rate, uint16_t, uint16_t) override { return rate >= MinRate() && rate <= MaxRate(); }
    bool StandardRatesOnly() const override { return false; }
    uint32_t MaxRate() const override { return 48000; }
    uint32_t MinRate() const override { return 8000; }
};

template <typename T>
T* Field(QWidget& dialog, const char* name) {
    T* w = dialog.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Types `text` into `name`, presses OK and expects the refusal `message` with the dialog open.
void ExpectRefused(QtHost& host, QDialog& d, const char* name, const char* text, const std::string& message) {
    const std::size_t shown = host.Messages().size();
    QLineEdit* e = Field<QLineEdit>(d, name);
    ASSERT_NE(e, nullptr);
    const QString old = e->text();
    e->setText(text);
    d.accept();
    EXPECT_TRUE(d.isVisible()) << name << "=" << text;
    ASSERT_EQ(host.Messages().size(), shown + 1) << name << "=" << text;
    EXPECT_EQ(host.Messages().back(), message) << name << "=" << text;
    e->setText(old);
}

template <typename Block>
bool SameBytes(const Block& a, const Block& b) {
    return std::memcmp(&a, &b, sizeof(Block)) == 0;
}

TEST(SettingsDialogs, ProcessingRefusesBadEntriesAndKeepsTheSettings) {
    QtHost host;
    host.SetQuiet(true);
    AnyFormat device;
    ProcessingSettings settings;
    settings.Load(TIniStore(), DeviceCounts{1, 1});
    settings.Mode.OpMode = kModePostProcessing;  // overlap is an entry only there
    const SettingsBlock before = settings.Settings();
    TProcessingDialog d(host, settings, device);
    d.show();
    ExpectRefused(host, d, "overlapPercent", "100", "Overlap Percentage must be between 0 and 99%");
    ExpectRefused(host, d, "overlapPercent", "100000000000000000000", "Overlap Percentage must be between 0 and 99%");
    ExpectRefused(host, d, "samplingRate", "96000", 
                  "The Sound Board does not support the selected Sampling Rate.  Rate must be between 8000 Hz and "
                  "48000 Hz.");
    ExpectRefused(host, d, "delayTimeMsec", "1000.5", "Delay must be between 0 and 1,000 milliseconds");
    ExpectRefused(host, d, "delayTimeMsec", "1e20", "Delay must be between 0 and 1,000 milliseconds");
    ExpectRefused(host, d, "decimationRatio", "0", "Decimation Ratio must be between 1 and 30");
    ExpectRefused(host, d, "decimationRatio", "two", "Decimation Ratio must be between 1 and 30");
    ExpectRefused(host, d, "averageBlocks", "10^20", "Averaging size must be \"Infinite\" or between 1 and 1,000,000");
    EXPECT_TRUE(SameBytes(settings.Settings(), before));

    // A good entry closes the dialog and lands in the settings.
    Field<QLineEdit>(d, "overlapPercent")->setText("75");
    QComboBox* fft = Field<QComboBox>(d, "fftSize");
    fft->setCurrentIndex(fft->findData(8192));
    d.accept();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(settings.Settings().OverlapPercent, 75u);
    EXPECT_EQ(settings.Settings().FFTsize, 8192u);
}

TEST(SettingsDialogs, TriggerRefusesBadEntriesAndKeepsTheSettings) {
    QtHost host;
    host.SetQuiet(true);
    TriggerBlock trigger;
    trigger.Threshold = 40;
    const TriggerBlock before = trigger;
    TTriggerDialog d(host, trigger);
    d.show();
    EXPECT_EQ(Field<QLineEdit>(d, "threshold")->text(), "40");
    ExpectRefused(host, d, "threshold", "101", "Threshold must be between 0 and 100 percent.");
    ExpectRefused(host, d, "threshold", "100000000000000000000", "Threshold must be between 0 and 100 percent.");
    Field<QCheckBox>(d, "enable")->setChecked(true);
    ExpectRefused(host, d, "delayMsec", "-1", "Trigger delay must be between 0 and 1000");
    EXPECT_TRUE(SameBytes(trigger, before));
    Field<QLineEdit>(d, "threshold")->setText("60");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(trigger.Threshold, 60u);
    EXPECT_EQ(trigger.Enable, 1u);
}

TEST(SettingsDialogs, FileOptionsRefuseBadEntriesAndKeepTheSettings) {
    QtHost host;
    host.SetQuiet(true);
    FileIOBlock io;
    const FileIOBlock before = io;
    TFileOptionsDialog d(host, io);
    d.show();
    ExpectRefused(host, d, "realTimeBufferSecs", "3", "Real Time Data buffer length must be at least 4 seconds.");
    ExpectRefused(host, d, "maxRamRecordingSecs", "3", "Maximum RAM recording time must be at least 4 seconds.");
    ExpectRefused(host, d, "maxRamRecordingSecs", "3601", "Maximum RAM recording time must be less than 3600 seconds.");
    ExpectRefused(host, d, "maxDiskRecordingMB", "0", "Maximum Hard Disk recording size must be at least 1 MB");
    ExpectRefused(host, d, "maxDiskRecordingMB", "2001",
                  "Maximum Hard Disk recording size cannot be greater than 2,000 MB (2GB)");
    EXPECT_TRUE(SameBytes(io, before));
    Field<QLineEdit>(d, "maxRamRecordingSecs")->setText("600");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(io.MaxRamRecordingTimeSecs, 600);
}

TEST(SettingsDialogs, ScalingStoresTheChosenAxisAndKeepsOtherFields) {
    QtHost host;
    host.SetQuiet(true);
    ScalingBlock scaling;
    scaling.OctaveNumber = 12;
    bool squared = false;
    TScalingDialog d(host, scaling, squared);
    d.show();
    QComboBox* axis = Field<QComboBox>(d, "frequencyAxis");
    EXPECT_EQ(axis->currentText(), "Logarithmic");
    axis->setCurrentIndex(0);
    Field<QComboBox>(d, "standardWeighting")->setCurrentIndex(1);
    Field<QCheckBox>(d, "coherenceSquared")->setChecked(true);
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(scaling.FreqScaleType, kFreqLinear);
    EXPECT_EQ(scaling.OctaveNumber, 12);  // Linear leaves the octave as it was
    EXPECT_EQ(scaling.StandardWeighting, 1);
    EXPECT_TRUE(squared);
    EXPECT_TRUE(host.Messages().empty());
}

TEST(SettingsDialogs, AcceptedScalingRedrawsTheSpectrumAxis) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    ASSERT_NE(s.settings.Scaling().FreqScaleType, kFreqLinear);
    bool sawDialog = false;
    std::function<void()> choose = [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<TScalingDialog*>(w); d && d->isVisible()) {
                sawDialog = true;
                d->findChild<QComboBox*>("frequencyAxis")->setCurrentIndex(0);
                d->accept();
                return;
            }
        QTimer::singleShot(10, choose);
    };
    QTimer::singleShot(0, choose);
    s.window->ShowScalingDialog();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(s.settings.Scaling().FreqScaleType, kFreqLinear);
    EXPECT_EQ(s.window->SpectrumView()->FrequencyScale(), kFreqLinear);
}

TEST(SettingsDialogs, RunningAnalyserIsStoppedWhileADialogIsOpen) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    s.RunSomeFrames();
    bool runningDuring = true;
    bool sawDialog = false;
    // Closes the modal dialog from inside its own loop; retried until it is there.
    std::function<void()> close = [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) {
                sawDialog = true;
                runningDuring = s.engine->Running();
                d->reject();
                return;
            }
        }
        QTimer::singleShot(10, close);
    };
    QTimer::singleShot(0, close);
    s.window->ShowTriggerDialog();
    EXPECT_TRUE(sawDialog);
    EXPECT_FALSE(runningDuring);
    EXPECT_TRUE(s.engine->Running());
    s.window->StopAnalyser();
}

// What the user changed in the window is what the next start reads from the settings file.
TEST(ShellSettingsFile, ClosingTheWindowStoresTheSettingsTheNextStartReads) {
    zeltrak::testing::TempDir dir;
    const std::string path = dir.File("config/zeltrak/zeltrak.ini");  // folders not made yet
    TIniStore ini;
    ini.Load(path);
    ini.SetString("SpectrumOpts", "StartFreq", "20");  // someone else's key survives
    Shell s(dir.path());
    s.window->SetOnClose(
        [&](const std::string& name) { StoreDesktopSettings(s.host, s.settings, name, ini, path); });
    s.window->SelectMode(kModePostProcessing);
    ASSERT_TRUE(s.window->SelectFftSize(8192));
    s.settings.Trigger.Threshold = 42;
    s.window->close();
    EXPECT_TRUE(s.host.Messages().empty()) << s.host.Messages().front();

    TIniStore reread;
    ASSERT_TRUE(reread.Load(path));
    ProcessingSettings loaded;
    loaded.Load(reread, DeviceCounts{s.driver.DeviceCount(WaveDirection::Input),
                                     s.driver.DeviceCount(WaveDirection::Output)});
    EXPECT_EQ(loaded.Mode.OpMode, kModePostProcessing);
    EXPECT_EQ(loaded.Settings().FFTsize, 8192u);
    EXPECT_EQ(loaded.Trigger.Threshold, 42u);
    EXPECT_EQ(std::memcmp(&loaded.Settings(), &s.settings.Settings(), sizeof(SettingsBlock)), 0);
    EXPECT_EQ(reread.GetString("SpectrumOpts", "StartFreq", "", 32), "20");
}

TEST(ShellSettingsFile, AnUnwritableSettingsFileIsReportedAndTheWindowStillCloses) {
    zeltrak::testing::TempDir dir;
    const std::string blocker = dir.File("file");
    FILE* f = std::fopen(blocker.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    TIniStore ini;
    Shell s(dir.path());
    const std::string path = blocker + "/zeltrak.ini";  // a folder that is a file
    s.window->SetOnClose(
        [&](const std::string& name) { StoreDesktopSettings(s.host, s.settings, name, ini, path); });
    s.window->close();
    EXPECT_FALSE(s.window->isVisible());
    ASSERT_EQ(s.host.Messages().size(), 1u);
    EXPECT_EQ(s.host.Messages()[0], "The settings could not be saved to " + path + ".");
}

TEST(ShellSettingsFile, AReadOnlySettingsFileIsKept) {
    zeltrak::testing::TempDir dir;
    const std::string path = dir.File("zeltrak.ini");
    zeltrak::testing::WriteFile(path, "[Settings]\nFFTsize=2048\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    TIniStore ini;
    Shell s(dir.path());
    s.window->SetOnClose(
        [&](const std::string& name) { StoreDesktopSettings(s.host, s.settings, name, ini, path); });
    s.window->close();
    EXPECT_FALSE(s.window->isVisible());
    ASSERT_EQ(s.host.Messages().size(), 1u);
    EXPECT_EQ(s.host.Messages()[0], "The settings file " + path + " is read-only; the settings were not saved.");
    EXPECT_EQ(zeltrak::testing::ReadFile(path), "[Settings]\nFFTsize=2048\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

}  // namespace
}  // namespace zeltrak
