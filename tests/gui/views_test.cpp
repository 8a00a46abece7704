// The plot views offscreen: frames built from real spectral and series objects, read back from
// the grabbed pixels, the cursor readout, and the PNG, SVG and text exports read back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QXmlStreamReader>
#include <cmath>
#include <complex>
#include <random>
#include <cstdlib>
#include <sstream>

#include "dsp/spectral_data.h"
#include "engine/engine_listener.h"
#include "engine/processing_settings.h"
#include "engine/series_data.h"
#include "support/temp_dir.h"
#include "support/tab_table.h"
#include "views/qt/phase_view.h"
#include "views/qt/qt_host.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A spectrum of one frame of x (no window), averaged once.
std::unique_ptr<TSpectralData> SpectrumOf(const std::vector<float>& x, uint32_t rate) {
    SpectralSettings settings;
    settings.format = SampleFormat::Make(rate, 1, 2);
    settings.fftSize = static_cast<uint32_t>(x.size());
    auto s = std::make_unique<TSpectralData>(settings, SpectralScaling{}, 0);
    EXPECT_FALSE(s->error());
    std::copy(x.begin(), x.end(), s->TimeSamples());
    EXPECT_TRUE(s->Transform());
    s->Average();
    return s;
}

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

bool Lit(const QImage& image, int x, int y, const QColor& colour) {
    return (image.pixel(x, y) & 0xFFFFFF) == (colour.rgb() & 0xFFFFFF);
}

// Rows of column x lit in the colour, top to bottom.
std::vector<int> LitRows(const QImage& image, const QRect& plot, int x, const QColor& colour) {
    std::vector<int> rows;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        if (Lit(image, x, y, colour)) rows.push_back(y);
    return rows;
}

int RowOf(const QRect& plot, double top, double bottom, double v) {
    return plot.top() + static_cast<int>(std::lround((top - v) / (top - bottom) * (plot.height() - 1)));
}

TEST(PhaseView, SineShowsItsPhaseAtItsBin) {
    // 256 points at 48 kHz: bin 40 is 7500 Hz. cos(w n + 60°) has phase +60° there.
    const uint32_t n = 256, bin = 40;
    const double phase = 60.0 * kPi / 180.0;
    std::vector<float> x(n);
    for (uint32_t i = 0; i < n; ++i) x[i] = static_cast<float>(0.5 * std::cos(2 * kPi * bin * i / n + phase));
    const auto s = SpectrumOf(x, 48000);
    // Independent: a direct DFT of the same samples at the bin.
    std::complex<double> dft = 0;
    for (uint32_t i = 0; i < n; ++i) dft += static_cast<double>(x[i]) * std::polar(1.0, -2 * kPi * bin * i / n);
    const double expected = std::arg(dft) * 180.0 / kPi;
    ASSERT_NEAR(expected, 60.0, 1e-3);

    TPhaseView view(0.0, 24000.0, kFreqLinear);
    view.resize(900, 500);
    EngineFrame frame;
    frame.spectrums[0] = s.get();
    view.OnFrame(frame);
    ASSERT_EQ(view.TraceValues(0).size(), n / 2);
    EXPECT_NEAR(view.TraceValues(0)[bin], expected, 1e-2);
    EXPECT_FLOAT_EQ(view.TraceFrequencies(0)[bin], 7500.0f);
    EXPECT_TRUE(view.TraceValues(1).empty());

    // Fewer bins than columns: each bin has a column of its own and the line passes through
    // its row on the fixed −180 … 180 scale.
    const QImage image = Grab(view);
    const QRect plot = view.PlotRect();
    const int column = *view.PixelMap().Position(7500.0);
    const int row = RowOf(plot, 180.0, -180.0, expected);
    const auto rows = LitRows(image, plot, column, TPlotView::PlotColor(0));
    ASSERT_FALSE(rows.empty());
    EXPECT_LE(std::abs(rows.front() - row), 1) << rows.front() << " vs " << row;
    // On a logarithmic axis the same bin lands in its logarithmic column.
    TPhaseView logView(20.0, 22000.0, kFreqLogarithmic);
    logView.resize(900, 500);
    logView.OnFrame(frame);
    const QImage logImage = Grab(logView);
    const int logColumn = *logView.PixelMap().Position(7500.0);
    EXPECT_NEAR(logColumn - plot.left(), plot.width() * std::log(7500.0 / 20.0) / std::log(22000.0 / 20.0), 1.0);
    const auto logRows = LitRows(logImage, plot, logColumn, TPlotView::PlotColor(0));
    ASSERT_FALSE(logRows.empty());
    EXPECT_LE(std::abs(logRows.front() - row), 1);

    // A run start clears the traces.
    view.OnStarted();
    EXPECT_TRUE(view.TraceValues(0).empty());
    EXPECT_EQ(view.FramesShown(), 0u);
}

