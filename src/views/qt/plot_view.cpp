#include "views/qt/plot_view.h"

#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/text_format.h"
#include "base/strings.h"
#include "dsp/scales.h"
#include "platform/host.h"
#include "views/view_text.h"

namespace zeltrak {

namespace {
constexpr int kLeftMargin = 56;
constexpr int kRightMargin = 16;
constexpr int kBottomMargin = 28;
// Room above the plot for the unit label and the cursor readout.
constexpr int kTopMargin = 22;

const QColor kGridColor(70, 70, 70);
const QColor kCursorColor(200, 200, 200);

}  // namespace

TPlotView::TPlotView(int traceCount, XAxis axis, QWidget* parent)
    : QWidget(parent),
      traces_(static_cast<size_t>(std::max(traceCount, 1))),
      names_(traces_.size()),
      axis_(axis),
      columns_(traces_.size()) {
    setMinimumSize(240, 160);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
}

QColor TPlotView::PlotColor(int trace) {
    static const QColor colors[4] = {QColor(0, 255, 0), QColor(255, 64, 64), QColor(255, 255, 0),
                                     QColor(0, 200, 255)};
    return colors[std::clamp(trace, 0, 3)];
}

QRect TPlotView::PlotRect() const {
    return QRect(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
                 std::max(1, height() - kTopMargin - kBottomMargin));
}

TFrequencyPixelMap TPlotView::PixelMap() const {
    const QRect r = PlotRect();
    const bool log = axis_ == XAxis::Frequency && xScale_ != ScaleCode(FrequencyScale::Linear) && xLo_ > 0.0;
    return TFrequencyPixelMap(xLo_, xHi_, r.width(), log, r.left());
}

void TPlotView::ClearTraces() {
    for (TPlotTrace& t : traces_) {
        t.x.clear();
        t.values.clear();
    }
}

void TPlotView::SetXRange(double lo, double hi) {
    if (lo == xLo_ && hi == xHi_) return;
    xLo_ = lo;
    xHi_ = hi;
    update();
}

void TPlotView::SetXScale(int scale) {
    if (scale == xScale_) return;
    xScale_ = scale;
    update();
}

// ---------------------------------------------------------------------------------------------
// Cursor

void TPlotView::SetCursorColumn(int column) {
    const int columns = PlotRect().width();
    column = column < 0 ? -1 : std::min(column, columns - 1);
    if (column == cursorColumn_) return;
    cursorColumn_ = column;
    update();
}

bool TPlotView::SetCursorX(double x) {
    const std::optional<int32_t> column = PixelMap().Column(x);
    if (!column) return false;
    SetCursorColumn(*column);
    return true;
}

double TPlotView::CursorX() const {
    if (cursorColumn_ < 0) return NAN;
    return ColumnCentre(PixelMap(), cursorColumn_);
}

std::optional<std::size_t> TPlotView::CursorPoint(int trace) const {
    if (trace < 0 || trace >= TraceCount()) return std::nullopt;
    return NearestPoint(Trace(trace).x, CursorX());
}

std::string TPlotView::XText(double x) const {
    if (axis_ == XAxis::Time) {
        return std::abs(xHi_ - xLo_) < 2.0 ? FormatText("%.3f %s", x * 1000.0, "ms") : FormatText("%.4f %s", x, "s");
    }
    return FormatText("%.1f %s", x, "Hz");
}

std::string TPlotView::ValueText(float value) const {
    return FormatText("%.4g%s", value, "");
}

std::string TPlotView::CursorReadout() const {
    if (cursorColumn_ < 0) return std::string();
    std::string text = XText(CursorX());
    for (int i = 0; i < TraceCount(); ++i) {
        const std::optional<size_t> k = CursorPoint(i);
        if (!k) continue;
        const float v = *k < Trace(i).values.size() ? Trace(i).values[*k] : NAN;
        text += "   " + names_[static_cast<size_t>(i)] + ": " + (std::isfinite(v) ? ValueText(v) : "-");
    }
    return text;
}

void TPlotView::CursorFromPixel(int x) {
    const QRect plot = PlotRect();
    SetCursorColumn(std::clamp(x, plot.left(), plot.right()) - plot.left());
}

void TPlotView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) CursorFromPixel(static_cast<int>(event->position().x()));
    QWidget::mousePressEvent(event);
}

