#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "files/calibration_record.h"

namespace zeltrak {

class TIniStore;

class TWaveData;

// One entry of a list the calibration dialog offers: the text shown and the code stored.
struct CalibrationListItem {
    const char* text;
    int32_t code;
};

// Reference units (`RefUnits`), in the order the list shows them.
enum : int32_t {
    kUnitVolts = 0,
    kUnitMillivolts = 1,
    kUnitSplAir = 2,
    kUnitAcceleration = 3,
    kUnitCustom = 4,
    kUnitDbV = 5,
    kUnitDbmV = 6,
    kUnitDbu = 7,
    kUnitPascalsAir = 8,
    kUnitPsi = 9,
    kUnitSplWater = 10,
    kUnitPascalsWater = 11,
};
extern const std::array<CalibrationListItem, 12> kReferenceUnitList;
// `RefType` and `LabelType`: peak, rms, peak to peak (codes 0, 1, 2).
extern const std::array<CalibrationListItem, 3> kAmplitudeTypeList;
// `ConversionType`, offered for "Acceleration (G)" only; every other unit offers "N/A" (0).
extern const std::array<CalibrationListItem, 9> kConversionList;

// The list position of a code (0 when the code is not in the list).
int ListIndexOfCode(const CalibrationListItem* list, size_t size, int32_t code);

// 0 none, 1 single (velocity), 2 double (displacement) integration for a conversion code.
int32_t IntegrationTypeFor(int32_t conversionType);

// The label pair (linear, logarithmic) the dialog proposes for a unit, label type and conversion.
std::pair<std::string, std::string> ProposedLabels(int32_t refUnits, int32_t labelType, int32_t conversionType);

// The reference level in the unit's linear unit (dB units converted).
double ReferenceLevelLinear(int32_t refUnits, double refLevel);

// Units at full scale per channel from the reference level and the measured fractions; a
// channel without a positive level and fraction gets 1.0.
void ComputeCalRatios(CalibrationRecord& record);

// The decibel value of a (calibrated) linear value against the unit's reference; -999.9 for
// values that are not positive.
double ToDecibels(const CalibrationRecord& record, double value);

// .cal files: one [Calibration] section. Loading sets Filename and IsEnabled and recomputes
// the ratios; a missing key takes its default, an unreadable file gives all defaults. The
// result says whether the file could be read and is a calibration file (a [Calibration]
// section with RefLevel or CalRatioLeft).
bool LoadCalibration(const std::string& path, CalibrationRecord& record);
// The [Calibration] section of the settings file: the same keys plus IsEnabled and Filename,
// with the ratios recomputed.
void ReadSettingsCalibration(const TIniStore& ini, CalibrationRecord& record);
// Writes the stored keys in their order; false when the file could not be written.
bool SaveCalibration(const std::string& path, CalibrationRecord& record);

// Full-scale values of the wave data: the ratios when calibration is enabled, else 1.0.
void ApplyCalibrationToWave(const CalibrationRecord& record, TWaveData& wave);

}  // namespace zeltrak
