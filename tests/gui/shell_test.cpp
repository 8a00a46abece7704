// The shell offscreen: the Real-Time buffer question with its answers and the unsaved file it
// leaves, wave files made by sox opened and analysed, a recorder take that sox reads back whole,
// dialogs that refuse bad entries and store good ones, and the settings file written at exit.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <cstring>

#include "base/strings.h"
#include "dsp/channel_processing.h"
#include "engine/multi_device_driver.h"
#include "engine/sound_port.h"
#include "files/wave_file.h"
#include "gui/shell.h"
#include "support/scripted_host.h"
#include "views/desktop_layout.h"
#include "views/qt/desktop.h"
#include "views/qt/device_dialog.h"
#include "views/qt/plot_view.h"
#include "views/qt/settings_dialogs.h"

namespace zeltrak {
namespace {

// Leaving Real-Time asks once: No drops the buffer; Yes keeps it as an untitled file the transport moves through.
TEST(ShellModes, TheRealTimeBufferIsKeptOnYesAndOfferedForSavingBeforeItIsLost) {
    TempDir dir;
    const std::pair<Answer, bool> cases[] = {{Answer::No, false}, {Answer::Yes, true}, {Answer::Yes, false}};
    for (const auto& [answer, exit] : cases) {
        SCOPED_TRACE(answer == Answer::No ? "No" : exit ? "Yes, then leaving the program" : "Yes, then a new run");
        std::string remembered = "unset";
        Shell s(dir.path());
        s.window->SetOnClose([&](const std::string& name) { remembered = name; });
        s.host.SetScriptedAnswer(true, answer);
        s.RunSomeFrames();
        for (uint32_t same : {uint32_t(kModeRealTime), 4u}) s.window->SelectMode(same);  // the same or no mode
        EXPECT_TRUE(s.engine->Running());
        const uint32_t mode = answer == Answer::Yes ? kModePostProcessing : kModeRecorder;
        s.window->SelectMode(mode);
        EXPECT_FALSE(s.engine->Running());
        EXPECT_EQ(s.Questions(), 1);
        EXPECT_EQ(s.settings.Mode.OpMode, mode);
        TWaveFile* kept = s.engine->WaveFile();
        EXPECT_EQ(kept != nullptr, answer == Answer::Yes);
        EXPECT_EQ(s.Title(), answer == Answer::Yes ? kTitle + " [Untitled]" : kTitle);
        if (kept == nullptr) continue;
        // Only what was recorded is kept, not the unused rest of the ring; places outside it are refused.
        const uint32_t frames = kept->Length(), rate = s.settings.Settings().format.rate;
        EXPECT_EQ(frames, kept->WrittenLength());
        EXPECT_LT(frames, rate * 3u);
        ASSERT_GT(frames, rate / 100);
        EXPECT_TRUE(s.window->FastForward());
        EXPECT_EQ(kept->Position(), frames);
        EXPECT_TRUE(s.window->GoTo(0.01));
        for (double bad : {-1.0, 1e9, std::nan("")}) EXPECT_FALSE(s.window->GoTo(bad)) << bad;
        EXPECT_EQ(kept->Position(), rate / 100);
        // Back in Real-Time (and out again) without a run: a kept file is no Real-Time buffer, so no question.
        s.window->SelectMode(kModeRealTime);
        if (exit) s.window->SelectMode(kModePostProcessing);
        EXPECT_EQ(s.Questions(), 1);
        s.host.SetScriptedAnswer(true, Answer::Cancel);
        EXPECT_FALSE(exit ? s.window->close() : s.window->RunAnalyser());
        EXPECT_EQ(s.LastMessage(), "Untitled has changed. Save file before closing?");
        EXPECT_EQ(s.engine->WaveFile(), kept);
        EXPECT_FALSE(s.engine->Running());
        EXPECT_EQ(remembered, "unset");
        if (exit) {  // Yes saves it under the name chosen
            s.chooser.next = dir.File("kept.wav");
            s.host.SetScriptedAnswer(true, Answer::Yes);
            EXPECT_TRUE(s.window->close());
            EXPECT_EQ(remembered, "");  // it was untitled while open
            TWaveFile reread(dir.File("kept.wav"), TWaveFile::kMemoryMode, false);
            ASSERT_FALSE(reread.Error());
            EXPECT_EQ(reread.Length(), frames);
            continue;
        }
        // No lets it go; from then on the run's own history is replaced without a question.
        s.host.SetScriptedAnswer(true, Answer::No);
        ASSERT_TRUE(s.window->RunAnalyser());
        s.window->StopAnalyser();
        const size_t asked = s.host.Messages().size();
        ASSERT_TRUE(s.window->RunAnalyser());
        s.window->StopAnalyser();
        EXPECT_EQ(s.host.Messages().size(), asked);
    }
}

void OpenTone(Shell& s, const std::string& path, int channels, double hz) {
    ASSERT_TRUE(WriteTone(path, 1, hz, channels)) << "sox is needed";
    s.chooser.next = path;
    s.window->FileAction("Open")->trigger();
}

TEST(FileMenu, OpenedFilesAreAnalysedToTheEndAndRecordedTakesSavedWhole) {
    TempDir dir;
    Shell s(dir.path());
    s.window->SelectMode(kModePostProcessing);
    s.settings.Settings().ChannelProcessing = ChannelModeCode(ChannelProcessingMode::Both);
    ASSERT_NO_FATAL_FAILURE(OpenTone(s, dir.File("mono tone.wav"), 1, 1000.0));
    EXPECT_EQ(s.Title(), kTitle + " [" + dir.File("mono tone.wav") + "]");
    EXPECT_EQ(s.settings.Settings().ChannelProcessing, ChannelModeCode(ChannelProcessingMode::Left));
    EXPECT_EQ(s.settings.Settings().format.rate, 32000u);
    // Run to the end, rewind and run again: 32000 frames, 1024 at a time, all analysed again.
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(pass == 0 || s.window->Rewind());
        ASSERT_TRUE(s.window->RunAnalyser()) << s.LastMessage();
        ASSERT_TRUE(SpinUntil([&] { return !s.engine->Running(); }));
        EXPECT_EQ(s.engine->WaveFile()->Position(), s.engine->WaveFile()->Length());
    }
    ASSERT_EQ(s.settings.Settings().OverlapPercent, 0u);
    EXPECT_EQ(s.window->SpectrumView()->FramesShown(), (32000 - 1024) / 1024 + 1);
    EXPECT_NEAR(PeakHz(*s.window->SpectrumView()), 1000.0, 32000.0 / 1024);

