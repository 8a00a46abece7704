#include "views/qt/reverb_plots.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "utilities/reverb_strings.h"

namespace zeltrak {
namespace {

const QColor kBackground(255, 255, 255);
const QColor kGrid(200, 200, 200);
const QColor kBar(40, 90, 200);
const QColor kDecay(200, 30, 30);
const QColor kSurface(20, 120, 60);

template <typename... Args>
QString Printf(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return QString::fromUtf8(text);
}

// The value range of a plot and the rectangle it fills.
struct Frame {
    QRectF inner;
    double x0, x1, y0, y1;
    QPointF Map(double x, double y) const {
        return {inner.left() + (x - x0) / (x1 - x0) * inner.width(),
                inner.bottom() - (y - y0) / (y1 - y0) * inner.height()};
    }
};

// A step of 1, 2 or 5 x 10^n giving about five grid lines over `span`.
double NiceStep(double span) {
    const double raw = span / 5.0, unit = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * unit) return m * unit;
    return 10.0 * unit;
}

// Title, axis names and the horizontal grid with its values; returns the plotting frame.
Frame DrawAxes(QPainter& p, const QRect& area, const QString& title, const QString& xName, const QString& yName,
               double y0, double y1, int bottomMargin) {
    const QFontMetrics fm = p.fontMetrics();
    const int h = fm.height();
    Frame f{QRectF(area.left() + 3 * h + fm.horizontalAdvance("-100.0"), area.top() + 2 * h,
                   0, 0), 0, 1, y0, y1};
    f.inner.setRight(area.right() - h);
    f.inner.setBottom(area.bottom() - bottomMargin - 2 * h);
    p.setPen(Qt::black);
    p.drawText(QRect(area.left(), area.top(), area.width(), 2 * h), Qt::AlignCenter, title);
    p.drawText(QRect(area.left(), area.bottom() - h - 2, area.width(), h + 2), Qt::AlignCenter, xName);
    p.save();
    p.translate(area.left() + h, f.inner.center().y());
    p.rotate(-90);
    p.drawText(QRect(-area.height() / 2, -h, area.height(), 2 * h), Qt::AlignCenter, yName);
    p.restore();
    const double step = NiceStep(y1 - y0);
    for (double y = std::ceil(y0 / step) * step; y <= y1 + step * 1e-6; y += step) {
        const QPointF at = f.Map(0, y);
        p.setPen(kGrid);
        p.drawLine(QPointF(f.inner.left(), at.y()), QPointF(f.inner.right(), at.y()));
        p.setPen(Qt::black);
        p.drawText(QRectF(f.inner.left() - 4 * h, at.y() - h / 2.0, 4 * h - 4, h), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(y, 'g', 4));
    }
    p.drawRect(f.inner);
    return f;
}

// Draws `text` turned upwards with its start at `at`.
void DrawUpwards(QPainter& p, QPointF at, const QString& text) {
    p.save();
    p.translate(at);
    p.rotate(-90);
    p.drawText(QPointF(0, p.fontMetrics().ascent() / 2.0), text);
    p.restore();
}

int BandIndex(const ReverbData& data, const ReverbOptions& options) {
    return std::clamp(options.displayedDecayBand, 0, std::max(data.bandCount - 1, 0));
}

}  // namespace

QString ReverbBandLabel(float frequency) {
    if (frequency <= 0.0f) return kReverbWideBar;
    if (frequency >= 1000.0f) return Printf(kReverbBandLabelKilo, frequency / 1000.0).trimmed();
    return Printf(kReverbBandLabel, double(frequency)).trimmed();
}

QString ReverbTimeName(int rtIndex) { return Printf("RT%d", 10 * (std::clamp(rtIndex, 0, 5) + 1)); }

void PaintReverbTimes(QPainter& p, const QRect& area, const ReverbData& data, const ReverbOptions& options) {
    const int rt = std::clamp(options.displayedRTTime, 0, kReverbDrops - 1);
    const int n = std::clamp(data.bandCount, 0, kReverbBandSlots);
    double top = 0.1;
    for (int b = 0; b < n; ++b) top = std::max(top, double(data.results[size_t(b)].time[size_t(rt)]));
    const int labelRoom = p.fontMetrics().horizontalAdvance("0000.0k") + 4;
    Frame f = DrawAxes(p, area, Printf(kReverbTimesTitle, ReverbTimeName(rt).toUtf8().constData()),
                       kReverbFrequencyAxis, kReverbTimeAxis, 0.0, top * 1.25, labelRoom);
    f.x1 = std::max(n, 1);
    for (int b = 0; b < n; ++b) {
        const ReverbBandResult& r = data.results[size_t(b)];
        const double t = std::max(0.0f, r.time[size_t(rt)]);
        const QRectF bar(f.Map(b + 0.15, t), f.Map(b + 0.85, 0.0));
        p.fillRect(bar, kBar);
        p.setPen(Qt::black);
        DrawUpwards(p, QPointF(bar.center().x(), f.inner.bottom() + labelRoom), ReverbBandLabel(r.frequency));
        DrawUpwards(p, QPointF(bar.center().x(), bar.top() - 3), Printf(kReverbValueLabel, t));
    }
}