TEST(PhaseView, DenseTraceFillsEachColumnBetweenItsExtremes) {
    // 200,000 random phases over 900 columns: every column holds many points.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-150.0f, 150.0f);
    std::vector<float> f(200000), v(200000);
    for (size_t k = 0; k < f.size(); ++k) {
        f[k] = static_cast<float>(k) * 0.12f;
        v[k] = value(rng) * static_cast<float>(0.2 + 0.8 * std::abs(std::sin(k * 1e-4)));
    }
    TPhaseView view(0.0, 24000.0, kFreqLinear);
    view.resize(972, 400);
    view.SetTrace(0, f, v);
    const QImage image = Grab(view);
    const QRect plot = view.PlotRect();
    const TFrequencyPixelMap map = view.PixelMap();
    // Independent: each column's extremes by looking every point up on its own.
    std::vector<float> lo(plot.width(), INFINITY), hi(plot.width(), -INFINITY);
    for (size_t k = 0; k < f.size(); ++k) {
        if (const auto c = map.Column(f[k])) {
            lo[*c] = std::min(lo[*c], v[k]);
            hi[*c] = std::max(hi[*c], v[k]);
        }
    }
    const QColor colour = TPlotView::PlotColor(0);
    for (int c = 1; c + 1 < plot.width(); ++c) {
        ASSERT_LE(lo[c], hi[c]) << c;
        const int top = RowOf(plot, 180.0, -180.0, hi[c]), bottom = RowOf(plot, 180.0, -180.0, lo[c]);
        const auto rows = LitRows(image, plot, plot.left() + c, colour);
        // The whole extent is drawn and contiguous ...
        ASSERT_FALSE(rows.empty()) << c;
        EXPECT_EQ(static_cast<int>(rows.size()), rows.back() - rows.front() + 1) << c;
        EXPECT_LE(rows.front(), top) << c;
        EXPECT_GE(rows.back(), bottom) << c;
        // ... and the joins never reach beyond the neighbouring columns' extents.
        const int reachTop =
            std::min({top, RowOf(plot, 180.0, -180.0, hi[c - 1]), RowOf(plot, 180.0, -180.0, hi[c + 1])});
        const int reachBottom =
            std::max({bottom, RowOf(plot, 180.0, -180.0, lo[c - 1]), RowOf(plot, 180.0, -180.0, lo[c + 1])});
        EXPECT_GE(rows.front(), reachTop) << c;
        EXPECT_LE(rows.back(), reachBottom) << c;
    }
}