    // A stereo file lifts "Left channel only" to "Both Left and Right".
    ASSERT_NO_FATAL_FAILURE(OpenTone(s, dir.File("stereo.wav"), 2, 500.0));
    EXPECT_EQ(s.settings.Settings().ChannelProcessing, ChannelModeCode(ChannelProcessingMode::Both));
    s.window->FileAction("Close")->trigger();
    EXPECT_EQ(s.Title(), kTitle);
    EXPECT_EQ(s.engine->WaveFile(), nullptr);

    s.window->SelectMode(kModeRecorder);
    auto button = [&](const QString& text) -> QAction* {
        for (QAction* a : s.window->ModeToolBar()->actions()) if (a->text() == text) return a;
        return nullptr;
    };
    ASSERT_NE(button("Record"), nullptr);
    button("Record")->trigger();
    ASSERT_TRUE(s.engine->Running()) << s.LastMessage();
    EXPECT_EQ(s.Title(), kTitle + " [Untitled] - Recording...");
    const uint32_t rate = s.settings.Settings().format.rate;
    ASSERT_TRUE(SpinUntil([&] { return s.engine->WaveFile()->WrittenLength() >= rate / 2; }));
    s.window->StopAnalyser();
    const uint32_t frames = s.engine->WaveFile()->WrittenLength();

    s.engine->WaveFile()->Rewind();
    button("Play")->trigger();
    ASSERT_TRUE(s.engine->Running()) << s.LastMessage();
    TSpectrumView* view = s.window->SpectrumView();
    const uint32_t before = view->FramesShown();
    ASSERT_TRUE(SpinUntil([&] { return view->FramesShown() >= before + 3; }));
    s.window->StopAnalyser();
    EXPECT_NEAR(PeakHz(*view), 1000.0, 2.0 * rate / s.settings.Settings().FFTsize);

