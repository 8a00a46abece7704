// The desktop window offscreen: a Real-Time run of the Loopback card's 1 kHz tone drawn by
// the spectrum view, read back from the grabbed image.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <cmath>

#include "gui/gui_test_support.h"
#include "gui/shell_fixture.h"
#include "base/strings.h"
#include "engine/engine.h"
#include "files/ini_store.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/temp_dir.h"
#include "views/qt/main_window.h"
#include "views/qt/qt_host.h"
#include "views/qt/spectrum_view.h"

namespace zeltrak {
namespace {

LoopbackConfig Tone(double hz) {
    LoopbackConfig c;
    c.clock = LoopbackConfig::Clock::RealTime;
    c.source = LoopbackConfig::Source::Sine;
    c.sineHz = hz;
    c.sineDb = -6.0;
    c.noiseDb = -90.0;
    return c;
}

using gui_testing::SpinUntil;

// The Loopback card's tone at 32 kHz with 4096 points, which puts 1 kHz exactly on bin 128, so
// the peak bin is the tone's own frequency whatever the column edges are.
struct Window : Shell {
    Window(double toneHz, uint16_t freqScale, const std::string& tempDir)
        : Shell(tempDir, Tone(toneHz), [freqScale](ProcessingSettings& settings) {
              settings.Scaling().FreqScaleType = freqScale;
              const SampleFormat f = settings.Settings().format;
              settings.Settings().format =
                  SampleFormat::Make(32000, f.channels, static_cast<uint16_t>(f.bitsPerSample / 8));
              settings.Settings().FFTsize = 4096;
          }) {}
};

// The highest lit pixel of trace 0 inside the plot: its row and every column lit on that row.
struct Peak {
    int row = -1;
    std::vector<int> columns;
};

Peak HighestTracePoint(const QImage& image, const QRect& plot) {
    const QRgb trace = TSpectrumView::TraceColor(0).rgb();
    Peak p;
    for (int y = plot.top() + 1; y < plot.bottom() && p.row < 0; ++y) {
        for (int x = plot.left() + 1; x < plot.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (trace & 0xFFFFFF)) {
                p.row = y;
                p.columns.push_back(x);
            }
        }
    }
    return p;
}

TEST(SpectrumWindow, LiveToneShowsItsPeakInTheColumnOfItsFrequency) {
    zeltrak::testing::TempDir dir;
    for (uint16_t scale : {uint16_t(kFreqLogarithmic), uint16_t(kFreqLinear)}) {
        SCOPED_TRACE(scale == kFreqLinear ? "linear axis" : "logarithmic axis");
        Window w(1000.0, scale, dir.path());
        EXPECT_EQ(w.window->windowTitle().toStdString(), kProgramTitle);
        ASSERT_TRUE(w.window->RunAnalyser()) << (w.host.Messages().empty() ? "" : w.host.Messages().back());
        TSpectrumView* view = w.window->SpectrumView();
        ASSERT_TRUE(SpinUntil([&] { return view->FramesShown() >= 8; }, 15000))
            << "frames shown: " << view->FramesShown();
        // A -6 dBFS tone peaks at half of full scale: trunc(10 log(16383) / log(32767)) = 9.
        const int expectedLevel = static_cast<int>(10.0 * std::log(16383.0) / std::log(32767.0));
        EXPECT_EQ(w.window->LevelShown(0), expectedLevel);
        w.window->StopAnalyser();
        EXPECT_EQ(w.window->LevelShown(0), 0) << "the level display is reset when the run stops";
        EXPECT_FALSE(w.engine->Running());
        const uint32_t shown = view->FramesShown();
        QApplication::processEvents();
        EXPECT_EQ(view->FramesShown(), shown);  // stopped means no more frames

        // The data itself peaks at the bin nearest 1 kHz.
        const auto& f = view->TraceFrequencies(0);
        const auto& v = view->TraceValues(0);
        ASSERT_FALSE(v.empty());
        const size_t best = gui_testing::HighestPoint(v);
        const double binWidth = f[2] - f[1];
        EXPECT_NEAR(binWidth, 32000.0 / 4096, 1e-3);
        EXPECT_NEAR(f[best], 1000.0, 1e-3);

        const QImage image = view->grab().toImage();
        const QRect plot = view->PlotRect();
        const Peak peak = HighestTracePoint(image, plot);
        ASSERT_GE(peak.row, 0) << "no trace drawn";
        const std::optional<int32_t> column = view->PixelMap().Position(1000.0);
        ASSERT_TRUE(column.has_value());
        EXPECT_EQ(peak.columns, std::vector<int>{*column})
            << "peak row " << peak.row << " best bin " << f[best] << " Hz " << v[best] << " neighbours "
            << v[best - 1] << " " << v[best + 1] << " at column " << *view->PixelMap().Position(f[best])
            << " next " << *view->PixelMap().Position(f[best + 1]) << " plot " << plot.left() << "+" << plot.width();
        // The tone stands well above the floor: the trace reaches far below its peak.
        int lowest = peak.row;
        const QRgb trace = TSpectrumView::TraceColor(0).rgb() & 0xFFFFFF;
        for (int y = peak.row; y < plot.bottom(); ++y)
            for (int x = plot.left() + 1; x < plot.right(); ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) == trace) lowest = std::max(lowest, y);
        EXPECT_GT(lowest - peak.row, plot.height() / 3);
    }
}

}  // namespace
}  // namespace zeltrak

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
