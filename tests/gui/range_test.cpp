// Range control in a plot view, offscreen: the wheel zooms the x axis about the pointer (the
// value axis with Shift) and a box drawn with Shift+left or middle drag shows what it encloses,
// never beyond the data; R and Backspace bring back the whole range;
// the automatic value axis holds its extremes from frame to frame; Ctrl+R types a range in, which
// a restored range must fit to the data.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <vector>

#include "views/qt/range_dialog.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {
namespace {

struct Input {
    int notches = 0;  // a wheel turn (positive: away from the user, zooming in) …
    bool shift = false;
    int key = 0;      // … or a key …
    QRectF box;       // … or a zoom box drawn over this share of the plot
    Qt::MouseButton button = Qt::LeftButton;  // with Shift, or the middle button alone
};

// The x span shown as a share of the whole (of its decades on a logarithmic axis).
double XShare(const TTraceModel& m) {
    if (m.LogarithmicX()) return std::log(m.XHi() / m.XLo()) / std::log(m.FullXHi() / m.FullXLo());
    return (m.XHi() - m.XLo()) / (m.FullXHi() - m.FullXLo());
}

double ValueSpan(const TPlotView& view) { return view.ShownValueScale().top - view.ShownValueScale().bottom; }

void Drag(TPlotView& view, const Input& in) {
    const QRect plot = view.PlotRect();
    const QPointF from(plot.left() + in.box.left() * plot.width(), plot.top() + in.box.top() * plot.height());
    const QPointF to(plot.left() + in.box.right() * plot.width(), plot.top() + in.box.bottom() * plot.height());
    const Qt::KeyboardModifiers mods = in.button == Qt::LeftButton ? Qt::ShiftModifier : Qt::NoModifier;
    QMouseEvent press(QEvent::MouseButtonPress, from, view.mapToGlobal(from), in.button, in.button, mods);
    QMouseEvent move(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, in.button, mods);
    QMouseEvent release(QEvent::MouseButtonRelease, to, view.mapToGlobal(to), in.button, Qt::NoButton, mods);
    for (QMouseEvent* e : {&press, &move, &release}) QApplication::sendEvent(&view, e);
}

void Send(TPlotView& view, const Input& in, QPointF at) {
    if (!in.box.isNull()) {
        Drag(view, in);
    } else if (in.key != 0) {
        QKeyEvent press(QEvent::KeyPress, in.key, Qt::NoModifier);
        QApplication::sendEvent(&view, &press);
    } else {
        QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120 * in.notches), Qt::NoButton,
                          in.shift ? Qt::ShiftModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
    }
    view.grab();  // the value axis is chosen when drawn
}

TEST(PlotRange, WheelZoomsAboutThePointerWithinTheDataAndResetRestores) {
    struct Case {
        const char* name;
        bool logarithmic;
        std::vector<Input> inputs;
        double wantXShare, wantValueShare;
    };
    const Input in{1}, in2{2}, out{-1}, valuesIn{1, true}, valuesOut{-1, true};
    for (const Case& c : std::vector<Case>{
             {"wheel in", false, {in}, 0.8, 1.0},
             {"wheel in twice, log", true, {in2}, 0.64, 1.0},
             {"wheel out at the whole range", false, {out}, 1.0, 1.0},
             {"in then out", false, {in, out}, 1.0, 1.0},
             {"shift+wheel in", false, {valuesIn}, 1.0, 0.8},
             {"shift+wheel out", false, {valuesOut}, 1.0, 1.25},
             {"R resets both", false, {in, valuesIn, Input{0, false, Qt::Key_R}}, 1.0, 1.0},
             {"Backspace resets both", true, {in2, valuesOut, Input{0, false, Qt::Key_Backspace}}, 1.0, 1.0},
             {"shift+drag box", false, {Input{0, false, 0, QRectF(0.25, 0.2, 0.5, 0.4)}}, 0.5, 0.4},
             {"middle-drag box, log", true, {Input{0, false, 0, QRectF(0.1, 0.5, 0.3, 0.25), Qt::MiddleButton}}, 0.3, 0.25},
             {"a click is no box", false, {Input{0, false, 0, QRectF(0.5, 0.5, 0.001, 0.001)}}, 1.0, 1.0},
             {"box, then R", false, {Input{0, false, 0, QRectF(0.2, 0.2, 0.2, 0.2)}, Input{0, false, Qt::Key_R}}, 1.0, 1.0},
         }) {
        SCOPED_TRACE(c.name);
        TSpectrumView view(c.logarithmic ? 20.0 : 0.0, 20000.0,
                           c.logarithmic ? FrequencyScale::Logarithmic : FrequencyScale::Linear);
        std::vector<float> x(500), values(500, -50.0f);
        for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(20.0 + k * 40.0);
        values[11] = -20.0f;
        view.SetTrace(0, x, values);
        view.resize(640, 400);
        view.grab();
        const double valueSpan = ValueSpan(view);
        const QRect plot = view.PlotRect();
        const QPointF at(plot.left() + plot.width() * 0.3, plot.top() + plot.height() * 0.4);
        for (const Input& input : c.inputs) {
            const int column = static_cast<int>(at.x()) - plot.left();
            const double before = view.PixelMap().ColumnEdge(column);
            Send(view, input, at);
            const TFrequencyPixelMap after = view.PixelMap();
            if (input.notches != 0 && !input.shift) {  // the frequency under the pointer stays there
                EXPECT_NEAR(after.ColumnEdge(column), before, after.ColumnEdge(column + 1) - after.ColumnEdge(column));
            }
        }
        // A box ends on whole pixels.
        const double tolerance = c.inputs.front().box.isNull() ? 1e-6 : 2.0 / plot.height();
        EXPECT_NEAR(XShare(view.Model()), c.wantXShare, tolerance);
        EXPECT_NEAR(ValueSpan(view) / valueSpan, c.wantValueShare, tolerance);
        EXPECT_GE(view.Model().XLo(), view.Model().FullXLo());
        EXPECT_LE(view.Model().XHi(), view.Model().FullXHi());
    }
}

