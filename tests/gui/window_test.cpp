// The desktop window offscreen: a live tone on the Loopback card drawn where it belongs, plot
// exports read back, the View menu's views sharing the run, Esc cancelling a job, and the
// choice between the window and the headless analyser at start-up.
#include <gtest/gtest.h>

#include <QImage>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QMainWindow>
#include <sstream>

#include "dsp/spectral_data.h"
#include "dsp/spectral_display.h"
#include "engine/engine_listener.h"
#include "gui/shell.h"
#include "support/tab_table.h"
#include "views/export_caption.h"
#include "views/qt/level_meter.h"
#include "views/qt/phase_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {
namespace {

TEST(SpectrumWindow, LiveToneShowsItsPeakInTheColumnOfItsFrequency) {
    TempDir dir;
    for (uint16_t scale : {uint16_t(kFreqLogarithmic), uint16_t(kFreqLinear)}) {
        SCOPED_TRACE(scale == kFreqLinear ? "linear axis" : "logarithmic axis");
        // 32 kHz and 4096 points put 1 kHz exactly on bin 128, whatever the column edges are.
        Shell w(dir.path(), [scale](ProcessingSettings& settings) {
            settings.Scaling().FreqScaleType = scale;
            settings.Settings().format = SampleFormat::Make(32000, 1, 2);
            settings.Settings().FFTsize = 4096;
        });
        ASSERT_TRUE(w.window->RunAnalyser()) << w.LastMessage();
        TSpectrumView* view = w.window->SpectrumView();
        ASSERT_TRUE(SpinUntil([&] { return view->FramesShown() >= 8; })) << view->FramesShown();
        // A tone at half of full scale: peak and AES17 rms both 20·log10(1/2) = -6.02 dBFS.
        const TLevelReading& levels = w.window->LevelMeter()->Reading();
        EXPECT_NEAR(levels.Level(0).peakDb, -6.02, 0.05);
        EXPECT_NEAR(levels.Level(0).rmsDb, -6.02, 0.05);
        // The window gives its views' exports their caption: this view, live input, these settings.
        const std::vector<std::string> caption = view->CaptionLines();
        ASSERT_EQ(caption.size(), 2u);
        EXPECT_EQ(caption[0].rfind("Spectrum — Real-Time input — ", 0), 0u) << caption[0];
        EXPECT_NE(caption[1].find("FFT 4096 · "), std::string::npos) << caption[1];
        EXPECT_NE(caption[1].find(" · 32000 Hz"), std::string::npos) << caption[1];
        w.window->StopAnalyser();
        EXPECT_EQ(levels.Channels(), 0) << "the level display is reset when the run stops";
        const uint32_t shown = view->FramesShown();
        QApplication::processEvents();
        EXPECT_EQ(view->FramesShown(), shown);  // stopped means no more frames

        ASSERT_FALSE(view->TraceValues(0).empty());
        EXPECT_NEAR(PeakHz(*view), 1000.0, 1e-3);
        // The trace's highest pixel is in the column of 1 kHz alone, and the floor far below it
        // (the legend's swatch is no trace).
        const QImage image = view->grab().toImage();
        const QRect plot = view->PlotRect();
        const QRgb trace = TSpectrumView::TraceColor(0).rgb() & 0xFFFFFF;
        int top = -1, lowest = -1;
        std::vector<int> columns;
        for (int y = plot.top() + 1; y < plot.bottom(); ++y)
            for (int x = plot.left() + 1; x < plot.right(); ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) == trace && !view->LegendRect().contains(x, y)) {
                    if (top < 0) top = y;
                    if (y == top) columns.push_back(x);
                    lowest = y;
                }
        ASSERT_GE(top, 0) << "no trace drawn";
        EXPECT_EQ(columns, std::vector<int>{*view->PixelMap().Position(1000.0)});
        EXPECT_GT(lowest - top, plot.height() / 3);
    }
}

