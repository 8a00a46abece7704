#include "measure/calibration.h"

#include <cmath>

#include "base/numeric.h"
#include "files/ini_store.h"
#include "files/wave_data.h"

namespace zeltrak {

const std::array<CalibrationListItem, 12> kReferenceUnitList{{
    {"Volts", kUnitVolts},
    {"Millivolts", kUnitMillivolts},
    {"dBV", kUnitDbV},
    {"dBmV", kUnitDbmV},
    {"dBu", kUnitDbu},
    {"SPL dB (in air)", kUnitSplAir},
    {"SPL dB (in water)", kUnitSplWater},
    {"Pascals (in air)", kUnitPascalsAir},
    {"Pascals (in water)", kUnitPascalsWater},
    {"Pressure (psi)", kUnitPsi},
    {"Acceleration (G)", kUnitAcceleration},
    {"Custom", kUnitCustom},
}};

const std::array<CalibrationListItem, 3> kAmplitudeTypeList{{{"peak", 0}, {"rms", 1}, {"peak to peak", 2}}};

const std::array<CalibrationListItem, 9> kConversionList{{
    {"None", 0},
    {"Velocity (ft/sec)", 1},
    {"Velocity (in/sec)", 2},
    {"Velocity (mils/sec)", 7},
    {"Velocity (mm/sec)", 3},
    {"Displacement (ft)", 4},
    {"Displacement (in)", 5},
    {"Displacement (mils)", 8},
    {"Displacement (mm)", 6},
}};

namespace {

constexpr const char* kSection = "Calibration";
// Numbers are read as text of at most 79 characters.
constexpr size_t kNumberBuffer = 80;

const char* ConventionWord(int32_t labelType) {
    switch (labelType) {
        case 1: return "rms";
        case 2: return "p-p";
        default: return "peak";
    }
}

// The quantity of an acceleration label by conversion code.
const char* AccelerationQuantity(int32_t conversionType) {
    switch (conversionType) {
        case 1: return "Velocity (ft/sec";
        case 2: return "Velocity (in/sec";
        case 3: return "Velocity (mm/sec";
        case 7: return "Velocity (mils/sec";
        case 4: return "Displacement (ft";
        case 5: return "Displacement (in";
        case 6: return "Displacement (mm";
        case 8: return "Displacement (mils";
        default: return "Acceleration (G";
    }
}

// A ratio that a float cannot carry is no ratio: the channel keeps the plain scale.
float Ratio(double v) {
    const float f = static_cast<float>(v);
    return std::isfinite(f) && f > 0.0f ? f : 1.0f;
}

}  // namespace

int ListIndexOfCode(const CalibrationListItem* list, size_t size, int32_t code) {
    for (size_t i = 0; i < size; ++i)
        if (list[i].code == code) return static_cast<int>(i);
    return 0;
}

int32_t IntegrationTypeFor(int32_t conversionType) {
    switch (conversionType) {
        case 1:
        case 2:
        case 3:
        case 7: return 1;
        case 4:
        case 5:
        case 6:
        case 8: return 2;
        default: return 0;
    }
}

std::pair<std::string, std::string> ProposedLabels(int32_t refUnits, int32_t labelType, int32_t conversionType) {
    const std::string word = ConventionWord(labelType);
    const auto pair = [&](const std::string& linear, const std::string& log) {
        return std::make_pair(linear + " " + word, log + " " + word);
    };
    switch (refUnits) {
        case kUnitVolts:
        case kUnitDbV: return pair("Volts", "dBV");
        case kUnitMillivolts:
        case kUnitDbmV: return pair("Millivolts", "dBmV");
        case kUnitDbu: return pair("Volts", "dBu");
        case kUnitSplAir:
        case kUnitPascalsAir: return pair("Pascals", "SPL (dB re 20uPA)");
        case kUnitSplWater:
        case kUnitPascalsWater: return pair("Pascals", "SPL (dB re 1uPA)");
        case kUnitPsi:
            // the peak form of this label is written with a capital P
            return std::make_pair("Pressure (psi) " + (word == "peak" ? std::string("Peak") : word),
                                  "Pressure (psi dB) " + word);
        case kUnitAcceleration: {
            const std::string q = AccelerationQuantity(conversionType);
            return pair(q + ")", q + " dB)");
        }
        default: return {};
    }
}

double ReferenceLevelLinear(int32_t refUnits, double refLevel) {
    switch (refUnits) {
        case kUnitSplAir: return 20e-6 * std::pow(10.0, 0.05 * refLevel);
        case kUnitSplWater: return 1e-6 * std::pow(10.0, 0.05 * refLevel);
        case kUnitDbV:
        case kUnitDbmV: return std::pow(10.0, 0.05 * refLevel);
        case kUnitDbu: return 0.775 * std::pow(10.0, 0.05 * refLevel);
        default: return refLevel;
    }
}

void ComputeCalRatios(CalibrationRecord& record) {
    double f = 1.0;
    if (record.RefType == 1)
        f = 1.414213562373;
    else if (record.RefType == 2)
        f = 0.5;
    const double level = ReferenceLevelLinear(record.RefUnits, record.RefLevel);
    record.CalRatioLeft = 1.0f;
    record.CalRatioRight = 1.0f;
    if (!(level > 0.0)) return;
    if (record.PctFullScaleLeft > 0.0f) record.CalRatioLeft = Ratio(f * level / record.PctFullScaleLeft);
    if (record.PctFullScaleRight > 0.0f) record.CalRatioRight = Ratio(f * level / record.PctFullScaleRight);
}

double ToDecibels(const CalibrationRecord& record, double x) {
    if (!(x > 0.0)) return kNoDecibels;
    double inner = x;
    if (record.IsEnabled) {
        switch (record.RefUnits) {
            case kUnitSplAir:
            case kUnitPascalsAir: inner = x * 1e6 * 0.05; break;
            case kUnitSplWater:
            case kUnitPascalsWater: inner = x * 1e6; break;
            case kUnitDbu: inner = x * 1.2903225806451613; break;
            case kUnitPsi: inner = x * 1e9 * 0.3448275862068966; break;
            default: break;
        }
    }
    // an infinite value is no level either
    if (!(inner > 0.0) || !std::isfinite(inner)) return kNoDecibels;
    return 20.0 * std::log10(inner);
}

static void ReadCalibrationKeys(const TIniStore& ini, CalibrationRecord& record) {
    const auto number = [&](const char* key, const char* fallback) {
        return ParseDecimalDouble(ini.GetString(kSection, key, fallback, kNumberBuffer));
    };
    const auto integer = [&](const char* key, const char* fallback) {
        return static_cast<int32_t>(ParseDecimalInt(ini.GetString(kSection, key, fallback, kNumberBuffer)));
    };
    record.RefLevel = static_cast<float>(number("RefLevel", "1.0"));
    record.RefUnits = integer("RefUnits", "0");
    record.RefType = integer("RefType", "0");
    record.ConversionType = integer("ConversionType", "0");
    record.IntegrationType = integer("IntegrationType", "0");
    record.SetLabelLinear(ini.GetString(kSection, "LabelLinear", "Volts rms", CalibrationRecord::kLabelSize));
    record.SetLabelLog(ini.GetString(kSection, "LabelLog", "dBV rms", CalibrationRecord::kLabelSize));
    record.LabelType = integer("LabelType", "1");
    record.PctFullScaleLeft = static_cast<float>(number("PctFullScaleLeft", "0.50"));
    record.PctFullScaleRight = static_cast<float>(number("PctFullScaleRight", "0.50"));
    record.CalRatioLeft = static_cast<float>(number("CalRatioLeft", "1.0"));
    record.CalRatioRight = static_cast<float>(number("CalRatioRight", "1.0"));
    record.SetLeftChannelName(ini.GetString(kSection, "LeftChannelName", "Left", CalibrationRecord::kChannelNameSize));
    record.SetRightChannelName(ini.GetString(kSection, "RightChannelName", "Right", CalibrationRecord::kChannelNameSize));
}

bool LoadCalibration(const std::string& path, CalibrationRecord& record) {
    TIniStore ini;
    // Any text "loads"; a calibration file is one whose section holds the level it was made at.
    const bool read = ini.Load(path) && (ini.HasKey(kSection, "RefLevel") || ini.HasKey(kSection, "CalRatioLeft"));
    ReadCalibrationKeys(ini, record);
    record.SetFilename(path);
    record.IsEnabled = 1;
    ComputeCalRatios(record);
    return read;
}

void ReadSettingsCalibration(const TIniStore& ini, CalibrationRecord& record) {
    ReadCalibrationKeys(ini, record);
    record.SetFilename(ini.GetString(kSection, "Filename", "default.cal", CalibrationRecord::kFilenameSize));
    record.IsEnabled = ParseDecimalInt(ini.GetString(kSection, "IsEnabled", "0", kNumberBuffer)) != 0 ? 1 : 0;
    ComputeCalRatios(record);
}

bool SaveCalibration(const std::string& path, CalibrationRecord& record) {
    record.SetFilename(path);
    ComputeCalRatios(record);
    TIniStore ini;
    ini.SetDouble(kSection, "RefLevel", record.RefLevel);
    ini.SetInt(kSection, "RefUnits", record.RefUnits);
    ini.SetInt(kSection, "RefType", record.RefType);
    ini.SetInt(kSection, "ConversionType", record.ConversionType);
    ini.SetInt(kSection, "IntegrationType", record.IntegrationType);
    ini.SetString(kSection, "LabelLinear", record.LabelLinear);
    ini.SetString(kSection, "LabelLog", record.LabelLog);
    ini.SetInt(kSection, "LabelType", record.LabelType);
    ini.SetDouble(kSection, "PctFullScaleLeft", record.PctFullScaleLeft);
    ini.SetDouble(kSection, "PctFullScaleRight", record.PctFullScaleRight);
    ini.SetDouble(kSection, "CalRatioLeft", record.CalRatioLeft);
    ini.SetDouble(kSection, "CalRatioRight", record.CalRatioRight);
    ini.SetString(kSection, "LeftChannelName", record.LeftChannelName);
    ini.SetString(kSection, "RightChannelName", record.RightChannelName);
    return ini.SaveAs(path);
}

void ApplyCalibrationToWave(const CalibrationRecord& record, TWaveData& wave) {
    if (record.IsEnabled)
        wave.SetFullScale(record.CalRatioLeft, record.CalRatioRight);
    else
        wave.SetFullScale(1.0f, 1.0f);
}

}  // namespace zeltrak