    // Save As names the take; sox reads every recorded frame back (it counts samples per channel).
    const std::string saved = dir.File("take.wav");
    s.chooser.next = saved;
    s.window->FileAction("Save As")->trigger();
    EXPECT_EQ(s.Title(), kTitle + " [" + saved + "]");
    EXPECT_EQ(RunCommand("soxi -s '" + saved + "'").second, std::to_string(frames) + "\n");
}

TEST(SettingsDialogs, RefuseABadEntryWithTheDialogOpenAndStoreAGoodOne) {
    QtHost host;
    host.SetQuiet(true);
    ProcessingSettings settings;
    settings.Load(TIniStore(), DeviceCounts{1, 1});
    bool squared = false;
    struct Case {
        std::unique_ptr<QDialog> dialog;
        const char *field, *bad, *message, *good;
        std::function<bool()> stored;  // the good entry landed
    } cases[] = {
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
    settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
    settings.Device.InputDeviceID = 2;
    settings.Device.OutputDeviceID = 1;
    BufferDoneQueue queue;
    TEngine engine(host, driver, settings, &queue);
    auto state = [&] {
        return std::to_string(settings.Device.InputDeviceID) + "/" + std::to_string(settings.Device.OutputDeviceID) +
               " " + engine.InputPort().DeviceName() + "/" + engine.OutputPort().DeviceName();
    };
    auto refused = [&](TDeviceDialog& d, const std::string& message) {
        const std::string before = state();
        d.Accept();
        EXPECT_EQ(host.messages.empty() ? "" : host.messages.back().text, message);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(state(), before);
    };
    TDeviceDialog d(host, driver, settings, engine);
    d.show();
    EXPECT_FALSE(d.InputNames()[0].isEmpty());
    for (const QString& row : {d.InputNames()[2], d.OutputNames()[1]})  // no channel count in their caps
        EXPECT_EQ(row.toStdString(), "Loopback \u2014 4000\u2013200000 Hz");
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
    TempDir dir;
    const std::string readOnly = dir.File("zeltrak.ini");
    testing::WriteFile(readOnly, "[Settings]\nFFTsize=2048\n");
    std::filesystem::permissions(readOnly, std::filesystem::perms(0444));
    const std::pair<std::string, std::string> cases[] = {
        {dir.File("config/zeltrak/zeltrak.ini"), ""},  // folders not made yet
        {readOnly + "/zeltrak.ini", "The settings could not be saved to " + readOnly + "/zeltrak.ini."},
        {readOnly, "The settings file " + readOnly + " is read-only; the settings were not saved."}};
    for (const auto& [path, message] : cases) {
        TIniStore ini;
        ini.Load(path);
        ini.SetString("SpectrumOpts", "StartFreq", "20");  // someone else's key survives
        Shell s(dir.path());
        s.window->SetOnClose([&](const std::string& n) { StoreDesktopSettings(s.host, s.settings, n, ini, path); });
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
    EXPECT_EQ(testing::ReadFile(readOnly), "[Settings]\nFFTsize=2048\n");
    EXPECT_EQ(std::filesystem::status(readOnly).permissions(), std::filesystem::perms(0444));
}

// The window's place, its views (with their range text) and their arrangement come back at the
// next start through the settings file; a place off every screen gives the first start's.
TEST(ShellLayout, TheWindowAndItsViewsComeBackAsTheyWereLeft) {
    using View = TMainWin::View;
    TempDir dir;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize firstSize(std::min(screen.width() * 4 / 5, 1400), std::min(screen.height() * 4 / 5, 900));
    const QPoint margin(screen.width() - firstSize.width(), screen.height() - firstSize.height());
    const QRect firstStart(screen.topLeft() + margin / 2, firstSize);
    // The time series left at its whole range stores none.
    const std::string ranges[] = {"", "50 5000 auto", "100 1000 -90 90"};
    const struct { const char* arrangement; QRect window; bool maximised; QRect expected; } cases[] = {
        {"Tile Vertical", {20, 30, 700, 500}, false, {20, 30, 700, 500}},
        {nullptr, {20, 30, 700, 500}, true, {20, 30, 700, 500}},  // views where the user put them
        {"Cascade", {5000, 5000, 700, 500}, false, firstStart}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arrangement ? c.arrangement : "placed by hand");
        Shell left(dir.path());
        EXPECT_EQ(left.window->geometry(), firstStart);
        left.window->setGeometry(c.window);
        left.window->OpenView(View::Phase);
        left.window->OpenView(View::TimeSeries);
        for (View v : {View::Spectrum, View::Phase})
            static_cast<TPlotView*>(left.window->ViewWidget(v))->RestoreRange(*ParseUserRange(ranges[int(v)]));
        left.window->CloseView(View::Spectrum);
        QApplication::processEvents();
        if (c.arrangement) left.window->findChild<QAction*>(c.arrangement)->trigger();
        else left.window->ViewWidget(View::Phase)->parentWidget()->setGeometry(40, 50, 300, 200);
        if (c.maximised) left.window->showMaximized();
        TIniStore ini;
        StoreDesktopLayout(left.window->Layout(), ini);
        left.window->close();

        Shell next(dir.path());
        next.window.reset();
        next.window = std::make_unique<TMainWin>(next.host, *next.engine, next.queue, next.settings, 10.0, 20000.0);
        TIniStore reread;
        reread.Parse(ini.Text());
        next.window->RestoreLayout(ReadDesktopLayout(reread));
        next.window->show();
        QApplication::processEvents();
        EXPECT_EQ(next.window->isMaximized(), c.maximised);
        EXPECT_EQ(c.maximised ? next.window->normalGeometry() : next.window->geometry(), c.expected);
        for (View v : {View::TimeSeries, View::Spectrum, View::Phase})
            EXPECT_EQ(next.window->ViewAction(v)->isChecked(), v != View::Spectrum);
        for (View v : {View::TimeSeries, View::Phase, View::Spectrum})  // a closed view's is kept
            EXPECT_EQ(next.window->ViewRange(v), ranges[int(v)]);
        EXPECT_EQ(FormatUserRange(static_cast<TPlotView*>(next.window->ViewWidget(View::Phase))->UserRange()),
                  ranges[int(View::Phase)]);
        const QMdiSubWindow* phase = static_cast<QMdiSubWindow*>(next.window->ViewWidget(View::Phase)->parentWidget());
        if (!c.arrangement) {
            EXPECT_EQ(phase->geometry(), QRect(40, 50, 300, 200));
            continue;
        }
        next.window->resize(1000, 700);  // an arrangement in force follows the area
        QApplication::processEvents();
        const QSize area = next.window->Client()->viewport()->size();
        EXPECT_GE(phase->width(), (c.arrangement[0] == 'T' ? 0.5 : 0.8) * area.width() - 1);
        EXPECT_GE(phase->height(), 0.8 * area.height());
    }
}

// Every toolbar button of every mode shows an icon and a tip naming its command and key, and
// switching modes back and forth leaves nothing behind on the toolbar.
TEST(ShellToolbar, EachModesButtonsHaveIconsAndTipsAndSwitchingLeavesNothingBehind) {
    TempDir dir;
    Shell s(dir.path());
    const QStringList common = {"Open (Ctrl+O)", "Save (Ctrl+S)", "Run (F5)", "Stop (Esc)"};
    const struct { uint32_t mode; QStringList tips; } modes[] = {
        {kModePostProcessing, common + QStringList{"Single Step (F6)", "Rewind", "Fast Forward", "Go To"}},
        {kModeRecorder, common + QStringList{"Record", "Play"}},
        {kModeRealTime, common + QStringList{"Single Step (F6)"}}};
    for (const auto& [mode, tips] : modes) {
        SCOPED_TRACE(mode);
        s.window->SelectMode(mode);
        QStringList shown;
        for (QAction* a : s.window->ModeToolBar()->actions()) {
            const auto* button = qobject_cast<QToolButton*>(s.window->ModeToolBar()->widgetForAction(a));
            if (!button || !a->isVisible()) continue;
            shown << button->toolTip();
            EXPECT_FALSE(button->icon().isNull()) << button->toolTip().toStdString();
        }
        EXPECT_EQ(shown, tips);
    }
    auto parts = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QToolBar* tools = s.window->ModeToolBar();
        return std::pair(tools->actions().size(), tools->findChildren<QObject*>().size());
    };
    const auto before = parts();
    for (int i = 0; i < 20; ++i) s.window->SelectMode(modes[i % 3].mode);
    s.window->SelectMode(kModeRealTime);
    EXPECT_EQ(parts(), before);
}

}  // namespace
}  // namespace zeltrak
