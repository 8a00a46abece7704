// The View menu offscreen: the three analysis views open as MDI children, hear the live
// run together, and a view closed by its own close box leaves the engine for good.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <cmath>

#include "gui/shell_fixture.h"
#include "support/temp_dir.h"
#include "views/qt/phase_view.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {
namespace {

using gui_testing::SpinUntil;
using View = TMainWin::View;

QMdiSubWindow* SubWindowOf(TMainWin& window, QWidget* view) {
    for (QMdiSubWindow* sub : window.Client()->subWindowList())
        if (sub->widget() == view) return sub;
    return nullptr;
}

TEST(ViewMenu, TheThreeViewsShowTheLiveRunAndAClosedViewLeavesTheEngine) {
    zeltrak::testing::TempDir dir;
    Shell s(dir.path());
    // Only the spectrum is open at the start.
    EXPECT_TRUE(s.window->ViewAction(View::Spectrum)->isChecked());
    EXPECT_FALSE(s.window->ViewAction(View::TimeSeries)->isChecked());
    EXPECT_EQ(s.window->ViewWidget(View::Phase), nullptr);

    s.window->ViewAction(View::TimeSeries)->trigger();
    s.window->ViewAction(View::Phase)->trigger();
    auto* series = dynamic_cast<TTimeSeriesView*>(s.window->ViewWidget(View::TimeSeries));
    auto* phase = dynamic_cast<TPhaseView*>(s.window->ViewWidget(View::Phase));
    ASSERT_NE(series, nullptr);
    ASSERT_NE(phase, nullptr);
    EXPECT_TRUE(s.window->ViewAction(View::Phase)->isChecked());
    EXPECT_EQ(s.window->Client()->subWindowList().size(), 3);

    ASSERT_TRUE(s.window->RunAnalyser());
    TSpectrumView* spectrum = s.window->SpectrumView();
    ASSERT_TRUE(SpinUntil([&] { return spectrum->FramesShown() >= 3 && phase->FramesShown() >= 3; }, 15000));
    EXPECT_GE(series->FramesShown(), 3u);
    // The time series holds one frame of the 1 kHz tone: its samples swing both ways.
    const auto& samples = series->TraceValues(0);
    ASSERT_EQ(samples.size(), s.settings.Settings().FFTsize);
    float lo = 0, hi = 0;
    for (float v : samples) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_LT(lo, -0.1f);
    EXPECT_GT(hi, 0.1f);
    for (float deg : phase->TraceValues(0))
        if (!std::isnan(deg)) {
            ASSERT_LE(std::fabs(deg), 180.0f);
        }

    // The phase view's own close box: the menu mark goes and the run carries on without it.
    QMdiSubWindow* sub = SubWindowOf(*s.window, phase);
    ASSERT_NE(sub, nullptr);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // what the event loop does next
    EXPECT_EQ(s.window->ViewWidget(View::Phase), nullptr);
    EXPECT_FALSE(s.window->ViewAction(View::Phase)->isChecked());
    const uint32_t shown = spectrum->FramesShown();
    ASSERT_TRUE(SpinUntil([&] { return spectrum->FramesShown() >= shown + 3; }, 15000));

    // The menu closes a view as well, and opens a fresh one.
    s.window->ViewAction(View::Spectrum)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(s.window->SpectrumView(), nullptr);
    const uint32_t seriesShown = series->FramesShown();
    ASSERT_TRUE(SpinUntil([&] { return series->FramesShown() >= seriesShown + 3; }, 15000));
    s.window->ViewAction(View::Spectrum)->trigger();
    ASSERT_NE(s.window->SpectrumView(), nullptr);
    ASSERT_TRUE(SpinUntil([&] { return s.window->SpectrumView()->FramesShown() >= 2; }, 15000));
    s.window->StopAnalyser();
}

// Calibrated samples are in the calibration's unit; uncalibrated ones in parts of full scale.
TEST(ViewMenu, TheTimeSeriesNamesTheCalibrationUnit) {
    zeltrak::testing::TempDir dir;
    LoopbackDriver driver(Shell::Config());
    ProcessingSettings settings;
    settings.Load(TIniStore(), DeviceCounts{1, 1});
    QtHost host;
    host.SetQuiet(true);
    BufferDoneQueue queue;
    TEngine engine(host, driver, settings, &queue, EngineEnvironment{});
    CalibrationRecord calibration;
    calibration.IsEnabled = 1;
    calibration.SetLabelLinear("Pa");
    TMainWin window(host, engine, queue, settings, 10.0, 20000.0, &calibration, dir.path());
    auto* series = dynamic_cast<TTimeSeriesView*>(window.OpenView(View::TimeSeries));
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->UnitLabel(), "Pa");

    calibration.IsEnabled = 0;
    window.CloseView(View::TimeSeries);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    series = dynamic_cast<TTimeSeriesView*>(window.OpenView(View::TimeSeries));
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->UnitLabel(), "Full scale");
}

}  // namespace
}  // namespace zeltrak