TEST(PlotExport, TextPngAndSvgHoldTheTraceUnderTheCaptionAndBadPathsAreRefused) {
    // One frame of 1 kHz over a faint floor, no window, averaged once.
    const SpectralSettings settings{.format = SampleFormat::Make(48000, 1, 2), .fftSize = 8192};
    TSpectralData data(settings, SpectralScaling{}, 0);
    for (uint32_t i = 0; i < settings.fftSize; ++i)
        data.TimeSamples()[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * i / 48.0) + 1e-4 * std::sin(i * 1.7));
    ASSERT_TRUE(data.Transform());
    data.Average();
    TSpectrumView view{10.0, 22000.0, FrequencyScale::Logarithmic};
    view.resize(600, 400);  // the narrowest export the caption is meant to fit
    view.OnFrame(EngineFrame{.spectrums = {&data}});
    QtHost host;
    host.SetQuiet(true);
    view.SetHost(&host);
    TExportCaptionInputs inputs{"Spectrum", "/data/tone.wav", {}};
    inputs.settings.Mode.OpMode = kModePostProcessing;
    view.SetCaptionSource([&inputs] { return inputs; });
    const std::string settingsLine = ExportCaptionLines(inputs, {})[1];

    // The text starts with the caption as comments; a reader that skips that fixed count of lines
    // (genfromtxt's skip_header) gets the header and the displayed values themselves, the no-value
    // level as an empty field.
    const std::string exported = view.ExportText();
    std::istringstream in(exported);
    std::string first, second;
    std::getline(in, first), std::getline(in, second);
    EXPECT_EQ(first.rfind("# Spectrum — tone.wav — 20", 0), 0u) << first;
    EXPECT_EQ(second, "# " + settingsLine);
    const auto rows = testing::ParseTabTable(exported.substr(first.size() + second.size() + 2));
    ASSERT_EQ(rows[0], (std::vector<std::string>{"Frequency (Hz)", "Left (Relative Amplitude (dB))"}));
    ASSERT_EQ(rows.size(), data.Bins());  // the never-averaged last bin is left out
    for (uint32_t k = 0; k + 1 < data.Bins(); ++k) {
        ASSERT_EQ(rows[k + 1].size(), 2u) << k;
        ASSERT_EQ(std::strtof(rows[k + 1][0].c_str(), nullptr), data.BinFrequency(k)) << k;
        if (SpectralDisplayValue(data, k) <= -999.9) ASSERT_EQ(rows[k + 1][1], "") << k;
        else ASSERT_EQ(std::strtof(rows[k + 1][1].c_str(), nullptr), static_cast<float>(SpectralDisplayValue(data, k))) << k;
    }
    ASSERT_TRUE(view.CopyAsText());
    EXPECT_EQ(host.ClipboardText(), view.ExportText());

    TempDir dir;
    const std::string png = dir.File("spectrum.png"), svg = dir.File("spectrum.svg");
    // The PNG is the view as shown above a strip of at most two caption lines that is not blank.
    ASSERT_TRUE(view.SaveImage(png, TPlotView::ImageFormat::Png));
    const QImage saved = QImage(QString::fromStdString(png), "PNG").convertToFormat(QImage::Format_RGB32);
    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.width(), shown.width());
    EXPECT_GT(saved.height(), shown.height());
    EXPECT_LE(saved.height() - shown.height(), 2 * view.fontMetrics().lineSpacing() + 12) << "the caption wrapped";
    EXPECT_EQ(saved.copy(shown.rect()), shown);
    int lit = 0;
    for (int y = shown.height(); y < saved.height(); ++y)
        for (int x = 0; x < saved.width(); ++x) lit += qGray(saved.pixel(x, y)) > 64;
    EXPECT_GT(lit, 100) << "an empty caption strip";
    // The SVG is whole, and its longest polyline, the trace, has a point in each column with data.
    ASSERT_TRUE(view.SaveImage(svg, TPlotView::ImageFormat::Svg));
    const QString text = QString::fromStdString(testing::ReadFile(svg));
    EXPECT_TRUE(text.trimmed().endsWith("</svg>"));
    EXPECT_TRUE(text.contains(QString::fromStdString(settingsLine)));
    qsizetype longest = 0, columns = 0;
    for (const auto& m : QRegularExpression(R"re(<polyline[^>]*points="([^"]*)")re").globalMatch(text))
        longest = std::max(longest, m.captured(1).split(' ', Qt::SkipEmptyParts).size());
    for (const auto& c : ReduceToColumns(view.TraceFrequencies(0), view.TraceValues(0), view.PixelMap()))
        columns += c.present;
    EXPECT_GE(longest, columns);
    EXPECT_TRUE(host.Messages().empty());

    // Paths that cannot be written are refused with a message; a file in the way stays as it was.
    const std::string blocker = dir.File("blocker");
    testing::WriteFile(blocker, "keep");
    for (const std::string& path : {dir.File("no/such/folder/view.png"), dir.path(), std::string(), blocker + "/v"})
        for (auto format : {TPlotView::ImageFormat::Png, TPlotView::ImageFormat::Svg}) {
            const size_t before = host.Messages().size();
            EXPECT_FALSE(view.SaveImage(path, format)) << path;
            ASSERT_EQ(host.Messages().size(), before + 1) << path;
            EXPECT_NE(host.Messages().back().find("could not be saved to \"" + path + "\""), std::string::npos);
        }
    EXPECT_EQ(testing::ReadFile(blocker), "keep");
}

TEST(ViewMenu, TheThreeViewsShowTheLiveRunAndAClosedViewLeavesTheEngine) {
    using View = TMainWin::View;
    TempDir dir;
    Shell s(dir.path());
    s.window->ViewAction(View::TimeSeries)->trigger();
    s.window->ViewAction(View::Phase)->trigger();
    auto* series = dynamic_cast<TTimeSeriesView*>(s.window->ViewWidget(View::TimeSeries));
    auto* phase = dynamic_cast<TPhaseView*>(s.window->ViewWidget(View::Phase));
    ASSERT_TRUE(series && phase);
    s.window->resize(1000, 700);
    s.window->findChild<QAction*>("Tile Vertical")->trigger();
    ASSERT_TRUE(s.window->RunAnalyser());
    TSpectrumView* spectrum = s.window->SpectrumView();
    ASSERT_TRUE(SpinUntil([&] { return spectrum->FramesShown() >= 3 && phase->FramesShown() >= 3; }));
    // The time series holds one frame of the tone: its samples swing both ways.
    const auto [lo, hi] = std::minmax_element(series->TraceValues(0).begin(), series->TraceValues(0).end());
    EXPECT_EQ(series->TraceValues(0).size(), s.settings.Settings().FFTsize);
    EXPECT_TRUE(*lo < -0.1f && *hi > 0.1f);

    // The phase view's own close box, as the menu does: the mark goes, its room goes to the
    // others, and the run carries on without it.
    for (QMdiSubWindow* sub : s.window->Client()->subWindowList())
        if (sub->widget() == phase) sub->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // what the event loop does next
    EXPECT_EQ(s.window->ViewWidget(View::Phase), nullptr);
    EXPECT_FALSE(s.window->ViewAction(View::Phase)->isChecked());
    const QRect area = s.window->Client()->viewport()->rect();
    for (View v : {View::TimeSeries, View::Spectrum})
        EXPECT_EQ(s.window->ViewWidget(v)->parentWidget()->size(), QSize(area.width() / 2, area.height()));
    const uint32_t shown = spectrum->FramesShown();
    ASSERT_TRUE(SpinUntil([&] { return spectrum->FramesShown() >= shown + 3; }));
    // The menu closes a view as well, and opens a fresh one.
    s.window->ViewAction(View::Spectrum)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(s.window->SpectrumView(), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(s.window->ViewWidget(View::TimeSeries)->parentWidget()->size(), area.size());
    s.window->ViewAction(View::Spectrum)->trigger();
    ASSERT_NE(s.window->SpectrumView(), nullptr);
    ASSERT_TRUE(SpinUntil([&] { return s.window->SpectrumView()->FramesShown() >= 2; }));
    s.window->StopAnalyser();
}

TEST(QtHostCancel, EscOrClickDuringAPollCancelsOnceAndEarlierInputDoesNot) {
    QtHost host;
    QMainWindow window;
    window.show();
    host.SetMainWindow(&window);
    QApplication::processEvents();
    auto esc = [&] { QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {})); };
    auto click = [&] {
        QCoreApplication::postEvent(&window, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5),
                                                             window.mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                                                             Qt::LeftButton, {}));
    };
    EXPECT_FALSE(host.PollCancelRequest());
    esc();
    EXPECT_TRUE(host.PollCancelRequest());
    EXPECT_FALSE(host.PollCancelRequest()) << "one Esc cancels one poll";
    click();
    EXPECT_TRUE(host.PollCancelRequest());
    // Input handled by the normal event loop before a job starts is not a request.
    esc();
    click();
    QApplication::processEvents();
    EXPECT_FALSE(host.PollCancelRequest());
}