TEST(TimeSeriesView, PulsesAppearInTheColumnsOfTheirTimes) {
    const SampleFormat format = SampleFormat::Make(48000, 2, 2);
    TSeriesData left(format, 4096, 1.0f, 1, false), right(format, 4096, 1.0f, 1, false);
    for (uint32_t i = 0; i < 4096; ++i) {
        left.SetSample(i, static_cast<int32_t>(1000 * std::sin(i * 0.01)));
        right.SetSample(i, 0);
    }
    left.SetSample(1000, 20000);
    right.SetSample(3000, -30000);

    TTimeSeriesView view;
    view.resize(1000, 500);
    EngineFrame frame;
    frame.left = &left;
    frame.right = &right;
    frame.analysed = false;  // an excluded frame still updates the time series
    view.OnFrame(frame);
    ASSERT_EQ(view.TraceValues(0).size(), 4096u);
    EXPECT_FLOAT_EQ(view.TraceValues(0)[1000], 20000.0f / 32767.0f);
    EXPECT_FLOAT_EQ(view.TraceValues(1)[3000], -30000.0f / 32767.0f);
    EXPECT_FLOAT_EQ(view.TraceTimes(0)[48], 0.001f);

    const QImage image = Grab(view);
    const QRect plot = view.PlotRect();
    const TFrequencyPixelMap map = view.PixelMap();
    // The highest green pixel lies in the column of sample 1000, the lowest red one in that
    // of sample 3000.
    int topRow = plot.bottom() + 1, topColumn = -1, bottomRow = -1, bottomColumn = -1;
    for (int x = plot.left() + 1; x < plot.right(); ++x) {
        for (int y = plot.top(); y <= plot.bottom(); ++y) {
            if (Lit(image, x, y, TPlotView::PlotColor(0)) && y < topRow) {
                topRow = y;
                topColumn = x;
            }
            if (Lit(image, x, y, TPlotView::PlotColor(1)) && y > bottomRow) {
                bottomRow = y;
                bottomColumn = x;
            }
        }
    }
    EXPECT_EQ(topColumn, *map.Position(1000.0 / 48000.0));
    EXPECT_EQ(bottomColumn, *map.Position(3000.0 / 48000.0));
    EXPECT_LT(topRow, plot.center().y());
    EXPECT_GT(bottomRow, plot.center().y());

    // A decimated frame: the samples kept are Ratio() apart in time.
    TSeriesData decimated(format, 4096, 1.0f, 2, false);
    for (uint32_t i = 0; i < 4096; ++i) decimated.SetSample(i, static_cast<int32_t>(i));
    ASSERT_TRUE(decimated.Decimate());
    EngineFrame mono;
    mono.left = &decimated;
    view.OnFrame(mono);
    ASSERT_EQ(view.TraceValues(0).size(), 2048u);
    EXPECT_FLOAT_EQ(view.TraceTimes(0)[1], 2.0f / 48000.0f);
    EXPECT_FLOAT_EQ(view.TraceValues(0)[100], 200.0f / 32767.0f);
    EXPECT_TRUE(view.TraceValues(1).empty());  // mono: no right series
}

struct TwoSpectrums {
    std::unique_ptr<TSpectralData> left, right;
    EngineFrame frame;
    TwoSpectrums() {
        const uint32_t n = 8192;
        std::vector<float> a(n), b(n);
        for (uint32_t i = 0; i < n; ++i) {
            a[i] = static_cast<float>(0.5 * std::sin(2 * kPi * 1000.0 * i / 48000.0) + 1e-4 * std::sin(i * 1.7));
            b[i] = static_cast<float>(0.1 * std::sin(2 * kPi * 5000.0 * i / 48000.0) + 1e-4 * std::cos(i * 0.3));
        }
        left = SpectrumOf(a, 48000);
        right = SpectrumOf(b, 48000);
        frame.spectrums[0] = left.get();
        frame.spectrums[1] = right.get();
    }
};

