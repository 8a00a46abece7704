#include "views/qt/level_meter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "engine/engine_listener.h"

namespace zeltrak {
namespace {

constexpr int kLabelWidth = 22;  // room for the channel letter and half of the "−60" label
constexpr int kTrackWidth = 240;
constexpr int kLampWidth = 44;
constexpr int kGap = 6;
constexpr double kYellowFromDb = -18.0;
constexpr double kRedFromDb = -6.0;
const QColor kTrackColor(48, 48, 48);
const QColor kPeakColor(240, 240, 240);
const QColor kHoldColor(64, 160, 255);

// One decimal with true signs, which read better than a hyphen beside the bar; the AES17 rms of
// a square wave lies above 0 dBFS.
QString DbText(double db, int decimals = 1) {
    const QString text = QString::number(db, 'f', decimals).replace('-', QChar(0x2212));
    return db >= 0.05 ? '+' + text : text;
}

// The widest readout, so that the meter does not change width as the numbers change.
const char* const kWidestReadout = "pk −120.0  rms −120.0 dBFS";

}  // namespace

TLevelMeter::TLevelMeter(QWidget* parent) : QWidget(parent) {
    setObjectName("levelMeter");
    // The status bar would otherwise squeeze the two rows and the scale into one line.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMinimumSize(sizeHint());
    setToolTip(tr("Input level in dBFS (decibels relative to full scale).\n"
                  "Bar: rms; white marker: peak; blue line: highest peak, held %1 s.\n"
                  "The rms follows the AES17 convention: a full-scale sine reads 0 dBFS\n"
                  "(a full-scale square wave +3 dBFS).\n"
                  "OVER lights for %2 s after an overloaded frame.")
                   .arg(kPeakHoldSeconds)
                   .arg(kOverloadHoldSeconds));
}

void TLevelMeter::Show(const EngineFrame& frame) {
    reading_.Take(frame);
    update();
}

void TLevelMeter::Reset() {
    reading_.Reset();
    update();
}

QString TLevelMeter::ReadoutText(int channel) const {
    if (channel >= reading_.Channels()) return QString(QChar(0x2014));
    const ChannelLevel level = reading_.Level(channel);
    return tr("pk %1  rms %2 dBFS").arg(DbText(level.peakDb), DbText(level.rmsDb));
}

QSize TLevelMeter::sizeHint() const {
    const int row = fontMetrics().height();
    const int textWidth = fontMetrics().horizontalAdvance(QString::fromUtf8(kWidestReadout));
    return {kLabelWidth + kTrackWidth + 2 * kGap + textWidth + kLampWidth, 2 * row + row * 3 / 4 + 2};
}

// Rows: left bar, the scale between them, right bar.
QRect TLevelMeter::Track(int channel) const {
    const int row = fontMetrics().height();
    const int top = channel == 0 ? 1 : 1 + row + row * 3 / 4;
    return {kLabelWidth, top + 2, kTrackWidth, row - 4};
}

QRect TLevelMeter::LampRect() const {
    const int row = fontMetrics().height();
    return {width() - kLampWidth, 1 + row / 2, kLampWidth - 2, row + row * 3 / 4};
}

QColor TLevelMeter::ZoneColor(double db) {
    if (db >= kRedFromDb) return {220, 40, 40};
    if (db >= kYellowFromDb) return {230, 200, 40};
    return {50, 190, 60};
}

int TLevelMeter::XOf(const QRect& track, double db) const {
    const double fraction = (std::clamp(db, kScaleBottomDb, 0.0) - kScaleBottomDb) / -kScaleBottomDb;
    return track.left() + static_cast<int>(std::lround(fraction * track.width()));
}

void TLevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int c = 0; c < 2; ++c) PaintChannel(painter, c);
    PaintScale(painter);
    PaintLamp(painter);
}

void TLevelMeter::PaintChannel(QPainter& painter, int channel) const {
    const QRect track = Track(channel);
    const bool present = channel < reading_.Channels();
    const QColor text = palette().color(present ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    painter.setPen(text);
    const QRect row(0, track.top() - 2, width(), track.height() + 4);
    painter.drawText(row.adjusted(6, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, channel == 0 ? tr("L") : tr("R"));
    painter.drawText(row.adjusted(track.right() + kGap, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     ReadoutText(channel));
    painter.fillRect(track, present ? kTrackColor : palette().color(QPalette::Mid));
    if (!present) return;
    // The bar in its zones' colours, so that its end tells the zone at a glance.
    const ChannelLevel level = reading_.Level(channel);
    const int end = XOf(track, level.rmsDb);
    const double zones[3][2] = {{kScaleBottomDb, kYellowFromDb}, {kYellowFromDb, kRedFromDb}, {kRedFromDb, 0.0}};
    for (const auto& zone : zones) {
        const int left = XOf(track, zone[0]);
        const int right = std::min(end, XOf(track, zone[1]));
        if (right > left) painter.fillRect(QRect(left, track.top(), right - left, track.height()), ZoneColor(zone[0]));
    }
    // The held line first: where the peak reaches it, the peak is what matters.
    const double held = reading_.HeldPeakDb(channel);
    if (held > kScaleBottomDb) painter.fillRect(QRect(XOf(track, held) - 1, track.top(), 2, track.height()), kHoldColor);
    if (level.peakDb > kScaleBottomDb)
        painter.fillRect(QRect(XOf(track, level.peakDb) - 1, track.top(), 2, track.height()), kPeakColor);
}

void TLevelMeter::PaintScale(QPainter& painter) const {
    const QRect top = Track(0), bottom = Track(1);
    QFont small = font();
    small.setPixelSize(std::max(8, (bottom.top() - top.bottom()) - 2));
    painter.setFont(small);
    painter.setPen(palette().color(QPalette::WindowText));
    for (double db = kScaleBottomDb; db <= 0.0; db += 12.0) {
        const int x = XOf(top, db);
        painter.drawLine(x, top.bottom() + 1, x, top.bottom() + 3);
        const QRect label(x - 16, top.bottom() + 1, 32, bottom.top() - top.bottom() - 1);
        painter.drawText(label, Qt::AlignCenter, DbText(db, 0));
    }
}

void TLevelMeter::PaintLamp(QPainter& painter) const {
    const bool lit = reading_.OverloadLit();
    const QRect lamp = LampRect();
    painter.setFont(font());
    painter.setPen(Qt::NoPen);
    // Unlit it is plain grey, so that only a real overload reads as red.
    painter.setBrush(lit ? QColor(230, 30, 30) : QColor(200, 200, 200));
    painter.drawRoundedRect(lamp, 4, 4);
    painter.setPen(lit ? Qt::white : QColor(130, 130, 130));
    painter.drawText(lamp, Qt::AlignCenter, tr("OVER"));
}

}  // namespace zeltrak
