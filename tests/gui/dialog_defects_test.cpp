// The settings dialogs as a user meets them: entries refused with a message while the dialog
// stays open, the same rules in every mode, and an opened file's format announced.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "engine/sound_port.h"
#include "files/ini_store.h"
#include "gui/shell.h"
#include "measure/compensation_curve.h"
#include "platform/loopback_driver.h"
#include "support/temp_dir.h"
#include "views/qt/qt_host.h"
#include "views/qt/settings_dialogs.h"

namespace zeltrak {
namespace {

// Types `entry` into `field` and presses OK; returns whether the dialog closed.
bool Enter(QDialog& d, const char* field, const std::string& entry) {
    d.show();
    d.findChild<QLineEdit*>(field)->setText(QString::fromStdString(entry));
    d.accept();
    return !d.isVisible();
}

// The overlap is checked alike in every mode, and a refusal puts 50 back into its field. The
// card takes 4,000 to 200,000 Hz although its capability bits stop at 44,100 Hz.
TEST(SettingsDialogEntries, OverlapAndRateAreRefusedWithTheirMessageInEveryModeOrStored) {
    QtHost host;
    host.SetQuiet(true);
    LoopbackDriver card;
    TSoundInput device(card, host, 0);
    const std::string range =
        "The Sound Board does not support the selected Sampling Rate.  Rate must be between 4000 Hz and 200000 Hz.";
    const std::string number = "Sampling Rate must be a whole number of Hz above 0";
    const std::string overlap = "Overlap Percentage must be between 0 and 99%";
    const struct {
        uint32_t mode;
        const char *field, *entry;
        std::string message;  // empty: accepted and stored
    } cases[] = {
        {kModeRealTime, "overlapPercent", "100", overlap},   {kModeRealTime, "overlapPercent", "abc", overlap},
        {kModeRealTime, "overlapPercent", "50", ""},         {kModeRecorder, "overlapPercent", "150", overlap},
        {kModeRecorder, "overlapPercent", "99", ""},         {kModePostProcessing, "overlapPercent", "-1", overlap},
        {kModeRealTime, "samplingRate", "abc", number},      {kModeRealTime, "samplingRate", "0", number},
        {kModeRealTime, "samplingRate", "3999", range},      {kModeRealTime, "samplingRate", "250000", range},
        {kModeRealTime, "samplingRate", "48000", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.field + " " + c.entry);
        ProcessingSettings settings;
        settings.Load(TIniStore(), DeviceCounts{1, 1});
        settings.Mode.OpMode = c.mode;
        const SettingsBlock before = settings.Settings();
        TProcessingDialog d(host, settings, device);
        const std::size_t shown = host.Messages().size();
        EXPECT_EQ(Enter(d, c.field, c.entry), c.message.empty());
        EXPECT_EQ(host.Messages().size(), shown + (c.message.empty() ? 0 : 1));
        const bool isOverlap = c.field[0] == 'o';
        const uint32_t stored = isOverlap ? settings.Settings().OverlapPercent : settings.Settings().format.rate;
        EXPECT_EQ(stored, c.message.empty() ? std::stoul(c.entry)
                                            : isOverlap ? before.OverlapPercent : before.format.rate);
        if (c.message.empty()) continue;
        EXPECT_EQ(host.Messages().back(), c.message);
        if (isOverlap) {
            EXPECT_EQ(d.findChild<QLineEdit*>("overlapPercent")->text(), "50");
        }
    }
}

// A curve file that cannot be used is refused while the Scaling dialog is still open.
TEST(SettingsDialogEntries, TheScalingDialogRefusesACompensationFileItCannotRead) {
    QtHost host;
    host.SetQuiet(true);
    testing::TempDir dir;
    testing::WriteFile(dir.File("good.mic"), "100\t0\n1000\t1\n10000\t2\n");
    testing::WriteFile(dir.File("short.mic"), "100\t0\n");
    const struct {
        bool enabled;
        std::string file;
        std::string message;  // empty: accepted and stored
    } cases[] = {
        {true, dir.File("missing.mic"), "Failure opening Microphone Compensation file: " + dir.File("missing.mic")},
        {true, dir.File("short.mic"), CompensationMessage(CurveFileStatus::TooFew, dir.File("short.mic"))},
        {true, dir.File("good.mic"), ""},
        {false, dir.File("missing.mic"), ""},  // not read while compensation is off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ScalingBlock scaling;
        bool squared = false;
        TScalingDialog d(host, scaling, squared);
        d.findChild<QCheckBox*>("micCompEnable")->setChecked(c.enabled);
        const std::size_t shown = host.Messages().size();
        EXPECT_EQ(Enter(d, "micCompLeft", c.file), c.message.empty());
        EXPECT_EQ(host.Messages().size(), shown + (c.message.empty() ? 0 : 1));
        if (!c.message.empty()) {
            EXPECT_EQ(host.Messages().back(), c.message);
        }
        EXPECT_EQ(scaling.MicCompFilenameLeft, c.message.empty() ? c.file : "");
    }
}

// An opened file's format becomes the analyser's (the next recording's too): the user is told
// when that changes it, and the Settings dialog names its width in bits.
TEST(SettingsDialogEntries, AnOpenedFilesFormatIsAnnouncedAndItsWidthNamedInBits) {
    TempDir dir;
    Shell s(dir.path());
    s.window->SelectMode(kModePostProcessing);
    const std::string notice = "The analyzer now uses the file's format: ";
    const std::string until = ".  Recordings will use it too until it is changed under <Options><Settings>.";
    const struct {
        int rate, channels, bits;
        std::string message;  // empty: the format did not change, nothing is said
    } cases[] = {
        {44100, 1, 16, ""},
        {48000, 1, 24, notice + "48000 Hz, mono, 24 bit" + until},
        {48000, 2, 32, notice + "48000 Hz, stereo, 32 bit" + until},
        {48000, 2, 32, ""},
        {8000, 1, 8, notice + "8000 Hz, mono, 8 bit" + until},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        const std::string path = dir.File(std::to_string(n++) + ".wav");
        ASSERT_TRUE(WriteTone(path, 0.1, 1000.0, c.channels, c.rate, c.bits)) << "sox is needed";
        const std::size_t shown = s.host.Messages().size();
        s.chooser.next = path;
        s.window->FileAction("Open")->trigger();
        ASSERT_EQ(s.settings.Settings().format, SampleFormat::Make(c.rate, c.channels, c.bits / 8));
        EXPECT_EQ(s.host.Messages().size(), shown + (c.message.empty() ? 0 : 1));
        if (!c.message.empty()) {
            EXPECT_EQ(s.LastMessage(), c.message);
        }
        TProcessingDialog d(s.host, s.settings, s.engine->InputPort());
        EXPECT_EQ(d.findChild<QComboBox*>("bytesPerSample")->currentText(), QString("%1 bit").arg(c.bits));
    }
}

}  // namespace
}  // namespace zeltrak
