// The calibration measurement: recorded from the Loopback card through the sound input port,
// and analysed from recordings made by hand.
#include "measure/calibration_measurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/sound_port.h"
#include "measure/calibration.h"
#include "platform/loopback_driver.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A host whose sleeping runs the manual-clock card for the same time.
class CardHost : public ScriptedHost {
public:
    CardHost(LoopbackDriver& card, uint32_t rate) : card_(card), rate_(rate) {}
    void SleepMilliseconds(uint32_t ms) override {
        ScriptedHost::SleepMilliseconds(ms);
        if (running) card_.Advance(rate_ * ms / 1000);
    }
    bool running = true;

private:
    LoopbackDriver& card_;
    uint32_t rate_;
};

LoopbackConfig SineCard(double db, double hz = 1000.0) {
    LoopbackConfig c;
    c.clock = LoopbackConfig::Clock::Manual;
    c.source = LoopbackConfig::Source::Sine;
    c.sineDb = db;
    c.sineHz = hz;
    return c;
}

class CountingGenerator : public CalibrationGeneratorHook {
public:
    bool Active() const override { return true; }
    void Start() override { ++starts; }
    void Stop() override { ++stops; }
    int starts = 0;
    int stops = 0;
};

CalibrationRecord Reference94DbRms() {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    r.RefLevel = 94.0f;
    r.RefUnits = kUnitSplAir;
    r.RefType = 1;
    return r;
}

TEST(CalibrationLevels, LogarithmicReadingUpToClipping) {
    // 10·log10(m)/log10(32767), truncated, 10 from one count below full scale; 8 bits: 128 counts
    const SampleFormat s16 = SampleFormat::Make(48000, 2, 2), s8 = SampleFormat::Make(48000, 1, 1);
    for (auto [m, level] : {std::pair{0, 0}, {1, 0}, {181, 4}, {182, 5}, {32765, 9}, {32766, 10}})
        EXPECT_EQ(LevelReading(m, s16), level) << m;
    EXPECT_EQ(LevelReading(127, s8), 10);
    EXPECT_EQ(LevelReading(126, s8), 9);
}

TEST(CalibrationMeasurement, ToneFromTheLoopbackCardGivesTheRatios) {
    for (uint16_t channels : {1, 2}) {
        LoopbackDriver card(SineCard(-12.0, 997.0));
        CardHost host(card, 48000);
        CountingGenerator generator;
        CalibrationRecord r = Reference94DbRms();
        const CalibrationReport report = MeasureCalibration<TSoundInput>(
            card, host, 0, SampleFormat::Make(48000, channels, 2), false, r, &generator);
        ASSERT_EQ(report.outcome, CalibrationOutcome::Done) << channels;
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(report.analysis.blocks, 6u);
        const double peak = std::pow(10.0, -12.0 / 20);  // a tone between bins: the flat top holds its level
        EXPECT_NEAR(r.PctFullScaleLeft, peak, 2e-3 * peak);
        EXPECT_NEAR(r.PctFullScaleRight, peak, 2e-3 * peak);
        EXPECT_NEAR(r.CalRatioLeft, std::sqrt(2.0) * 20e-6 * std::pow(10.0, 4.7) / r.PctFullScaleLeft, 1e-4);
        EXPECT_EQ(report.pctLeftText.substr(0, 4), "25.1");
        EXPECT_EQ(report.analysis.levelLeft, 8);  // 8191 counts: 10·log10(8191)/log10(32767) = 8.67
        EXPECT_EQ(generator.starts, 1);
        EXPECT_EQ(generator.stops, 1);
    }
}

