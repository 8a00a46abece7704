#pragma once
#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <string>
#include <vector>

#include "views/column_reduction.h"
#include "views/frequency_axis.h"
#include "views/trace_model.h"

namespace zeltrak {

// The pieces of a plot view's picture, each drawn by its own painter in this order: the frame
// with the x-axis grid, the value-axis grid, the traces, the legend, the cursor.

// The colour of trace i (0 left, 1 right, 2 and 3 the two-channel results).
QColor TraceColour(int trace);

// The extremes of every present column of every trace; NaN for both when there is none.
struct TValueRange {
    float min = NAN;
    float max = NAN;
};
TValueRange ColumnsRange(const std::vector<std::vector<TColumnExtent>>& columns);

// Values to pixel rows of the plot. A value beyond the scale gets a row outside the plot (at
// most a hundred plot heights away, so that infinities stay drawable), for the painters to clip.
class TValueRows {
public:
    TValueRows(const TValueScale& scale, const QRect& plot);
    int Row(float value) const;
    double Top() const { return top_; }
    double Range() const { return range_; }

private:
    double top_;
    double range_;
    int plotTop_;
    int plotHeight_;
};

// The plot's frame and the x axis's gridlines and labels (frequency or time marks), with the
// axis's unit left of them.
void PaintXAxis(QPainter& painter, const QRect& plot, const TFrequencyPixelMap& map, const TTraceModel& model,
                const QFontMetrics& fm);

// The value axis's gridlines, their labels right-aligned left of the plot, and the unit above.
void PaintValueAxis(QPainter& painter, const QRect& plot, const TValueScale& scale, const TValueRows& rows,
                    const std::string& unitLabel, const QFontMetrics& fm);

// The legend: a colour swatch and the name of each trace that holds points, one entry a line,
// at the top right inside the plot on a dark ground, so that a trace hidden under another
// still shows that it is there.
// Where the legend goes; empty when no trace holds points.
QRect LegendRect(const QRect& plot, const TTraceModel& model, const QFontMetrics& fm);
void PaintLegend(QPainter& painter, const QRect& plot, const TTraceModel& model, const QFontMetrics& fm);

// The bands of a band axis as filled bars from the plot's bottom to each trace's value, the
// traces holding values side by side within each band's edges.
void PaintBandBars(QPainter& painter, const QRect& plot, const TFrequencyPixelMap& map, const TTraceModel& model,
                   const TValueRows& rows);

// The cursor's line on its column and the readout right-aligned above the plot ending at
// `right`: each part in its trace's colour, the x position first.
void PaintCursor(QPainter& painter, const QRect& plot, int column, const std::vector<TReadoutPart>& readout,
                 const QFontMetrics& fm, int right);

// The traces: per column a vertical stroke between its extremes, entered at the end nearer to
// the previous column's exit. Columns without points are bridged, so that a zoomed-in spectrum
// of fewer bins than columns stays one line. Keeps its buffers between paints.
class TTracePainter {
public:
    void Paint(QPainter& painter, const QRect& plot, const std::vector<std::vector<TColumnExtent>>& columns,
               const TValueRows& rows);

private:
    // The stroke cut to the plot's rows by hand: the vector export has no clip support.
    void PaintPolylines(QPainter& painter, const QRect& plot, const std::vector<std::vector<TColumnExtent>>& columns,
                        const TValueRows& rows);
    void BuildStroke(const std::vector<TColumnExtent>& columns, int left, const TValueRows& rows);
    void PrepareLayer(const QSize& size);
    void BuildBars();
    void WriteBars(QRgb argb, const QRect& plot);
    void DrawJoins(const QColor& colour, const QRect& plot);
    void Compose(QPainter& painter, const QRect& plot);

    std::vector<QPoint> points_;  // (x, entry), (x, exit) per column with points
    std::vector<QRect> rects_;  // one bar per column
    std::vector<QLine> lines_;  // joins across empty columns
    // Pixels go through a transparent layer of the plot's size, cleared where the last paint
    // drew and composed onto the view in one call.
    QImage layer_;
    int dirtyTop_ = 0;
    int dirtyBottom_ = -1;
    int paintedTop_ = 0;
    int paintedBottom_ = -1;
};

}  // namespace zeltrak
