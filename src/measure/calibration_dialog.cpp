#include "measure/calibration_dialog.h"

#include <cstdio>

#include "base/text_format.h"
#include "base/strings.h"
#include "files/ini_store.h"
#include "measure/measure_strings.h"

namespace zeltrak {

namespace {

constexpr size_t kLabelChars = 59;
constexpr size_t kNameChars = 39;
constexpr size_t kFileNameChars = 255;

std::string Cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

int Clamp(int index, int size) { return index >= 0 && index < size ? index : 0; }

}  // namespace

TCalibrationDialog::TCalibrationDialog(const CalibrationRecord& record, Host& host) : record_(record), host_(host) {
    Refresh();
}

std::string TCalibrationDialog::FileFilter() { return FormatText(kCalibrationFilterFormat, LoadString(kStrCalibrationFiles)); }

void TCalibrationDialog::Refresh() {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(record_.RefLevel));
    fields_.refLevel = text;
    fields_.refTypeIndex = Clamp(record_.RefType, static_cast<int>(kAmplitudeTypeList.size()));
    fields_.unitIndex = ListIndexOfCode(kReferenceUnitList.data(), kReferenceUnitList.size(), record_.RefUnits);
    fields_.labelTypeIndex = Clamp(record_.LabelType, static_cast<int>(kAmplitudeTypeList.size()));
    fields_.conversionIndex = UnitCode() == kUnitAcceleration
                                  ? ListIndexOfCode(kConversionList.data(), kConversionList.size(), record_.ConversionType)
                                  : 0;
    fields_.labelLinear = record_.LabelLinear;
    fields_.labelLog = record_.LabelLog;
    fields_.pctLeft = PercentText(record_.PctFullScaleLeft);
    fields_.pctRight = PercentText(record_.PctFullScaleRight);
    fields_.leftName = record_.LeftChannelName;
    fields_.rightName = record_.RightChannelName;
    fields_.enabled = record_.IsEnabled != 0;
    fields_.fileName = record_.Filename;
}

int32_t TCalibrationDialog::UnitCode() const { return kReferenceUnitList[fields_.unitIndex].code; }

int32_t TCalibrationDialog::ConversionCode() const {
    return UnitCode() == kUnitAcceleration ? kConversionList[fields_.conversionIndex].code : 0;
}

std::vector<std::string> TCalibrationDialog::ConversionItems() const {
    if (UnitCode() != kUnitAcceleration) return {kConversionNotApplicable};
    std::vector<std::string> items;
    for (const auto& item : kConversionList) items.emplace_back(item.text);
    return items;
}

void TCalibrationDialog::ProposeLabels() {
    const auto labels = ProposedLabels(UnitCode(), fields_.labelTypeIndex, ConversionCode());
    fields_.labelLinear = labels.first;
    fields_.labelLog = labels.second;
}

void TCalibrationDialog::SetPercentTexts(const std::string& left, const std::string& right) {
    Edit(fields_.pctLeft, left);
    Edit(fields_.pctRight, right);
}

void TCalibrationDialog::SetLabels(const std::string& linear, const std::string& log) {
    Edit(fields_.labelLinear, linear);
    Edit(fields_.labelLog, log);
}

void TCalibrationDialog::SetChannelNames(const std::string& left, const std::string& right) {
    Edit(fields_.leftName, left);
    Edit(fields_.rightName, right);
}

void TCalibrationDialog::SetEnabled(bool enabled) {
    fields_.enabled = enabled;
    changed_ = true;
}

void TCalibrationDialog::SelectRefType(int index) {
    fields_.refTypeIndex = Clamp(index, static_cast<int>(kAmplitudeTypeList.size()));
    changed_ = true;
}

void TCalibrationDialog::SelectUnit(int index) {
    fields_.unitIndex = Clamp(index, static_cast<int>(kReferenceUnitList.size()));
    fields_.conversionIndex = 0;
    ProposeLabels();
    changed_ = true;
}

