// Calibration record semantics: ratios, decibels per unit, labels, lists and .cal files.
#include "measure/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "base/numeric.h"
#include "files/wave_data.h"

namespace zeltrak {
namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("zeltrak_cal_" + name)).string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CalibrationRatios, ReferenceLevelsInEveryUnitAndType) {
    CalibrationRecord r = CalibrationRecord::Defaults();
    // 94 dB SPL rms at a quarter of full scale
    r.RefLevel = 94.0f;
    r.RefUnits = kUnitSplAir;
    r.RefType = 1;
    r.PctFullScaleLeft = 0.25f;
    r.PctFullScaleRight = 0.5f;
    ComputeCalRatios(r);
    const double pascals = 20e-6 * std::pow(10.0, 94.0 / 20);
    EXPECT_NEAR(pascals, 1.0024, 1e-4);
    EXPECT_NEAR(r.CalRatioLeft, std::sqrt(2.0) * pascals / 0.25, 1e-5);
    EXPECT_NEAR(r.CalRatioLeft, 5.670, 1e-3);
    EXPECT_NEAR(r.CalRatioRight, std::sqrt(2.0) * pascals / 0.5, 1e-5);

    EXPECT_NEAR(ReferenceLevelLinear(kUnitDbu, 0.0), 0.775, 1e-12);
    EXPECT_NEAR(ReferenceLevelLinear(kUnitDbV, -6.0), std::pow(10.0, -0.3), 1e-12);
    EXPECT_NEAR(ReferenceLevelLinear(kUnitDbmV, 20.0), 10.0, 1e-12);
    EXPECT_NEAR(ReferenceLevelLinear(kUnitSplWater, 120.0), 1.0, 1e-12);
    for (int32_t asEntered : {kUnitVolts, kUnitMillivolts, kUnitAcceleration, kUnitCustom, kUnitPascalsAir,
                              kUnitPascalsWater, kUnitPsi})
        EXPECT_EQ(ReferenceLevelLinear(asEntered, 3.5), 3.5) << asEntered;

    // peak to peak halves, peak keeps
    r.RefUnits = kUnitVolts;
    r.RefLevel = 2.0f;
    r.RefType = 2;
    ComputeCalRatios(r);
    EXPECT_NEAR(r.CalRatioLeft, 1.0 / 0.25, 1e-6);
    r.RefType = 0;
    ComputeCalRatios(r);
    EXPECT_NEAR(r.CalRatioLeft, 8.0, 1e-6);

    // no level or no fraction: the plain scale
    r.RefLevel = 0.0f;
    ComputeCalRatios(r);
    EXPECT_EQ(r.CalRatioLeft, 1.0f);
    r.RefLevel = 2.0f;
    r.PctFullScaleLeft = 0.0f;
    r.PctFullScaleRight = -0.5f;
    ComputeCalRatios(r);
    EXPECT_EQ(r.CalRatioLeft, 1.0f);
    EXPECT_EQ(r.CalRatioRight, 1.0f);
    // a ratio no float can carry is no ratio either
    r.PctFullScaleLeft = 1e-45f;
    r.RefLevel = 3e38f;
    ComputeCalRatios(r);
    EXPECT_EQ(r.CalRatioLeft, 1.0f);
}

