// Calibration: ratios, .cal files, the measurement from the Loopback card and recordings, the dialog.
#include "measure/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "base/numeric.h"
#include "engine/sound_port.h"
#include "files/wave_data.h"
#include "measure/calibration_dialog.h"
#include "measure/calibration_measurement.h"
#include "platform/loopback_driver.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

constexpr double kPi = 3.14159265358979323846;

CalibrationRecord Reference94DbRms() {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    r.RefLevel = 94.0f;
    r.RefUnits = kUnitSplAir;
    r.RefType = 1;
    return r;
}

TEST(CalibrationRatios, ReferenceLevelsInEveryUnitAndType) {
    CalibrationRecord r = Reference94DbRms();
    for (auto [unit, level, linear] : {std::tuple{kUnitDbu, 0.0, 0.775}, {kUnitDbV, -6.0, std::pow(10.0, -0.3)},
                                       {kUnitDbmV, 20.0, 10.0}, {kUnitSplWater, 120.0, 1.0}, {kUnitVolts, 3.5, 3.5}})
        EXPECT_NEAR(ReferenceLevelLinear(unit, level), linear, 1e-12) << unit;
    // peak to peak halves, peak keeps (at half scale)
    r.RefUnits = kUnitVolts;
    r.RefLevel = 2.0f;
    for (auto [type, ratio] : {std::pair{2, 2.0}, {0, 4.0}}) {
        r.RefType = type;
        ComputeCalRatios(r);
        EXPECT_NEAR(r.CalRatioLeft, ratio, 1e-6) << type;
    }
    // no level, no fraction, or a ratio no float can carry: the plain scale
    for (auto [level, left, right] : {std::tuple{0.0f, 0.25f, 0.5f}, {2.0f, 0.0f, -0.5f}, {3e38f, 1e-45f, 1e-45f}}) {
        r.RefLevel = level;
        r.PctFullScaleLeft = left;
        r.PctFullScaleRight = right;
        ComputeCalRatios(r);
        EXPECT_EQ(r.CalRatioLeft, 1.0f) << level;
        EXPECT_EQ(r.CalRatioRight, 1.0f) << level;
    }
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) EXPECT_EQ(ToDecibels(r, bad), kNoDecibels) << bad;
    // decibels against each unit's physical reference: 20 µPa, 1 µ-unit, 0.775 V, 2.9e-9, else 1
    r.IsEnabled = 1;
    for (auto [unit, reference] : {std::pair{0, 1.0}, {1, 1.0}, {3, 1.0}, {4, 1.0}, {5, 1.0}, {6, 1.0}, {2, 20e-6},
                                   {8, 20e-6}, {10, 1e-6}, {11, 1e-6}, {7, 0.775}, {9, 2.9e-9}, {12, 1.0}, {-1, 1.0}}) {
        r.RefUnits = unit;
        EXPECT_NEAR(ToDecibels(r, 10 * reference), 20.0, 1e-9) << unit;
    }
    // a code no list holds (a damaged file) shows the first entry
    EXPECT_EQ(ListIndexOfCode(kReferenceUnitList.data(), kReferenceUnitList.size(), 99), 0);
}

TEST(CalibrationFiles, RoundTripMissingKeysAndUnusableFiles) {
    testing::TempDir dir;
    CalibrationRecord r = Reference94DbRms();
    r.PctFullScaleLeft = 0.25f;
    r.SetRightChannelName("Mic B");
    ASSERT_TRUE(SaveCalibration(dir.File("saved.cal"), r));
    EXPECT_NEAR(r.CalRatioLeft, 5.670, 1e-3);  // saving computes the ratios
    CalibrationRecord back;
    ASSERT_TRUE(LoadCalibration(dir.File("saved.cal"), back));
    EXPECT_EQ(back, r);
    EXPECT_FALSE(SaveCalibration(dir.File("no_such_dir/x.cal"), r));

    // keys left out take their defaults; stored ratios are recomputed, not trusted
    testing::WriteFile(dir.File("level.cal"), "[Calibration]\nRefLevel=2.0\nCalRatioLeft=77\n");
    CalibrationRecord level;
    ASSERT_TRUE(LoadCalibration(dir.File("level.cal"), level));
    EXPECT_FLOAT_EQ(level.CalRatioLeft, 4.0f);
    CalibrationRecord missing;
    EXPECT_FALSE(LoadCalibration(dir.File("none.cal"), missing));
    EXPECT_FLOAT_EQ(missing.CalRatioLeft, 2.0f);  // the defaults: 1 V peak at half scale

    // junk values and binary content give usable records
    testing::WriteFile(dir.File("junk.cal"), "[Calibration]\nRefLevel=abc\nRefUnits=9999999999999\n"
                                             "PctFullScaleLeft=1e400\nPctFullScaleRight=-3\nLabelLinear=" +
                                                 std::string(300, 'x') + "\nRefType=-7\n");
    CalibrationRecord junk;
    LoadCalibration(dir.File("junk.cal"), junk);
    EXPECT_EQ(std::string(junk.LabelLinear).size(), 59u);
    EXPECT_EQ(junk.CalRatioLeft, 1.0f);
    EXPECT_EQ(junk.CalRatioRight, 1.0f);
    std::string bytes;
    for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7919) & 0xff);
    testing::WriteFile(dir.File("binary.cal"), bytes);
    CalibrationRecord binary;
    LoadCalibration(dir.File("binary.cal"), binary);
    EXPECT_TRUE(std::isfinite(binary.CalRatioLeft) && std::isfinite(binary.CalRatioRight));
}