TEST(Startup, HeadlessNeverTouchesTheWindowSystemAndNoDisplayFallsBackToIt) {
    TempDir dir;
    auto zeltrak = [&](const std::string& environment, const std::string& args) {
        return RunCommand("env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u ZELTRAK_LOOPBACK " + environment + " HOME=" +
                          dir.path() + " timeout 60 " + ZELTRAK_BINARY + " " + args + " 2>&1");
    };
    // A platform that does not exist aborts any Qt GUI start: success means Qt Widgets never started.
    for (const char* environment : {"QT_QPA_PLATFORM=nowhere", "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"}) {
        const bool headless = environment[0] == 'Q';
        const auto [status, out] = zeltrak(environment, headless ? "--headless --frames 2" : "--frames 2");
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find("frames 2"), std::string::npos) << out;
        EXPECT_EQ(out.find("no display found; running --headless") != std::string::npos, !headless) << out;
    }
    // With a display the window starts instead, still running after two frames until told to end.
    const std::string log = dir.File("window.log");
    const std::string out = zeltrak("QT_QPA_PLATFORM=offscreen", "--frames 2 >" + log +
                                   " 2>&1 & pid=$!; sleep 3; kill $pid; wait $pid; echo status=$?; cat " + log).second;
    EXPECT_NE(out.find("status=143"), std::string::npos) << out;  // ended by the signal
    EXPECT_EQ(out.find("running --headless"), std::string::npos) << out;
}

}  // namespace
}  // namespace zeltrak

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