TEST(CalibrationDecibels, EveryUnitAgainstItsReference) {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    const struct {
        int32_t unit;
        double reference;
    } cases[] = {{0, 1}, {1, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {2, 20e-6}, {8, 20e-6}, {10, 1e-6}, {11, 1e-6},
                 {7, 0.775}, {9, 2.9e-9}, {12, 1}, {-1, 1}};
    for (const auto& c : cases) {
        r.RefUnits = c.unit;
        EXPECT_NEAR(ToDecibels(r, c.reference), 0.0, 1e-9) << c.unit;
        EXPECT_NEAR(ToDecibels(r, 10 * c.reference), 20.0, 1e-9) << c.unit;
        for (double bad : {0.0, -1.0, std::nan(""), -HUGE_VAL, HUGE_VAL}) EXPECT_EQ(ToDecibels(r, bad), kNoDecibels);
    }
    r.IsEnabled = 0;
    r.RefUnits = kUnitSplAir;
    EXPECT_NEAR(ToDecibels(r, 1.0), 0.0, 1e-12);
}

TEST(CalibrationLists, CodesTextsAndLabelProposals) {
    std::set<int32_t> codes;
    for (const auto& u : kReferenceUnitList) codes.insert(u.code);
    EXPECT_EQ(codes.size(), 12u);
    EXPECT_EQ(*codes.rbegin(), 11);
    EXPECT_STREQ(kReferenceUnitList[5].text, "SPL dB (in air)");
    EXPECT_EQ(kReferenceUnitList[5].code, kUnitSplAir);
    // the integration follows from what the conversion is called
    for (const auto& c : kConversionList) {
        const std::string text = c.text;
        const int32_t want = text.rfind("Velocity", 0) == 0 ? 1 : text.rfind("Displacement", 0) == 0 ? 2 : 0;
        EXPECT_EQ(IntegrationTypeFor(c.code), want) << text;
        // and the acceleration label names the same quantity
        if (c.code) {
            EXPECT_EQ(ProposedLabels(kUnitAcceleration, 0, c.code).first, text + " peak");
        }
    }
    EXPECT_EQ(ListIndexOfCode(kConversionList.data(), kConversionList.size(), 7), 3);
    EXPECT_EQ(ListIndexOfCode(kReferenceUnitList.data(), kReferenceUnitList.size(), 99), 0);

    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(ProposedLabels(kUnitSplAir, 1, 0), P("Pascals rms", "SPL (dB re 20uPA) rms"));
    EXPECT_EQ(ProposedLabels(kUnitPascalsWater, 2, 0), P("Pascals p-p", "SPL (dB re 1uPA) p-p"));
    EXPECT_EQ(ProposedLabels(kUnitPsi, 0, 0), P("Pressure (psi) Peak", "Pressure (psi dB) peak"));
    EXPECT_EQ(ProposedLabels(kUnitPsi, 1, 0), P("Pressure (psi) rms", "Pressure (psi dB) rms"));
    EXPECT_EQ(ProposedLabels(kUnitDbu, 0, 0), P("Volts peak", "dBu peak"));
    EXPECT_EQ(ProposedLabels(kUnitDbmV, 1, 0), P("Millivolts rms", "dBmV rms"));
    EXPECT_EQ(ProposedLabels(kUnitAcceleration, 1, 0), P("Acceleration (G) rms", "Acceleration (G dB) rms"));
    EXPECT_EQ(ProposedLabels(kUnitAcceleration, 2, 8), P("Displacement (mils) p-p", "Displacement (mils dB) p-p"));
    EXPECT_EQ(ProposedLabels(kUnitCustom, 1, 0), P());
}

TEST(CalibrationFiles, MissingKeysTakeDefaultsAndRatiosAreRecomputed) {
    const std::string path = TempPath("only_level.cal");
    std::ofstream(path) << "[Calibration]\nRefLevel=2.0\nCalRatioLeft=77\n";
    CalibrationRecord r;
    ASSERT_TRUE(LoadCalibration(path, r));
    EXPECT_EQ(r.IsEnabled, 1);
    EXPECT_STREQ(r.Filename, path.c_str());
    EXPECT_EQ(r.RefType, 0);
    EXPECT_EQ(r.RefUnits, kUnitVolts);
    EXPECT_STREQ(r.LabelLinear, "Volts rms");
    EXPECT_STREQ(r.LabelLog, "dBV rms");
    EXPECT_EQ(r.LabelType, 1);
    EXPECT_FLOAT_EQ(r.PctFullScaleLeft, 0.5f);
    EXPECT_FLOAT_EQ(r.CalRatioLeft, 4.0f);
    EXPECT_FLOAT_EQ(r.CalRatioRight, 4.0f);
    EXPECT_STREQ(r.RightChannelName, "Right");

    CalibrationRecord missing;
    EXPECT_FALSE(LoadCalibration(TempPath("no_such_dir/x.cal"), missing));
    EXPECT_EQ(missing.IsEnabled, 1);
    EXPECT_FLOAT_EQ(missing.RefLevel, 1.0f);
    EXPECT_FLOAT_EQ(missing.CalRatioLeft, 2.0f);  // 1 V peak at half scale
}

TEST(CalibrationFiles, SavedTextHasEveryKeyInOrderAndReadsBack) {
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.RefLevel = 94.0f;
    r.RefUnits = kUnitSplAir;
    r.RefType = 1;
    r.LabelType = 1;
    r.SetLabelLinear("Pascals rms");
    r.SetLabelLog("SPL (dB re 20uPA) rms");
    r.PctFullScaleLeft = 0.25f;
    r.PctFullScaleRight = 0.125f;
    r.SetLeftChannelName("Mic A");
    r.SetRightChannelName("Mic B");
    const std::string path = TempPath("saved.cal");
    ASSERT_TRUE(SaveCalibration(path, r));
    EXPECT_STREQ(r.Filename, path.c_str());
    char ratios[128];
    std::snprintf(ratios, sizeof ratios, "CalRatioLeft=%f\nCalRatioRight=%f\n", r.CalRatioLeft, r.CalRatioRight);
    EXPECT_EQ(ReadAll(path), std::string("[Calibration]\nRefLevel=94.000000\nRefUnits=2\nRefType=1\nConversionType=0\n"
                                         "IntegrationType=0\nLabelLinear=Pascals rms\nLabelLog=SPL (dB re 20uPA) rms\n"
                                         "LabelType=1\nPctFullScaleLeft=0.250000\nPctFullScaleRight=0.125000\n") +
                                 ratios + "LeftChannelName=Mic A\nRightChannelName=Mic B\n");
    EXPECT_NEAR(r.CalRatioLeft, 5.670, 1e-3);

    CalibrationRecord back;
    ASSERT_TRUE(LoadCalibration(path, back));
    r.IsEnabled = 1;
    EXPECT_EQ(back, r);
    EXPECT_FALSE(SaveCalibration(TempPath("no_such_dir/x.cal"), r));
}

TEST(CalibrationFiles, JunkAndBinaryContentGiveUsableRecords) {
    const std::string junk = TempPath("junk.cal");
    std::ofstream(junk) << "[Calibration]\nRefLevel=abc\nRefUnits=9999999999999\nPctFullScaleLeft=1e400\n"
                        << "PctFullScaleRight=-3\nLabelLinear=" << std::string(300, 'x') << "\nRefType=-7\n";
    CalibrationRecord r;
    LoadCalibration(junk, r);
    EXPECT_EQ(r.RefLevel, 0.0f);
    EXPECT_EQ(std::string(r.LabelLinear).size(), 59u);
    EXPECT_EQ(r.CalRatioLeft, 1.0f);
    EXPECT_EQ(r.CalRatioRight, 1.0f);

    const std::string binary = TempPath("binary.cal");
    std::string bytes;
    for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7919) & 0xff);
    std::ofstream(binary, std::ios::binary) << bytes;
    CalibrationRecord b;
    LoadCalibration(binary, b);
    EXPECT_TRUE(std::isfinite(b.CalRatioLeft));
    EXPECT_TRUE(std::isfinite(b.CalRatioRight));
    EXPECT_EQ(b.IsEnabled, 1);
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
