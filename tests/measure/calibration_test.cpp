// Calibration records: ratios from reference levels, decibels per unit, .cal files.
#include "measure/calibration.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/numeric.h"
#include "files/wave_data.h"
#include "support/temp_dir.h"

namespace zeltrak {
namespace {

TEST(CalibrationRatios, ReferenceLevelsInEveryUnitAndType) {
    CalibrationRecord r = CalibrationRecord::Defaults();
    // 94 dB SPL rms (1.0024 Pa) at a quarter of full scale on the left, half on the right
    r.RefLevel = 94.0f;
    r.RefUnits = kUnitSplAir;
    r.RefType = 1;
    r.PctFullScaleLeft = 0.25f;
    r.PctFullScaleRight = 0.5f;
    ComputeCalRatios(r);
    const double pascals = 20e-6 * std::pow(10.0, 94.0 / 20);
    EXPECT_NEAR(r.CalRatioLeft, std::sqrt(2.0) * pascals / 0.25, 1e-5);
    EXPECT_NEAR(r.CalRatioRight, std::sqrt(2.0) * pascals / 0.5, 1e-5);
    for (auto [unit, level, linear] : {std::tuple{kUnitDbu, 0.0, 0.775}, {kUnitDbV, -6.0, std::pow(10.0, -0.3)},
                                       {kUnitDbmV, 20.0, 10.0}, {kUnitSplWater, 120.0, 1.0}, {kUnitVolts, 3.5, 3.5},
                                       {kUnitPsi, 3.5, 3.5}, {kUnitAcceleration, 3.5, 3.5}})
        EXPECT_NEAR(ReferenceLevelLinear(unit, level), linear, 1e-12) << unit;
    // peak to peak halves, peak keeps
    r.RefUnits = kUnitVolts;
    r.RefLevel = 2.0f;
    for (auto [type, ratio] : {std::pair{2, 4.0}, {0, 8.0}}) {
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
}

TEST(CalibrationDecibels, EveryUnitAgainstItsReference) {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    for (auto [unit, reference] : {std::pair{0, 1.0}, {1, 1.0}, {3, 1.0}, {4, 1.0}, {5, 1.0}, {6, 1.0}, {2, 20e-6},
                                   {8, 20e-6}, {10, 1e-6}, {11, 1e-6}, {7, 0.775}, {9, 2.9e-9}, {12, 1.0}, {-1, 1.0}}) {
        r.RefUnits = unit;
        EXPECT_NEAR(ToDecibels(r, 10 * reference), 20.0, 1e-9) << unit;
        for (double bad : {0.0, -1.0, std::nan(""), -HUGE_VAL, HUGE_VAL}) EXPECT_EQ(ToDecibels(r, bad), kNoDecibels);
    }
    r.IsEnabled = 0;
    r.RefUnits = kUnitSplAir;
    EXPECT_NEAR(ToDecibels(r, 1.0), 0.0, 1e-12);
    // a code no list holds (a damaged file) shows the first entry
    EXPECT_EQ(ListIndexOfCode(kReferenceUnitList.data(), kReferenceUnitList.size(), 99), 0);
}

TEST(CalibrationFiles, RoundTripMissingKeysAndUnusableFiles) {
    testing::TempDir dir;
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.RefLevel = 94.0f;
    r.RefUnits = kUnitSplAir;
    r.RefType = 1;
    r.SetLabelLinear("Pascals rms");
    r.PctFullScaleLeft = 0.25f;
    r.PctFullScaleRight = 0.125f;
    r.SetRightChannelName("Mic B");
    ASSERT_TRUE(SaveCalibration(dir.File("saved.cal"), r));
    EXPECT_NEAR(r.CalRatioLeft, 5.670, 1e-3);  // saving computes the ratios
    CalibrationRecord back;
    ASSERT_TRUE(LoadCalibration(dir.File("saved.cal"), back));
    r.IsEnabled = 1;
    EXPECT_EQ(back, r);
    EXPECT_FALSE(SaveCalibration(dir.File("no_such_dir/x.cal"), r));

    // keys left out take their defaults; stored ratios are recomputed, not trusted
    testing::WriteFile(dir.File("level.cal"), "[Calibration]\nRefLevel=2.0\nCalRatioLeft=77\n");
    CalibrationRecord level;
    ASSERT_TRUE(LoadCalibration(dir.File("level.cal"), level));
    EXPECT_EQ(level.RefUnits, kUnitVolts);
    EXPECT_FLOAT_EQ(level.PctFullScaleLeft, 0.5f);
    EXPECT_FLOAT_EQ(level.CalRatioLeft, 4.0f);
    CalibrationRecord missing;
    EXPECT_FALSE(LoadCalibration(dir.File("none.cal"), missing));
    EXPECT_FLOAT_EQ(missing.CalRatioLeft, 2.0f);  // the defaults: 1 V peak at half scale

    // junk values and binary content give usable records
    testing::WriteFile(dir.File("junk.cal"), "[Calibration]\nRefLevel=abc\nRefUnits=9999999999999\nPctFullScaleLeft=1e400\n"
                                             "PctFullScaleRight=-3\nLabelLinear=" + std::string(300, 'x') + "\nRefType=-7\n");
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

TEST(CalibrationWave, RatiosBecomeTheWaveFullScale) {
    TWaveData wave(4, SampleFormat::Make(48000, 2, 2));
    ASSERT_TRUE(wave.PutSample(32767, 0, 0));
    ASSERT_TRUE(wave.PutSample(-16384, 0, 1));
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    r.CalRatioLeft = 5.67f;
    r.CalRatioRight = 2.0f;
    ApplyCalibrationToWave(r, wave);
    EXPECT_NEAR(wave.GetSample(0, 0, true), 5.67, 1e-5);
    EXPECT_NEAR(wave.GetSample(0, 1, true), -16384.0 / 32767 * 2.0, 1e-5);
    r.IsEnabled = 0;
    ApplyCalibrationToWave(r, wave);
    EXPECT_NEAR(wave.GetSample(0, 0, true), 1.0, 1e-6);
}

}  // namespace
}  // namespace zeltrak