TEST(PlotRange, AutomaticValueAxisWidensAtOnceAndHoldsUntilReset) {
    TSpectrumView view(0.0, 20000.0, FrequencyScale::Linear);
    view.resize(640, 400);
    std::vector<float> x(500);
    for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(k * 40.0);
    struct Step {
        float level;
        bool reset;
        float wantTop;  // the next whole ten above the held maximum, plus ten
    };
    for (const Step& s : {Step{-50.0f, false, -40.0f}, Step{-5.0f, false, 10.0f}, Step{-50.0f, false, 10.0f},
                          Step{-50.0f, true, -40.0f}}) {
        if (s.reset) view.ResetRange();
        view.SetTrace(0, x, std::vector<float>(x.size(), s.level));
        view.grab();
        EXPECT_EQ(view.ShownValueScale().top, s.wantTop) << s.level;
    }
}

TEST(PlotRange, ATraceLeavingTheValueRangeLeavesThePlotInsteadOfRunningAlongItsEdge) {
    // A ramp from -100 to 0 dB over a value range of -60 … -40: it crosses the top and bottom
    // rows once each, and a third of the plot's width on either side holds no trace.
    TSpectrumView view(0.0, 20000.0, FrequencyScale::Linear);
    std::vector<float> x(2001), values(2001);
    for (size_t k = 0; k < x.size(); ++k) {
        x[k] = static_cast<float>(k * 10.0);
        values[k] = static_cast<float>(-100.0 + k * 0.05);
    }
    view.SetTrace(0, x, values);
    view.resize(640, 400);
    view.RestoreRange({{0, 20000}, TAxisSpan{-60, -40}});
    const QImage image = view.grab().toImage();
    const QRect plot = view.PlotRect();
    for (const int y : {plot.top(), plot.bottom()}) {
        int traced = 0;
        for (int x = plot.left(); x <= plot.right(); ++x) traced += image.pixelColor(x, y) == TSpectrumView::TraceColor(0);
        EXPECT_GE(traced, 1) << "row " << y;
        EXPECT_LE(traced, 3) << "row " << y;
    }
    // The same in the vector export: every polyline point within the plot's rows, and just the
    // two crossings on its edge rows.
    QBuffer svg;
    svg.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&svg);
    QPainter painter(&generator);
    view.render(&painter);
    painter.end();
    int points = 0, onEdge = 0;
    const QString text(svg.data());
    const QString trace = QRegularExpression(R"re(stroke="#00ff00"[^>]*>\s*((?:<polyline[^>]*>\s*)+))re").match(text).captured(1);
    for (const auto& m : QRegularExpression(R"re(<polyline[^>]*points="([^"]*)")re").globalMatch(trace)) {
        for (const QString& p : m.captured(1).split(' ', Qt::SkipEmptyParts)) {
            ++points;
            const double y = p.section(',', 1, 1).toDouble();
            EXPECT_TRUE(y >= plot.top() && y <= plot.bottom()) << y;
            onEdge += y == plot.top() || y == plot.bottom();
        }
    }
    EXPECT_GT(points, 0);
    EXPECT_LE(onEdge, 2);
}

TEST(PlotRange, ASteadyToneShowsAFlatEnvelopeAtAnyWidth) {
    // 65,536 samples of a 1 kHz sine at 48 kHz: about 28 cycles per column at 300 px, so any
    // pick of one sample per column would beat against the tone and draw a false envelope.
    std::vector<float> samples(65536);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 1000.0 * i / 48000.0));
    for (const int width : {300, 800}) {
        TTimeSeriesView view;
        view.SetSamples(0, samples, 1.0 / 48000);
        view.resize(width, 300);
        const QImage image = view.grab().toImage();
        const QRect plot = view.PlotRect();
        int highest = plot.bottom(), lowest = plot.top();
        // Left of the legend, which covers the trace where it stands.
        for (int x = plot.left() + 1; x < view.LegendRect().left(); ++x) {
            int top = plot.top();
            while (top <= plot.bottom() && image.pixelColor(x, top) != TPlotView::PlotColor(0)) ++top;
            highest = std::min(highest, top);
            lowest = std::max(lowest, top);
        }
        EXPECT_LE(lowest - highest, 1) << width << " px: the envelope's top spans rows " << highest << " … " << lowest;
    }
}