TEST(PlotCursor, ReadoutShowsTheNearestBinOfEachTrace) {
    TwoSpectrums data;
    TSpectrumView view(10.0, 22000.0, kFreqLogarithmic);
    view.resize(1200, 600);
    view.OnFrame(data.frame);
    EXPECT_EQ(view.CursorColumn(), -1);
    EXPECT_EQ(view.CursorReadout(), "");

    ASSERT_TRUE(view.SetCursorX(1000.0));
    const TFrequencyPixelMap map = view.PixelMap();
    EXPECT_EQ(view.CursorColumn(), *map.Column(1000.0));
    // Independent: the bin nearest to the centre of the cursor column, by scanning all bins.
    const double centre = std::sqrt(map.ColumnEdge(view.CursorColumn()) * map.ColumnEdge(view.CursorColumn() + 1));
    EXPECT_NEAR(view.CursorX(), centre, centre * 1e-9);
    for (int trace = 0; trace < 2; ++trace) {
        const TSpectralData& s = trace == 0 ? *data.left : *data.right;
        uint32_t best = 0;
        for (uint32_t k = 0; k < s.Bins(); ++k)
            if (std::abs(s.BinFrequency(k) - centre) < std::abs(s.BinFrequency(best) - centre)) best = k;
        ASSERT_EQ(view.CursorPoint(trace), best);
        char value[32];
        std::snprintf(value, sizeof value, "%.2f", s.GetValue(best));
        EXPECT_NE(view.CursorReadout().find(std::string(trace == 0 ? "Left: " : "Right: ") + value), std::string::npos)
            << view.CursorReadout();
    }
    char hz[32];
    std::snprintf(hz, sizeof hz, "%.1f Hz", centre);
    EXPECT_EQ(view.CursorReadout().rfind(hz, 0), 0u) << view.CursorReadout();
    EXPECT_FALSE(view.SetCursorX(5.0));  // below the axis: the cursor stays
    EXPECT_EQ(view.CursorColumn(), *map.Column(1000.0));

    // Keys move it one column, a click puts it under the mouse, a drag follows.
    const int before = view.CursorColumn();
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(&view, &right);
    EXPECT_EQ(view.CursorColumn(), before + 1);
    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(&view, &left);
    QApplication::sendEvent(&view, &left);
    EXPECT_EQ(view.CursorColumn(), before - 1);
    const QRect plot = view.PlotRect();
    const QPointF at(plot.left() + 300, plot.center().y());
    QMouseEvent press(QEvent::MouseButtonPress, at, view.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    EXPECT_EQ(view.CursorColumn(), 300);
    const QPointF beyond(plot.right() + 40, plot.center().y());
    QMouseEvent drag(QEvent::MouseMove, beyond, view.mapToGlobal(beyond), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &drag);
    EXPECT_EQ(view.CursorColumn(), plot.width() - 1);  // held at the plot's edge

    // The cursor is drawn in its column.
    const QImage image = Grab(view);
    EXPECT_EQ(image.pixel(plot.left() + plot.width() - 1, plot.center().y()) & 0xFFFFFF, 0xC8C8C8u);
}

TEST(PlotExport, TextReadsBackAsTheTracesAndGoesToTheClipboard) {
    TwoSpectrums data;
    TSpectrumView view(10.0, 22000.0, kFreqLogarithmic);
    view.resize(800, 400);
    view.OnFrame(data.frame);
    const auto rows = testing::ParseTabTable(view.ExportText());
    const uint32_t bins = data.left->Bins();
    ASSERT_EQ(rows.size(), bins + 1);
    ASSERT_EQ(rows[0].size(), 3u);
    EXPECT_EQ(rows[0][0], "Frequency (Hz)");
    EXPECT_EQ(rows[0][1].rfind("Left", 0), 0u);
    EXPECT_EQ(rows[0][2].rfind("Right", 0), 0u);
    for (uint32_t k = 0; k < bins; ++k) {
        ASSERT_EQ(rows[k + 1].size(), 3u) << k;
        ASSERT_EQ(std::strtof(rows[k + 1][0].c_str(), nullptr), data.left->BinFrequency(k)) << k;
        // The exported numbers are the displayed values themselves; the no-value level is an
        // empty field.
        for (int c = 1; c <= 2; ++c) {
            const double v = (c == 1 ? data.left : data.right)->GetValue(k);
            if (v <= -999.9) {
                ASSERT_EQ(rows[k + 1][c], "") << k;
            } else {
                ASSERT_EQ(std::strtof(rows[k + 1][c].c_str(), nullptr), static_cast<float>(v)) << k;
            }
        }
    }

    QtHost host;
    host.SetQuiet(true);
    view.SetHost(&host);
    ASSERT_TRUE(view.CopyAsText());
    EXPECT_EQ(host.ClipboardText(), view.ExportText());

    // The time series exports time and both channels.
    TTimeSeriesView series;
    series.SetSamples(0, {0.5f, -0.25f, 0.125f}, 0.5);
    series.SetSamples(1, {1.0f, 2.0f, 3.0f}, 0.5);
    EXPECT_EQ(series.ExportText(),
              "Time (s)\tLeft (Full scale)\tRight (Full scale)\n0\t0.5\t1\n0.5\t-0.25\t2\n1\t0.125\t3\n");
}

TEST(PlotExport, ContextMenuOffersTheExportsAndCopiesTheText) {
    TTimeSeriesView view;
    view.resize(500, 300);
    view.SetSamples(0, {0.25f, -0.5f}, 0.001);
    QtHost host;
    host.SetQuiet(true);
    host.SetClipboardText("before");
    view.SetHost(&host);
    view.show();
    QStringList texts;
    // The menu runs its own loop: pick from it once it is up.
    QTimer::singleShot(50, [&] {
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions()) texts << a->text();
        for (QAction* a : menu->actions())
            if (a->text() == "Copy as Text") a->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 100), view.mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(&view, &event);
    EXPECT_EQ(texts, (QStringList{"Save as PNG...", "Save as SVG...", "Copy as Text"}));
    EXPECT_EQ(host.ClipboardText(), "Time (s)\tLeft (Full scale)\n0\t0.25\n0.001\t-0.5\n");
}

// The polylines of the SVG, with the stroke colour in force around each.
std::vector<std::pair<QString, int>> SvgPolylines(const QByteArray& svg, bool* wellFormed) {
    std::vector<std::pair<QString, int>> lines;
    std::vector<QString> strokes{QString()};
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString stroke = xml.attributes().value("stroke").toString();
            strokes.push_back(stroke.isEmpty() ? strokes.back() : stroke);
            if (xml.name() == QStringLiteral("polyline")) {
                const QString points = xml.attributes().value("points").toString().trimmed();
                lines.emplace_back(strokes.back(), static_cast<int>(points.split(' ', Qt::SkipEmptyParts).size()));
            }
        } else if (xml.isEndElement()) {
            strokes.pop_back();
        }
    }
    *wellFormed = !xml.hasError();
    return lines;
}

