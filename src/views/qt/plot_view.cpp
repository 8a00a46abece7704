#include "views/qt/plot_view.h"

#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "base/strings.h"
#include "platform/host.h"
#include "views/qt/file_dialogs.h"
#include "views/qt/range_dialog.h"
#include "views/trace_cursor.h"
#include "views/view_text.h"

namespace zeltrak {

namespace {
constexpr int kLeftMargin = 56;
constexpr int kRightMargin = 16;
constexpr int kBottomMargin = 28;
// Room above the plot for the unit label and the cursor readout.
constexpr int kTopMargin = 22;
// One wheel notch (120 eighths of a degree) shows this share of the span.
constexpr double kZoomPerNotch = 0.8;
// A user value range narrower than this would only draw one flat line.
constexpr double kMinValueSpan = 1e-6;
constexpr char kResetRangeAction[] = "Reset range";
constexpr char kSetRangeAction[] = "Set Range…";
}  // namespace

TPlotView::TPlotView(int traceCount, TraceAxis axis, TraceValueKind kind, QWidget* parent)
    : QWidget(parent), model_(traceCount, axis, kind), columns_(static_cast<size_t>(model_.TraceCount())) {
    setMinimumSize(240, 160);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
}

QRect TPlotView::PlotRect() const {
    return QRect(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
                 std::max(1, height() - kTopMargin - kBottomMargin));
}

QRect TPlotView::LegendRect() const { return zeltrak::LegendRect(PlotRect(), model_, QFontMetrics(font())); }

TFrequencyPixelMap TPlotView::PixelMap() const {
    const QRect r = PlotRect();
    return TFrequencyPixelMap(model_.XLo(), model_.XHi(), r.width(), model_.LogarithmicX(), r.left());
}

void TPlotView::SetXRange(double lo, double hi) {
    if (model_.SetXRange(lo, hi)) update();
}

void TPlotView::SetXScale(FrequencyScale scale) {
    if (model_.SetXScale(scale)) update();
}

// ---------------------------------------------------------------------------------------------
// Cursor

void TPlotView::PlaceCursor(double x) {
    const std::optional<std::size_t> k = SnapToPoint(model_, x);
    const double snapped = k ? static_cast<double>(CursorPoints(model_)[*k]) : x;
    if (snapped == cursorX_) return;
    cursorX_ = snapped;
    update();
}

void TPlotView::SetCursorColumn(int column) {
    if (column < 0) {
        if (!std::isnan(cursorX_)) update();
        cursorX_ = NAN;
        return;
    }
    PlaceCursor(ColumnCentre(PixelMap(), std::min(column, PlotRect().width() - 1)));
}

int TPlotView::CursorColumn() const {
    if (std::isnan(cursorX_)) return -1;
    return PixelMap().Column(cursorX_).value_or(-1);
}

bool TPlotView::SetCursorX(double x) {
    if (!PixelMap().Column(x)) return false;
    PlaceCursor(x);
    return true;
}

std::optional<std::size_t> TPlotView::CursorPoint(int trace) const {
    if (trace < 0 || trace >= TraceCount()) return std::nullopt;
    return NearestPoint(model_.Trace(trace).x, CursorX());
}

std::string TPlotView::CursorReadout() const {
    if (std::isnan(cursorX_)) return std::string();
    return JoinReadout(CursorReadoutParts(model_, CursorX()));
}

void TPlotView::CursorFromPixel(int x) {
    const QRect plot = PlotRect();
    SetCursorColumn(std::clamp(x, plot.left(), plot.right()) - plot.left());
}

void TPlotView::mousePressEvent(QMouseEvent* event) {
    const bool shiftLeft = event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier);
    if (shiftLeft || event->button() == Qt::MiddleButton) {
        boxStart_ = boxEnd_ = event->position().toPoint();
        return event->accept();
    }
    if (event->button() == Qt::LeftButton) CursorFromPixel(static_cast<int>(event->position().x()));
    QWidget::mousePressEvent(event);
}

