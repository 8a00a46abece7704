// Level meter readings against closed forms: sines and squares at known dBFS in every sample
// width, silence at the floor, and the peak hold and overload lamp over the frames' own time.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "base/sample_format.h"
#include "engine/engine_listener.h"
#include "engine/series_data.h"
#include "views/level_reading.h"

namespace zeltrak {
namespace {

enum class Shape { Sine, Square, Silence };

// 4096 samples, 64 per period: whole periods, so the sampled rms is the continuous one.
std::unique_ptr<TSeriesData> Series(uint16_t bytes, double fullScaleCounts, Shape shape, double peakDb) {
    auto series = std::make_unique<TSeriesData>(SampleFormat::Make(48000, 1, bytes), 4096, 1.0f, 1, false);
    const double a = shape == Shape::Silence ? 0.0 : fullScaleCounts * std::pow(10.0, peakDb / 20.0);
    const int32_t zero = bytes == 1 ? 127 : 0;
    for (uint32_t i = 0; i < 4096; ++i) {
        const double x = shape == Shape::Sine ? a * std::sin(2 * M_PI * i / 64) : (i % 64 < 32 ? a : -a);
        series->SetSample(i, zero + static_cast<int32_t>(std::lround(x)));
    }
    return series;
}

TEST(LevelReading, PeakAndAes17RmsOfSinesAndSquaresInEveryWidth) {
    // A sine's AES17 rms equals its peak level; a square's lies 10·log10(2) = 3.0103 dB above.
    struct Case { uint16_t bytes; double fullScale; Shape shape; double db, peakDb, rmsDb, tol; };
    for (const Case& c : {Case{2, 32767, Shape::Sine, 0, 0, 0, 0.001},
                          Case{2, 32767, Shape::Sine, -20, -20, -20, 0.005},
                          Case{2, 32767, Shape::Square, 0, 0, 3.0103, 0.001},
                          Case{2, 32767, Shape::Silence, 0, -120, -120, 0},
                          Case{1, 127.5, Shape::Sine, -6, -6, -6, 0.1},
                          Case{1, 127.5, Shape::Square, -20, -20, -16.9897, 0.5},
                          Case{3, 8388607, Shape::Sine, -20, -20, -20, 0.001},
                          Case{3, 8388607, Shape::Square, -100, -100, -96.9897, 0.02},
                          Case{4, 2147483647, Shape::Sine, 0, 0, 0, 0.001},
                          Case{4, 2147483647, Shape::Sine, -60, -60, -60, 0.001}}) {
        const ChannelLevel level = MeasureLevel(*Series(c.bytes, c.fullScale, c.shape, c.db));
        EXPECT_NEAR(level.peakDb, c.peakDb, c.tol) << c.bytes << " bytes, " << c.db << " dB";
        EXPECT_NEAR(level.rmsDb, c.rmsDb, c.tol) << c.bytes << " bytes, " << c.db << " dB";
    }
}

TEST(LevelReading, PeakHoldsThenFallsAndTheLampOutlastsTheOverload) {
    // Held 1.5 s, then falling 20 dB/s down to the current peak; lamp lit for 2 s after an overload.
    struct Step { double time, peakDb; bool overloaded; double heldDb; bool lamp; };
    TLevelReading reading;
    for (const Step& s : {Step{0.0, -10, true, -10, true}, Step{1.0, -30, false, -10, true},
                          Step{1.5, -30, false, -10, true}, Step{1.9, -30, false, -18, true},
                          Step{2.0, -30, false, -20, false}, Step{3.0, -30, false, -30, false},
                          Step{3.5, -50, false, -30, false}, Step{3.6, -40, true, -30, true},
                          Step{0.5, -50, false, -50, false}}) {  // time ran back: a new run
        const auto left = Series(2, 32767, Shape::Sine, s.peakDb);
        reading.Take(EngineFrame{.left = left.get(), .overloaded = s.overloaded, .currentTime = s.time});
        EXPECT_NEAR(reading.HeldPeakDb(0), s.heldDb, 0.05) << "at " << s.time << " s";
        EXPECT_EQ(reading.OverloadLit(), s.lamp) << "at " << s.time << " s";
        EXPECT_EQ(reading.Channels(), 1);
    }
}

}  // namespace
}  // namespace zeltrak