void TCalibrationDialog::SelectLabelType(int index) {
    fields_.labelTypeIndex = Clamp(index, static_cast<int>(kAmplitudeTypeList.size()));
    ProposeLabels();
    changed_ = true;
}

void TCalibrationDialog::SelectConversion(int index) {
    fields_.conversionIndex = UnitCode() == kUnitAcceleration ? Clamp(index, static_cast<int>(kConversionList.size())) : 0;
    ProposeLabels();
    changed_ = true;
}

bool TCalibrationDialog::TransferFields() {
    const double level = ParseDecimalDouble(fields_.refLevel);
    if (level < 0.0) {
        ShowMessage(host_, kNegativeReferenceText, MessageIcon::Warning);
        return false;
    }
    record_.RefLevel = static_cast<float>(level);
    record_.PctFullScaleLeft = static_cast<float>(ParseDecimalDouble(fields_.pctLeft) * 0.01);
    record_.PctFullScaleRight = static_cast<float>(ParseDecimalDouble(fields_.pctRight) * 0.01);
    record_.RefType = kAmplitudeTypeList[fields_.refTypeIndex].code;
    record_.RefUnits = UnitCode();
    record_.ConversionType = ConversionCode();
    record_.IntegrationType = IntegrationTypeFor(record_.ConversionType);
    record_.LabelType = kAmplitudeTypeList[fields_.labelTypeIndex].code;
    record_.SetLabelLinear(Cut(fields_.labelLinear, kLabelChars));
    record_.SetLabelLog(Cut(fields_.labelLog, kLabelChars));
    record_.SetLeftChannelName(Cut(fields_.leftName, kNameChars));
    record_.SetRightChannelName(Cut(fields_.rightName, kNameChars));
    record_.IsEnabled = fields_.enabled ? 1 : 0;
    record_.SetFilename(Cut(fields_.fileName, kFileNameChars));
    return true;
}

void TCalibrationDialog::New() {
    fields_.refTypeIndex = 0;
    fields_.unitIndex = 0;
    fields_.labelTypeIndex = 0;
    fields_.conversionIndex = 0;
    ProposeLabels();
    fields_.refLevel = "1.0";
    fields_.pctLeft = "50.0";
    fields_.pctRight = "50.0";
    fields_.leftName = "Left";
    fields_.rightName = "Right";
    changed_ = true;
}

CalibrationReport TCalibrationDialog::Calibrate(const Measure& measure) {
    CalibrationReport report;
    report.outcome = CalibrationOutcome::Refused;
    if (!TransferFields()) return report;
    report = measure(record_);
    switch (report.outcome) {
        case CalibrationOutcome::Done:
            changed_ = true;
            saveEnabled_ = true;
            [[fallthrough]];
        case CalibrationOutcome::Overload:
        case CalibrationOutcome::TooLow:
            fields_.pctLeft = report.pctLeftText;
            fields_.pctRight = report.pctRightText;
            break;
        default:
            break;
    }
    return report;
}

bool TCalibrationDialog::Open(const std::string& path) {
    const bool read = LoadCalibration(path, record_);
    Refresh();
    changed_ = false;
    return read;
}

bool TCalibrationDialog::Save(const std::string& path) {
    if (!TransferFields()) return false;
    ComputeCalRatios(record_);
    if (!SaveCalibration(path, record_)) {
        ShowMessage(host_, FormatText(kCalibrationSaveFailedText, path), MessageIcon::Error);
        return false;
    }
    fields_.fileName = record_.Filename;
    changed_ = false;
    return true;
}

bool TCalibrationDialog::Close() {
    if (!TransferFields()) return false;
    if (changed_) {
        const Answer answer = host_.AskYesNoCancel(kCalibrationChangedText, kProgramTitle);
        if (answer == Answer::Cancel) return false;
        // a file that could not be written keeps the dialog open, with the changes
        if (answer == Answer::Yes && !Save(record_.Filename)) return false;
    }
    ComputeCalRatios(record_);
    return true;
}

}  // namespace zeltrak