TEST(CalibrationMeasurement, OverloadAndSilenceAreReportedButStillShown) {
    {
        LoopbackDriver card(SineCard(0.0));
        CardHost host(card, 44100);
        CalibrationRecord r = Reference94DbRms();
        const auto report = MeasureCalibration<TSoundInput>(card, host, 0, SampleFormat::Make(44100, 2, 2), false, r);
        EXPECT_EQ(report.outcome, CalibrationOutcome::Overload);
        EXPECT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(r.PctFullScaleLeft, 1.0f);
        EXPECT_EQ(report.pctLeftText, "100.0000");
    }
    {
        LoopbackConfig quiet = SineCard(0.0);
        quiet.source = LoopbackConfig::Source::Silence;
        LoopbackDriver card(quiet);
        CardHost host(card, 44100);
        CalibrationRecord r = Reference94DbRms();
        const auto report = MeasureCalibration<TSoundInput>(card, host, 0, SampleFormat::Make(44100, 2, 2), false, r);
        EXPECT_EQ(report.outcome, CalibrationOutcome::TooLow);
        EXPECT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(report.pctLeftText, "0.0000");
        EXPECT_EQ(r.CalRatioLeft, 1.0f);  // no fraction, no ratio
    }
}

TEST(CalibrationMeasurement, PortFailuresAndAStalledCardLeaveTheRecord) {
    LoopbackDriver card(SineCard(-6.0));
    const CalibrationRecord before = Reference94DbRms();
    {
        CardHost host(card, 48000);
        CalibrationRecord r = before;
        const auto report = MeasureCalibration<TSoundInput>(card, host, 3, SampleFormat::Make(48000, 2, 2), false, r);
        EXPECT_EQ(report.outcome, CalibrationOutcome::PortFailed);
        EXPECT_EQ(r, before);
        EXPECT_FALSE(host.messages.empty());  // the port said why
    }
    {
        CardHost host(card, 48000);
        host.running = false;  // the card never delivers
        CalibrationRecord r = before;
        const auto report = MeasureCalibration<TSoundInput>(card, host, 0, SampleFormat::Make(48000, 2, 2), false, r);
        EXPECT_EQ(report.outcome, CalibrationOutcome::Stalled);
        EXPECT_EQ(r, before);
        EXPECT_EQ(host.messages.size(), 1u);
        // it waited for the recording's length and the grace time, not for ever
        EXPECT_LE(host.TickMilliseconds(), 1000u * (48000 + 32768) / 48000 + kCalibrationGraceMs + 20);
    }
}

TEST(CalibrationAnalysisOfRecordings, ClippingOnOneSampleIsAnOverload) {
    const SampleFormat f = SampleFormat::Make(8000, 2, 2);
    TWaveData wave(8000 + kCalibrationExtraFrames, f);
    for (uint32_t i = 0; i < wave.Length(); ++i) {
        const double v = 3000 * std::sin(2 * kPi * 500 * i / 8000.0);
        wave.PutSample(std::round(v), i, 0);
        wave.PutSample(std::round(v / 2), i, 1);
    }
    CalibrationAnalysis a = AnalyseCalibrationRecording(wave);
    EXPECT_EQ(a.blocks, 6u);
    EXPECT_NEAR(a.pctLeft, 3000 / 32767.0, 1e-3 * a.pctLeft);
    EXPECT_NEAR(a.pctRight, 1500 / 32767.0, 1e-3 * a.pctRight);
    // one full-scale sample inside the analysed part of the left channel
    wave.PutSample(-32767, 8000 + 12345, 0);
    a = AnalyseCalibrationRecording(wave);
    EXPECT_EQ(a.levelLeft, 10);
    EXPECT_EQ(a.pctLeft, 1.0f);
    ScriptedHost host;
    CalibrationRecord r = Reference94DbRms();
    EXPECT_EQ(FinishCalibration(a, r, host).outcome, CalibrationOutcome::Overload);
    EXPECT_EQ(host.messages.size(), 1u);

    // A recording shorter than a second and a bit has no blocks, hence no level.
    TWaveData shortWave(8000, f);
    EXPECT_EQ(AnalyseCalibrationRecording(shortWave).blocks, 0u);
}

}  // namespace
}  // namespace zeltrak