TEST(PlotExport, PngAndSvgFilesHoldTheDrawing) {
    TwoSpectrums data;
    TSpectrumView view(10.0, 22000.0, kFreqLogarithmic);
    view.resize(800, 400);
    view.OnFrame(data.frame);
    QtHost host;
    host.SetQuiet(true);
    view.SetHost(&host);
    testing::TempDir dir;

    const std::string png = dir.File("spectrum.png");
    ASSERT_TRUE(view.SaveImage(png, TPlotView::ImageFormat::Png));
    QImage read;
    ASSERT_TRUE(read.load(QString::fromStdString(png), "PNG"));
    EXPECT_EQ(read.size(), view.size());
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), Grab(view));

    const std::string svgPath = dir.File("spectrum.svg");
    ASSERT_TRUE(view.SaveImage(svgPath, TPlotView::ImageFormat::Svg));
    QFile file(QString::fromStdString(svgPath));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    bool wellFormed = false;
    const auto lines = SvgPolylines(file.readAll(), &wellFormed);
    EXPECT_TRUE(wellFormed);
    // One polyline per trace, in the trace's colour, with at least a point per column with data.
    int columnsWithData = 0;
    for (const auto& c : ReduceToColumns(view.TraceFrequencies(0), view.TraceValues(0), view.PixelMap()))
        columnsWithData += c.present;
    for (int trace = 0; trace < 2; ++trace) {
        const QString colour = TPlotView::PlotColor(trace).name();
        int found = 0;
        for (const auto& [stroke, points] : lines) {
            if (stroke.compare(colour, Qt::CaseInsensitive) != 0) continue;
            ++found;
            EXPECT_GE(points, columnsWithData);
        }
        EXPECT_EQ(found, 1) << colour.toStdString();
    }
    EXPECT_TRUE(host.Messages().empty());
}

TEST(PlotExport, UnwritablePathsAreRefusedWithAMessage) {
    TSpectrumView view(10.0, 22000.0, kFreqLinear);
    view.resize(400, 300);
    view.SetTrace(0, {100.0f, 200.0f}, {-10.0f, -20.0f});
    QtHost host;
    host.SetQuiet(true);
    view.SetHost(&host);
    testing::TempDir dir;
    const std::string missing = dir.File("no/such/folder/view.png");
    for (const std::string& path : {missing, dir.path(), std::string()}) {
        for (auto format : {TPlotView::ImageFormat::Png, TPlotView::ImageFormat::Svg}) {
            const size_t before = host.Messages().size();
            EXPECT_FALSE(view.SaveImage(path, format)) << path;
            ASSERT_EQ(host.Messages().size(), before + 1) << path;
            EXPECT_NE(host.Messages().back().find("could not be saved to \"" + path + "\""), std::string::npos)
                << host.Messages().back();
        }
    }
    // A file that is in the way stays as it was after a failed save over a folder path below it.
    const std::string blocker = dir.File("blocker");
    testing::WriteFile(blocker, "keep");
    EXPECT_FALSE(view.SaveImage(blocker + "/view.svg", TPlotView::ImageFormat::Svg));
    EXPECT_EQ(testing::ReadFile(blocker), "keep");
}

}  // namespace
}  // namespace zeltrak
