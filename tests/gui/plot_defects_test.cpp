// The plot views as a new user meets them, offscreen: the cursor on bins, axis texts, tick
// labels, the exported table and the frequency range.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "dsp/spectral_data.h"
#include "support/tab_table.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"
#include "views/view_text.h"

namespace zeltrak {
namespace {

// A spectrum of FFT 32768 at 48 kHz with a 440 Hz tone on bin 300 and a weaker peak on bin 1000.
void ShowTones(TSpectrumView& view) {
    std::vector<float> x(16384), v(16384, -100.0f);
    for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(k * 48000.0 / 32768.0);
    v[299] = v[301] = -20.0f, v[300] = -6.0f, v[1000] = -30.0f;
    view.SetTrace(0, x, v);
}

int CursorBin(const TSpectrumView& view) {
    const std::optional<size_t> k = view.CursorPoint(0);
    // Only a cursor exactly on a bin counts.
    return k && view.TraceFrequencies(0)[*k] == view.CursorX() ? static_cast<int>(*k) : -1;
}

TEST(PlotCursor, RestsOnBinsStepsBinByBinAndJumpsToPeaks) {
    TSpectrumView view(10.0, 22000.0, FrequencyScale::Linear);
    view.resize(800, 400);
    ShowTones(view);
    // A click anywhere lands on a bin, and the readout names that bin's frequency.
    view.SetCursorColumn(*view.PixelMap().Column(440.0));
    ASSERT_GE(CursorBin(view), 0);
    EXPECT_EQ(view.CursorReadout().substr(0, view.CursorReadout().find("   ")),
              FormatTraceX(view.Model(), view.TraceFrequencies(0)[static_cast<size_t>(CursorBin(view))]));
    struct Press { int key; Qt::KeyboardModifiers modifiers; int bin; };
    for (const Press& p : {Press{Qt::Key_Home, {}, 300}, Press{Qt::Key_Right, {}, 301}, Press{Qt::Key_Left, {}, 300},
                           Press{Qt::Key_Left, {}, 299}, Press{Qt::Key_Period, {}, 300},
                           Press{Qt::Key_Right, Qt::ControlModifier, 1000}, Press{Qt::Key_Comma, {}, 300},
                           Press{Qt::Key_Right, Qt::ControlModifier, 1000}, Press{Qt::Key_P, {}, 300}}) {
        QKeyEvent event(QEvent::KeyPress, p.key, p.modifiers);
        QApplication::sendEvent(&view, &event);
        EXPECT_EQ(CursorBin(view), p.bin) << "key " << p.key;
    }
}

TEST(PlotAxisTexts, FollowTheScalingNameTheirUnitsAndStayClearOfTheLabels) {
    struct Scaling { AmplitudeScale amplitude; bool density; DensityUnits units; uint32_t weighting; const char* label; };
    for (const Scaling& c : {Scaling{AmplitudeScale::Decibels, false, {}, 0, "Relative Amplitude (dB)"},
                             Scaling{AmplitudeScale::Decibels, true, DensityUnits::SquaredPerHertz, 1,
                                     "Relative Amplitude (dB), PSD: Units^2/Hz, A weighted"},
                             Scaling{AmplitudeScale::Decibels, false, {}, 3, "Relative Amplitude (dB), C weighted"},
                             Scaling{AmplitudeScale::Linear, true, DensityUnits::PerRootHertz, 0,
                                     "Percent Full Scale, PSD: Units/sqrt(Hz)"}}) {
        const SpectralSettings settings{.format = SampleFormat::Make(48000, 1, 2), .fftSize = 1024};
        TSpectralData data(settings, SpectralScaling{.amplitudeScale = c.amplitude, .frequencyScale = FrequencyScale::Linear,
                                                     .spectralDensity = c.density, .densityUnits = c.units,
                                                     .standardWeighting = c.weighting}, 0);
        for (uint32_t i = 0; i < settings.fftSize; ++i) data.TimeSamples()[i] = static_cast<float>(std::sin(i * 0.3));
        ASSERT_TRUE(data.Transform());
        data.Average();
        TSpectrumView view(10.0, 22000.0, FrequencyScale::Linear);
        view.OnFrame(EngineFrame{.spectrums = {&data}});
        EXPECT_EQ(view.UnitLabel(), c.label);
        const std::string text = view.ExportText();
        EXPECT_EQ(text.substr(0, text.find('\n')), std::string("Frequency (Hz)\tLeft (") + c.label + ")");
    }
    // The x unit, left of the plot, ends clear of every label: "0.0" centred on the origin included.
    const auto widthOf = [](const std::string& s) { return 7 * static_cast<int>(s.size()); };
    struct Axis { TraceAxis axis; double hi; const char* unit; };
    for (const Axis& c : {Axis{TraceAxis::Frequency, 22000.0, "Hz"}, Axis{TraceAxis::Time, 0.0017, "ms"},
                          Axis{TraceAxis::Time, 0.000021, "ms"}, Axis{TraceAxis::Time, 3.0, "s"}}) {
        TTraceModel model(1, c.axis, TraceValueKind::Sample);
        model.SetXRange(0.0, c.hi);
        EXPECT_EQ(XAxisUnit(model), c.unit);
        const TFrequencyPixelMap map(0.0, c.hi, 600, false, 56);
        const FrequencyPositionFn at = [&](double x) { return map.Position(x); };
        const auto marks = c.axis == TraceAxis::Time ? BuildTimeAxisMarks(0.0, c.hi, 600, at)
                                                     : BuildFrequencyAxisMarks(0.0, c.hi, FrequencyScale::Linear, 600, at);
        const int right = XAxisUnitRight(marks, 56, 6, widthOf);
        EXPECT_GE(right - widthOf(c.unit), 0) << c.unit << " leaves the view";
        for (const TAxisMark& m : marks)
            if (!m.label.empty()) EXPECT_LT(right, m.position - widthOf(m.label) / 2) << m.label;
    }
}

TEST(PlotTextExport, EveryRowHoldsAValueAndTimesNeedNoExponent) {
    // A spectrum averaged once: every bin the table lists has a value, the last one included.
    const SpectralSettings settings{.format = SampleFormat::Make(48000, 1, 2), .fftSize = 1024};
    TSpectralData data(settings, SpectralScaling{}, 0);
    for (uint32_t i = 0; i < settings.fftSize; ++i) data.TimeSamples()[i] = static_cast<float>(std::sin(i * 0.3) + 1e-3 * std::sin(i * 1.7));
    ASSERT_TRUE(data.Transform());
    data.Average();
    TSpectrumView spectrum(10.0, 22000.0, FrequencyScale::Linear);
    spectrum.OnFrame(EngineFrame{.spectrums = {&data}});
    // 1024 samples at 48 kHz: the times of the series are multiples of 1/48000 s.
    TTimeSeriesView series;
    series.SetSamples(0, std::vector<float>(1024, 0.25f), 1.0 / 48000.0);
    for (const TPlotView* view : std::initializer_list<const TPlotView*>{&spectrum, &series}) {
        const std::string text = view->ExportText();
        EXPECT_EQ(text.find_first_of("eE", text.find('\n')), std::string::npos) << "an exponent in the table";
        const auto rows = testing::ParseTabTable(text);
        const std::vector<float>& x = view->Model().Trace(0).x;
        ASSERT_EQ(rows.size(), x.size() + 1);
        for (size_t r = 1; r < rows.size(); ++r) {
            ASSERT_EQ(rows[r].size(), 2u) << r;
            EXPECT_EQ(std::strtof(rows[r][0].c_str(), nullptr), x[r - 1]) << r;
            EXPECT_NE(rows[r][1], "") << "row " << r << " of " << rows.size() - 1 << ": " << rows[r][0];
        }
    }
}

TEST(SpectrumRange, TheDefaultRangeReachesTheTopOfTheDataAndAChosenOneStays) {
    struct Case { double stop; double rate; double hi; };  // hi NaN: the top bin of the data
    for (const Case& c : {Case{22000.0, 48000.0, NAN}, Case{22000.0, 32000.0, NAN}, Case{10000.0, 48000.0, 10000.0},
                          Case{22000.0, 0.0, 22000.0}}) {
        TSpectrumView view(10.0, c.stop, FrequencyScale::Logarithmic);
        view.resize(800, 400);
        std::vector<float> x, v;
        for (int k = 0; c.rate > 0.0 && k < 511; ++k) x.push_back(static_cast<float>(k * c.rate / 1024.0)), v.push_back(-50.0f);
        if (!x.empty()) view.SetTrace(0, x, v);
        EXPECT_EQ(view.PixelMap().Hi(), std::isnan(c.hi) ? x.back() : c.hi) << c.stop << " Hz at " << c.rate;
        // The trace reaches the plot's right edge whenever its data do.
        const auto columns = ReduceToColumns(view.TraceFrequencies(0), view.TraceValues(0), view.PixelMap());
        if (!x.empty()) EXPECT_TRUE(columns.back().present) << c.stop << " Hz at " << c.rate;
    }
}

}  // namespace
}  // namespace zeltrak
