#pragma once
#include <QColor>
#include <QWidget>

#include "views/level_reading.h"

namespace zeltrak {

struct EngineFrame;

// The status bar's level meters: per channel a bar for the rms, a marker for the peak and a
// line for the held peak on a −60 … 0 dBFS scale, the numbers beside it, and the overload lamp.
// The right channel is greyed in mono.
class TLevelMeter : public QWidget {
public:
    static constexpr double kScaleBottomDb = -60.0;

    explicit TLevelMeter(QWidget* parent = nullptr);

    void Show(const EngineFrame& frame);
    void Reset();
    const TLevelReading& Reading() const { return reading_; }

    // "pk −6.0  rms −9.0 dBFS"; a dash for a channel the frames do not carry.
    QString ReadoutText(int channel) const;
    // Where the bar of a channel may reach: its left edge is the bottom of the scale, its right 0 dBFS.
    QRect Track(int channel) const;
    // The bar's colour at a level: green, then yellow from −18, red from −6 dBFS.
    static QColor ZoneColor(double db);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int XOf(const QRect& track, double db) const;
    void PaintChannel(QPainter& painter, int channel) const;
    void PaintScale(QPainter& painter) const;
    void PaintLamp(QPainter& painter) const;
    QRect LampRect() const;

    TLevelReading reading_;
};

}  // namespace zeltrak