void TPlotView::mouseMoveEvent(QMouseEvent* event) {
    if (boxStart_) {
        boxEnd_ = event->position().toPoint();
        update();
        return event->accept();
    }
    if (event->buttons() & Qt::LeftButton) CursorFromPixel(static_cast<int>(event->position().x()));
    QWidget::mouseMoveEvent(event);
}

void TPlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (!boxStart_) return QWidget::mouseReleaseEvent(event);
    const QRect box = QRect(*boxStart_, event->position().toPoint()).normalized() & PlotRect();
    boxStart_.reset();
    ZoomToBox(box);
    update();
    event->accept();
}

bool TPlotView::MoveCursorByKey(int key, bool control) {
    const bool left = key == Qt::Key_Left, right = key == Qt::Key_Right;
    const bool highest = key == Qt::Key_Home || key == Qt::Key_P;
    const bool nextPeak = ((left || right) && control) || key == Qt::Key_Comma || key == Qt::Key_Period;
    if (!left && !right && !highest && !nextPeak) return false;
    const int direction = left || key == Qt::Key_Comma ? -1 : 1;
    const std::vector<float>& points = CursorPoints(model_);
    const std::optional<std::size_t> at = NearestPoint(points, cursorX_);
    std::optional<std::size_t> target;
    if (highest || (nextPeak && !at)) {
        target = HighestPeak(model_);
    } else if (nextPeak) {
        target = NextPeak(model_, *at, direction);
    } else if (!at) {
        // Without a cursor or without points: the middle first, then column by column.
        const int column = CursorColumn();
        SetCursorColumn(column < 0 ? PlotRect().width() / 2 : std::max(0, column + direction));
        return true;
    } else {
        target = StepPoint(model_, *at, direction);
    }
    if (target) PlaceCursor(points[*target]);
    return true;
}

