#include "views/qt/spectrum_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "base/numeric.h"
#include "dsp/spectral_data.h"
#include "engine/processing_settings.h"
#include "views/column_reduction.h"

namespace zeltrak {

namespace {
constexpr int kLeftMargin = 56;
constexpr int kRightMargin = 16;
constexpr int kTopMargin = 12;
constexpr int kBottomMargin = 28;
}  // namespace

TSpectrumView::TSpectrumView(double startFreq, double stopFreq, int frequencyScale, QWidget* parent)
    : QWidget(parent), startFreq_(startFreq), stopFreq_(stopFreq), frequencyScale_(frequencyScale) {
    setMinimumSize(240, 160);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
}

QColor TSpectrumView::TraceColor(int trace) {
    static const QColor colors[4] = {QColor(0, 255, 0), QColor(255, 64, 64), QColor(255, 255, 0),
                                     QColor(0, 200, 255)};
    return colors[std::clamp(trace, 0, 3)];
}

QRect TSpectrumView::PlotRect() const {
    return QRect(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
                 std::max(1, height() - kTopMargin - kBottomMargin));
}

TFrequencyPixelMap TSpectrumView::PixelMap() const {
    const QRect r = PlotRect();
    const bool log = frequencyScale_ != kFreqLinear && startFreq_ > 0.0;
    return TFrequencyPixelMap(startFreq_, stopFreq_, r.width(), log, r.left());
}

void TSpectrumView::SetFrequencyScale(int frequencyScale) {
    if (frequencyScale == frequencyScale_) return;
    frequencyScale_ = frequencyScale;
    update();
}

void TSpectrumView::OnStarted() {
    for (Trace& t : traces_) {
        t.frequencies.clear();
        t.values.clear();
    }
    framesShown_ = 0;
    update();
}

void TSpectrumView::SetTrace(int i, std::vector<float> frequencies, std::vector<float> values) {
    if (i < 0 || i > 3) return;
    if (frequencies.size() != values.size()) values.resize(frequencies.size(), NAN);
    traces_[i].frequencies = std::move(frequencies);
    traces_[i].values = std::move(values);
    update();
}

void TSpectrumView::OnFrame(const EngineFrame& frame) {
    if (!frame.analysed) return;
    for (int i = 0; i < 4; ++i) {
        Trace& t = traces_[i];
        const TSpectralData* s = frame.spectrums[i];
        if (!s || s->error()) {
            t.frequencies.clear();
            t.values.clear();
            continue;
        }
        const uint32_t n = s->ValueCount();
        t.frequencies.resize(n);
        t.values.resize(n);
        for (uint32_t k = 0; k < n; ++k) {
            t.frequencies[k] = s->ValueFrequency(k);
            const double v = s->GetValue(k);
            // The no-value level stays out of the picture instead of dragging the scale down.
            t.values[k] = v <= kNoDecibels ? NAN : static_cast<float>(v);
        }
        if (i == 0 || unitLabel_.empty()) unitLabel_ = s->AverageDb() ? s->LogLabel() : s->LinearLabel();
    }
    ++framesShown_;
    update();
}

void TSpectrumView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect plot = PlotRect();
    const TFrequencyPixelMap map = PixelMap();

    std::vector<TColumnExtent> columns[4];
    float top = -INFINITY, bottom = INFINITY;
    for (int i = 0; i < 4; ++i) {
        columns[i] = ReduceToColumns(traces_[i].frequencies, traces_[i].values, map);
        for (const TColumnExtent& c : columns[i]) {
            if (!c.present) continue;
            top = std::max(top, c.max);
            bottom = std::min(bottom, c.min);
        }
    }
    // Whole tens around the data, so the scale does not jitter with every frame.
    if (!std::isfinite(top)) {
        top = 0.0f;
        bottom = -100.0f;
    }
    top = std::ceil(top / 10.0f) * 10.0f + 10.0f;
    bottom = std::floor(bottom / 10.0f) * 10.0f;
    if (!(top > bottom)) bottom = top - 10.0f;
    auto yOf = [&](float v) {
        const double t = (static_cast<double>(top) - v) / (static_cast<double>(top) - bottom);
        return plot.top() + static_cast<int>(std::lround(t * (plot.height() - 1)));
    };

    // Grid and labels of the frequency axis.
    const QColor grid(70, 70, 70);
    painter.setPen(grid);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    const std::vector<TAxisMark> marks =
        BuildFrequencyAxisMarks(startFreq_, stopFreq_, frequencyScale_, plot.width(),
                                [&](double f) { return map.Position(f); });
    const QFontMetrics fm(font());
    for (const TAxisMark& m : marks) {
        painter.setPen(grid);
        painter.drawLine(m.position, plot.top(), m.position, plot.bottom());
        if (m.label.empty()) continue;
        painter.setPen(Qt::lightGray);
        const QString text = QString::fromStdString(m.label);
        const int w = fm.horizontalAdvance(text);
        painter.drawText(m.position - w / 2, plot.bottom() + fm.ascent() + 4, text);
    }
    // Value axis: ten-unit steps, fewer when the plot is short.
    const float range = top - bottom;
    float step = 10.0f;
    while (range / step > std::max(2, plot.height() / 24)) step *= 2.0f;
    for (float v = top; v >= bottom; v -= step) {
        const int y = yOf(v);
        painter.setPen(grid);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(Qt::lightGray);
        painter.drawText(QRect(0, y - fm.height() / 2, kLeftMargin - 4, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', 0));
    }
    if (!unitLabel_.empty()) {
        painter.setPen(Qt::lightGray);
        painter.drawText(4, fm.ascent(), QString::fromStdString(unitLabel_));
    }

    // Traces: a vertical stroke per column from min to max, joined to the next column; one
    // batched draw call per trace.
    painter.setClipRect(plot);
    std::vector<QLine> lines;
    for (int i = 0; i < 4; ++i) {
        lines.clear();
        int lastX = -1, lastY = 0;
        for (int c = 0; c < static_cast<int>(columns[i].size()); ++c) {
            const TColumnExtent& e = columns[i][c];
            if (!e.present) continue;
            const int x = plot.left() + c;
            const int yTop = yOf(e.max), yBottom = yOf(e.min);
            if (lastX >= 0) {
                // Join from the previous column to the nearer end of this one.
                lines.emplace_back(lastX, lastY, x, std::clamp(lastY, yTop, yBottom));
            }
            lines.emplace_back(x, yTop, x, yBottom);
            lastX = x;
            lastY = (yTop + yBottom) / 2;
        }
        if (lines.empty()) continue;
        painter.setPen(TraceColor(i));
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
}

}  // namespace zeltrak