void TPlotView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) CursorFromPixel(static_cast<int>(event->position().x()));
    QWidget::mouseMoveEvent(event);
}

void TPlotView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int columns = PlotRect().width();
    // The first key press brings the cursor up in the middle.
    if (cursorColumn_ < 0) {
        SetCursorColumn(columns / 2);
    } else {
        SetCursorColumn(std::clamp(cursorColumn_ + (key == Qt::Key_Left ? -1 : 1), 0, columns - 1));
    }
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Export

void TPlotView::ShowFailure(const std::string& text) {
    if (host_) {
        ShowMessage(*host_, text, MessageIcon::Warning);
    } else {
        QMessageBox::warning(this, QString::fromUtf8(kProgramTitle), QString::fromStdString(text));
    }
}

bool TPlotView::SaveImage(const std::string& path, ImageFormat format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    bool ok = buffer.open(QIODevice::WriteOnly);
    if (ok && format == ImageFormat::Png) {
        ok = grab().toImage().save(&buffer, "PNG");
    } else if (ok) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size());
        svg.setViewBox(rect());
        svg.setTitle(windowTitle());
        QPainter painter;
        ok = painter.begin(&svg);
        if (ok) {
            render(&painter);
            ok = painter.end();
        }
    }
    buffer.close();
    // Written aside and renamed into place, so a failed write leaves an older file whole.
    QSaveFile file(QString::fromStdString(path));
    ok = ok && !path.empty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
         file.commit();
    if (!ok) {
        char text[1024];
        std::snprintf(text, sizeof text, kViewSaveFailed, path.c_str());
        ShowFailure(text);
    }
    return ok;
}

std::string TPlotView::ExportText() const {
    std::vector<TTextSeries> series;
    std::vector<std::string> names(traces_.size());
    for (size_t i = 0; i < traces_.size(); ++i) {
        if (traces_[i].x.empty()) continue;
        names[i] = names_[i];
        if (!unitLabel_.empty()) names[i] += " (" + unitLabel_ + ")";
        series.push_back(TTextSeries{names[i], &traces_[i].x, &traces_[i].values});
    }
    return BuildColumnText(axis_ == XAxis::Time ? kTimeColumnName : kFrequencyColumnName, series);
}

bool TPlotView::CopyAsText() {
    const std::string text = ExportText();
    bool ok = true;
    if (host_) {
        ok = host_->SetClipboardText(text);
    } else if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(QString::fromStdString(text));
    } else {
        ok = false;
    }
    if (!ok) ShowFailure(kViewClipboardFailed);
    return ok;
}

void TPlotView::SaveWithDialog(ImageFormat format) {
    const bool png = format == ImageFormat::Png;
    const QString path = QFileDialog::getSaveFileName(this, QString(), QString(),
                                                      png ? tr("PNG image (*.png)") : tr("SVG drawing (*.svg)"));
    if (path.isEmpty()) return;
    SaveImage(path.toStdString(), format);
}

void TPlotView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    connect(menu.addAction(QString::fromUtf8(kViewSavePngAction)), &QAction::triggered, this,
            [this] { SaveWithDialog(ImageFormat::Png); });
    connect(menu.addAction(QString::fromUtf8(kViewSaveSvgAction)), &QAction::triggered, this,
            [this] { SaveWithDialog(ImageFormat::Svg); });
    connect(menu.addAction(QString::fromUtf8(kViewCopyTextAction)), &QAction::triggered, this,
            [this] { CopyAsText(); });
    menu.exec(event->globalPos());
}

// ---------------------------------------------------------------------------------------------
// Drawing