void TPlotView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_R && (event->modifiers() & Qt::ControlModifier)) {
        EditRange();
        event->accept();
    } else if (event->key() == Qt::Key_R || event->key() == Qt::Key_Backspace) {
        ResetRange();
        event->accept();
    } else if (MoveCursorByKey(event->key(), event->modifiers() & Qt::ControlModifier)) {
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

// ---------------------------------------------------------------------------------------------
// Range

void TPlotView::ResetRange() {
    const bool changed = model_.ResetXZoom() || userValues_.has_value();
    userValues_.reset();
    model_.ResetValueHold();
    if (changed) update();
}

TUserRange TPlotView::UserRange() const { return TUserRange{{model_.XLo(), model_.XHi()}, userValues_}; }

void TPlotView::RestoreRange(const TUserRange& range) {
    const double lo = std::max(range.x.lo, model_.FullXLo()), hi = std::min(range.x.hi, model_.FullXHi());
    if (lo < hi) {
        model_.SetXZoom(lo, hi);
    } else {
        model_.ResetXZoom();
    }
    const bool valuesUsable = range.values && range.values->hi - range.values->lo > kMinValueSpan;
    userValues_ = valuesUsable ? range.values : std::nullopt;
    if (!userValues_) model_.ResetValueHold();
    update();
}

double TPlotView::DisplayPerX() const { return model_.Axis() == TraceAxis::Time ? 1000.0 : 1.0; }

bool TPlotView::EditRange() {
    const double unit = DisplayPerX();
    const TRangeLimits limits{{model_.FullXLo() * unit, model_.FullXHi() * unit},
                              model_.LogarithmicX(),
                              model_.Axis() == TraceAxis::Time ? "ms" : "Hz"};
    const TUserRange shown{{model_.XLo() * unit, model_.XHi() * unit}, TAxisSpan{shownScale_.bottom, shownScale_.top}};
    TRangeDialog dialog(shown, !userValues_, limits, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    const TUserRange chosen = dialog.Range();
    RestoreRange(TUserRange{{chosen.x.lo / unit, chosen.x.hi / unit}, chosen.values});
    return true;
}

void TPlotView::ZoomXAt(int pixelX, double factor) {
    const QRect plot = PlotRect();
    const double anchor = ColumnCentre(PixelMap(), std::clamp(pixelX - plot.left(), 0, plot.width() - 1));
    const TAxisSpan span = ZoomAbout({model_.XLo(), model_.XHi()}, anchor, factor, model_.LogarithmicX());
    if (model_.SetXZoom(span.lo, span.hi)) update();
}

void TPlotView::ZoomValuesAt(int pixelY, double factor) {
    const QRect plot = PlotRect();
    const double fromTop = std::clamp(static_cast<double>(pixelY - plot.top()) / plot.height(), 0.0, 1.0);
    const TAxisSpan shown{shownScale_.bottom, shownScale_.top};
    const double anchor = shown.hi - fromTop * (shown.hi - shown.lo);
    const TAxisSpan span = ZoomAbout(shown, anchor, factor, false);
    if (!(span.hi - span.lo > kMinValueSpan)) return;
    userValues_ = span;
    update();
}

void TPlotView::ZoomToBox(const QRect& box) {
    // A click or a slip of the hand is no box.
    constexpr int kMinBoxPixels = 4;
    if (box.width() < kMinBoxPixels || box.height() < kMinBoxPixels) return;
    const QRect plot = PlotRect();
    const TFrequencyPixelMap map = PixelMap();
    model_.SetXZoom(map.ColumnEdge(box.left() - plot.left()), map.ColumnEdge(box.right() + 1 - plot.left()));
    const double perPixel = (shownScale_.top - shownScale_.bottom) / static_cast<double>(plot.height());
    userValues_ = TAxisSpan{shownScale_.top - (box.bottom() + 1 - plot.top()) * perPixel,
                            shownScale_.top - (box.top() - plot.top()) * perPixel};
}

void TPlotView::wheelEvent(QWheelEvent* event) {
    // Some platforms turn a Shift+wheel into a horizontal one.
    const QPoint delta = event->angleDelta();
    const int eighths = delta.y() != 0 ? delta.y() : delta.x();
    if (eighths == 0) return QWidget::wheelEvent(event);
    const double factor = std::pow(kZoomPerNotch, eighths / 120.0);
    const QPoint at = event->position().toPoint();
    if (event->modifiers() & Qt::ShiftModifier) {
        ZoomValuesAt(at.y(), factor);
    } else {
        ZoomXAt(at.x(), factor);
    }
    event->accept();
}

TValueScale TPlotView::ChooseShownScale(const TValueRange& data, int plotHeight) {
    if (userValues_) {
        const float top = static_cast<float>(userValues_->hi), bottom = static_cast<float>(userValues_->lo);
        const double step = NiceStep(userValues_->hi - userValues_->lo, std::max(2, plotHeight / 40));
        return TValueScale{top, bottom, static_cast<float>(step)};
    }
    const TAxisSpan held = model_.HoldValueRange(data.min, data.max);
    return ChooseValueScale(model_.ValueKind(), static_cast<float>(held.lo), static_cast<float>(held.hi), plotHeight);
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

namespace {

constexpr int kCaptionPadding = 6;

QString CaptionText(const std::vector<std::string>& lines) {
    QStringList parts;
    for (const std::string& line : lines) parts << QString::fromStdString(line);
    return parts.join('\n');
}

// The strip below the view that holds the caption, its lines wrapped to the view's width.
int CaptionStripHeight(const QWidget& view, const QString& caption) {
    if (caption.isEmpty()) return 0;
    const int textWidth = std::max(1, view.width() - 2 * kCaptionPadding);
    const QRect text = view.fontMetrics().boundingRect(QRect(0, 0, textWidth, 1 << 16), Qt::TextWordWrap, caption);
    return text.height() + 2 * kCaptionPadding;
}

void DrawCaptionStrip(QPainter& painter, const QWidget& view, const QString& caption, int stripHeight) {
    const QRect strip(0, view.height(), view.width(), stripHeight);
    painter.fillRect(strip, view.palette().color(QPalette::Window));
    painter.setPen(QColor(Qt::lightGray));  // as the axis labels
    painter.setFont(view.font());
    painter.drawText(strip.adjusted(kCaptionPadding, kCaptionPadding, -kCaptionPadding, -kCaptionPadding),
                     Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, caption);
}

bool WritePng(QWidget& view, const QString& caption, QIODevice& out) {
    const QImage shown = view.grab().toImage();
    const int stripHeight = CaptionStripHeight(view, caption);
    if (stripHeight == 0) return shown.save(&out, "PNG");
    const qreal ratio = shown.devicePixelRatio();
    QImage image(shown.width(), shown.height() + qRound(stripHeight * ratio), shown.format());
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.drawImage(0, 0, shown);
    DrawCaptionStrip(painter, view, caption, stripHeight);
    painter.end();
    return image.save(&out, "PNG");
}

bool WriteSvg(QWidget& view, const QString& caption, QIODevice& out) {
    const int stripHeight = CaptionStripHeight(view, caption);
    const QSize size(view.width(), view.height() + stripHeight);
    QSvgGenerator svg;
    svg.setOutputDevice(&out);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    // The caption goes into the drawing's title and description as well, for file browsers.
    svg.setTitle(caption.isEmpty() ? view.windowTitle() : caption.section('\n', 0, 0));
    svg.setDescription(caption);
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    view.render(&painter);
    if (stripHeight > 0) DrawCaptionStrip(painter, view, caption, stripHeight);
    return painter.end();
}

}  // namespace

std::vector<std::string> TPlotView::CaptionLines() const {
    if (!captionSource_) return {};
    return ExportCaptionLines(captionSource_(), std::chrono::system_clock::now());
}

bool TPlotView::SaveImage(const std::string& path, ImageFormat format) {
    const QString caption = CaptionText(CaptionLines());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    bool ok = buffer.open(QIODevice::WriteOnly) &&
              (format == ImageFormat::Png ? WritePng(*this, caption, buffer) : WriteSvg(*this, caption, buffer));
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
    const QString filter = png ? tr("PNG image (*.png)") : tr("SVG drawing (*.svg)");
    const QString path = QFileDialog::getSaveFileName(this, QString(), QString(), filter);
    if (path.isEmpty()) return;
    SaveImage(WithFilterExtension(path, filter).toStdString(), format);
}

void TPlotView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    connect(menu.addAction(QString::fromUtf8(kViewSavePngAction)), &QAction::triggered, this,
            [this] { SaveWithDialog(ImageFormat::Png); });
    connect(menu.addAction(QString::fromUtf8(kViewSaveSvgAction)), &QAction::triggered, this,
            [this] { SaveWithDialog(ImageFormat::Svg); });
    connect(menu.addAction(QString::fromUtf8(kViewCopyTextAction)), &QAction::triggered, this,
            [this] { CopyAsText(); });
    menu.addSeparator();
    connect(menu.addAction(QString::fromUtf8(kSetRangeAction)), &QAction::triggered, this, [this] { EditRange(); });
    connect(menu.addAction(QString::fromUtf8(kResetRangeAction)), &QAction::triggered, this, [this] { ResetRange(); });
    menu.exec(event->globalPos());
}

// ---------------------------------------------------------------------------------------------
// Drawing

void TPlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect plot = PlotRect();
    const TFrequencyPixelMap map = PixelMap();
    const QFontMetrics fm(font());
    for (int i = 0; i < TraceCount(); ++i) {
        const TTrace& t = model_.Trace(i);
        columns_[static_cast<size_t>(i)] = ReduceToColumns(t.x, t.values, map);
    }
    const TValueRange range = ColumnsRange(columns_);
    const TValueScale scale = ChooseShownScale(range, plot.height());
    shownScale_ = scale;
    const TValueRows rows(scale, plot);
    PaintXAxis(painter, plot, map, model_, fm);
    PaintValueAxis(painter, plot, scale, rows, model_.UnitLabel(), fm);
    if (model_.OnBandAxis()) {
        PaintBandBars(painter, plot, map, model_, rows);
    } else {
        tracePainter_.Paint(painter, plot, columns_, rows);
    }
    PaintLegend(painter, plot, model_, fm);
    if (boxStart_) {
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(*boxStart_, boxEnd_).normalized());
    }
    if (const int cursorColumn = CursorColumn(); cursorColumn >= 0) {
        PaintCursor(painter, plot, cursorColumn, CursorReadoutParts(model_, CursorX()), fm, width() - kRightMargin);
    }
}

}  // namespace zeltrak