// Fills the dialog Ctrl+R opens with each entry in turn and presses OK; returns the refusal
// shown for each (the dialog staying open after a refusal).
std::vector<QString> EnterRanges(TPlotView& view, const std::vector<TRangeEntry>& entries) {
    std::vector<QString> errors;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<TRangeDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        for (const TRangeEntry& e : entries) {
            dialog->findChild<QLineEdit*>("xFrom")->setText(QString::fromStdString(e.xFrom));
            dialog->findChild<QLineEdit*>("xTo")->setText(QString::fromStdString(e.xTo));
            dialog->findChild<QLineEdit*>("valueFrom")->setText(QString::fromStdString(e.valueFrom));
            dialog->findChild<QLineEdit*>("valueTo")->setText(QString::fromStdString(e.valueTo));
            dialog->findChild<QCheckBox*>()->setChecked(e.automaticValues);
            dialog->accept();
            errors.push_back(dialog->isVisible() ? dialog->Error() : QString());
        }
        if (dialog->isVisible()) dialog->reject();
    });
    QKeyEvent press(QEvent::KeyPress, Qt::Key_R, Qt::ControlModifier);
    QApplication::sendEvent(&view, &press);
    view.grab();
    return errors;
}

TEST(PlotRange, CtrlRTakesATypedRangeAndRefusesABadOneWithTheDialogOpen) {
    TSpectrumView spectrum(20.0, 20000.0, FrequencyScale::Logarithmic);
    TTimeSeriesView series;
    series.SetSamples(0, std::vector<float>(4800, 0.25f), 1.0 / 48000);  // 0 … 99.98 ms
    spectrum.resize(640, 400);
    series.resize(640, 400);
    spectrum.grab();
    series.grab();
    const std::vector<QString> spectrumErrors =
        EnterRanges(spectrum, {{"10", "1000", "", "", true}, {"100", "1000", "-90", "-10", false}});
    EXPECT_EQ(spectrumErrors, (std::vector<QString>{"The x range must lie within 20 … 20000 Hz.", ""}));
    EXPECT_NEAR(spectrum.Model().XLo(), 100.0, 1e-9);
    EXPECT_NEAR(spectrum.Model().XHi(), 1000.0, 1e-9);
    EXPECT_EQ(std::tuple(spectrum.ShownValueScale().bottom, spectrum.ShownValueScale().top), std::tuple(-90.0f, -10.0f));
    // Milliseconds in the dialog, seconds on the axis; Automatic gives the value axis back.
    const std::vector<QString> seriesErrors = EnterRanges(series, {{"20", "50", "-1", "1", true}});
    EXPECT_EQ(seriesErrors, std::vector<QString>{""});
    EXPECT_NEAR(series.Model().XLo(), 0.020, 1e-12);
    EXPECT_NEAR(series.Model().XHi(), 0.050, 1e-12);
    EXPECT_FALSE(series.ValueRangeUserSet());
}

TEST(PlotRange, RestoredRangeIsCutToTheDataOrDropped) {
    struct Case { TUserRange restored; double wantLo, wantHi; bool wantUserValues; };
    for (const Case& c : std::vector<Case>{
             {{{100, 1000}, TAxisSpan{-90, -10}}, 100, 1000, true},
             {{{5000, 30000}, std::nullopt}, 5000, 20000, false},    // a file at a lower rate: cut
             {{{25000, 30000}, TAxisSpan{-90, -10}}, 0, 20000, true},  // nothing left: the whole axis
         }) {
        TSpectrumView view(0.0, 20000.0, FrequencyScale::Linear);
        view.resize(640, 400);
        view.RestoreRange(c.restored);
        const TUserRange got = view.UserRange();
        EXPECT_EQ(std::tuple(got.x.lo, got.x.hi), std::tuple(c.wantLo, c.wantHi)) << c.restored.x.lo;
        EXPECT_EQ(got.values.has_value(), c.wantUserValues);
    }
}

}  // namespace
}  // namespace zeltrak
