// The status bar's level meter drawn offscreen for known frames: its numbers and where its bars end.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <memory>

#include "base/sample_format.h"
#include "engine/engine_listener.h"
#include "engine/series_data.h"
#include "views/qt/level_meter.h"

namespace zeltrak {
namespace {

// 16-bit, 64 samples per period over whole periods.
std::unique_ptr<TSeriesData> Tone(double peakDb, bool square) {
    auto series = std::make_unique<TSeriesData>(SampleFormat::Make(48000, 1, 2), 4096, 1.0f, 1, false);
    const double a = 32767.0 * std::pow(10.0, peakDb / 20.0);
    for (uint32_t i = 0; i < 4096; ++i)
        series->SetSample(i, static_cast<int32_t>(std::lround(square ? (i % 64 < 32 ? a : -a)
                                                                     : a * std::sin(2 * M_PI * i / 64))));
    return series;
}

// One past the last pixel of the bar (any zone colour) along the middle of a channel's track.
int BarEnd(TLevelMeter& meter, int channel) {
    const QImage image = meter.grab().toImage();
    const QRect track = meter.Track(channel);
    int end = track.left();
    for (int x = track.left(); x <= track.right(); ++x) {
        const QRgb pixel = image.pixel(x, track.center().y()) & 0xFFFFFF;
        for (double zone : {-30.0, -10.0, 0.0})
            if (pixel == (TLevelMeter::ZoneColor(zone).rgb() & 0xFFFFFF)) end = x + 1;
    }
    return end;
}

TEST(LevelMeter, ReadoutsAndBarLengthsFollowTheFrameInDbfs) {
    // A -20 dBFS sine (AES17 rms -20) left; a -30 dBFS square (rms -30 + 3.01) right.
    const auto sine = Tone(-20.0, false), square = Tone(-30.0, true);
    TLevelMeter meter;
    meter.resize(meter.sizeHint());
    meter.Show(EngineFrame{.left = sine.get(), .right = square.get(), .currentTime = 1.0});
    struct Case { int channel; const char* text; double rmsDb; };
    for (const Case& c : {Case{0, "pk −20.0  rms −20.0 dBFS", -20.0}, Case{1, "pk −30.0  rms −27.0 dBFS", -26.99}}) {
        EXPECT_EQ(meter.ReadoutText(c.channel).toStdString(), c.text);
        const QRect track = meter.Track(c.channel);
        EXPECT_NEAR(BarEnd(meter, c.channel), track.left() + (c.rmsDb + 60.0) / 60.0 * track.width(), 2.0)
            << "channel " << c.channel;
    }
    // Mono: the right channel shows no number and no bar.
    meter.Show(EngineFrame{.left = sine.get(), .currentTime = 1.1});
    EXPECT_EQ(meter.ReadoutText(1).toStdString(), "—");
    EXPECT_EQ(BarEnd(meter, 1), meter.Track(1).left());
}

}  // namespace
}  // namespace zeltrak
