#pragma once
#include <QColor>
#include <QRect>
#include <QWidget>
#include <cmath>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "views/column_reduction.h"
#include "views/export_caption.h"
#include "views/frequency_axis.h"
#include "views/qt/plot_painters.h"
#include "views/trace_model.h"

namespace zeltrak {

class Host;

// What the plot views share: the plot rectangle inside fixed margins, the value-axis grid and
// labels, the x-axis grid and labels (frequency marks, or linear time marks), traces reduced to
// one min/max pair per pixel column and drawn with one polyline per trace (fractional-octave
// bands as bars over their edges, the axis labelled with the octave centres), a legend naming the
// traces that hold points, a cursor on the traces' points (moved by mouse, point by point with
// Left/Right, to the highest peak with Home or P, to the next peak with Ctrl+Left/Right or ,
// and .) with a readout of each trace at it, zoom by the wheel about the pointer (x, or the
// values with Shift) or by a box drawn with Shift+left or middle drag, or typed into a range dialog
// (Ctrl+R), undone by R or Backspace, and a context menu that saves the view as PNG or SVG, copies
// its points as tab-separated text, sets or resets the range. What is drawn is the view's trace model; the
// subclasses fill it.
class TPlotView : public QWidget {
public:
    enum class ImageFormat { Png, Svg };

    TPlotView(int traceCount, TraceAxis axis, TraceValueKind kind, QWidget* parent);

    // Messages and the clipboard go through the host when one is set; otherwise Qt's own
    // message box and clipboard serve.
    void SetHost(Host* host) { host_ = host; }
    const TTraceModel& Model() const { return model_; }
    // The value axis's unit as drawn above it.
    const std::string& UnitLabel() const { return model_.UnitLabel(); }

    QRect PlotRect() const;
    // The legend's box inside the plot; empty while no trace holds points.
    QRect LegendRect() const;
    // The x-to-pixel mapping of the current size and range.
    TFrequencyPixelMap PixelMap() const;
    // The colour of trace i (0 left, 1 right, 2 and 3 the two-channel results).
    static QColor PlotColor(int trace) { return TraceColour(trace); }

    // Exports carry a caption naming the view, the data's source, the settings and the date;
    // the window sets where those come from. Without a source a view exports bare.
    using CaptionSource = std::function<TExportCaptionInputs()>;
    void SetCaptionSource(CaptionSource source) { captionSource_ = std::move(source); }
    // The caption an export made now would carry; empty without a caption source.
    std::vector<std::string> CaptionLines() const;

    // Writes the view as it is drawn now, the caption in a strip below it; false (after a
    // message) when the file could not be written. An existing file is only replaced once the
    // new one is complete.
    bool SaveImage(const std::string& path, ImageFormat format);
    // The caption as "# " comment lines, then the points of every trace present as a
    // tab-separated table with a header line.
    std::string ExportText() const { return CaptionComment(CaptionLines()) + TraceTable(model_); }
    // ExportText onto the clipboard; false (after a message) when the clipboard refused it.
    bool CopyAsText();

    // The cursor sits on the traces' point nearest to the centre of a pixel column of the plot
    // (0 … width − 1; on the column itself while there are no points), or nowhere (−1).
    void SetCursorColumn(int column);
    // The column of the cursor's point, or −1.
    int CursorColumn() const;
    // Puts the cursor on the point nearest to x; false (cursor unchanged) outside the axis.
    bool SetCursorX(double x);
    // The x value of the cursor's point; NaN without a cursor.
    double CursorX() const { return cursorX_; }
    // Trace i's point nearest to the cursor, its x and its value (NaN: no value there).
    std::optional<std::size_t> CursorPoint(int trace) const;
    // The readout drawn in the view: the cursor position and each trace's value there.
    std::string CursorReadout() const;

    int TraceCount() const { return model_.TraceCount(); }

    // The value axis as last drawn: the user's range, or else chosen around the held extremes
    // of the data.
    const TValueScale& ShownValueScale() const { return shownScale_; }
    bool ValueRangeUserSet() const { return userValues_.has_value(); }
    // Back to the whole x range and the automatic value axis (R, Backspace, the context menu).
    void ResetRange();
    // The user's range as shown now (x, and the value range unless automatic), and the same
    // restored, cut to the data's x axis (the whole axis when nothing of it is left).
    TUserRange UserRange() const;
    // True once the user zoomed either axis.
    bool RangeUserSet() const { return model_.XZoomed() || userValues_.has_value(); }
    void RestoreRange(const TUserRange& range);
    // Asks for the range (the context menu, Ctrl+R); false when cancelled.
    bool EditRange();

protected:
    // The subclasses fill the model and then ask for a repaint.
    TTraceModel& EditModel() { return model_; }
    void SetXRange(double lo, double hi);
    void SetXScale(FrequencyScale scale);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // A Shift+left or middle drag draws a zoom box; its release shows what it encloses.
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Zooms about the pointer: the x axis, or the value axis with Shift.
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CursorFromPixel(int x);
    // Puts the cursor on x, or on the point nearest to it when there are points.
    void PlaceCursor(double x);
    // Moves the cursor by a point (or a column without points) or to a peak; false for other keys.
    bool MoveCursorByKey(int key, bool control);
    void ZoomXAt(int pixelX, double factor);
    void ZoomValuesAt(int pixelY, double factor);
    void ZoomToBox(const QRect& box);
    // The x axis in the range dialog's unit: milliseconds for time, else Hz.
    double DisplayPerX() const;
    TValueScale ChooseShownScale(const TValueRange& data, int plotHeight);
    void ShowFailure(const std::string& text);
    void SaveWithDialog(ImageFormat format);

    TTraceModel model_;
    double cursorX_ = NAN;
    std::optional<TAxisSpan> userValues_;
    TValueScale shownScale_;
    // The zoom box being drawn: where the drag started and where the pointer is now.
    std::optional<QPoint> boxStart_;
    QPoint boxEnd_;
    Host* host_ = nullptr;
    CaptionSource captionSource_;
    // Kept between paints: the reduced columns and the trace painter's buffers.
    std::vector<std::vector<TColumnExtent>> columns_;
    TTracePainter tracePainter_;
};

}  // namespace zeltrak
