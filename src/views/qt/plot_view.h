#pragma once
#include <QColor>
#include <QImage>
#include <QLine>
#include <QRect>
#include <QPoint>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "views/column_reduction.h"
#include "views/frequency_axis.h"

namespace zeltrak {

class Host;

// What the plot views share: the plot rectangle inside fixed margins, the value-axis grid and
// labels, the x-axis grid and labels (frequency marks, or linear time marks), traces reduced to
// one min/max pair per pixel column and drawn with one polyline per trace, a cursor
// moved by mouse or by the Left/Right keys with a readout of each trace at it, and a context
// menu that saves the view as PNG or SVG or copies its points as tab-separated text.
class TPlotView : public QWidget {
public:
    enum class XAxis { Frequency, Time };
    enum class ImageFormat { Png, Svg };

    TPlotView(int traceCount, XAxis axis, QWidget* parent);

    // Messages and the clipboard go through the host when one is set; otherwise Qt's own
    // message box and clipboard serve.
    void SetHost(Host* host) { host_ = host; }
    // The value axis's unit as drawn above it.
    const std::string& UnitLabel() const { return unitLabel_; }

    QRect PlotRect() const;
    // The x-to-pixel mapping of the current size and range.
    TFrequencyPixelMap PixelMap() const;
    // The colour of trace i (0 left, 1 right, 2 and 3 the two-channel results).
    static QColor PlotColor(int trace);

    // Writes the view as it is drawn now; false (after a message) when the file could not be
    // written. An existing file is only replaced once the new one is complete.
    bool SaveImage(const std::string& path, ImageFormat format);
    // The points of every trace present as a tab-separated table with a header line.
    std::string ExportText() const;
    // ExportText onto the clipboard; false (after a message) when the clipboard refused it.
    bool CopyAsText();

    // The cursor sits on a pixel column of the plot (0 … width − 1), or nowhere (−1).
    void SetCursorColumn(int column);
    int CursorColumn() const { return cursorColumn_; }
    // Puts the cursor on the column holding x; false (cursor unchanged) outside the axis.
    bool SetCursorX(double x);
    // The x value at the centre of the cursor column; NaN without a cursor.
    double CursorX() const;
    // Trace i's point nearest to the cursor, its x and its value (NaN: no value there).
    std::optional<std::size_t> CursorPoint(int trace) const;
    // The readout drawn in the view: the cursor position and each trace's value there.
    std::string CursorReadout() const;

    int TraceCount() const { return static_cast<int>(traces_.size()); }

protected:
    struct TPlotTrace {
        std::vector<float> x;  // ascending
        std::vector<float> values;  // NaN: no value at that point
    };
    struct TValueScale {
        float top = 1.0f;
        float bottom = 0.0f;
        float step = 0.5f;
    };

    TPlotTrace& Trace(int i) { return traces_[static_cast<size_t>(i)]; }
    const TPlotTrace& Trace(int i) const { return traces_[static_cast<size_t>(i)]; }
    void ClearTraces();
    void SetXRange(double lo, double hi);
    double XLo() const { return xLo_; }
    double XHi() const { return xHi_; }
    // 0 linear; any other value gives a logarithmic frequency axis when lo is above 0.
    void SetXScale(int scale);
    int XScale() const { return xScale_; }
    void SetTraceName(int i, std::string name) { names_[static_cast<size_t>(i)] = std::move(name); }
    void SetUnitLabel(std::string label) { unitLabel_ = std::move(label); }

    // The value axis for the extremes of the data shown (NaN when there is none).
    virtual TValueScale ValueScale(float dataMin, float dataMax, int plotHeight) const;
    virtual std::string ValueText(float value) const;
    std::string XText(double x) const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CursorFromPixel(int x);
    void ShowFailure(const std::string& text);
    void SaveWithDialog(ImageFormat format);

    std::vector<TPlotTrace> traces_;
    std::vector<std::string> names_;
    XAxis axis_;
    double xLo_ = 0.0;
    double xHi_ = 1.0;
    int xScale_ = 0;
    std::string unitLabel_;
    int cursorColumn_ = -1;
    Host* host_ = nullptr;
    // Kept between paints: the reduced columns, and the polyline buffer reused by every redraw.
    std::vector<std::vector<TColumnExtent>> columns_;
    std::vector<QPoint> points_;
    std::vector<QRect> rects_;  // one bar per column
    QImage layer_;
    int layerDirtyTop_ = 0;
    int layerDirtyBottom_ = -1;
    std::vector<QLine> lines_;
};

}  // namespace zeltrak
