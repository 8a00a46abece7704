#include "views/qt/plot_painters.h"

#include <QPaintEngine>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "views/band_bars.h"
#include "views/view_text.h"

namespace zeltrak {

namespace {
const QColor kGridColor(70, 70, 70);
const QColor kCursorColor(200, 200, 200);
const QColor kLabelColor(Qt::lightGray);
}  // namespace

QColor TraceColour(int trace) {
    static const QColor colors[4] = {QColor(0, 255, 0), QColor(255, 64, 64), QColor(255, 255, 0),
                                     QColor(0, 200, 255)};
    return colors[std::clamp(trace, 0, 3)];
}

TValueRange ColumnsRange(const std::vector<std::vector<TColumnExtent>>& columns) {
    float dataMax = -INFINITY, dataMin = INFINITY;
    for (const std::vector<TColumnExtent>& trace : columns) {
        for (const TColumnExtent& c : trace) {
            if (!c.present) continue;
            dataMax = std::max(dataMax, c.max);
            dataMin = std::min(dataMin, c.min);
        }
    }
    if (!std::isfinite(dataMax)) return TValueRange{};
    return TValueRange{dataMin, dataMax};
}

TValueRows::TValueRows(const TValueScale& scale, const QRect& plot)
    : top_(scale.top),
      range_(static_cast<double>(scale.top) - scale.bottom),
      plotTop_(plot.top()),
      plotHeight_(plot.height()) {}

int TValueRows::Row(float value) const {
    constexpr double kFarOutside = 100.0;
    const double t = std::clamp((top_ - value) / range_, -kFarOutside, 1.0 + kFarOutside);
    return plotTop_ + static_cast<int>(std::lround(t * (plotHeight_ - 1)));
}

// ---------------------------------------------------------------------------------------------
// Axes

void PaintXAxis(QPainter& painter, const QRect& plot, const TFrequencyPixelMap& map, const TTraceModel& model,
                const QFontMetrics& fm) {
    painter.setPen(kGridColor);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    const FrequencyPositionFn positionOf = [&](double x) { return map.Position(x); };
    const bool time = model.Axis() == TraceAxis::Time;
    std::vector<TAxisMark> marks =
        time                 ? BuildTimeAxisMarks(model.XLo(), model.XHi(), plot.width(), positionOf)
        : model.OnBandAxis() ? BuildBandAxisMarks(model.Bands(), positionOf)
                             : BuildFrequencyAxisMarks(model.XLo(), model.XHi(), model.XScale(), plot.width(), positionOf);
    const auto widthOf = [&](const std::string& label) { return fm.horizontalAdvance(QString::fromStdString(label)); };
    DropOverlappingLabels(marks, fm.horizontalAdvance(' '), widthOf);
    const int labelBaseline = plot.bottom() + fm.ascent() + 4;
    for (const TAxisMark& m : marks) {
        painter.setPen(kGridColor);
        painter.drawLine(m.position, plot.top(), m.position, plot.bottom());
        if (m.label.empty()) continue;
        painter.setPen(kLabelColor);
        const QString text = QString::fromStdString(m.label);
        painter.drawText(m.position - fm.horizontalAdvance(text) / 2, labelBaseline, text);
    }
    const QString unit = QString::fromStdString(XAxisUnit(model));
    const int unitRight = XAxisUnitRight(marks, plot.left(), 6, widthOf);
    painter.setPen(kLabelColor);
    painter.drawText(unitRight - fm.horizontalAdvance(unit), labelBaseline, unit);
}

void PaintValueAxis(QPainter& painter, const QRect& plot, const TValueScale& scale, const TValueRows& rows,
                    const std::string& unitLabel, const QFontMetrics& fm) {
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(scale.step) + 1e-6)));
    for (const double v : ValueAxisTicks({scale.bottom, scale.top}, scale.step)) {
        const int y = rows.Row(static_cast<float>(v));
        painter.setPen(kGridColor);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(kLabelColor);
        painter.drawText(QRect(0, y - fm.height() / 2, plot.left() - 4, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', decimals));
    }
    if (!unitLabel.empty()) {
        painter.setPen(kLabelColor);
        painter.drawText(4, fm.ascent() + 2, QString::fromStdString(unitLabel));
    }
}

void PaintBandBars(QPainter& painter, const QRect& plot, const TFrequencyPixelMap& map, const TTraceModel& model,
                   const TValueRows& rows) {
    const std::size_t bandCount = model.Bands().size();
    std::vector<int> barTraces;
    for (int i = 0; i < model.TraceCount(); ++i) {
        if (model.Trace(i).values.size() == bandCount) barTraces.push_back(i);
    }
    const int parts = static_cast<int>(barTraces.size());
    for (const TBandBarSpan& span : BandBarSpans(model.Bands(), map)) {
        for (int part = 0; part < parts; ++part) {
            const float value = model.Trace(barTraces[static_cast<std::size_t>(part)]).values[span.band];
            if (std::isnan(value)) continue;
            const TBandBarSpan bar = SplitBandBar(span, part, parts);
            // A dark column after each band's last bar keeps neighbouring bands apart.
            const bool lastOfBand = part == parts - 1 && bar.right - bar.left >= 2;
            // A bar below the value range is not there; one above it is cut at the top.
            const int top = std::max(rows.Row(value), plot.top());
            if (top > plot.bottom()) continue;
            painter.fillRect(QRect(QPoint(bar.left, top), QPoint(bar.right - (lastOfBand ? 1 : 0), plot.bottom())),
                             TraceColour(barTraces[static_cast<std::size_t>(part)]));
        }
    }
}

namespace {
constexpr int kLegendPad = 4, kLegendSwatch = 10, kLegendGap = 5;

std::vector<int> LegendTraces(const TTraceModel& model) {
    std::vector<int> shown;
    for (int i = 0; i < model.TraceCount(); ++i) {
        if (!model.Trace(i).x.empty()) shown.push_back(i);
    }
    return shown;
}
}  // namespace

QRect LegendRect(const QRect& plot, const TTraceModel& model, const QFontMetrics& fm) {
    const std::vector<int> shown = LegendTraces(model);
    if (shown.empty()) return QRect();
    int textWidth = 0;
    for (const int i : shown) {
        textWidth = std::max(textWidth, fm.horizontalAdvance(QString::fromStdString(model.Trace(i).name)));
    }
    const int width = 2 * kLegendPad + kLegendSwatch + kLegendGap + textWidth;
    const int height = 2 * kLegendPad + fm.height() * static_cast<int>(shown.size());
    return QRect(plot.right() - kLegendPad - width, plot.top() + kLegendPad, width, height);
}

void PaintLegend(QPainter& painter, const QRect& plot, const TTraceModel& model, const QFontMetrics& fm) {
    const QRect box = LegendRect(plot, model, fm);
    if (box.isEmpty()) return;
    painter.fillRect(box, QColor(0, 0, 0, 200));
    painter.setPen(kGridColor);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    const int line = fm.height();
    int y = box.top() + kLegendPad;
    for (const int i : LegendTraces(model)) {
        painter.fillRect(QRect(box.left() + kLegendPad, y + (line - kLegendSwatch) / 2, kLegendSwatch, kLegendSwatch),
                         TraceColour(i));
        painter.setPen(kLabelColor);
        painter.drawText(box.left() + kLegendPad + kLegendSwatch + kLegendGap, y + fm.ascent(),
                         QString::fromStdString(model.Trace(i).name));
        y += line;
    }
}

void PaintCursor(QPainter& painter, const QRect& plot, int column, const std::vector<TReadoutPart>& readout,
                 const QFontMetrics& fm, int right) {
    const int x = plot.left() + column;
    painter.setPen(kCursorColor);
    painter.drawLine(x, plot.top(), x, plot.bottom());
    // Laid out from the right, so the last part goes first.
    for (auto part = readout.rbegin(); part != readout.rend(); ++part) {
        const QString text = QString::fromStdString(part->text);
        const int w = fm.horizontalAdvance(text);
        painter.setPen(part->trace < 0 ? kCursorColor : TraceColour(part->trace));
        painter.drawText(right - w, fm.ascent() + 2, text);
        right -= w + 12;
    }
}

// ---------------------------------------------------------------------------------------------
// Traces

void TTracePainter::Paint(QPainter& painter, const QRect& plot, const std::vector<std::vector<TColumnExtent>>& columns,
                          const TValueRows& rows) {
    const bool raster = painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster;
    if (!raster) {
        // Vector output: one polyline per trace. The layer and the rows it last drew stay as
        // they are for the next paint on screen, which must clear them.
        PaintPolylines(painter, plot, columns, rows);
        return;
    }
    PrepareLayer(plot.size());
    paintedTop_ = plot.height();
    paintedBottom_ = -1;
    for (size_t i = 0; i < columns.size(); ++i) {
        BuildStroke(columns[i], plot.left(), rows);
        if (points_.empty()) continue;
        const QColor colour = TraceColour(static_cast<int>(i));
        BuildBars();
        WriteBars(colour.rgba(), plot);
        DrawJoins(colour, plot);
    }
    Compose(painter, plot);
}

namespace {
// The part of a line between the plot's top and bottom rows; nothing when it lies wholly outside.
std::optional<QLine> ClipToRows(const QLine& line, const QRect& plot) {
    const QPointF a = line.p1(), b = line.p2();
    const double top = plot.top(), bottom = plot.bottom();
    if ((a.y() < top && b.y() < top) || (a.y() > bottom && b.y() > bottom)) return std::nullopt;
    const auto at = [&](double y) { return a + (b - a) * ((y - a.y()) / (b.y() - a.y())); };
    const auto inside = [&](const QPointF& p) {
        return p.y() < top ? at(top) : p.y() > bottom ? at(bottom) : p;
    };
    return QLineF(inside(a), inside(b)).toLine();
}
}  // namespace

void TTracePainter::PaintPolylines(QPainter& painter, const QRect& plot,
                                   const std::vector<std::vector<TColumnExtent>>& columns, const TValueRows& rows) {
    for (size_t i = 0; i < columns.size(); ++i) {
        BuildStroke(columns[i], plot.left(), rows);
        painter.setPen(TraceColour(static_cast<int>(i)));
        // One polyline per stretch of the stroke inside the plot.
        std::vector<QPoint> run;
        const auto flush = [&] {
            if (run.size() >= 2) painter.drawPolyline(run.data(), static_cast<int>(run.size()));
            run.clear();
        };
        for (size_t j = 1; j < points_.size(); ++j) {
            const std::optional<QLine> cut = ClipToRows(QLine(points_[j - 1], points_[j]), plot);
            if (!cut || cut->p1() == cut->p2()) {
                // A segment cut down to a point adds nothing; one leaving the plot ends the run.
                if (!cut || cut->p2() != points_[j]) flush();
                continue;
            }
            if (run.empty() || run.back() != cut->p1()) {
                flush();
                run.push_back(cut->p1());
            }
            run.push_back(cut->p2());
            if (cut->p2() != points_[j]) flush();
        }
        flush();
    }
}

void TTracePainter::BuildStroke(const std::vector<TColumnExtent>& columns, int left, const TValueRows& rows) {
    points_.clear();
    for (size_t c = 0; c < columns.size(); ++c) {
        const TColumnExtent& e = columns[c];
        if (!e.present) continue;
        const int x = left + static_cast<int>(c);
        const int yTop = rows.Row(e.max), yBottom = rows.Row(e.min);
        const bool downward =
            points_.empty() || std::abs(points_.back().y() - yTop) <= std::abs(points_.back().y() - yBottom);
        points_.emplace_back(x, downward ? yTop : yBottom);
        points_.emplace_back(x, downward ? yBottom : yTop);
    }
}

void TTracePainter::PrepareLayer(const QSize& size) {
    if (layer_.size() != size) {
        layer_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        layer_.fill(Qt::transparent);
        dirtyTop_ = 0;
        dirtyBottom_ = -1;
    } else if (dirtyTop_ <= dirtyBottom_) {
        std::memset(layer_.bits() + dirtyTop_ * layer_.bytesPerLine(), 0,
                    static_cast<size_t>(dirtyBottom_ - dirtyTop_ + 1) * layer_.bytesPerLine());
    }
}

// On pixels the stroke is a one-pixel-wide bar per column; the join to the neighbouring column
// is split between the two bars at its middle row, as a drawn line would split it. Joins across
// empty columns stay lines.
void TTracePainter::BuildBars() {
    rects_.clear();
    lines_.clear();
    for (size_t j = 0; j < points_.size(); j += 2) {
        const int x = points_[j].x(), entry = points_[j].y(), exit = points_[j + 1].y();
        int lo = std::min(entry, exit), hi = std::max(entry, exit);
        if (j > 0) {
            const int prevX = points_[j - 2].x(), prevExit = points_[j - 1].y();
            if (prevX == x - 1) {
                const int mid = prevExit + (entry - prevExit) / 2;
                lo = std::min(lo, mid);
                hi = std::max(hi, mid);
                QRect& prev = rects_.back();
                prev.setTop(std::min(prev.top(), mid));
                prev.setBottom(std::max(prev.bottom(), mid));
            } else {
                lines_.emplace_back(prevX, prevExit, x, entry);
            }
        }
        rects_.emplace_back(x, lo, 1, hi - lo + 1);
    }
}

// Straight into the layer's memory, a column at a time: neighbouring bars share their rows'
// cache lines, and a thousand thin bars cost far less than through the painter.
void TTracePainter::WriteBars(QRgb argb, const QRect& plot) {
    uchar* bits = layer_.bits();
    const qsizetype stride = layer_.bytesPerLine();
    const int layerHeight = layer_.height(), layerWidth = layer_.width();
    for (const QRect& bar : rects_) {
        const int x = bar.x() - plot.left();
        const int from = std::max(0, bar.top() - plot.top());
        const int to = std::min(layerHeight - 1, bar.bottom() - plot.top());
        if (x < 0 || x >= layerWidth || from > to) continue;
        uchar* pixel = bits + from * stride + x * static_cast<qsizetype>(sizeof(QRgb));
        for (int y = from; y <= to; ++y, pixel += stride) *reinterpret_cast<QRgb*>(pixel) = argb;
        paintedTop_ = std::min(paintedTop_, from);
        paintedBottom_ = std::max(paintedBottom_, to);
    }
}

void TTracePainter::DrawJoins(const QColor& colour, const QRect& plot) {
    if (lines_.empty()) return;
    QPainter layerPainter(&layer_);
    layerPainter.translate(-plot.topLeft());
    layerPainter.setPen(colour);
    layerPainter.drawLines(lines_.data(), static_cast<int>(lines_.size()));
    for (const QLine& l : lines_) {
        paintedTop_ = std::max(0, std::min({paintedTop_, l.y1() - plot.top(), l.y2() - plot.top()}));
        paintedBottom_ = std::min(layer_.height() - 1, std::max({paintedBottom_, l.y1() - plot.top(), l.y2() - plot.top()}));
    }
}

void TTracePainter::Compose(QPainter& painter, const QRect& plot) {
    if (paintedTop_ <= paintedBottom_) {
        painter.drawImage(QPoint(plot.left(), plot.top() + paintedTop_), layer_,
                          QRect(0, paintedTop_, layer_.width(), paintedBottom_ - paintedTop_ + 1));
    }
    dirtyTop_ = paintedTop_;
    dirtyBottom_ = paintedBottom_;
}

}  // namespace zeltrak