TPlotView::TValueScale TPlotView::ValueScale(float dataMin, float dataMax, int plotHeight) const {
    // Symmetric about zero with a little headroom, in 1-2-5 steps.
    float m = std::max(std::abs(dataMin), std::abs(dataMax));
    if (!std::isfinite(m) || m <= 0.0f) m = 1.0f;
    const double step = NiceStep(2.0 * m * 1.05, std::max(2, plotHeight / 40));
    const float top = static_cast<float>(std::ceil(m * 1.05 / step) * step);
    return TValueScale{top, -top, static_cast<float>(step)};
}

void TPlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect plot = PlotRect();
    const TFrequencyPixelMap map = PixelMap();

    float dataMax = -INFINITY, dataMin = INFINITY;
    for (size_t i = 0; i < traces_.size(); ++i) {
        columns_[i] = ReduceToColumns(traces_[i].x, traces_[i].values, map);
        for (const TColumnExtent& c : columns_[i]) {
            if (!c.present) continue;
            dataMax = std::max(dataMax, c.max);
            dataMin = std::min(dataMin, c.min);
        }
    }
    if (!std::isfinite(dataMax)) dataMax = dataMin = NAN;
    TValueScale scale = ValueScale(dataMin, dataMax, plot.height());
    if (!(scale.top > scale.bottom)) scale.bottom = scale.top - 1.0f;
    if (!(scale.step > 0.0f)) scale.step = scale.top - scale.bottom;
    const double top = scale.top, range = static_cast<double>(scale.top) - scale.bottom;
    // Clamped rather than clipped: values beyond a fixed scale stay on its edge, and the
    // vector export needs no clipping support.
    auto yOf = [&](float v) {
        const double t = std::clamp((top - v) / range, 0.0, 1.0);
        return plot.top() + static_cast<int>(std::lround(t * (plot.height() - 1)));
    };

    // X axis.
    painter.setPen(kGridColor);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    const FrequencyPositionFn positionOf = [&](double x) { return map.Position(x); };
    bool inMilliseconds = false;
    const std::vector<TAxisMark> marks =
        axis_ == XAxis::Frequency ? BuildFrequencyAxisMarks(xLo_, xHi_, xScale_, plot.width(), positionOf)
                                  : BuildTimeAxisMarks(xLo_, xHi_, plot.width(), positionOf, &inMilliseconds);
    const QFontMetrics fm(font());
    const int labelBaseline = plot.bottom() + fm.ascent() + 4;
    for (const TAxisMark& m : marks) {
        painter.setPen(kGridColor);
        painter.drawLine(m.position, plot.top(), m.position, plot.bottom());
        if (m.label.empty()) continue;
        painter.setPen(Qt::lightGray);
        const QString text = QString::fromStdString(m.label);
        painter.drawText(m.position - fm.horizontalAdvance(text) / 2, labelBaseline, text);
    }
    if (axis_ == XAxis::Time) {
        painter.setPen(Qt::lightGray);
        painter.drawText(plot.left() - fm.horizontalAdvance("ms") - 6, labelBaseline, inMilliseconds ? "ms" : "s");
    }

    // Value axis.
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(scale.step) + 1e-6)));
    const int steps = static_cast<int>(std::floor(range / scale.step + 1e-6));
    for (int k = 0; k <= steps; ++k) {
        const float v = static_cast<float>(top - k * static_cast<double>(scale.step));
        const int y = yOf(v);
        painter.setPen(kGridColor);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(Qt::lightGray);
        const float shown = std::abs(v) < scale.step * 1e-4f ? 0.0f : v;
        painter.drawText(QRect(0, y - fm.height() / 2, kLeftMargin - 4, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(shown, 'f', decimals));
    }
    if (!unitLabel_.empty()) {
        painter.setPen(Qt::lightGray);
        painter.drawText(4, fm.ascent() + 2, QString::fromStdString(unitLabel_));
    }

    // Traces: per column a vertical stroke between its extremes, entered at the end nearer to
    // the previous column's exit. Columns without points are bridged, so that a zoomed-in
    // spectrum of fewer bins than columns stays one line.
    const bool raster = painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster;
    // Pixels go through a transparent layer of the plot's size, cleared where the last paint
    // drew and composed onto the view in one call.
    if (raster && layer_.size() != plot.size()) {
        layer_ = QImage(plot.size(), QImage::Format_ARGB32_Premultiplied);
        layer_.fill(Qt::transparent);
        layerDirtyTop_ = 0;
        layerDirtyBottom_ = -1;
    } else if (raster && layerDirtyTop_ <= layerDirtyBottom_) {
        std::memset(layer_.bits() + layerDirtyTop_ * layer_.bytesPerLine(), 0,
                    static_cast<size_t>(layerDirtyBottom_ - layerDirtyTop_ + 1) * layer_.bytesPerLine());
    }
    int layerTop = plot.height(), layerBottom = -1;
    for (size_t i = 0; i < traces_.size(); ++i) {
        const std::vector<TColumnExtent>& columns = columns_[i];
        points_.clear();  // (x, entry), (x, exit) per column with points
        for (size_t c = 0; c < columns.size(); ++c) {
            const TColumnExtent& e = columns[c];
            if (!e.present) continue;
            const int x = plot.left() + static_cast<int>(c);
            const int yTop = yOf(e.max), yBottom = yOf(e.min);
            const bool downward = points_.empty() ||
                                  std::abs(points_.back().y() - yTop) <= std::abs(points_.back().y() - yBottom);
            points_.emplace_back(x, downward ? yTop : yBottom);
            points_.emplace_back(x, downward ? yBottom : yTop);
        }
        if (points_.empty()) continue;
        const QColor colour = PlotColor(static_cast<int>(i));
        if (!raster) {
            // Vector output: one polyline per trace.
            painter.setPen(colour);
            painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
            continue;
        }
        // On pixels the same line is a one-pixel-wide bar per column; the join to the
        // neighbouring column is split between the two bars at its middle row, as a drawn line
        // would split it. Joins across empty columns stay lines.
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
        // Straight into the layer's memory, a column at a time: neighbouring bars share their
        // rows' cache lines, and a thousand thin bars cost far less than through the painter.
        const QRgb argb = colour.rgba();
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
            layerTop = std::min(layerTop, from);
            layerBottom = std::max(layerBottom, to);
        }
        if (!lines_.empty()) {
            QPainter layerPainter(&layer_);
            layerPainter.translate(-plot.topLeft());
            layerPainter.setPen(colour);
            layerPainter.drawLines(lines_.data(), static_cast<int>(lines_.size()));
            for (const QLine& l : lines_) {
                layerTop = std::max(0, std::min({layerTop, l.y1() - plot.top(), l.y2() - plot.top()}));
                layerBottom = std::min(layer_.height() - 1,
                                       std::max({layerBottom, l.y1() - plot.top(), l.y2() - plot.top()}));
            }
        }
    }
    if (layerTop <= layerBottom) {
        painter.drawImage(QPoint(plot.left(), plot.top() + layerTop), layer_,
                          QRect(0, layerTop, layer_.width(), layerBottom - layerTop + 1));
    }
    layerDirtyTop_ = layerTop;
    layerDirtyBottom_ = layerBottom;

    // Cursor and readout.
    if (cursorColumn_ >= 0 && cursorColumn_ < plot.width()) {
        const int x = plot.left() + cursorColumn_;
        painter.setPen(kCursorColor);
        painter.drawLine(x, plot.top(), x, plot.bottom());
        int right = width() - kRightMargin;
        // Right-aligned above the plot: the traces' values in their colours, the x position first.
        for (int i = TraceCount() - 1; i >= -1; --i) {
            std::string part;
            if (i < 0) {
                part = XText(CursorX());
            } else {
                const std::optional<size_t> k = CursorPoint(i);
                if (!k) continue;
                const float v = *k < Trace(i).values.size() ? Trace(i).values[*k] : NAN;
                part = names_[static_cast<size_t>(i)] + ": " + (std::isfinite(v) ? ValueText(v) : "-");
            }
            const QString text = QString::fromStdString(part);
            const int w = fm.horizontalAdvance(text);
            painter.setPen(i < 0 ? kCursorColor : PlotColor(i));
            painter.drawText(right - w, fm.ascent() + 2, text);
            right -= w + 12;
        }
    }
}

}  // namespace zeltrak
