// The desktop window driven as an automation shell, offscreen, on a manual-clock Loopback card:
// each window, view and tool command changes what its menu item changes, the commands this
// window does not carry out change nothing, and a counted run stops on its count.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QMdiArea>
#include <QPushButton>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <filesystem>

#include "generator/signal_generator.h"
#include "gui/shell.h"
#include "views/qt/delay_finder_window.h"
#include "views/qt/desktop_automation.h"
#include "views/qt/generator_window.h"
#include "views/qt/plot_view.h"
#include "views/qt/reverb_window.h"
#include "views/qt/utility_tools.h"

namespace zeltrak {
namespace {

using View = TMainWin::View;

struct Bench {
    TempDir dir;
    Shell s{dir.path(), [](ProcessingSettings& p) { p.Settings().format = SampleFormat::Make(44100, 2, 2); }};
    TDesktopShell shell{*s.window};
    Bench() {
        LoopbackConfig card = s.driver.Config();
        card.clock = LoopbackConfig::Clock::Manual;
        card.delaySamples[1] = 40;  // the right channel lags by 40 / 44.1 ms
        s.driver.Configure(card);
    }
    bool Do(CommandId id, int variant = 0, std::string argument = {}, bool on = false) {
        return shell.FrontEndCommand(AutomationCommand{id, variant, std::move(argument), on});
    }
    // Moves the card on until `done` (false after many blocks).
    template <typename F>
    bool Pump(F done) {
        for (int i = 0; i < 4000 && !done(); ++i) {
            s.driver.Advance(512);
            QApplication::processEvents();
        }
        return done();
    }
    std::vector<QRect> ViewPlaces() const {
        std::vector<QRect> places;
        for (QMdiSubWindow* sub : s.window->Client()->subWindowList()) places.push_back(sub->geometry());
        return places;
    }
    // What the commands may change, to see that a refused one changed nothing.
    std::string State() const {
        std::string state;
        for (int v = 0; v < TMainWin::kViewCount; ++v) state += s.window->ViewWidget(View(v)) ? 'o' : '-';
        for (const QWidget* w : std::initializer_list<const QWidget*>{
                 s.window.get(), s.window->menuBar(), s.window->statusBar(), s.window->ModeToolBar()})
            state += w->isVisible() ? 'v' : 'h';
        state += s.window->ViewRange(View::Spectrum) + "/" + std::to_string(s.window->windowState().toInt());
        return state + (s.window->GeneratorTool().Window() ? "g" : "-");
    }
};

TEST(DesktopShell, WindowAndViewCommandsDoWhatTheMenuDoes) {
    Bench b;
    TMainWin& w = *b.s.window;
    // Each arrangement places the views where the Window menu's item places them.
    ASSERT_TRUE(b.Do(CommandId::ViewOpen, kViewTimeSeries));
    ASSERT_TRUE(b.Do(CommandId::ViewOpen, kViewPhase));
    EXPECT_TRUE(w.ViewAction(View::Phase)->isChecked());
    const char* menuItems[] = {"Cascade", "Tile Vertical", "Tile Horizontal"};
    for (int a = 0; a < 3; ++a) {
        ASSERT_TRUE(b.Do(CommandId::Arrange, a));
        const std::vector<QRect> byCommand = b.ViewPlaces();
        w.findChild<QAction*>("Tile Vertical")->trigger();
        w.findChild<QAction*>(menuItems[a])->trigger();
        EXPECT_EQ(b.ViewPlaces(), byCommand) << menuItems[a];
    }
    EXPECT_TRUE(b.Do(CommandId::ViewMaximize, kViewPhase));
    EXPECT_TRUE(w.ViewWidget(View::Phase)->parentWidget()->isMaximized());
    EXPECT_TRUE(b.Do(CommandId::ViewRestore, kViewPhase));
    EXPECT_FALSE(w.ViewWidget(View::Phase)->parentWidget()->isMaximized());
    ASSERT_TRUE(b.Do(CommandId::ViewClose, kViewTimeSeries));
    EXPECT_EQ(w.ViewWidget(View::TimeSeries), nullptr);
    EXPECT_FALSE(w.ViewAction(View::TimeSeries)->isChecked());
    EXPECT_FALSE(b.Do(CommandId::ViewRestore, kViewTimeSeries));

    // The copy is the open views' images, one under the other.
    ASSERT_TRUE(b.Do(CommandId::CopyBitmap));
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.height(), w.ViewWidget(View::Spectrum)->height() + w.ViewWidget(View::Phase)->height());
    EXPECT_EQ(copied.pixel(5, 5), w.ViewWidget(View::Spectrum)->grab().toImage().pixel(5, 5));