// A host whose sleeping runs the manual-clock card for the same time.
struct CardHost : ScriptedHost {
    CardHost(LoopbackDriver& card, bool running) : card(card), running(running) {}
    void SleepMilliseconds(uint32_t ms) override {
        ScriptedHost::SleepMilliseconds(ms);
        if (running) card.Advance(48 * ms);
    }
    LoopbackDriver& card;
    bool running;
};

struct CountingGenerator : GeneratorHook {
    bool Active() const override { return true; }
    void StartWithRun() override { ++starts; }
    void StopWithRun() override { ++stops; }
    int starts = 0, stops = 0;
};

TEST(CalibrationMeasurement, FromTheLoopbackCardWithEveryOutcome) {
    using Outcome = CalibrationOutcome;
    const auto sine = LoopbackConfig::Source::Sine;
    // pctLeft nullptr: the record stays as it was
    const struct { LoopbackConfig::Source source; double db; uint16_t channels; int32_t port; bool running;
                   Outcome outcome; const char* pctLeft; } cases[] = {{sine, -12.0, 1, 0, true, Outcome::Done, "25.1"},
                 {sine, -12.0, 2, 0, true, Outcome::Done, "25.1"},
                 {sine, 0.0, 2, 0, true, Outcome::Overload, "100.0000"},
                 {LoopbackConfig::Source::Silence, 0.0, 2, 0, true, Outcome::TooLow, "0.0000"},
                 {sine, -6.0, 2, 3, true, Outcome::PortFailed, nullptr},
                 {sine, -6.0, 2, 0, false, Outcome::Stalled, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.outcome));
        LoopbackConfig config;
        config.clock = LoopbackConfig::Clock::Manual;
        config.source = c.source;
        config.sineDb = c.db;
        config.sineHz = 997.0;
        LoopbackDriver card(config);
        CardHost host(card, c.running);
        CountingGenerator generator;
        const CalibrationRecord before = Reference94DbRms();
        CalibrationRecord r = before;
        const CalibrationReport report = MeasureCalibration<TSoundInput>(
            card, host, c.port, SampleFormat::Make(48000, c.channels, 2), false, r, &generator);
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(host.messages.size(), c.outcome == Outcome::Done ? 0u : 1u);
        if (!c.pctLeft) {
            EXPECT_EQ(r, before);
            // it waited for the recording's length and the grace time, not for ever
            EXPECT_LE(host.TickMilliseconds(), 1000u * (48000 + 32768) / 48000 + kCalibrationGraceMs + 20);
            continue;
        }
        EXPECT_EQ(report.pctLeftText.substr(0, std::string(c.pctLeft).size()), c.pctLeft);
        EXPECT_EQ(generator.starts, 1);
        EXPECT_EQ(generator.stops, 1);
        if (c.outcome != Outcome::Done) continue;
        const double peak = std::pow(10.0, -12.0 / 20);  // a tone between bins: the flat top holds its level
        EXPECT_NEAR(r.PctFullScaleLeft, peak, 2e-3 * peak);
        EXPECT_NEAR(r.PctFullScaleRight, peak, 2e-3 * peak);
        EXPECT_NEAR(r.CalRatioLeft, std::sqrt(2.0) * 20e-6 * std::pow(10.0, 4.7) / r.PctFullScaleLeft, 1e-4);
        EXPECT_EQ(report.analysis.levelLeft, 8);  // 8191 counts: 10·log10(8191)/log10(32767) = 8.67
    }
}