void PaintReverbDecay(QPainter& p, const QRect& area, const ReverbData& data, const ReverbOptions& options) {
    const int band = BandIndex(data, options);
    double low = -10.0;
    for (const ReverbFrame& frame : data.frames) low = std::min(low, double(frame.smoothed[band]));
    low = std::max(std::floor(low / 10.0) * 10.0, -120.0);
    const float hz = data.frames.empty() ? 0.0f : data.frames[0].frequency[band];
    const QString name = hz > 0.0f ? ReverbBandLabel(hz) + " Hz" : QString(kReverbWidebandLabel);
    Frame f = DrawAxes(p, area, Printf(kReverbDecayTitle, name.toUtf8().constData()), kReverbDecayTimeAxis,
                       kReverbAmplitudeAxis, low, 5.0, p.fontMetrics().height());
    f.x1 = std::max(options.displayedDecayTime, 1);
    for (int s = 0; s <= f.x1; s += std::max(1, int(f.x1) / 10))
        p.drawText(f.Map(s, low) + QPointF(-3, p.fontMetrics().height()), QString::number(s));
    QPainterPath curve;
    for (const ReverbFrame& frame : data.frames) {
        const QPointF at = f.Map(std::min(double(frame.time), f.x1), std::clamp(double(frame.smoothed[band]), low, 5.0));
        curve.elementCount() == 0 ? curve.moveTo(at) : curve.lineTo(at);
    }
    p.setPen(QPen(kDecay, 1.5));
    p.drawPath(curve);
}

// An oblique projection: bands run to the right, levels rise, and time comes forward, the
// first frame at the back, so the decay falls towards the viewer; each frame's outline is
// filled with the background so nearer ones hide farther ones.
void PaintReverbSurface(QPainter& p, const QRect& area, const ReverbData& data) {
    const int h = p.fontMetrics().height();
    p.setPen(Qt::black);
    p.drawText(QRect(area.left(), area.top(), area.width(), 2 * h), Qt::AlignCenter, kReverbSurfaceTitle);
    const int n = std::clamp(data.bandCount, 0, kReverbBandSlots), frames = int(data.frames.size());
    if (n < 2 || frames == 0) return;
    const QRectF room = QRectF(area).adjusted(h, 2 * h, -h, -h);
    const double depthX = room.width() * 0.35, depthY = room.height() * 0.45;
    const double bandWidth = (room.width() - depthX) / (n - 1), dbScale = (room.height() - depthY) / 80.0;
    const int step = std::max(1, frames / 120);
    for (int f = 0; f < frames; f += step) {
        const double depth = 1.0 - double(f) / std::max(frames - 1, 1);
        const QPointF origin(room.left() + depth * depthX, room.bottom() - depth * depthY);
        QPolygonF outline;
        outline << origin;
        for (int b = 0; b < n; ++b)
            outline << origin + QPointF(b * bandWidth,
                                        -std::clamp(data.frames[size_t(f)].smoothed[b] + 80.0, 0.0, 90.0) * dbScale);
        outline << origin + QPointF((n - 1) * bandWidth, 0);
        p.setBrush(kBackground);
        p.setPen(QPen(kSurface, 1));
        p.drawPolygon(outline);
    }
    p.setBrush(Qt::NoBrush);
}

TReverbPlot::TReverbPlot(const ReverbData& data, const ReverbOptions& options, QWidget* parent)
    : QWidget(parent), data_(data), options_(options) {
    setMinimumSize(320, 240);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TReverbPlot::SetView(ReverbView view) {
    view_ = view;
    update();
}

void TReverbPlot::SetNotice(const QString& text) {
    notice_ = text;
    repaint();  // the measurement holds the event loop; show it now
}

void TReverbPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const QString text = !notice_.isEmpty() ? notice_ : data_.present ? QString() : QString(kReverbNoDataText);
    if (!text.isEmpty()) {
        p.drawText(rect(), Qt::AlignCenter, text);
        return;
    }
    if (view_ == ReverbView::Times) PaintReverbTimes(p, rect(), data_, options_);
    if (view_ == ReverbView::Decay) PaintReverbDecay(p, rect(), data_, options_);
    if (view_ == ReverbView::Surface) PaintReverbSurface(p, rect(), data_);
}

}  // namespace zeltrak