    ASSERT_TRUE(b.Do(CommandId::FreqSpan, kViewSpectrum, "100 2000"));
    const TUserRange shown = static_cast<TPlotView*>(w.ViewWidget(View::Spectrum))->UserRange();
    EXPECT_EQ(shown.x.lo, 100.0);
    EXPECT_EQ(shown.x.hi, 2000.0);

    for (auto [variant, bar] : {std::pair<int, QWidget*>{kFurnitureMenu, w.menuBar()},
                                {kFurnitureToolbar, w.ModeToolBar()}, {kFurnitureStatusbar, w.statusBar()}})
        for (bool show : {false, true}) {
            ASSERT_TRUE(b.Do(CommandId::Furniture, variant, "", show));
            EXPECT_EQ(bar->isVisible(), show) << variant;
        }
    const std::pair<int, std::function<bool()>> states[] = {
        {kWindowHide, [&] { return !w.isVisible(); }},      {kWindowShow, [&] { return w.isVisible(); }},
        {kWindowMaximize, [&] { return w.isMaximized(); }}, {kWindowMinimize, [&] { return w.isMinimized(); }},
        {kWindowRestore, [&] { return !w.isMinimized() && !w.isMaximized(); }}};
    for (const auto& [state, holds] : states) {
        ASSERT_TRUE(b.Do(CommandId::MainWindow, state));
        EXPECT_TRUE(holds()) << state;
    }
}

TEST(DesktopShell, UnsupportedCommandsChangeNothing) {
    Bench b;
    ASSERT_TRUE(b.Do(CommandId::FreqSpan, kViewSpectrum, "100 2000"));  // a refused span must keep it
    const std::string before = b.State();
    const AutomationCommand refused[] = {
        {CommandId::ViewOpen, kViewSpectrogram, ""},    {CommandId::ViewPrint, kViewSpectrum, ""},
        {CommandId::Furniture, kFurniturePlotToolbars, ""},
        {CommandId::FreqSpan, kViewTimeSeries, "1 2"},  {CommandId::FreqSpan, kViewSpectrum, "2000 100"},
        {CommandId::FreqSpan, kViewPhase, "100 2000"},  {CommandId::Arrange, 3, ""},
        {CommandId::MainWindow, 7, ""},                 {CommandId::Generator, kToolStart, ""},
        {CommandId::GeneratorTone, 0, "left 1000 -20"}, {CommandId::GeneratorType, 0, "middle Square"},
        {CommandId::DelayFinder, 2, ""},                {CommandId::SaveReverb, 0, "x.rvb"},
        {CommandId::Overlay, 1, "1"},                   {CommandId::Macro, kToolStart, ""},
        {CommandId::Run, 0, ""}};
    for (const AutomationCommand& c : refused) {
        EXPECT_FALSE(b.shell.FrontEndCommand(c)) << static_cast<int>(c.id) << " " << c.variant;
        EXPECT_EQ(b.State(), before) << static_cast<int>(c.id) << " " << c.variant;
    }
    EXPECT_EQ(b.shell.DelayFound(), 0.0);
}

TEST(DesktopShell, ToolCommandsDriveTheToolWindows) {
    Bench b;
    TGeneratorTool& tool = b.s.window->GeneratorTool();
    ASSERT_TRUE(b.Do(CommandId::Generator, kToolOpen));
    ASSERT_NE(tool.Window(), nullptr);
    EXPECT_TRUE(tool.ToggleAction()->isChecked());
    const GeneratorSettings& g = tool.Window()->Generator().Settings();
    ASSERT_TRUE(b.Do(CommandId::GeneratorType, 0, "right square"));
    EXPECT_EQ(g.channels[1].type, SignalType::Square);
    EXPECT_EQ(tool.Window()->TypeList(1)->currentText(), "Square");
    ASSERT_TRUE(b.Do(CommandId::GeneratorTone, 0, "left, 1234.5, -20"));
    EXPECT_EQ(g.channels[0].type, SignalType::MultipleTones);
    EXPECT_FLOAT_EQ(g.channels[0].tones.slots[0].frequencyHz, 1234.5f);
    EXPECT_FLOAT_EQ(g.channels[0].tones.slots[0].amplitude, 0.1f);  // -20 dB
    const std::string saved = b.dir.path() + "/signal.wav";
    ASSERT_TRUE(b.Do(CommandId::SaveGeneratorSignal, 0, saved));
    EXPECT_GT(std::filesystem::file_size(saved), 44u);
    ASSERT_TRUE(b.Do(CommandId::GeneratorWaveFile, 0, "right " + saved));
    EXPECT_EQ(g.channels[1].type, SignalType::UserDefined);
    EXPECT_EQ(g.channels[1].userDefined.waveFile, saved);
    ASSERT_TRUE(b.Do(CommandId::GeneratorType, 0, "right Pink Noise"));
    ASSERT_TRUE(b.Do(CommandId::GeneratorType, 0, "left Pink Noise"));  // both: the delay finder needs one signal

    // The delay finder finds the card's channel delay; apply copies it into the settings.
    ASSERT_TRUE(b.Do(CommandId::DelayFinder, 0));
    TDelayFinderWindow* finder = b.s.window->UtilityTools().DelayFinderWindow();
    ASSERT_NE(finder, nullptr);
    ASSERT_TRUE(b.Do(CommandId::Generator, kToolStart));
    EXPECT_TRUE(tool.Window()->Generator().Playing());
    EXPECT_FALSE(tool.Window()->RunButton()->isEnabled());
    ASSERT_TRUE(b.shell.Run());
    EXPECT_TRUE(b.Pump([&] { return finder->Finder().DelaySamples() != 0; }));
    b.shell.Stop();
    EXPECT_NEAR(b.shell.DelayFound(), -40.0 / 44.1, 1e-3);
    ASSERT_TRUE(b.Do(CommandId::DelayFinder, 2));
    EXPECT_NEAR(b.s.settings.Settings().DelayTimeMsec, 40.0 / 44.1, 1e-3);
    ASSERT_TRUE(b.Do(CommandId::Generator, kToolStop));
    EXPECT_FALSE(tool.Window()->Generator().Playing());

    ASSERT_TRUE(b.Do(CommandId::Generator, kToolClose));
    ASSERT_TRUE(b.Do(CommandId::DelayFinder, 1));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(tool.Window(), nullptr);
    EXPECT_EQ(b.s.window->UtilityTools().DelayFinderWindow(), nullptr);
    for (int action : {kToolOpen, kToolClose}) {
        ASSERT_TRUE(b.Do(CommandId::Reverb, action));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(b.s.window->ReverbTool().Window() != nullptr, action == kToolOpen);
    }
}

TEST(DesktopShell, CountedRunStopsAfterTheSixthFrameAndTheWindowFollows) {
    Bench b;
    QAction *run = b.s.window->FileAction("Run"), *stop = b.s.window->FileAction("Stop");
    ASSERT_TRUE(b.shell.RunFrames(5));
    EXPECT_FALSE(run->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(b.Pump([&] { return !b.s.engine->Running(); }));
    EXPECT_EQ(b.s.engine->FrameCount(), 6u);
    EXPECT_TRUE(run->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    // A count sent to a run under way limits that run.
    ASSERT_TRUE(b.shell.Run());
    ASSERT_TRUE(b.shell.RunFrames(2));
    EXPECT_TRUE(b.Pump([&] { return !b.s.engine->Running(); }));
    EXPECT_EQ(b.s.engine->FrameCount(), 3u);
    // A settings change shows in the toolbar as a dialog's does.
    b.shell.ChangeSettings([&] { b.s.settings.Settings().FFTsize = 4096; });
    EXPECT_EQ(b.s.window->ModeToolBar()->findChild<QComboBox*>("fftSize")->currentText(), "4096");
}

}  // namespace
}  // namespace zeltrak