TEST(CalibrationMeasurement, RecordingsClippedOnOneSampleOrTooShort) {
    const SampleFormat f = SampleFormat::Make(8000, 2, 2);
    TWaveData wave(8000 + kCalibrationExtraFrames, f);
    for (uint32_t i = 0; i < wave.Length(); ++i) {
        const double v = 3000 * std::sin(2 * kPi * 500 * i / 8000.0);
        wave.PutSample(std::round(v), i, 0);
        wave.PutSample(std::round(v / 2), i, 1);
    }
    EXPECT_NEAR(AnalyseCalibrationRecording(wave).pctRight * 32767, 1500, 1.5);
    wave.PutSample(-32767, 8000 + 12345, 0);  // inside the analysed part
    const CalibrationAnalysis a = AnalyseCalibrationRecording(wave);
    EXPECT_EQ(a.levelLeft, 10);
    EXPECT_EQ(a.pctLeft, 1.0f);
    ScriptedHost host;
    CalibrationRecord r = Reference94DbRms();
    EXPECT_EQ(FinishCalibration(a, r, host).outcome, CalibrationOutcome::Overload);
    EXPECT_EQ(host.messages.size(), 1u);
    // shorter than a second and a bit: no blocks, hence no level
    TWaveData shortWave(8000, f);
    EXPECT_EQ(AnalyseCalibrationRecording(shortWave).blocks, 0u);
}

int UnitIndex(int32_t code) { return ListIndexOfCode(kReferenceUnitList.data(), kReferenceUnitList.size(), code); }

// A negative level is refused before anything is taken or measured; good fields go into the
// record as codes and fractions; a measurement enables Save only when it succeeded.
TEST(CalibrationDialog, RefusesANegativeLevelTakesGoodFieldsAndCalibrates) {
    ScriptedHost host;
    const CalibrationRecord start = CalibrationRecord::Defaults();
    TCalibrationDialog d(start, host);
    d.SelectUnit(UnitIndex(kUnitAcceleration));
    d.SelectLabelType(1);
    d.SelectConversion(3);  // "Velocity (mils/sec)", code 7
    d.SetPercentTexts("40", "12.5");
    d.SetChannelNames(std::string(50, 'L'), "R");
    d.SetRefLevelText("-0.5");
    EXPECT_FALSE(d.TransferFields());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(d.Record(), start);
    const auto run = [&](float pct) {
        return d.Calibrate([&](CalibrationRecord& r) {
            CalibrationAnalysis a;
            a.pctLeft = a.pctRight = pct;
            return FinishCalibration(a, r, host);
        });
    };
    EXPECT_EQ(run(0.3125f).outcome, CalibrationOutcome::Refused);
    EXPECT_EQ(d.GetFields().pctLeft, "40");  // nothing measured
    EXPECT_FALSE(d.Close());                 // stays open
    d.SetRefLevelText("0");                  // zero is a level
    ASSERT_TRUE(d.TransferFields());
    EXPECT_EQ(d.Record().IntegrationType, 1);
    EXPECT_FLOAT_EQ(d.Record().PctFullScaleLeft, 0.40f);
    EXPECT_FLOAT_EQ(d.Record().PctFullScaleRight, 0.125f);
    EXPECT_EQ(std::string(d.Record().LeftChannelName).size(), 39u);
    d.SelectUnit(UnitIndex(kUnitVolts));  // empties the conversion: no integration for volts
    EXPECT_EQ(run(1.0f).outcome, CalibrationOutcome::Overload);
    EXPECT_EQ(d.Record().IntegrationType, 0);
    EXPECT_EQ(d.GetFields().pctLeft, "100.0000");
    EXPECT_FALSE(d.SaveEnabled());
    d.SetRefLevelText("1");
    EXPECT_EQ(run(0.3125f).outcome, CalibrationOutcome::Done);
    EXPECT_EQ(d.GetFields().pctRight, "31.2500");
    EXPECT_TRUE(d.SaveEnabled());
    EXPECT_NEAR(d.Record().CalRatioLeft, 1.0 / 0.3125, 1e-5);  // 1 V peak
}

TEST(CalibrationDialog, ClosingAsksAboutChangesAndSaveFailuresKeepThem) {
    testing::TempDir dir;
    const std::string path = dir.File("close.cal");
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.SetFilename(path);
    ScriptedHost host;
    host.ScriptAnswers({Answer::Cancel, Answer::No, Answer::Yes});
    TCalibrationDialog d(r, host);
    d.SetRefLevelText("3.0");
    EXPECT_FALSE(d.Close());
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(d.Close());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FLOAT_EQ(d.Record().CalRatioLeft, 6.0f);  // ratios computed on closing
    EXPECT_TRUE(d.Close());
    // a file that cannot be written keeps the dialog's changes and says so
    TCalibrationDialog other(CalibrationRecord::Defaults(), host);
    ASSERT_TRUE(other.Open(path));
    other.SetRefLevelText("4.0");
    const std::string bad = dir.File("no_such_dir/x.cal");
    EXPECT_FALSE(other.Save(bad));
    EXPECT_TRUE(other.Changed());
    ASSERT_FALSE(host.messages.empty());
    EXPECT_NE(host.messages.back().text.find(bad), std::string::npos);
}

}  // namespace
}  // namespace zeltrak
