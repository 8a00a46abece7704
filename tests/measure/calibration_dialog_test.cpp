// The calibration dialog model: field transfer, lists and proposals, New, commands, closing.
#include "measure/calibration_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "measure/calibration.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("zeltrak_dialog_" + name)).string();
}

int UnitIndex(int32_t code) { return ListIndexOfCode(kReferenceUnitList.data(), kReferenceUnitList.size(), code); }

TEST(CalibrationDialog, FieldsGoIntoTheRecordWithCodesAndFractions) {
    ScriptedHost host;
    TCalibrationDialog d(CalibrationRecord::Defaults(), host);
    d.SelectUnit(UnitIndex(kUnitAcceleration));
    d.SelectLabelType(1);
    d.SelectConversion(3);  // "Velocity (mils/sec)", code 7
    EXPECT_EQ(d.GetFields().labelLinear, "Velocity (mils/sec) rms");
    EXPECT_EQ(d.GetFields().labelLog, "Velocity (mils/sec dB) rms");
    d.SelectRefType(2);
    d.SetRefLevelText("2.5");
    d.SetPercentTexts("40", "12.5");
    d.SetChannelNames(std::string(50, 'L'), "R");
    d.SetEnabled(true);
    ASSERT_TRUE(d.TransferFields());
    const CalibrationRecord& r = d.Record();
    EXPECT_EQ(r.RefUnits, kUnitAcceleration);
    EXPECT_EQ(r.ConversionType, 7);
    EXPECT_EQ(r.IntegrationType, 1);
    EXPECT_EQ(r.RefType, 2);
    EXPECT_EQ(r.LabelType, 1);
    EXPECT_FLOAT_EQ(r.RefLevel, 2.5f);
    EXPECT_FLOAT_EQ(r.PctFullScaleLeft, 0.40f);
    EXPECT_FLOAT_EQ(r.PctFullScaleRight, 0.125f);
    EXPECT_EQ(std::string(r.LeftChannelName).size(), 39u);
    EXPECT_EQ(r.IsEnabled, 1);

    // Another unit empties the conversion: no integration for volts.
    d.SelectUnit(UnitIndex(kUnitVolts));
    ASSERT_TRUE(d.TransferFields());
    EXPECT_EQ(d.Record().ConversionType, 0);
    EXPECT_EQ(d.Record().IntegrationType, 0);
    EXPECT_EQ(d.GetFields().labelLog, "dBV rms");
}

TEST(CalibrationDialog, NegativeLevelIsRefusedAndNothingIsTaken) {
    ScriptedHost host;
    const CalibrationRecord start = CalibrationRecord::Defaults();
    TCalibrationDialog d(start, host);
    d.SetRefLevelText("-0.5");
    d.SetPercentTexts("10", "10");
    EXPECT_FALSE(d.TransferFields());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(d.Record(), start);
    bool measured = false;
    EXPECT_EQ(d.Calibrate([&](CalibrationRecord&) {
                   measured = true;
                   return CalibrationReport{};
               }).outcome,
              CalibrationOutcome::Refused);
    EXPECT_FALSE(measured);
    EXPECT_FALSE(d.Close());  // stays open
    d.SetRefLevelText("0");  // zero is a level
    EXPECT_TRUE(d.TransferFields());
}

TEST(CalibrationDialog, CalibrateShowsFractionsAndEnablesSaveOnlyOnSuccess) {
    ScriptedHost host;
    TCalibrationDialog d(CalibrationRecord::Defaults(), host);
    const auto run = [&](CalibrationOutcome outcome, float pct) {
        return d.Calibrate([&](CalibrationRecord& r) {
            CalibrationAnalysis a;
            a.pctLeft = a.pctRight = pct;
            CalibrationReport rep = FinishCalibration(a, r, host);
            EXPECT_EQ(rep.outcome, outcome);
            return rep;
        });
    };
    run(CalibrationOutcome::Overload, 1.0f);
    EXPECT_EQ(d.GetFields().pctLeft, "100.0000");
    EXPECT_FALSE(d.SaveEnabled());
    run(CalibrationOutcome::Done, 0.3125f);
    EXPECT_EQ(d.GetFields().pctRight, "31.2500");
    EXPECT_TRUE(d.SaveEnabled());
    EXPECT_NEAR(d.Record().CalRatioLeft, 1.0 / 0.3125, 1e-5);  // 1 V peak
}

TEST(CalibrationDialog, ClosingAsksAboutChanges) {
    const std::string path = TempPath("close.cal");
    std::filesystem::remove(path);
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.SetFilename(path);
    {
        ScriptedHost host;
        TCalibrationDialog d(r, host);
        EXPECT_TRUE(d.Close());  // nothing changed, nothing asked
        EXPECT_TRUE(host.questions.empty());
    }
    ScriptedHost host;
    host.ScriptAnswers({Answer::Cancel, Answer::No, Answer::Yes});
    TCalibrationDialog d(r, host);
    d.SetRefLevelText("3.0");
    EXPECT_FALSE(d.Close());
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(host.questions[0].withCancel);
    EXPECT_TRUE(d.Close());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FLOAT_EQ(d.Record().CalRatioLeft, 6.0f);  // ratios computed on closing
    EXPECT_TRUE(d.Close());
    CalibrationRecord saved;
    ASSERT_TRUE(LoadCalibration(path, saved));
    EXPECT_FLOAT_EQ(saved.RefLevel, 3.0f);

    // Open refreshes the fields from the file.
    TCalibrationDialog other(CalibrationRecord::Defaults(), host);
    ASSERT_TRUE(other.Open(path));
    EXPECT_EQ(other.GetFields().refLevel, "3.000000");
    EXPECT_EQ(other.GetFields().fileName, path);
    EXPECT_FALSE(other.Changed());
    // a file that cannot be written keeps the dialog's changes and says so
    EXPECT_FALSE(other.Save(TempPath("no_such_dir/x.cal")));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_NE(host.messages.back().text.find(TempPath("no_such_dir/x.cal")), std::string::npos);
}

}  // namespace
}  // namespace zeltrak
