#pragma once
#include <QString>
#include <QWidget>

#include "utilities/reverb_analysis.h"

class QPainter;

namespace zeltrak {

enum class ReverbView { Times = 0, Decay = 1, Surface = 2 };

// A band's label under its bar: "%6.1f" Hz, "%6.1fk" from 1 kHz, the wideband entry "Wide".
QString ReverbBandLabel(float frequency);
// "RT10" ... "RT60" for the bar chart's choice, the band's label for the decay plot.
QString ReverbTimeName(int rtIndex);

// Each draws the whole plot, title and axes included, into `area`.
void PaintReverbTimes(QPainter& painter, const QRect& area, const ReverbData& data, const ReverbOptions& options);
void PaintReverbDecay(QPainter& painter, const QRect& area, const ReverbData& data, const ReverbOptions& options);
void PaintReverbSurface(QPainter& painter, const QRect& area, const ReverbData& data);

// The window's plot: one of the three views of the data it is shown, or the no-data or
// in-progress text.
class TReverbPlot : public QWidget {
public:
    TReverbPlot(const ReverbData& data, const ReverbOptions& options, QWidget* parent = nullptr);

    ReverbView View() const { return view_; }
    void SetView(ReverbView view);
    // While set, the plot shows only `text` (the measurement's in-progress line).
    void SetNotice(const QString& text);
    QSize sizeHint() const override { return {640, 420}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ReverbData& data_;
    const ReverbOptions& options_;
    ReverbView view_ = ReverbView::Times;
    QString notice_;
};

}  // namespace zeltrak
